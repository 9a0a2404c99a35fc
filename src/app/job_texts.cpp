#include "app/job_texts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "lang/language.h"
#include "lang/language_keys.h"

namespace korvex {

namespace {

// A looked-up text holds at most TEXT_BUFFER_SIZE - 1 bytes; four of them
// and the numbers always fit, so the status is never cut.
constexpr std::size_t STATUS_BUFFER_SIZE = 4 * TEXT_BUFFER_SIZE + 256;

// snprintf's result, as text; empty when it failed.
std::string formatted(const char* buffer, int length, std::size_t size) {
  if (length < 0) return {};
  return std::string(buffer, std::min(static_cast<std::size_t>(length), size - 1));
}

}  // namespace

BackupStatus readBackupStatus(const JobState& state) {
  BackupStatus status;
  status.videoFound = state.videoFound;
  status.frameTime = state.currentFrameTime;
  status.folder = state.currentBackupFolder;
  status.file = state.currentBackupFile;
  status.totalBytes = state.totalBytesWritten;
  return status;
}

std::string backupStatusText(const BackupStatus& status) {
  char text[STATUS_BUFFER_SIZE];
  int length = 0;
  if (status.videoFound) {
    const std::string timeLabel = languageText(KEY_VIDEO_END_TIME);
    const std::string folderLabel = languageText(KEY_FOLDER);
    const std::string fileLabel = languageText(KEY_FILE);
    const std::string sizeLabel = languageText(KEY_VIDEO_TOTAL_SIZE);
    const CalendarTime& t = status.frameTime;
    // MiB as a 32-bit number; more than 2 PiB is shown as the largest one.
    const auto mib = static_cast<int>(
        std::min<std::uint64_t>(status.totalBytes / 1024 / 1024, std::numeric_limits<std::int32_t>::max()));
    length = std::snprintf(text, sizeof text, "%s=%d.%d.%d.%d:%d:%d\r\n%s=%d, %s=%d, %s=%dM", timeLabel.c_str(),
                           t.year, t.month, t.day, t.hour, t.minute, t.second, folderLabel.c_str(), status.folder,
                           fileLabel.c_str(), status.file, sizeLabel.c_str(), mib);
  } else {
    const std::string searching = languageText(KEY_SEARCHING_VIDEO);
    const std::string folderLabel = languageText(KEY_FOLDER);
    const std::string fileLabel = languageText(KEY_FILE);
    length = std::snprintf(text, sizeof text, "%s\r\n%s=%d, %s=%d", searching.c_str(), folderLabel.c_str(),
                           status.folder, fileLabel.c_str(), status.file);
  }
  return formatted(text, length, sizeof text);
}

std::string scanPercentText(std::int32_t percent) {
  char text[16];
  return formatted(text, std::snprintf(text, sizeof text, "%d%%", percent), sizeof text);
}

std::string scanFinishedText(const std::string& reportPath) {
  const std::string finished = languageText(KEY_FINISH_SCAN);
  // The path has no fixed bound: the buffer is sized to the texts.
  std::vector<char> text(finished.size() + reportPath.size() + 8);
  return formatted(text.data(), std::snprintf(text.data(), text.size(), "%s \"%s\"", finished.c_str(), reportPath.c_str()),
                   text.size());
}

std::string outputFailureText(const char* key, const std::string& path, int errorNumber) {
  return failureText(key, path, std::strerror(errorNumber));
}

std::string failureText(const char* key, const std::string& path, const std::string& reason) {
  const std::string failure = languageText(key);
  std::vector<char> text(failure.size() + path.size() + reason.size() + 8);
  return formatted(
      text.data(),
      std::snprintf(text.data(), text.size(), "%s \"%s\" (%s)", failure.c_str(), path.c_str(), reason.c_str()),
      text.size());
}

std::string folderText(const char* key, const std::string& folder) {
  const std::string text = languageText(key);
  return text + " \"" + folder + "\"";
}

std::string missingFileText(const std::string& path, std::int32_t foldersNotRead) {
  if (foldersNotRead <= 0) return {};
  return "\r\n" + languageText(KEY_RECORDING_MISSING) + " \"" + path + "\"\r\n" + languageText(KEY_FOLDERS_NOT_READ) +
         " " + std::to_string(foldersNotRead);
}

}  // namespace korvex
