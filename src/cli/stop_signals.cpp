#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace korvex::cli {

namespace {

std::atomic<StopRequest*> jobStop{nullptr};
static_assert(std::atomic<StopRequest*>::is_always_lock_free, "read from a signal handler");

extern "C" void onStopSignal(int) {
  if (StopRequest* stop = jobStop.load()) stop->interrupt();
}

}  // namespace

void installStopSignals(StopRequest& stop) {
  jobStop.store(&stop);
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal or a dropped remote session stops the job the same
  // way: its files are finished, not cut off.
  sigaction(SIGHUP, &action, nullptr);
}

}  // namespace korvex::cli
