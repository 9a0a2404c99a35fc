#include "cli/disks_command.h"

#include <cstdio>
#include <string>

#include "cli/cli_options.h"
#include "store/disk_source.h"

namespace korvex::cli {

namespace {

const char* const DISKS_USAGE =
    "usage: korvex-cli disks IMAGE|DEVICE\n"
    "\n"
    "Lists the partitions of a disk image (raw, or the first file of an EWF set)\n"
    "or a block device, read-only: where each starts, its length, its file system\n"
    "and whether its root holds recorder folders (dirNNNNN). A partition's number\n"
    "is the one --partition takes; a bad entry of the table (one that starts past\n"
    "the end of a cut-off image) keeps its number and says what is wrong with it.\n"
    "\n"
    "Exit status: 0 listed; 1 the disk cannot be read; 2 bad usage.\n";

}  // namespace

int runDisksCommand(const std::vector<std::string>& args) {
  if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
    std::fputs(DISKS_USAGE, stdout);
    return EXIT_DONE;
  }
  if (args.size() != 2 || args[1].empty() || args[1][0] == '-') {
    std::fputs("korvex-cli: disks needs one disk image or device (see korvex-cli disks --help)\n", stderr);
    return EXIT_USAGE;
  }
  const std::string& path = args[1];
  const OpenedImage opened = openDiskImage(path);
  if (!opened) {
    std::fprintf(stderr, "korvex-cli: %s\n", opened.failure.reason.c_str());
    return EXIT_FAILURE_OTHER;
  }
  const PartitionList listed = listPartitions(*opened.image);
  const std::vector<PartitionInfo>& partitions = listed.partitions;
  if (partitions.empty()) {
    std::fprintf(stderr, "korvex-cli: %s\n", listed.failure.reason.c_str());
    return EXIT_FAILURE_OTHER;
  }
  const DiskImageInfo& info = opened.image->info();
  std::printf("%s: %s, %llu bytes\n", path.c_str(), info.format.c_str(), static_cast<unsigned long long>(info.sizeBytes));
  if (info.segments.size() > 1) std::printf("  segments: %zu\n", info.segments.size());
  // The stored hashes, the model and the serial come from the evidence or the
  // drive's firmware: never raw to the terminal either.
  if (!info.md5.empty()) std::printf("  stored MD5:  %s\n", printableText(info.md5).c_str());
  if (!info.sha1.empty()) std::printf("  stored SHA1: %s\n", printableText(info.sha1).c_str());
  if (!info.model.empty()) std::printf("  model:  %s\n", printableText(info.model).c_str());
  if (!info.serial.empty()) std::printf("  serial: %s\n", printableText(info.serial).c_str());
  std::printf("%-9s  %14s  %14s  %-11s  %7s  %-5s  %s\n", "partition", "start", "length", "file system", "folders",
              "store", "description");
  for (const PartitionInfo& p : partitions) {
    // The table's words come from the disk.
    std::string description = printableText(p.description);
    if (!p.problem.empty()) description += (description.empty() ? "[bad entry: " : " [bad entry: ") + p.problem + "]";
    std::printf("%-9d  %14llu  %14llu  %-11s  %7d  %-5s  %s\n", p.index, static_cast<unsigned long long>(p.startBytes),
                static_cast<unsigned long long>(p.lengthBytes), p.fileSystem.empty() ? "-" : p.fileSystem.c_str(),
                p.folders, p.holdsStore ? "yes" : "no", description.c_str());
  }
  return EXIT_DONE;
}

}  // namespace korvex::cli
