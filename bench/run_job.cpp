// korvex-bench-job scan|backup ROOT OUT
//
// Runs a scan or a backup of everything (the companion's defaults) on the
// calling thread and nothing else: no progress display, no waiting for a
// worker thread. The benchmarks time it beside korvex-cli to tell the jobs'
// own cost from the companion's.
#include <cstdio>
#include <string>

#include "jobs/backup_worker.h"
#include "jobs/job_settings.h"
#include "jobs/job_state.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"

int main(int argc, char** argv) {
  const std::string command = argc == 4 ? argv[1] : "";
  if (command != "scan" && command != "backup") {
    std::fputs("usage: korvex-bench-job scan|backup ROOT OUT\n", stderr);
    return 2;
  }
  korvex::JobSettings settings;
  settings.diskRoot = argv[2];
  if (settings.diskRoot.empty() || settings.diskRoot.back() != '/') settings.diskRoot += '/';
  settings.outputFolder = argv[3];

  korvex::JobState state;
  state.reset();
  if (command == "scan") {
    state.scanRunning = true;
    korvex::scanWorker(settings, state);
    if (state.scanEnd != korvex::ScanEnd::RangeDone) {
      std::fprintf(stderr, "korvex-bench-job: the scan ended early (%d)\n", static_cast<int>(state.scanEnd.load()));
      return 1;
    }
    std::printf("%d segments\n", state.segmentCount.load());
    return 0;
  }

  korvex::selectEverything(settings);
  state.backupRunning = true;
  korvex::backupWorker(settings, state);
  if (state.backupEnd != korvex::BackupEnd::RangeDone) {
    std::fprintf(stderr, "korvex-bench-job: the backup ended early (%d)\n", static_cast<int>(state.backupEnd.load()));
    return 1;
  }
  std::printf("%llu bytes exported\n", static_cast<unsigned long long>(state.totalBytesWritten.load()));
  return 0;
}
