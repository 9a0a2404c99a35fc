// The bytes of a whole disk as evidence holds them: a raw image file, the
// segments of an EWF set, a block device, or a buffer in memory. Every kind
// is read at offsets through one call, and none is ever written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

// What a disk is, for people and the custody log.
struct DiskImageInfo {
  std::string path;      // as given (the first segment of an EWF set)
  std::string format;    // "raw", "ewf", "device" or "memory"
  std::uint64_t sizeBytes = 0;  // the media's size (for EWF, the acquired disk's)
  std::vector<std::string> segments;  // EWF: every segment file of the set, in order
  std::string md5;       // EWF: acquisition hashes stored in the set, lower-case hex
  std::string sha1;
  std::string model;     // device: what the system knows of it
  std::string serial;
};

class DiskImage {
 public:
  virtual ~DiskImage() = default;
  // Reads up to `length` bytes at `offset`: the bytes read (fewer only at
  // the end of the media, 0 past it), or -1 with errno set. Safe to call from
  // several threads at once.
  virtual std::int64_t readAt(std::uint64_t offset, void* into, std::size_t length) = 0;
  std::uint64_t size() const { return info_.sizeBytes; }
  // The device's logical sector size, 512 for files.
  unsigned sectorSize() const { return sectorSize_; }
  const DiskImageInfo& info() const { return info_; }

 protected:
  DiskImageInfo info_;
  unsigned sectorSize_ = 512;
};

// Fills `model` and `serial` of `info` with what sysfs and udev know of the
// block device numbered `device` (st_rdev, or st_dev of a file on it), or
// of the disk a partition is on. Left empty where nothing is known.
void describeBlockDevice(std::uint64_t device, DiskImageInfo& info);

// True when the file starts with the EWF segment signature.
bool looksLikeEwf(const std::string& path);

// Opens a regular file (raw, or EWF by its signature, the set's other
// segments found beside it) or a block device, read-only. Null with a
// sentence in `error` when it cannot be opened.
std::unique_ptr<DiskImage> openDiskImage(const std::string& path, std::string& error);

// A disk held in memory (tests and fuzzing). Reads in [failFrom, failTo)
// fail with EIO, to play a disk with a damaged area.
std::unique_ptr<DiskImage> memoryDiskImage(std::vector<std::uint8_t> bytes, std::uint64_t failFrom = 0,
                                           std::uint64_t failTo = 0);

}  // namespace korvex
