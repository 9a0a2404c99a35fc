// Runs the companion built beside the tests with `args`, as a script would.
#pragma once

#include <string>
#include <vector>

#include "support/media_probe.h"

namespace korvex::testing {

inline ProgramRun cli(std::vector<std::string> args) {
  args.insert(args.begin(), KORVEX_CLI_PATH);
  return runProgram(args);
}

}  // namespace korvex::testing
