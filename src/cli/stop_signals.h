// SIGINT, SIGTERM and SIGHUP ask the running job to stop, like the window's
// Stop buttons: the job finishes the recording file it is in and closes its
// output.
#pragma once

#include "base/stop_request.h"

namespace korvex::cli {

// Installs the handlers. From then on a signal sets `stop` at once, so the
// worker sees it at its very next file.
void installStopSignals(StopRequest& stop);

}  // namespace korvex::cli
