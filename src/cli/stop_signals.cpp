#include "cli/stop_signals.h"

#include <csignal>

namespace korvex::cli {

namespace {

std::atomic<std::atomic<bool>*> jobRunFlag{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<std::atomic<bool>*>::is_always_lock_free,
              "both are used from a signal handler");

extern "C" void onStopSignal(int) {
  if (std::atomic<bool>* flag = jobRunFlag.load()) flag->store(false);
}

}  // namespace

void installStopSignals(std::atomic<bool>& runFlag) {
  jobRunFlag.store(&runFlag);
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
