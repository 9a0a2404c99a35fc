// The command line of korvex-cli, parsed into job settings.
#pragma once

#include <string>
#include <vector>

#include "jobs/job_settings.h"

namespace korvex::cli {

// Exit statuses.
inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_FAILURE_OTHER = 1;
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_NO_VIDEO = 3;
inline constexpr int EXIT_INTERRUPTED = 130;

enum class Command { Help, Version, Scan, Backup, Verify, Still };

struct CliRequest {
  Command command = Command::Help;
  Command helpFor = Command::Help;  // with --help after a command
  JobSettings settings;  // diskRoot as given: a folder, a disk image file or a device
  int partition = 0;     // --partition: 1, 2, ...; 0 picks the first that holds a store
  std::string logPath;   // verify: the job's log (.json); settings.diskRoot: the disk, or empty
  // still: the channel (index: 0 is channel 1) and the recorder time asked for.
  std::int32_t stillChannel = 0;
  RecorderTime stillAt = 0;
};

// Parses argv (without the program name). On bad usage returns false with a
// one-line message in `error`.
bool parseCommandLine(const std::vector<std::string>& args, CliRequest& request, std::string& error);

const char* usageText(Command command);

}  // namespace korvex::cli
