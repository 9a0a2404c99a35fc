// The scan: walks the store folder by folder, cuts each channel's frames
// into recording segments and hands each segment, as it ends, to the
// report and to whoever else asked for it.
#pragma once

#include <array>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "jobs/custody_log.h"
#include "jobs/job_result.h"
#include "jobs/job_settings.h"
#include "jobs/job_state.h"
#include "jobs/scan_report.h"
#include "jobs/stamp_rate.h"
#include "store/recording_source.h"
#include "base/stop_request.h"
#include "store/store_walk.h"

namespace korvex {

struct ScanOptions {
  // The moment that names the report; now when not given.
  std::optional<std::time_t> startedAt;
  // Receives one diagnostic line per folder; nothing is traced without it.
  std::function<void(const char*)> trace;
  // Told, on the worker's thread, of every segment as it ends (after its
  // report row): another view of the scan's results.
  std::function<void(const SegmentRecord&)> segmentEnded;
  // Where the report and the log go: the file system when not given.
  OutputFiles* output = nullptr;
  // Told the result, on the owner's thread, of a job its owner ended while
  // a read hung (JobThread::rescueIfStuck): run() never returns then. A job
  // without it waits for the read.
  std::function<void(ScanResult)> rescued;
};

class ScanWorker {
 public:
  ScanWorker(JobSettings settings, const RecordingSource& source, JobState& state, ScanOptions options = {});

  // The whole job, on the calling thread; `stop` is tested between files.
  ScanResult run(const StopRequest& stop);

 private:
  // A channel's segment while its frames come in.
  struct OpenSegment {
    SegmentRecord record;
    std::int32_t keyA = 0;
    std::int32_t keyB = 0;
    StampRateTally rate;  // with JobSettings::timeFile
  };

  void runJob(const StopRequest& stop);
  void writeLog(const StopRequest& stop);
  // The end of a job whose read hangs, in the worker's place.
  void rescue(const StopRequest& stop, const HungRead& hung);
  WalkVerdict scanRecordingFile(std::int32_t folder, int file, RecordingFileReader& reader);
  void frameOfChannel(const FrameHeader& frame, const FramePlace& place, bool recovered, bool residual);
  void endSegment(OpenSegment& segment);
  // `failure`: what failed, for a job that failed.
  void finish(JobOutcome end, Failure failure = {});

  JobSettings settings_;
  const RecordingSource& source_;
  // Only written: what others see of the job. What the job counts for
  // itself is its own, so that a state not reset between jobs changes nothing.
  JobState& state_;
  std::int32_t readingFolder_ = 0;  // the folder and file being read
  int readingFile_ = 0;
  std::int32_t segmentCount_ = 0;  // rows written
  ScanOptions options_;
  std::unique_ptr<DiskFolderOutput> folder_;  // the output folder, when options_.output is not given
  OutputFiles& output_;
  ScanReportFile report_;
  bool reportCreated_ = false;
  CustodyLogFiles log_;
  std::string logStem_;  // the report's path without ".txt"
  DiskDescription disk_;
  std::time_t startedAt_ = 0;
  ScanResult result_;
  std::array<OpenSegment, CHANNEL_TABLE_SIZE> open_{};
  // Recovery: per channel, the segment of its residual frames, open beside
  // its current one, so that older recordings found between newer frames
  // never end the newer recording's segment.
  std::array<OpenSegment, CHANNEL_TABLE_SIZE> residualOpen_{};
  // With recovery every payload is read, to know it can be.
  PayloadBuffer payload_;
};

// Runs a scan to its end on the calling thread.
ScanResult scanWorker(const JobSettings& settings, const RecordingSource& source, JobState& state,
                      const StopRequest& stop, ScanOptions options = {});
// The same over the folder settings.diskRoot, never stopped from outside.
ScanResult scanWorker(const JobSettings& settings, JobState& state, ScanOptions options = {});

}  // namespace korvex
