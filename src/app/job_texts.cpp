#include "app/job_texts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "jobs/segment_texts.h"
#include "lang/language.h"
#include "lang/language_keys.h"

namespace korvex {

namespace {

// snprintf's result, as text; empty when it failed.
std::string formatted(const char* buffer, int length, std::size_t size) {
  if (length < 0) return {};
  return std::string(buffer, std::min(static_cast<std::size_t>(length), size - 1));
}

// How a job's end reads in the window, one entry per outcome: the text of a
// scan's end and of a backup's (null: nothing is said). A failure is told by
// its own entry below.
struct EndWords {
  JobOutcome outcome;
  const char* scan;
  const char* backup;
};
constexpr EndWords END_WORDS[] = {
    {JobOutcome::Finished, KEY_FINISH_SCAN, KEY_FINISH},
    {JobOutcome::NoVideo, KEY_NO_VIDEO_DATA, KEY_NO_VIDEO_DATA},
    {JobOutcome::Stopped, KEY_SCAN_STOPPED, KEY_BACKUP_STOPPED},
    {JobOutcome::Interrupted, nullptr, KEY_BACKUP_STOPPED},
    {JobOutcome::SizeLimit, nullptr, KEY_SIZE_LIMIT_REACHED},
};

// A failure's text, and whether its reason is the system's for its errno.
struct FailureWords {
  FailureCode code;
  const char* key;
  bool fromErrno;
};
constexpr FailureWords FAILURE_WORDS[] = {
    {FailureCode::SourceUnreadable, KEY_CANNOT_READ_RECORDING, false},
    {FailureCode::RootUnlisted, KEY_CANNOT_READ_RECORDING, false},
    {FailureCode::ReportNotCreated, KEY_CANNOT_CREATE_REPORT, true},
    {FailureCode::ReportNotWritten, KEY_CANNOT_WRITE_REPORT, true},
    {FailureCode::OutputNotWritten, KEY_CANNOT_WRITE_AVI, true},
};

}  // namespace

std::string jobEndText(const JobEnd& end, bool backup, const std::string& reportPath) {
  if (end.end == JobOutcome::Failed) {
    for (const FailureWords& words : FAILURE_WORDS) {
      if (words.code != end.failure.code) continue;
      // A failure caused by one of ours (a replaced file) has no errno: its own words.
      const bool fromErrno = words.fromErrno && end.failure.cause == FailureCode::None;
      return fromErrno ? outputFailureText(words.key, end.failure.path, end.failure.errorNumber)
                       : failureText(words.key, end.failure.path, end.failure.reason);
    }
    // A job that never ended found nothing.
    return languageText(KEY_NO_VIDEO_DATA);
  }
  for (const EndWords& words : END_WORDS) {
    if (words.outcome != end.end) continue;
    const char* key = backup ? words.backup : words.scan;
    if (key == nullptr) return {};
    // The missing recording file that ended the range, when folders were left.
    const std::string missing = missingFileText(end.source.missingPath, end.source.foldersNotRead);
    if (!backup && end.end == JobOutcome::Finished) return scanFinishedText(reportPath) + missing;
    // A stopped scan names the report it wrote until then.
    if (!backup && !reportPath.empty()) return folderText(key, reportPath) + missing;
    return languageText(key) + missing;
  }
  return {};
}

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

std::string systemErrorText(int errorNumber) {
  for (const SystemErrorKey& words : SYSTEM_ERROR_KEYS) {
    if (words.errorNumber != errorNumber) continue;
    std::string text = languageText(words.key);
    if (!text.empty()) return text;
  }
  return std::strerror(errorNumber);
}

std::string outputFailureText(const char* key, const std::string& path, int errorNumber) {
  return failureText(key, path, systemErrorText(errorNumber));
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
  std::string text = jobEndText(result, true, {});
  const auto mib = std::min<std::uint64_t>(result.totalBytesWritten / 1024 / 1024,
                                           std::numeric_limits<std::int32_t>::max());
  // Under 1 MiB in K or bytes, as the segments' sizes are written.
  const std::string size = mib > 0 ? std::to_string(mib) + "M" : segmentSizeTextWhole(result.totalBytesWritten);
  text += "\r\n" + languageText(KEY_FILES_WRITTEN) + "=" + std::to_string(result.files.size()) + ", " +
          languageText(KEY_VIDEO_TOTAL_SIZE) + "=" + size;
  return text + jobLogText(result.logPath, result.logFailure.path, result.logFailure.errorNumber);
}

std::string jobLogText(const std::string& logPath, const std::string& failedPath, int errorNumber) {
  std::string text;
  if (!logPath.empty()) text += "\r\n" + languageText(KEY_JOB_LOG) + " \"" + logPath + "\"";
  if (!failedPath.empty()) text += "\r\n" + outputFailureText(KEY_CANNOT_WRITE_LOG, failedPath, errorNumber);
  return text;
}

}  // namespace korvex
