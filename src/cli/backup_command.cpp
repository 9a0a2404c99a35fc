#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/job_source.h"
#include "cli/progress_display.h"
#include "cli/stop_signals.h"
#include "jobs/backup_worker.h"
#include "jobs/custody_log.h"
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

// The files that could not be finished (a full disk), as the log records
// them; empty when every file listed is finished.
std::string unfinishedNote(const std::vector<ExportedFile>& files) {
  std::string names;
  std::size_t unfinished = 0;
  for (const ExportedFile& file : files) {
    if (file.finished) continue;
    names += (unfinished++ == 0 ? "" : ", ") + file.path;
  }
  if (unfinished == 0) return {};
  return std::to_string(files.size() - unfinished) + " of the " + std::to_string(files.size()) +
         " AVI files listed are finished; not finished, holding what reached the disk: " + names;
}

}  // namespace

int runBackupCommand(JobSettings settings, int partition) {
  int openStatus = EXIT_FAILURE_OTHER;
  // Shared with the job's thread, which keeps it should the job be ended
  // while a read of it hangs.
  const std::shared_ptr<const RecordingSource> source = openJobSource(settings, partition, openStatus);
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
  options.rescued = [&](BackupResult rescued) { result = std::move(rescued); };
  worker.start([&, source] { result = backupWorker(settings, *source, state, stop, options); });
  followJob(worker, progress, [&] { progress.show(state.backupPercent, statusText(state)); }, stop);

  const int status = exitStatusOf(result.end);
  [&] {
    const unsigned long long mib = result.totalBytesWritten / 1024 / 1024;
    if (settings.recover) progress.message(recoveryNote(result.recovery));
    // What the end says of the files is what the log says of them.
    const std::string unfinished = unfinishedNote(result.files);
    const std::string missing = missingFileNote(result.source);
    const Failure& failure = result.failure;
    switch (result.end) {
      case JobOutcome::Stopped:
      case JobOutcome::Interrupted:
        if (!result.source.unread.path.empty())
          progress.message("korvex-cli: " + result.source.unread.path + ": " + result.source.unread.reason);
        progress.message(unfinished.empty() ? "backup interrupted: every AVI file written so far is finished (" +
                                                  std::to_string(mib) + " MiB)"
                                            : "backup interrupted (" + std::to_string(mib) + " MiB): " + unfinished);
        return;
      case JobOutcome::Failed:
        if (failure.code == FailureCode::SourceUnreadable || failure.code == FailureCode::RootUnlisted) {
          progress.message("korvex-cli: " + jobFailureText(failure, true) +
                           (failure.code == FailureCode::RootUnlisted ? "; nothing was read"
                            : unfinished.empty() ? "; the job ended there, the AVI files listed are complete"
                                                 : "; the job ended there, " + unfinished));
        } else {
          const bool replaced = failure.cause == FailureCode::OutputFileReplaced ||
                                failure.cause == FailureCode::OutputFolderReplaced;
          progress.message("korvex-cli: " + jobFailureText(failure, true) +
                           (replaced            ? "; the hash list lists only the files as this job wrote them"
                            : unfinished.empty() ? "; the AVI files listed before it are complete"
                                                 : "; " + unfinished));
        }
        return;
      case JobOutcome::NoVideo:
        progress.message("can't find video data!" + missing);
        return;
      case JobOutcome::SizeLimit:
        progress.message("size limit reached (" + std::to_string(mib) + " MiB exported)" + missing);
        return;
      case JobOutcome::Finished:
        progress.message("finish! (" + std::to_string(mib) + " MiB exported)" + missing);
        return;
    }
  }();
  return noteJobLog(progress, result.hashListPath, result.hashListEntries, result.logPath, result.logFailure.path,
                    result.logFailure.errorNumber, status);
}

}  // namespace korvex::cli
