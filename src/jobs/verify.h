// The check of a job's log against what it names, as an examiner runs it
// later: every file the log lists (and its hash list) against its SHA-256,
// and, with the disk the job read, every chunk of every AVI file against the
// payload of the frame it came from. Nothing is written anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/stop_request.h"
#include "store/recording_source.h"

namespace korvex {

struct VerifyOutcome {
  // One sentence each, naming the file and, for a chunk, its frame.
  std::vector<std::string> differences;
  std::uint64_t filesChecked = 0;   // hashed again
  std::uint64_t chunksChecked = 0;  // compared with the disk
  bool stopped = false;
  bool holds() const { return differences.empty() && !stopped; }
};

// The log at `logPath` (a job's .json, the files it lists beside it). With
// `disk` (the store the job read), a backup's AVI files are compared chunk
// by chunk with the frames the log says they hold. `stop` is tested
// between chunks.
VerifyOutcome verifyLog(const std::string& logPath, const RecordingSource* disk, const StopRequest* stop = nullptr);

// The same with the disk the log names (its path and partition, opened
// read-only as a job opens it); a disk that does not open is a difference,
// and the files are still checked against the log. A scan's log needs no disk.
VerifyOutcome verifyLogOnItsDisk(const std::string& logPath, const StopRequest* stop = nullptr);

// "all 3 files and 120 chunks hold" or "2 differences in 3 files and 120 chunks".
std::string verifySummary(const VerifyOutcome& outcome);

}  // namespace korvex
