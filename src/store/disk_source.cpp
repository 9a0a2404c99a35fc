#include "store/disk_source.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/mount_table.h"
#include "store/drive_list.h"
#include "store/recording_store.h"

namespace korvex {

namespace {

std::string resolvedPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

// The last name of a path, trailing '/' left out.
std::string lastName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentFolder(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
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

std::string diskRootOf(const std::string& text) {
  struct stat status {};
  const bool named = !text.empty() && stat(text.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
  return named ? text : diskRootFromText(text);
}

OpenedDisk openDisk(const std::string& text, int partition, const DiskOptions& options) {
  OpenedDisk opened;
  Failure& failure = opened.failure;
  failure.path = text;
  struct stat status {};
  if (text.empty() || stat(text.c_str(), &status) != 0) {
    failure.code = FailureCode::Missing;
    failure.errorNumber = text.empty() ? ENOENT : errno;
    failure.reason = std::strerror(failure.errorNumber);
    return opened;
  }
  if (S_ISDIR(status.st_mode)) {
    opened.kind = DiskKind::Folder;
    if (partition > 0 && !options.folderIgnoresPartition) {
      failure.code = FailureCode::PartitionOnFolder;
      failure.reason = text + " is a folder: a partition can be chosen only on a disk image or a device";
      return opened;
    }
    auto folder = std::make_unique<FolderSource>(diskRootFromText(text));
    // A recorder folder holds files, not folders: given as the disk, its
    // parent is the disk that was meant.
    const std::string name = lastName(text);
    const std::string parent = parentFolder(text);
    if (folder->countFolders() == 0 && name.rfind("dir", 0) == 0 &&
        countStoreFolders(diskRootFromText(parent)) > 0) {
      failure.code = FailureCode::StoreFolderPicked;
      failure.path = parent;
      failure.reason = text + " is one of the recorder's folders; the disk is the folder that holds it: " + parent;
      return opened;
    }
    opened.source = std::move(folder);
    return opened;
  }
  if (S_ISBLK(status.st_mode) || S_ISREG(status.st_mode))
    opened.kind = S_ISBLK(status.st_mode) ? DiskKind::Device : DiskKind::Image;
  OpenedImage image = openDiskImage(text);
  if (!image) {
    failure = std::move(image.failure);
    return opened;
  }
  OpenedImageSource store = ImageSource::open(std::move(image.image), partition, options.image);
  opened.source = std::move(store.source);
  if (!opened.source) failure = std::move(store.failure);
  failure.path = text;
  return opened;
}

std::string diskFailureText(const Failure& failure) {
  if (failure.code != FailureCode::Missing) return failure.reason;
  return failure.path.empty() ? "no disk given" : "cannot open " + failure.path + ": " + failure.reason;
}

PartitionList listPartitions(const std::string& path) {
  OpenedImage image = openDiskImage(path);
  if (!image) return {{}, std::move(image.failure)};
  return listPartitions(*image.image);
}

DiskDescription RecordingSource::describeDisk() const {
  DiskDescription description;
  description.disk.path = describe();
  description.disk.format = "other";
  return description;
}

DiskDescription FolderSource::describeDisk() const {
  DiskDescription description;
  description.disk.path = describe();
  description.disk.format = "folder";
  description.resolvedPath = resolvedPath(description.disk.path.empty() ? "." : description.disk.path);
  describeFolderMount(description.resolvedPath, description);
  return description;
}

DiskDescription ImageSource::describeDisk() const {
  DiskDescription description;
  description.disk = disk();
  description.partitioned = !wholeDisk();
  description.partition = partition();
  description.fileSystem = description.partition.fileSystem;
  if (description.disk.format != "memory") description.resolvedPath = resolvedPath(description.disk.path);
  if (description.disk.format == "device") description.device = description.resolvedPath;
  return description;
}

}  // namespace korvex
