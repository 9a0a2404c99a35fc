#include "app/job_texts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "avi/output_files.h"
#include "lang/language.h"
#include "lang/language_keys.h"

namespace korvex {

namespace {

// snprintf's result, as text; empty when it failed.
std::string formatted(const char* buffer, int length, std::size_t size) {
  if (length < 0) return {};
  return std::string(buffer, std::min(static_cast<std::size_t>(length), size - 1));
}

}  // namespace

std::string backupStatusText(const BackupStatus& status) {
  BackupStatusWords words;
  words.videoEndTime = languageText(KEY_VIDEO_END_TIME);
  words.folder = languageText(KEY_FOLDER);
  words.file = languageText(KEY_FILE);
  words.videoTotalSize = languageText(KEY_VIDEO_TOTAL_SIZE);
  words.searchingVideo = languageText(KEY_SEARCHING_VIDEO);
  return formatBackupStatus(status, words);
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
  return failureText(key, path, outputErrorText(errorNumber));
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

std::string backupSummaryText(const BackupResult& result) {
  std::string text;
  switch (result.end) {
    case BackupEnd::OutputFailed:
      text = outputFailureText(KEY_CANNOT_WRITE_AVI, result.failedPath, result.errorNumber);
      break;
    case BackupEnd::SourceFailed:
      text = failureText(KEY_CANNOT_READ_RECORDING, result.source.failedPath, result.source.failureReason);
      break;
    case BackupEnd::Stopped:
      text = languageText(KEY_BACKUP_STOPPED);
      break;
    case BackupEnd::SizeLimit:
      text = languageText(KEY_SIZE_LIMIT_REACHED);
      break;
    case BackupEnd::NotEnded:
    case BackupEnd::RangeDone:
    case BackupEnd::FileMissing:
    case BackupEnd::AfterWindow:
      text = languageText(result.videoFound ? KEY_FINISH : KEY_NO_VIDEO_DATA) +
             missingFileText(result.source.missingPath, result.source.foldersNotRead);
      break;
  }
  const auto mib = std::min<std::uint64_t>(result.totalBytesWritten / 1024 / 1024,
                                           std::numeric_limits<std::int32_t>::max());
  text += "\r\n" + languageText(KEY_FILES_WRITTEN) + "=" + std::to_string(result.files.size()) + ", " +
          languageText(KEY_VIDEO_TOTAL_SIZE) + "=" + std::to_string(mib) + "M";
  return text + jobLogText(result.logPath, result.logFailedPath, result.logErrorNumber);
}

std::string jobLogText(const std::string& logPath, const std::string& failedPath, int errorNumber) {
  std::string text;
  if (!logPath.empty()) text += "\r\n" + languageText(KEY_JOB_LOG) + " \"" + logPath + "\"";
  if (!failedPath.empty()) text += "\r\n" + outputFailureText(KEY_CANNOT_WRITE_LOG, failedPath, errorNumber);
  return text;
}

}  // namespace korvex
