// The backup's status line, as the window and the companion both show it:
// once video has been found, the time of the last frame, then the folder,
// the file and the MiB exported; before that, the searching text and the
// folder and file. Each face gives the words in its own language.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/job_state.h"
#include "store/recorder_time.h"

namespace korvex {

// The backup's progress, read from the job state one field at a time.
struct BackupStatus {
  bool videoFound = false;
  CalendarTime frameTime;
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t totalBytes = 0;
};

BackupStatus readBackupStatus(const JobState& state);

struct BackupStatusWords {
  std::string videoEndTime;
  std::string folder;
  std::string file;
  std::string videoTotalSize;
  std::string searchingVideo;
  std::string lineBreak = "\r\n";
};

// "<time>=Y.M.D.h:m:s<break><folder>=F, <file>=N, <size>=MM", or before any
// video "<searching><break><folder>=F, <file>=N".
std::string formatBackupStatus(const BackupStatus& status, const BackupStatusWords& words);

}  // namespace korvex
