#include "jobs/scan_worker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>

#include "jobs/output_folder.h"
#include "jobs/scan_report.h"
#include "jobs/selection.h"
#include "store/recording_store.h"
#include "store/segment_continuity.h"

namespace korvex {

namespace {

bool fileEmpty(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0;
}

}  // namespace

ScanWorker::ScanWorker(const JobSettings& settings, JobState& state, ScanOptions options)
    : settings_(settings), state_(state), options_(std::move(options)) {}

void ScanWorker::run() {
  const CalendarTime started = localCalendarTime(options_.startedAt.value_or(std::time(nullptr)));

  const FolderSource source(settings_.diskRoot);
  const int folderCount = source.countFolders();
  if (folderCount <= 0) {
    state_.scanAborted = true;
    finish(ScanEnd::NoFolders);
    return;
  }

  // Never an existing report, and never through a symbolic link: two scans
  // in one second give two reports.
  const std::string reportPath = scanReportPath(settings_.outputFolder, started);
  const std::string stem = reportPath.substr(0, reportPath.size() - SCAN_REPORT_EXTENSION.size());
  int error = 0;
  OutputNames names;
  const std::string created = names.create(stem, std::string(SCAN_REPORT_EXTENSION), [&](const std::string& candidate) {
    const int fd = createNewOutputFile(candidate);
    if (fd < 0) return errno;
    state_.reportFile.reset(fdopen(fd, "wb+"));
    if (!state_.reportFile) {
      const int reason = errno;
      ::close(fd);
      ::unlink(candidate.c_str());
      return reason;
    }
    return 0;
  }, error);
  state_.reportPath = created.empty() ? reportPath : created;
  if (!state_.reportFile) {
    state_.scanErrorNumber = error;
    finish(ScanEnd::ReportNotCreated);
    return;
  }
  if (std::fwrite(SCAN_REPORT_HEADER.data(), 1, SCAN_REPORT_HEADER.size(), state_.reportFile.get()) !=
      SCAN_REPORT_HEADER.size()) {
    state_.scanErrorNumber = errno;
    reportFailed_ = true;
  }

  const FolderRange range = folderRange(folderCount, settings_);
  std::int64_t filesLeft = range.first < range.limit ? std::int64_t{range.limit - range.first} * FILES_PER_FOLDER : 0;
  for (std::int32_t folder = range.first; folder < range.limit && state_.scanRunning && !reportFailed_; ++folder) {
    state_.currentScanFolder = folder;
    const std::int64_t percent = (std::int64_t{folder} + 1) * 100 / range.limit;
    state_.scanPercent = static_cast<std::int32_t>(percent);
    if (options_.trace) {
      char line[128];
      std::snprintf(line, sizeof line, "i = %d  folder_count = %d  progressbar = %d\r\n", folder, range.limit,
                    static_cast<int>(percent));
      options_.trace(line);
    }
    for (int file = 0; file < FILES_PER_FOLDER && state_.scanRunning && !reportFailed_; ++file) {
      state_.currentScanFile = file;
      const std::string path = source.filePath(folder, file);
      if (!scanRecordingFile(source.openFile(folder, file, ReadPattern::HeadersOnly), path)) {
        state_.scanAborted = true;
        if (!state_.sourceFailedPath.empty()) {
          finish(ScanEnd::SourceFailed);
          return;
        }
        // A missing file in the last folder of the range still ends a
        // complete scan: the recorder had not filled that folder yet.
        state_.missingFilePath = path;
        state_.foldersNotRead = range.limit - folder - 1;
        finish(folder == range.limit - 1 ? ScanEnd::RangeDone : ScanEnd::FileMissing);
        return;
      }
      --filesLeft;
    }
  }
  finish(filesLeft == 0 ? ScanEnd::RangeDone : ScanEnd::Stopped);
}

bool ScanWorker::scanRecordingFile(const std::string& path) {
  return scanRecordingFile(FolderSource::openPath(path, ReadPattern::HeadersOnly), path);
}

bool ScanWorker::scanRecordingFile(OpenedFile opened, const std::string& path) {
  if (!reader_.open(std::move(opened))) {
    if (!reader_.failure().missing) {
      state_.sourceFailedPath = path;
      state_.sourceFailureReason = reader_.failure().reason;
    }
    return false;
  }
  RecordingFileHeader fileHeader;
  if (reader_.readFileHeader(fileHeader)) {
    FrameHeader frame;
    while (reader_.nextFrame(frame)) {
      // The scan needs only the headers; the payloads are passed over.
      reader_.skipPayload();
      frameOfChannel(frame);
    }
  }
  const int readError = reader_.readError();
  reader_.close();
  if (readError != 0) {
    // The segments found before the error stay in the report.
    state_.sourceFailedPath = path;
    state_.sourceFailureReason = std::strerror(readError);
    return false;
  }
  return true;
}

void ScanWorker::frameOfChannel(const FrameHeader& frame) {
  const auto c = static_cast<std::size_t>(frame.channel);  // 0..31: the reader passes over the rest
  SegmentTracker& tracker = state_.channelSegments[c];
  if (!beginsNewSegment(frame.segmentKeyA, frame.segmentKeyB, state_.segmentKeyA[c], state_.segmentKeyB[c])) {
    tracker.endTime = frame.timeStamp;
    tracker.byteCount += frame.payloadLength;
    return;
  }
  if (tracker.startTime != 0 && tracker.endTime != 0) writeRow(tracker);
  tracker = SegmentTracker{};
  tracker.channel = frame.channel;
  tracker.recordType = frame.recordType;
  tracker.startTime = tracker.endTime = frame.timeStamp;
  tracker.byteCount = frame.payloadLength;
  tracker.startFolder = state_.currentScanFolder;
  state_.segmentKeyA[c] = frame.segmentKeyA;
  state_.segmentKeyB[c] = frame.segmentKeyB;
}

bool ScanWorker::writeRow(SegmentTracker& tracker) {
  char row[REPORT_ROW_BUFFER_SIZE];
  const std::int32_t serial = state_.segmentCount + 1;
  state_.segmentCount = serial;
  const std::size_t length = formatSegmentRow(tracker, serial, row, sizeof row);
  if (reportFailed_ || std::fwrite(row, 1, length, state_.reportFile.get()) != length) {
    if (!reportFailed_) state_.scanErrorNumber = errno;
    reportFailed_ = true;
    return false;
  }
  return true;
}

void ScanWorker::writeOpenSegments() {
  for (auto& tracker : state_.channelSegments) {
    if (tracker.startTime != 0 && tracker.endTime != 0) writeRow(tracker);
  }
}

void ScanWorker::finish(ScanEnd end) {
  if (state_.reportFile) {
    writeOpenSegments();
    std::FILE* report = state_.reportFile.release();
    // The buffered rows go out first, so that a full disk is noticed here.
    const bool flushed = std::fflush(report) == 0;
    if (!flushed && !reportFailed_) {
      state_.scanErrorNumber = errno;
      reportFailed_ = true;
    }
    if (std::fclose(report) != 0 && !reportFailed_) {
      state_.scanErrorNumber = errno;
      reportFailed_ = true;
    }
    // A report that did not get even its header is no report.
    if (fileEmpty(state_.reportPath)) ::unlink(state_.reportPath.c_str());
  }
  state_.scanEnd = reportFailed_ ? ScanEnd::ReportWriteFailed : end;
  // Last: whoever waits on the flag then finds everything else in place.
  state_.scanRunning = false;
}

void scanWorker(const JobSettings& settings, JobState& state, ScanOptions options) {
  ScanWorker(settings, state, std::move(options)).run();
}

}  // namespace korvex
