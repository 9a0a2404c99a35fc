#include "jobs/scan_worker.h"

#include <cerrno>
#include <cstdio>

#include "jobs/scan_report.h"
#include "jobs/selection.h"
#include "store/recording_store.h"
#include "store/segment_continuity.h"

namespace korvex {

ScanWorker::ScanWorker(const JobSettings& settings, JobState& state, ScanOptions options)
    : settings_(settings), state_(state), options_(std::move(options)) {}

void ScanWorker::run() {
  const CalendarTime started = localCalendarTime(options_.startedAt.value_or(std::time(nullptr)));

  const int folderCount = countStoreFolders(settings_.diskRoot);
  if (folderCount <= 0) {
    state_.scanAborted = true;
    finish(ScanEnd::NoFolders);
    return;
  }

  state_.reportPath = scanReportPath(settings_.outputFolder, started);
  state_.reportFile.reset(std::fopen(state_.reportPath.c_str(), "wb+e"));
  if (!state_.reportFile) {
    state_.scanErrorNumber = errno;
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
      if (!scanRecordingFile(recordingFilePath(settings_.diskRoot, folder, file))) {
        state_.scanAborted = true;
        // A missing file in the last folder of the range still ends a
        // complete scan: the recorder had not filled that folder yet.
        finish(folder == range.limit - 1 ? ScanEnd::RangeDone : ScanEnd::FileMissing);
        return;
      }
      --filesLeft;
    }
  }
  finish(filesLeft == 0 ? ScanEnd::RangeDone : ScanEnd::Stopped);
}

bool ScanWorker::scanRecordingFile(const std::string& path) {
  if (!reader_.open(path, ReadPattern::HeadersOnly)) return false;
  RecordingFileHeader fileHeader;
  if (reader_.readFileHeader(fileHeader)) {
    FrameHeader frame;
    while (reader_.nextFrame(frame)) {
      // The scan needs only the headers; the payloads are passed over.
      reader_.skipPayload();
      frameOfChannel(frame);
    }
  }
  reader_.close();
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
    if (std::fclose(report) != 0 && !reportFailed_) {
      state_.scanErrorNumber = errno;
      reportFailed_ = true;
    }
  }
  state_.scanEnd = reportFailed_ ? ScanEnd::ReportWriteFailed : end;
  // Last: whoever waits on the flag then finds everything else in place.
  state_.scanRunning = false;
}

void scanWorker(const JobSettings& settings, JobState& state, ScanOptions options) {
  ScanWorker(settings, state, std::move(options)).run();
}

}  // namespace korvex
