#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/job_source.h"
#include "cli/progress_display.h"
#include "cli/stop_signals.h"
#include "jobs/custody_log.h"
#include "jobs/job_thread.h"
#include "jobs/scan_worker.h"

namespace korvex::cli {

int runScanCommand(JobSettings settings, int partition) {
  int openStatus = EXIT_FAILURE_OTHER;
  // Shared with the job's thread, which keeps it should the job be ended
  // while a read of it hangs.
  const std::shared_ptr<const RecordingSource> source = openJobSource(settings, partition, openStatus);
  if (!source) return openStatus;
  OutputFolderLock lock;
  if (!claimOutputFolder(settings, "the report", lock)) return EXIT_FAILURE_OTHER;

  JobState state;
  StopRequest stop;
  installStopSignals(stop);

  ScanResult result;
  ProgressDisplay progress;
  JobThread worker;
  ScanOptions options;
  options.rescued = [&](ScanResult rescued) { result = std::move(rescued); };
  worker.start([&, source] { result = scanWorker(settings, *source, state, stop, options); });
  followJob(
      worker, progress,
      [&] {
        char text[96];
        std::snprintf(text, sizeof text, "folder %d  file %d", state.currentScanFolder.load(),
                      state.currentScanFile.load());
        progress.show(state.scanPercent, text);
      },
      stop);

  const int status = exitStatusOf(result.end);
  [&] {
    const FailureCode failed = result.end == JobOutcome::Failed ? result.failure.code : FailureCode::None;
    if (failed == FailureCode::ReportNotCreated || failed == FailureCode::ReportNotWritten) {
      progress.message("korvex-cli: " + jobFailureText(result.failure, false));
      return;
    }
    if (!result.reportPath.empty()) std::printf("%s\n", result.reportPath.c_str());
    if (settings.recover) progress.message(recoveryNote(result.recovery));
    switch (result.end) {
      case JobOutcome::Failed:
        progress.message("korvex-cli: " + jobFailureText(result.failure, false) +
                         (failed == FailureCode::RootUnlisted
                              ? "; nothing was read"
                              : "; the scan ended there, the report holds the segments found"));
        return;
      case JobOutcome::Finished:
      case JobOutcome::SizeLimit:
        progress.message("finish scan: " + std::to_string(result.segments.size()) + " segments" +
                         missingFileNote(result.source));
        return;
      case JobOutcome::Stopped:
      case JobOutcome::Interrupted:
        if (!result.source.unread.path.empty())
          progress.message("korvex-cli: " + result.source.unread.path + ": " + result.source.unread.reason);
        progress.message("scan interrupted: the report holds the segments found so far");
        return;
      case JobOutcome::NoVideo:
        if (result.source.missingPath.empty()) {
          progress.message("can't find video data! (no recorder folder dir* under " + settings.diskRoot + ")");
          return;
        }
        progress.message("can't find video data! (recording file " + result.source.missingPath + " is missing, " +
                         std::to_string(result.source.foldersNotRead) + " folders of the range not read)" +
                         foldersLeftNote(result.source));
        return;
    }
  }();
  return noteJobLog(progress, result.hashListPath, result.hashListEntries, result.logPath, result.logFailure.path,
                    result.logFailure.errorNumber, status);
}

}  // namespace korvex::cli
