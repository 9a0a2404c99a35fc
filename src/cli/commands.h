// The jobs korvex-cli runs, each returning the program's exit status.
#pragma once

#include <string>

#include "cli/cli_options.h"
#include "jobs/job_result.h"
#include "jobs/output_folder.h"

namespace korvex::cli {

// `settings.diskRoot` names the disk as the user gave it; `partition` as
// --partition gives it (0: the first partition that holds a store).
int runScanCommand(JobSettings settings, int partition);
int runBackupCommand(JobSettings settings, int partition);

// Refuses, with a message on stderr, an output folder that `what` cannot go
// to: missing, not writable, inside the disk, or written by another job.
// Otherwise takes its lock for the job.
bool claimOutputFolder(const JobSettings& settings, const char* what, OutputFolderLock& lock);

// "; recording file X is missing, N folders of the range not read" when a
// missing file ended the job early; empty otherwise.
std::string missingFileNote(const SourceEnd& source);

}  // namespace korvex::cli
