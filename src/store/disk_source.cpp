#include "store/disk_source.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace korvex {

namespace {

std::string resolvedPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

// The mount table writes a space, tab, newline and backslash as \040 and so on.
std::string unescapeMountField(const std::string& field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && field.size() - i > 3) {
      const std::string octal = field.substr(i + 1, 3);
      if (octal.find_first_not_of("01234567") == std::string::npos) {
        text += static_cast<char>(std::strtol(octal.c_str(), nullptr, 8));
        i += 3;
        continue;
      }
    }
    text += field[i];
  }
  return text;
}

// The mount that holds `path` (resolved): of the entries of its device, the
// one whose mount point is the longest leading part of the path.
void describeFolderMount(const std::string& path, DiskDescription& description) {
  struct stat status {};
  if (description.resolvedPath.empty() || stat(description.resolvedPath.c_str(), &status) != 0) return;
  describeBlockDevice(status.st_dev, description.disk);
  const std::string number = std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
  std::ifstream table("/proc/self/mountinfo");
  std::string line;
  std::size_t best = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint;
    if (!(fields >> id >> parent >> device >> root >> mountPoint) || device != number) continue;
    mountPoint = unescapeMountField(mountPoint);
    const bool holds = mountPoint == "/" || path == mountPoint ||
                       path.compare(0, mountPoint.size() + 1, mountPoint + "/") == 0;
    if (!holds || mountPoint.size() < best) continue;
    // Optional fields run up to a lone "-", then the type and the source.
    std::string field, type, source;
    while (fields >> field && field != "-") {
    }
    if (!(fields >> type >> source)) continue;
    best = mountPoint.size();
    description.mountPoint = mountPoint;
    description.fileSystem = type;
    description.device = unescapeMountField(source);
  }
}

}  // namespace

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
    description.fileSystem = description.partition.fileSystem;
    if (description.disk.format != "memory") description.resolvedPath = resolvedPath(description.disk.path);
    if (description.disk.format == "device") description.device = description.resolvedPath;
    return description;
  }
  description.disk.path = source.describe();
  const bool folder = dynamic_cast<const FolderSource*>(&source) != nullptr;
  description.disk.format = folder ? "folder" : "other";
  if (folder) {
    description.resolvedPath = resolvedPath(description.disk.path.empty() ? "." : description.disk.path);
    describeFolderMount(description.resolvedPath, description);
  }
  return description;
}

}  // namespace korvex
