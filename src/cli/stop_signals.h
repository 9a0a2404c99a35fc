// SIGINT and SIGTERM ask the running job to stop, like the window's Stop
// buttons: the job finishes the recording file it is in and closes its output.
#pragma once

namespace korvex::cli {

void installStopSignals();
bool stopRequested();

}  // namespace korvex::cli
