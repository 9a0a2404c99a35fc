// korvex-cli: runs Korvex's scan and backup without a window. Built twice:
// as korvex-cli, which hands the commands that make pictures to the second,
// korvex-cli-pictures (KORVEX_CLI_PICTURES), which runs them all.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/disks_command.h"
#include "cli/pictures_program.h"
#ifdef KORVEX_CLI_PICTURES
#include "cli/report_command.h"
#endif

int main(int argc, char** argv) {
  using namespace korvex::cli;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string command = args.empty() ? std::string() : args[0];
#ifdef KORVEX_CLI_PICTURES
  takeCliFolder();
  if (command == "report") return runReportCommand(args);
#else
  if (command == "report" || command == "still") return runPicturesProgram(argv);
#endif
  if (command == "disks") return runDisksCommand(args);
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
#ifdef KORVEX_CLI_PICTURES
      return runStillCommand(request.settings, request.partition, request.stillChannel, request.stillAt);
#else
      return runPicturesProgram(argv);
#endif
  }
  return EXIT_USAGE;
}
