#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/progress_display.h"
#include "cli/stop_signals.h"
#include "jobs/job_thread.h"
#include "jobs/scan_worker.h"

namespace korvex::cli {

int runScanCommand(const JobSettings& settings) {
  OutputFolderLock lock;
  if (!claimOutputFolder(settings, "the report", lock)) return EXIT_FAILURE_OTHER;

  JobState state;
  state.reset();
  state.scanRunning = true;
  installStopSignals(state.scanRunning);

  ProgressDisplay progress;
  JobThread worker;
  worker.start([&] { scanWorker(settings, state); });
  followJob(worker, progress, [&] {
    char text[96];
    std::snprintf(text, sizeof text, "folder %d  file %d", state.currentScanFolder.load(), state.currentScanFile.load());
    progress.show(state.scanPercent, text);
  });

  const ScanEnd end = state.scanEnd;
  if (end == ScanEnd::ReportNotCreated || end == ScanEnd::ReportWriteFailed) {
    progress.message("korvex-cli: cannot " + std::string(end == ScanEnd::ReportNotCreated ? "create" : "write") +
                     " the report " + state.reportPath + ": " + std::strerror(state.scanErrorNumber));
    return EXIT_FAILURE_OTHER;
  }
  if (!state.reportPath.empty()) std::printf("%s\n", state.reportPath.c_str());
  if (end == ScanEnd::SourceFailed) {
    progress.message("korvex-cli: cannot read the recording file " + state.sourceFailedPath + ": " +
                     state.sourceFailureReason + "; the scan ended there, the report holds the segments found");
    return EXIT_FAILURE_OTHER;
  }
  switch (end) {
    case ScanEnd::RangeDone:
      progress.message("finish scan: " + std::to_string(state.segmentCount.load()) + " segments" +
                       missingFileNote(state));
      return EXIT_DONE;
    case ScanEnd::Stopped:
      progress.message("scan interrupted: the report holds the segments found so far");
      return EXIT_INTERRUPTED;
    case ScanEnd::NoFolders:
      progress.message("can't find video data! (no recorder folder dir* under " + settings.diskRoot + ")");
      return EXIT_NO_VIDEO;
    default:
      progress.message("can't find video data! (recording file " + state.missingFilePath + " is missing, " +
                       std::to_string(state.foldersNotRead) + " folders of the range not read)");
      return EXIT_NO_VIDEO;
  }
}

}  // namespace korvex::cli
