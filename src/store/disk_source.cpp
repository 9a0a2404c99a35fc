#include "store/disk_source.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace korvex {

std::unique_ptr<RecordingSource> openDiskSource(const std::string& diskArgument, int partition, std::string& error,
                                                ImageOptions options) {
  if (diskArgument.empty()) {
    error = "no disk given";
    return nullptr;
  }
  struct stat status {};
  if (stat(diskArgument.c_str(), &status) != 0) {
    error = "cannot open " + diskArgument + ": " + std::strerror(errno);
    return nullptr;
  }
  if (S_ISDIR(status.st_mode)) {
    if (partition > 0) {
      error = diskArgument + " is a folder: a partition can be chosen only on a disk image or a device";
      return nullptr;
    }
    std::string root = diskArgument;
    if (root.back() != '/') root += '/';
    return std::make_unique<FolderSource>(std::move(root));
  }
  std::unique_ptr<DiskImage> disk = openDiskImage(diskArgument, error);
  if (!disk) return nullptr;
  return ImageSource::open(std::move(disk), partition, error, options);
}

std::vector<PartitionInfo> listPartitions(const std::string& path, std::string& error) {
  std::unique_ptr<DiskImage> disk = openDiskImage(path, error);
  if (!disk) return {};
  return listPartitions(*disk, error);
}

DiskDescription describeDisk(const RecordingSource& source) {
  DiskDescription description;
  if (const auto* image = dynamic_cast<const ImageSource*>(&source)) {
    description.disk = image->disk();
    description.partitioned = !image->wholeDisk();
    description.partition = image->partition();
    return description;
  }
  description.disk.path = source.describe();
  description.disk.format = dynamic_cast<const FolderSource*>(&source) != nullptr ? "folder" : "other";
  return description;
}

}  // namespace korvex
