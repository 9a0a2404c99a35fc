// The texts a running or ended job shows in the window. Every text is looked
// up in the current language at the moment it is built, so that a language
// file edited while a job runs shows at the next tick.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/job_result.h"
#include "jobs/job_status.h"
#include "store/recorder_time.h"

namespace korvex {

// Two lines joined by "\r\n": once video has been found, the time of the
// last frame, then the folder, the file and the MiB exported; before that,
// "Searching video!" and the folder and file.
std::string backupStatusText(const BackupStatus& status);

// "42%".
std::string scanPercentText(std::int32_t percent);

// The scan's finish message: the text, a space, the report's path in
// double quotes.
std::string scanFinishedText(const std::string& reportPath);

// The system's reason for `errorNumber` in the current language; the
// system's own text where the language file has none.
std::string systemErrorText(int errorNumber);

// The text of `key`, the path in double quotes and the system's reason for
// `errorNumber` in brackets.
std::string outputFailureText(const char* key, const std::string& path, int errorNumber);

// The text of `key`, the path in double quotes and `reason` in brackets.
std::string failureText(const char* key, const std::string& path, const std::string& reason);

// The text of `key` and the folder in double quotes.
std::string folderText(const char* key, const std::string& folder);

// After a job's end text, the missing recording file that ended it with
// folders of the range left: "\r\n", the file, and how many folders were
// not read. Empty when no folder was left.
std::string missingFileText(const std::string& path, std::int32_t foldersNotRead);

// How a job ended, in the window's words: the finish message (a scan's names
// its report), the stop, the size limit, no video, or the failure with its
// file and reason; a missing recording file that left folders of the range
// follows. A stopped scan names its report. Empty when nothing is said.
std::string jobEndText(const JobEnd& end, bool backup, const std::string& reportPath);

// The backup's end in one text: how it ended (finished, stopped, size limit
// reached, no video, or the failure with its file and reason), then the files
// written and the MiB exported, then where the job's log went (or why it could not be written).
std::string backupSummaryText(const BackupResult& result);


// After a job's end text: "\r\n", where the job's log went in double
// quotes, or the log file that could not be written and why. Empty when
// there is neither.
std::string jobLogText(const std::string& logPath, const std::string& failedPath, int errorNumber);

}  // namespace korvex
