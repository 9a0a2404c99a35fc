// korvex-cli disks IMAGE|DEVICE: the partitions of a disk and which of them
// hold a recorder store.
#pragma once

#include <string>
#include <vector>

namespace korvex::cli {

// `args` are the command line without the program name, "disks" first.
// Returns the exit status: 0 listed, 1 the disk cannot be read, 2 bad usage.
int runDisksCommand(const std::vector<std::string>& args);

}  // namespace korvex::cli
