#include "jobs/scan_worker.h"

#include <algorithm>
#include <cstdio>

#include "jobs/recovery_log.h"
#include "jobs/file_hasher.h"
#include "jobs/selection.h"
#include "store/segment_continuity.h"

namespace korvex {

ScanWorker::ScanWorker(JobSettings settings, const RecordingSource& source, JobState& state, ScanOptions options)
    : settings_(std::move(settings)),
      source_(source),
      state_(state),
      options_(std::move(options)),
      folder_(options_.output != nullptr ? nullptr : std::make_unique<DiskFolderOutput>(settings_.outputFolder)),
      output_(options_.output != nullptr ? *options_.output : *folder_),
      report_(output_),
      log_(output_) {}

ScanResult ScanWorker::run(const StopRequest& stop) {
  const ReadGate::RescueScope rescuable(options_.rescued ? ReadGate::current() : nullptr,
                                        [&](const HungRead& hung) { rescue(stop, hung); });
  runJob(stop);
  writeLog(stop);
  return std::move(result_);
}

void ScanWorker::runJob(const StopRequest& stop) {
  startedAt_ = options_.startedAt.value_or(std::time(nullptr));
  const CalendarTime started = localCalendarTime(startedAt_);
  disk_ = describeDisk(source_);
  const std::string name = scanReportPath(settings_.outputFolder, started);
  logStem_ = name.substr(0, name.size() - SCAN_REPORT_EXTENSION.size());

  const FolderListing folders = source_.listFolders();
  if (folders.failed()) {
    result_.aborted = true;
    result_.source.unread = {FailureCode::RootUnlisted, 0, source_.describe(), folders.failure.reason};
    finish(JobOutcome::Failed, result_.source.unread);
    return;
  }
  const int folderCount = walkFolderCount(folders, settings_.recover);
  if (folderCount <= 0) {
    result_.aborted = true;
    finish(JobOutcome::NoVideo);
    return;
  }

  // The report takes a name whose log names are free as well.
  reportCreated_ = report_.create(settings_.outputFolder, started,
                                  {std::string(HASH_LIST_EXTENSION), std::string(JOB_LOG_EXTENSION)});
  result_.reportPath = report_.path();
  if (!reportCreated_) {
    finish(JobOutcome::Failed, {FailureCode::ReportNotCreated, report_.failure().errorNumber, result_.reportPath, {}});
    return;
  }
  logStem_ = result_.reportPath.substr(0, result_.reportPath.size() - SCAN_REPORT_EXTENSION.size());
  log_.create(logStem_);
  log_.reserve(result_.reportPath.size() + 80,
               LOG_RESERVE_BASE + 4 * (settings_.diskRoot.size() + settings_.outputFolder.size()));
  report_.writeHeader();

  const FolderRange range = folderRange(folderCount, settings_);
  StoreWalker walker;
  walker.folderStarts = [&](std::int32_t folder) {
    state_.currentScanFolder = folder;
    const std::int64_t percent = (std::int64_t{folder} + 1) * 100 / range.limit;
    state_.scanPercent = static_cast<std::int32_t>(percent);
    if (options_.trace) {
      char line[128];
      std::snprintf(line, sizeof line, "i = %d  folder_count = %d  progressbar = %d\r\n", folder, range.limit,
                    static_cast<int>(percent));
      options_.trace(line);
    }
  };
  walker.fileReads = [&](std::int32_t folder, int file) {
    readingFolder_ = folder;
    readingFile_ = file;
  };
  walker.fileStarts = [&](std::int32_t, int file) { state_.currentScanFile = file; };
  walker.visitFile = [&](std::int32_t folder, int file, RecordingFileReader& reader) {
    return scanRecordingFile(folder, file, reader);
  };
  walker.recover = settings_.recover;
  walker.existingFolders = folders.folders;
  walker.folderEnd = settings_.folderEnd;
  walker.fileSkipped = [&](std::int32_t folder, int file, const Failure& failure) {
    noteSkippedFile(result_.recovery, folder, file, failure);
  };
  const WalkEnd end =
      walkStore(source_, range, settings_.recover ? ReadPattern::WholeFile : ReadPattern::HeadersOnly, stop, walker);

  switch (end.kind) {
    case WalkEnd::Kind::RangeDone:
      finish(JobOutcome::Finished);
      break;
    case WalkEnd::Kind::Stopped:
    case WalkEnd::Kind::Visitor:  // the report could not be written
      finish(JobOutcome::Stopped);
      break;
    case WalkEnd::Kind::SourceFailed:
      result_.aborted = true;
      result_.source.unread = {FailureCode::SourceUnreadable, 0, end.path, end.reason};
      finish(JobOutcome::Failed, result_.source.unread);
      break;
    case WalkEnd::Kind::FileMissing:
      result_.aborted = true;
      result_.source.missingPath = end.path;
      result_.source.foldersNotRead = end.foldersNotRead;
      result_.source.foldersLeft = end.foldersLeft;
      // A missing file in the last folder of the range still ends a
      // complete scan: the recorder had not filled that folder yet.
      finish(end.folder == range.limit - 1 ? JobOutcome::Finished : JobOutcome::NoVideo);
      break;
  }
}

void ScanWorker::rescue(const StopRequest& stop, const HungRead& hung) {
  // The walk is between two frames: the report gets what the scan found so
  // far, and the log names the read.
  result_.source.unread = {FailureCode::SourceUnreadable, 0, source_.filePath(readingFolder_, readingFile_),
                           hung.describe()};
  finish(JobOutcome::Stopped);
  writeLog(stop);
  options_.rescued(std::move(result_));
}

void ScanWorker::writeLog(const StopRequest& stop) {
  // A job that made no report still leaves its log under the report's name.
  if (!log_.created()) log_.create(logStem_);
  CustodyRecord record;
  record.started = startedAt_;
  record.ended = std::time(nullptr);
  record.disk = disk_;
  record.settings = settings_;
  record.source = result_.source;
  record.recovery = result_.recovery;
  record.segments = result_.segments;
  // A report that got not even its header was removed.
  if (reportCreated_ && output_.regularFileSize(result_.reportPath) >= 0) {
    record.report.path = result_.reportPath;
    record.report.hash = sha256OfFile(result_.reportPath, output_);
  }
  // The log vouches only for the bytes this job wrote, in the folder it
  // was given.
  const Failure folder = output_.checkFolder();
  const Failure& output = folder.failed() ? folder : record.report.hash.failure;
  if (output.failed() && result_.end != JobOutcome::Failed) {
    result_.end = JobOutcome::Failed;
    result_.failure = failureFrom(FailureCode::ReportNotWritten, result_.reportPath, output);
  }
  // A stop from outside: the companion was sent a signal.
  if (result_.end == JobOutcome::Stopped && stop.interrupted()) result_.end = JobOutcome::Interrupted;
  record.outcome = result_.end;
  record.reason = jobFailureText(result_.failure, false);
  const std::string list = hashList({record.report});  // one line per file
  log_.write(list, custodyJson(record));
  result_.logPath = log_.logPath();
  result_.hashListPath = log_.hashListPath();
  result_.hashListEntries = static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n'));
  result_.logFailure = log_.failure();
}

WalkVerdict ScanWorker::scanRecordingFile(std::int32_t folder, int file, RecordingFileReader& reader) {
  RecordingFileHeader fileHeader;
  if (reader.readFileHeader(fileHeader)) {
    FrameHeader frame;
    while (reader.nextFrame(frame)) {
      const bool recovered = reader.frameRecovered();
      if (recovered) ++result_.recovery.recoveredFrames;
      // The scan needs only the headers, but with recovery a frame whose
      // payload cannot be read is not counted, as the backup cannot export it.
      if (!reader.recovery()) {
        reader.skipPayload();
      } else if (!reader.readPayload(payload_)) {
        continue;
      }
      frameOfChannel(frame, FramePlace{folder, file, reader.frameOffset()}, recovered, reader.frameResidual());
    }
  }
  if (reader.recovery()) noteFileRecovery(result_.recovery, folder, file, reader);
  return report_.failed() ? WalkVerdict::Stop : WalkVerdict::Continue;
}

void ScanWorker::frameOfChannel(const FrameHeader& frame, const FramePlace& place, bool recovered, bool residual) {
  const auto c = static_cast<std::size_t>(frame.channel);  // 0..31: the reader passes over the rest
  // Residual frames are older recordings: they have a segment of their own
  // beside the channel's current one, and never run on in a segment of
  // newer frames, nor newer frames in theirs.
  OpenSegment& open = residual ? residualOpen_[c] : open_[c];
  SegmentRecord& segment = open.record;
  const bool counted = settings_.timeFile && frame.frameKind != FRAME_KIND_AUDIO;
  if (!beginsNewSegment(frame.segmentKeyA, frame.segmentKeyB, open.keyA, open.keyB)) {
    segment.endTime = frame.timeStamp;
    segment.byteCount += frame.payloadLength;
    segment.lastFrame = place;
    segment.recovered = segment.recovered || recovered;
    if (counted) open.rate.add(frame.timeStamp, frame.frameRate);
    return;
  }
  endSegment(open);
  open.rate = StampRateTally{};
  if (counted) open.rate.add(frame.timeStamp, frame.frameRate);
  segment = SegmentRecord{};
  segment.channel = frame.channel;
  segment.recordType = frame.recordType;
  segment.startTime = segment.endTime = frame.timeStamp;
  segment.byteCount = frame.payloadLength;
  segment.startFolder = readingFolder_;
  segment.firstFrame = segment.lastFrame = place;
  segment.recovered = recovered;
  open.keyA = frame.segmentKeyA;
  open.keyB = frame.segmentKeyB;
}

// A segment with a zero time at either end gets no row.
void ScanWorker::endSegment(OpenSegment& open) {
  SegmentRecord& segment = open.record;
  if (segment.startTime == 0 || segment.endTime == 0) return;
  if (settings_.timeFile) segment.rate = open.rate.result();
  segment.serial = ++segmentCount_;
  state_.segmentCount = segmentCount_;
  report_.writeSegment(segment);
  if (options_.segmentEnded) options_.segmentEnded(segment);
  result_.segments.push_back(segment);
  log_.reserve(result_.reportPath.size() + 80,
               LOG_RESERVE_BASE + 4 * (settings_.diskRoot.size() + settings_.outputFolder.size()) +
                   result_.segments.size() *
                       (LOG_RESERVE_PER_SEGMENT + (settings_.timeFile ? LOG_RESERVE_PER_TIME_FILE : 0)));
  // Written once: the final pass must not write it again.
  segment.startTime = 0;
}

void ScanWorker::finish(JobOutcome end, Failure failure) {
  if (report_.isOpen()) {
    // The segments still open, channels 0 to 31 in order, a channel's
    // residual one after its current one.
    for (std::size_t c = 0; c < open_.size(); ++c) {
      endSegment(open_[c]);
      endSegment(residualOpen_[c]);
    }
    if (settings_.recover) {
      std::size_t recovered = 0;
      for (const SegmentRecord& segment : result_.segments) recovered += segment.recovered ? 1 : 0;
      report_.writeRecoveryLine(recovered, result_.segments.size());
    }
    if (!report_.close()) {
      result_.end = JobOutcome::Failed;
      result_.failure = {FailureCode::ReportNotWritten, report_.failure().errorNumber, result_.reportPath, {}};
      return;
    }
  }
  result_.end = end;
  result_.failure = std::move(failure);
}

ScanResult scanWorker(const JobSettings& settings, const RecordingSource& source, JobState& state,
                      const StopRequest& stop, ScanOptions options) {
  return ScanWorker(settings, source, state, std::move(options)).run(stop);
}

ScanResult scanWorker(const JobSettings& settings, JobState& state, ScanOptions options) {
  const FolderSource source(settings.diskRoot);
  const StopRequest never;
  return scanWorker(settings, source, state, never, std::move(options));
}

}  // namespace korvex
