// The scan: walks the store folder by folder, cuts each channel's frames
// into recording segments and writes one report row per segment.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "jobs/job_settings.h"
#include "jobs/job_state.h"
#include "store/recording_file_reader.h"

namespace korvex {

struct ScanOptions {
  // The moment that names the report; now when not given.
  std::optional<std::time_t> startedAt;
  // Receives one diagnostic line per folder; nothing is traced without it.
  std::function<void(const char*)> trace;
};

class ScanWorker {
 public:
  ScanWorker(const JobSettings& settings, JobState& state, ScanOptions options = {});

  // The whole job. Expects state.scanRunning set; clears it when done, after
  // everything else in `state` has been written.
  void run();

  // Follows the frames of one recording file. False when it cannot be
  // opened, or a read failed (then sourceFailedPath names it).
  bool scanRecordingFile(OpenedFile opened, const std::string& path);
  bool scanRecordingFile(const std::string& path);

 private:
  void frameOfChannel(const FrameHeader& frame);
  bool writeRow(SegmentTracker& tracker);
  void writeOpenSegments();
  void finish(ScanEnd end);

  const JobSettings& settings_;
  JobState& state_;
  ScanOptions options_;
  RecordingFileReader reader_;
  bool reportFailed_ = false;
};

// Runs a scan to its end on the calling thread.
void scanWorker(const JobSettings& settings, JobState& state, ScanOptions options = {});

}  // namespace korvex
