// korvex-cli report LOG.json... --out DIR: the examination report made from
// the logs of the jobs, as one HTML page with its hash list beside it.
#pragma once

#include <string>
#include <vector>

namespace korvex::cli {

// `args` are the command line without the program name, "report" first.
// Returns the exit status: 0 written, 1 a log or the report could not be
// read or written, 2 bad usage.
int runReportCommand(const std::vector<std::string>& args);

extern const char* const REPORT_USAGE;

}  // namespace korvex::cli
