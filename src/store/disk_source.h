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

// A folder becomes a FolderSource (with a '/' added when it has none); a
// regular file or a block device is opened read-only as a disk and its
// store found on partition `partition` (0: the first that holds one). Null
// with a sentence in `error` when there is no store to read.
std::unique_ptr<RecordingSource> openDiskSource(const std::string& diskArgument, int partition, std::string& error,
                                                ImageOptions options = {});

// The partitions of a disk image file or block device (see listPartitions).
std::vector<PartitionInfo> listPartitions(const std::string& path, std::string& error);

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
DiskDescription describeDisk(const RecordingSource& source);

}  // namespace korvex
