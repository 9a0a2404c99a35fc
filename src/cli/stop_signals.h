// SIGINT, SIGTERM and SIGHUP ask the running job to stop, like the window's Stop
// buttons: the job finishes the recording file it is in and closes its output.
#pragma once

#include <atomic>

namespace korvex::cli {

// Installs the handlers. From then on a signal clears `runFlag` (the job's
// run flag) at once, so the worker sees it at its very next file.
void installStopSignals(std::atomic<bool>& runFlag);

}  // namespace korvex::cli
