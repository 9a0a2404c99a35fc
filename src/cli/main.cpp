// korvex-cli: runs Korvex's scan and backup without a window.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/disks_command.h"
#include "cli/report_command.h"

int main(int argc, char** argv) {
  using namespace korvex::cli;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "disks") return runDisksCommand(args);
  if (!args.empty() && args[0] == "report") return runReportCommand(args);
  CliRequest request;
  std::string error;
  if (!parseCommandLine(args, request, error)) {
    std::fprintf(stderr, "korvex-cli: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  // A closed stdout (korvex-cli ... | head) must not kill a job with open
  // AVI files; the lines are simply lost.
  std::signal(SIGPIPE, SIG_IGN);
  switch (request.command) {
    case Command::Help:
      std::fputs(usageText(request.helpFor), stdout);
      return EXIT_DONE;
    case Command::Version:
      std::puts("korvex-cli " KORVEX_VERSION);
      return EXIT_DONE;
    case Command::Scan:
      return runScanCommand(request.settings, request.partition);
    case Command::Backup:
      return runBackupCommand(request.settings, request.partition);
    case Command::Verify:
      return runVerifyCommand(request.logPath, request.settings.diskRoot, request.partition);
    case Command::Still:
      return runStillCommand(request.settings, request.partition, request.stillChannel, request.stillAt);
  }
  return EXIT_USAGE;
}
