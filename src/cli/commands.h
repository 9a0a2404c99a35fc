// The jobs korvex-cli runs, each returning the program's exit status.
#pragma once

#include "cli/cli_options.h"

namespace korvex::cli {

int runScanCommand(const JobSettings& settings);
int runBackupCommand(const JobSettings& settings);

}  // namespace korvex::cli
