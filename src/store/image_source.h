// A recorder store inside a disk image, an EWF set or a block device, read
// through The Sleuth Kit without mounting anything: the partition table (or
// none), the file system of a partition, its root and its recording files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/disk_image.h"
#include "store/recording_source.h"

namespace korvex {

// One partition of a disk (or the whole disk when it holds a bare file
// system), as `korvex-cli disks` lists it.
struct PartitionInfo {
  int index = 0;  // 1, 2, ... in the order of the partition table; 1 for a bare file system
  std::uint64_t startBytes = 0;
  std::uint64_t lengthBytes = 0;
  std::string description;  // the table's words for it ("Linux (0x83)"), or "whole disk"
  std::string fileSystem;   // "fat32", "exfat", "ext4", ...; "" when none is recognised
  int folders = 0;          // entries at its root whose names start with "dir"
  bool holdsStore = false;  // folders > 0
  // Why the table's entry cannot be read as a partition ("starts at byte
  // ..., past the end of the disk ..."); "" for a good one. A bad entry
  // keeps its number, so that the good ones keep theirs.
  std::string problem;
};

struct ImageOptions {
  // Reads a recording file's bytes straight from the disk where the file
  // system lays them out in plain runs of blocks, one disk read per read, as
  // a mounted folder's file is read. Off, every read goes through the file
  // system library, whose cache reads the disk in 64 KiB pieces: a scan,
  // which reads only the frame headers, then reads every byte of the files
  // (measured twice the folder's processor time; direct reads: the
  // folder's). Files whose data is not in plain runs are always read
  // through the library.
  bool directReads = true;
};

struct OpenedImageSource;

class ImageSource final : public RecordingSource {
 public:
  // The store on partition `partition` (as listPartitions numbers them), or
  // on the first partition that holds one when it is 0, or why there is no
  // such store.
  static OpenedImageSource open(std::unique_ptr<DiskImage> disk, int partition, ImageOptions options = {});
  ~ImageSource() override;
  ImageSource(const ImageSource&) = delete;
  ImageSource& operator=(const ImageSource&) = delete;

  // Counted and looked up as the file system itself compares names: without
  // regard to case on FAT, exFAT, NTFS and HFS, exactly elsewhere.
  int countFolders() const override;
  FolderListing listFolders() const override;
  OpenedFile openFile(int folder, int file, ReadPattern pattern) const override;
  // "<image>:partition 2:dir00000/file0003.dat" ("<image>:dir00000/..." for
  // a bare file system).
  std::string filePath(int folder, int file) const override;
  std::string describe() const override;
  DiskDescription describeDisk() const override;

  const DiskImageInfo& disk() const;
  const PartitionInfo& partition() const;
  // True when the partition has no table around it.
  bool wholeDisk() const;

  struct Volume;

 private:
  explicit ImageSource(std::shared_ptr<Volume> volume);
  std::shared_ptr<Volume> volume_;
};

// A store opened on a disk, or why not: NoSuchPartition (the table has no
// partition of that number), NoStore (the file systems asked for can be read
// and hold no recorder folders) or DiskUnreadable (the disk, its table or
// the file system asked for cannot be read). path: the disk; reason: the
// sentence naming it.
struct OpenedImageSource {
  std::unique_ptr<ImageSource> source;
  Failure failure;
  explicit operator bool() const { return source != nullptr; }
};

// The partitions of a disk, or why they cannot be listed (DiskUnreadable,
// the sentence in reason).
struct PartitionList {
  std::vector<PartitionInfo> partitions;
  Failure failure;
};

// Every partition of the disk with its file system and whether it holds a
// store, bad entries of its table included. Refused when the disk holds
// neither a partition table nor a file system that can be read.
PartitionList listPartitions(DiskImage& disk);

// Text taken from the disk (a partition's name, a label) as it may be
// printed on a terminal: control characters (C0, DEL, C1), bytes that are
// not UTF-8 and the backslash itself are written as \x1b, \xc2\x9b, \\.
std::string printableText(std::string_view text);

}  // namespace korvex
