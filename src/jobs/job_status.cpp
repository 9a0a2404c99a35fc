#include "jobs/job_status.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace korvex {

BackupStatus readBackupStatus(const JobState& state) {
  BackupStatus status;
  status.videoFound = state.videoFound;
  status.frameTime = state.currentFrameTime;
  status.folder = state.currentBackupFolder;
  status.file = state.currentBackupFile;
  status.totalBytes = state.totalBytesWritten;
  return status;
}

std::string formatBackupStatus(const BackupStatus& status, const BackupStatusWords& words) {
  // The words have no fixed bound: the buffer is sized to them, with room
  // for the numbers, so the status is never cut.
  std::vector<char> text(words.videoEndTime.size() + words.folder.size() + words.file.size() +
                         words.videoTotalSize.size() + words.searchingVideo.size() + words.lineBreak.size() + 256);
  int length = 0;
  if (status.videoFound) {
    const CalendarTime& t = status.frameTime;
    // MiB as a 32-bit number; more than 2 PiB is shown as the largest one.
    const auto mib = static_cast<int>(
        std::min<std::uint64_t>(status.totalBytes / 1024 / 1024, std::numeric_limits<std::int32_t>::max()));
    length = std::snprintf(text.data(), text.size(), "%s=%d.%d.%d.%d:%d:%d%s%s=%d, %s=%d, %s=%dM",
                           words.videoEndTime.c_str(), t.year, t.month, t.day, t.hour, t.minute, t.second,
                           words.lineBreak.c_str(), words.folder.c_str(), status.folder, words.file.c_str(),
                           status.file, words.videoTotalSize.c_str(), mib);
  } else {
    length = std::snprintf(text.data(), text.size(), "%s%s%s=%d, %s=%d", words.searchingVideo.c_str(),
                           words.lineBreak.c_str(), words.folder.c_str(), status.folder, words.file.c_str(),
                           status.file);
  }
  if (length < 0) return {};
  return std::string(text.data(), std::min(static_cast<std::size_t>(length), text.size() - 1));
}

}  // namespace korvex
