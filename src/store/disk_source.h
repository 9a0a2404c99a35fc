// The recorder's disk as a person names it: the folder of a mounted disk,
// a disk image file (raw or EWF) or a block device. Each becomes the source
// the jobs read, and each can be described for the custody log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/disk_image.h"
#include "store/image_source.h"
#include "store/recording_source.h"

namespace korvex {

// What stands in the way of reading a disk is decided once for both faces,
// as a Failure: its code one of Missing (nothing has that name; errno and the
// system's words), StoreFolderPicked (one of the recorder's dir* folders: its
// parent, in `path`, is the disk), PartitionOnFolder, NoSuchPartition,
// NoStore (its file systems can be read and hold no store) or
// DiskUnreadable (no disk image or device, or one that cannot be read).
// Else `path` is the disk as given and `reason` the sentence naming it.

enum class DiskKind { None, Folder, Image, Device };

struct DiskOptions {
  ImageOptions image;
  // The window's partition box belongs to images and devices: a folder
  // ignores it instead of being refused.
  bool folderIgnoresPartition = false;
};

// The disk as a person named it, opened as the jobs read it, or why not.
struct OpenedDisk {
  std::unique_ptr<RecordingSource> source;
  DiskKind kind = DiskKind::None;  // also for a refused folder, image or device
  Failure failure;  // path: the disk as given, also when it opened
  explicit operator bool() const { return source != nullptr; }
};

// How a job names the disk `text`: a folder (or a name that is not there)
// ends with '/', since file paths are made by appending to it; an image
// file or a device is named as it is.
std::string diskRootOf(const std::string& text);

// Classifies `text` once: missing, a folder (a FolderSource on
// diskRootOf(text)), a dir* folder given in place of its parent, or a
// regular file or block device opened read-only as a disk whose store is
// found on partition `partition` (0: the first that holds one). A folder
// without dir* entries opens: its walk says so.
OpenedDisk openDisk(const std::string& text, int partition, const DiskOptions& options = {});

// The failure as one sentence naming the disk ("cannot open <disk>: ...").
std::string diskFailureText(const Failure& failure);

// The partitions of a disk image file or block device (see listPartitions).
PartitionList listPartitions(const std::string& path);

// What the custody log records of a source.
struct DiskDescription {
  DiskImageInfo disk;          // format "folder" for a mounted folder (path: its root)
  bool partitioned = false;    // a partition of a table was used
  PartitionInfo partition;     // for an image or device: the one used
  std::string resolvedPath;    // disk.path with every symbolic link resolved; "" when it cannot be
  // A folder: the file system it lies on, as the mount table tells it
  // (device "/dev/sdb1", file system "vfat", mounted at "/mnt/rec").
  // An image or device: the file system of the partition read.
  std::string device;
  std::string fileSystem;
  std::string mountPoint;
};
// The source's own description (RecordingSource::describeDisk).
inline DiskDescription describeDisk(const RecordingSource& source) { return source.describeDisk(); }

}  // namespace korvex
