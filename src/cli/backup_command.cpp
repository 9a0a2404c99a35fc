#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/progress_display.h"
#include "cli/stop_signals.h"
#include "jobs/backup_worker.h"
#include "jobs/job_thread.h"
#include "jobs/selection.h"
#include "store/recording_store.h"

namespace korvex::cli {

namespace {

std::string statusText(const JobState& state) {
  char text[160];
  if (state.videoFound) {
    const CalendarTime t = state.currentFrameTime;
    std::snprintf(text, sizeof text, "last frame %04d-%02d-%02d %02d:%02d:%02d  folder %d  file %d  %llu MiB", t.year,
                  t.month, t.day, t.hour, t.minute, t.second, state.currentBackupFolder.load(),
                  state.currentBackupFile.load(),
                  static_cast<unsigned long long>(state.totalBytesWritten.load() / 1024 / 1024));
  } else {
    std::snprintf(text, sizeof text, "Searching video!  folder %d  file %d", state.currentBackupFolder.load(),
                  state.currentBackupFile.load());
  }
  return text;
}

}  // namespace

int runBackupCommand(const JobSettings& settings) {
  OutputFolderLock lock;
  if (!claimOutputFolder(settings, "AVI files", lock)) return EXIT_FAILURE_OTHER;

  JobState state;
  state.reset();
  state.backupRunning = true;
  installStopSignals(state.backupRunning);
  BackupOptions options;
  options.fileCreated = [](const std::string& path) {
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
  };

  // The bar shows how far the job has come through its folder range.
  const FolderRange range = folderRange(countStoreFolders(settings.diskRoot), settings);
  const std::int64_t files = std::max<std::int64_t>(1, std::int64_t{range.limit - range.first} * FILES_PER_FOLDER);

  ProgressDisplay progress;
  JobThread worker;
  worker.start([&] { backupWorker(settings, state, options); });
  followJob(worker, progress, [&] {
    const std::int64_t done =
        std::int64_t{state.currentBackupFolder - range.first} * FILES_PER_FOLDER + state.currentBackupFile;
    progress.show(static_cast<int>(std::clamp<std::int64_t>(done * 100 / files, 0, 100)), statusText(state));
  });

  const unsigned long long mib = state.totalBytesWritten / 1024 / 1024;
  if (state.backupEnd == BackupEnd::Stopped) {
    progress.message("backup interrupted: every AVI file written so far is finished (" + std::to_string(mib) +
                     " MiB)");
    return EXIT_INTERRUPTED;
  }
  if (state.backupEnd == BackupEnd::OutputFailed) {
    progress.message("korvex-cli: cannot write " + state.backupFailedPath + ": " +
                     std::strerror(state.backupErrorNumber) + "; the AVI files listed before it are complete");
    return EXIT_FAILURE_OTHER;
  }
  if (state.backupEnd == BackupEnd::SourceFailed) {
    progress.message("korvex-cli: cannot read the recording file " + state.sourceFailedPath + ": " +
                     state.sourceFailureReason + "; the job ended there, the AVI files listed are complete");
    return EXIT_FAILURE_OTHER;
  }
  const std::string missing = missingFileNote(state);
  if (!state.videoFound) {
    progress.message("can't find video data!" + missing);
    return EXIT_NO_VIDEO;
  }
  progress.message("finish! (" + std::to_string(mib) + " MiB exported)" + missing);
  return EXIT_DONE;
}

}  // namespace korvex::cli
