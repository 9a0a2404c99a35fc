// The jobs korvex-cli runs, each returning the program's exit status.
#pragma once

#include <string>

#include "cli/cli_options.h"
#include "cli/progress_display.h"
#include "jobs/job_result.h"
#include "jobs/output_folder.h"

namespace korvex::cli {

// `settings.diskRoot` names the disk as the user gave it; `partition` as
// --partition gives it (0: the first partition that holds a store).
int runScanCommand(JobSettings settings, int partition);
int runBackupCommand(JobSettings settings, int partition);
// `disk` empty: the files against the log only.
int runVerifyCommand(const std::string& logPath, const std::string& disk, int partition);
// Saves the still of `channel` (an index) at recorder time `at`.
int runStillCommand(JobSettings settings, int partition, std::int32_t channel, RecorderTime at);

// The exit status of a job that ended so: one entry per outcome.
constexpr int exitStatusOf(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Finished:
    case JobOutcome::SizeLimit:
      return EXIT_DONE;
    case JobOutcome::NoVideo:
      return EXIT_NO_VIDEO;
    case JobOutcome::Stopped:
    case JobOutcome::Interrupted:
      return EXIT_INTERRUPTED;
    case JobOutcome::Failed:
      break;
  }
  return EXIT_FAILURE_OTHER;
}

// Refuses, with a message on stderr, an output folder that `what` cannot go
// to: missing, not writable, inside the disk, or written by another job.
// Otherwise takes its lock for the job.
bool claimOutputFolder(const JobSettings& settings, const char* what, OutputFolderLock& lock);

// "; recording file X is missing, N folders of the range not read" when a
// missing file ended the job early; empty otherwise.
std::string missingFileNote(const SourceEnd& source);
// "; folders that exist and were not read ...: dir00002 ..." or "".
std::string foldersLeftNote(const SourceEnd& source);

// What recovery did, for stderr: a summary line, then each resync,
// unreadable region and file passed over (at most RECOVERY_LINES_SHOWN of
// each kind, then how many more).
std::string recoveryNote(const RecoveryLog& log);
inline constexpr std::size_t RECOVERY_LINES_SHOWN = 20;
// Names the job's two log files on stderr (and how to check the hashes
// when the list names any file), or the log file that could not be
// written. Returns `status`, or the failure status when the log failed
// after an otherwise sound job.
int noteJobLog(ProgressDisplay& progress, const std::string& hashListPath, std::size_t hashListEntries,
               const std::string& logPath, const std::string& failedPath, int errorNumber, int status);

}  // namespace korvex::cli
