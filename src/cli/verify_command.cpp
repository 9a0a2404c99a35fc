#include <cstdio>

#include "cli/commands.h"
#include "cli/job_source.h"
#include "cli/stop_signals.h"
#include "jobs/verify.h"

namespace korvex::cli {

int runVerifyCommand(const std::string& logPath, const std::string& disk, int partition) {
  std::unique_ptr<RecordingSource> source;
  if (!disk.empty()) {
    JobSettings settings;
    settings.diskRoot = disk;
    int status = EXIT_FAILURE_OTHER;
    source = openJobSource(settings, partition, status);
    // A disk without a store cannot hold what the log names: a difference.
    if (!source) return status == EXIT_USAGE ? EXIT_USAGE : EXIT_FAILURE_OTHER;
  }
  StopRequest stop;
  installStopSignals(stop);
  const VerifyOutcome outcome = verifyLog(logPath, source.get(), &stop);
  for (const std::string& difference : outcome.differences) std::fprintf(stderr, "%s\n", difference.c_str());
  std::fprintf(stderr, "korvex-cli: verify %s: %s\n", logPath.c_str(), verifySummary(outcome).c_str());
  if (outcome.stopped) return EXIT_INTERRUPTED;
  return outcome.holds() ? EXIT_DONE : EXIT_FAILURE_OTHER;
}

}  // namespace korvex::cli
