#include "cli/job_source.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "store/disk_source.h"

namespace korvex::cli {

std::unique_ptr<RecordingSource> openJobSource(JobSettings& settings, int partition, int& status) {
  std::string& disk = settings.diskRoot;
  struct stat info {};
  const bool exists = stat(disk.c_str(), &info) == 0;
  if (partition == 0 && (!exists || S_ISDIR(info.st_mode))) {
    // The store's walk says what is wrong with a folder that is not there.
    if (disk.back() != '/') disk += '/';
    return std::make_unique<FolderSource>(disk);
  }
  std::string error;
  std::unique_ptr<RecordingSource> source = openDiskSource(disk, partition, error);
  if (source) return source;

  status = EXIT_FAILURE_OTHER;
  if (exists && S_ISDIR(info.st_mode)) {
    status = EXIT_USAGE;
    std::fprintf(stderr, "korvex-cli: --partition: %s\n", error.c_str());
    return nullptr;
  }
  if (exists) {
    // When the disk's layout can be read, what is missing is the partition
    // asked for, or a store on a file system that can be read.
    std::string ignored;
    const std::vector<PartitionInfo> partitions = listPartitions(disk, ignored);
    bool anyFileSystem = false;
    for (const PartitionInfo& p : partitions) anyFileSystem = anyFileSystem || !p.fileSystem.empty();
    if (!partitions.empty() && partition > static_cast<int>(partitions.size())) {
      status = EXIT_USAGE;
      std::fprintf(stderr, "korvex-cli: --partition: %s; korvex-cli disks %s lists them\n", error.c_str(),
                   disk.c_str());
      return nullptr;
    }
    // A bad entry of the table lies where the disk cannot be read.
    const bool badEntry = partition > 0 && partition <= static_cast<int>(partitions.size()) &&
                          !partitions[static_cast<std::size_t>(partition) - 1].problem.empty();
    if (anyFileSystem && !badEntry) {
      status = EXIT_NO_VIDEO;
      std::fprintf(stderr, "korvex-cli: can't find video data! (%s)\n", error.c_str());
      return nullptr;
    }
  }
  std::fprintf(stderr, "korvex-cli: cannot read the disk: %s\n", error.c_str());
  return nullptr;
}

}  // namespace korvex::cli
