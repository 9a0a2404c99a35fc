#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/job_source.h"
#include "cli/progress_display.h"
#include "cli/stop_signals.h"
#include "jobs/backup_worker.h"
#include "jobs/job_status.h"
#include "jobs/job_thread.h"

namespace korvex::cli {

namespace {

// The window's status line in English, on one line.
std::string statusText(const JobState& state) {
  BackupStatusWords words;
  words.videoEndTime = "last frame";
  words.folder = "folder";
  words.file = "file";
  words.videoTotalSize = "exported";
  words.searchingVideo = "Searching video!";
  words.lineBreak = "  ";
  return formatBackupStatus(readBackupStatus(state), words);
}

}  // namespace

int runBackupCommand(JobSettings settings, int partition) {
  int openStatus = EXIT_FAILURE_OTHER;
  const std::unique_ptr<RecordingSource> source = openJobSource(settings, partition, openStatus);
  if (!source) return openStatus;
  OutputFolderLock lock;
  if (!claimOutputFolder(settings, "AVI files", lock)) return EXIT_FAILURE_OTHER;

  JobState state;
  StopRequest stop;
  installStopSignals(stop);
  BackupOptions options;
  options.fileCreated = [](const std::string& path) {
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
  };

  BackupResult result;
  ProgressDisplay progress;
  JobThread worker;
  worker.start([&] { result = backupWorker(settings, *source, state, stop, options); });
  followJob(worker, progress, [&] { progress.show(state.backupPercent, statusText(state)); });

  const int status = [&] {
    const unsigned long long mib = result.totalBytesWritten / 1024 / 1024;
    if (settings.recover) progress.message(recoveryNote(result.recovery));
    if (result.end == BackupEnd::Stopped) {
      progress.message("backup interrupted: every AVI file written so far is finished (" + std::to_string(mib) +
                       " MiB)");
      return EXIT_INTERRUPTED;
    }
    if (result.end == BackupEnd::OutputFailed) {
      progress.message("korvex-cli: cannot write " + result.failedPath + ": " + std::strerror(result.errorNumber) +
                       "; the AVI files listed before it are complete");
      return EXIT_FAILURE_OTHER;
    }
    if (result.end == BackupEnd::SourceFailed) {
      progress.message("korvex-cli: " + sourceFailureText(result.source) +
                       (result.source.rootUnlisted ? "; nothing was read"
                                                   : "; the job ended there, the AVI files listed are complete"));
      return EXIT_FAILURE_OTHER;
    }
    const std::string missing = missingFileNote(result.source);
    if (!result.videoFound) {
      progress.message("can't find video data!" + missing);
      return EXIT_NO_VIDEO;
    }
    if (result.end == BackupEnd::SizeLimit) {
      progress.message("size limit reached (" + std::to_string(mib) + " MiB exported)" + missing);
      return EXIT_DONE;
    }
    progress.message("finish! (" + std::to_string(mib) + " MiB exported)" + missing);
    return EXIT_DONE;
  }();
  return noteJobLog(progress, result.hashListPath, result.logPath, result.logFailedPath, result.logErrorNumber,
                    status);
}

}  // namespace korvex::cli
