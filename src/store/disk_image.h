// The bytes of a whole disk as evidence holds them: a raw image file, the
// segments of an EWF set, a block device, or a buffer in memory. Every kind
// is read at offsets through one call, and none is ever written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/failure.h"
#include "store/byte_ranges.h"

namespace korvex {

// A stretch of the media, in bytes.
using MediaRange = ByteRange;

// What reading an EWF set has shown so far: libewf checks every chunk it
// reads against the checksum stored with it. Kept up to date by the image
// while jobs read; every copy of the disk's description sees the same.
class ChunkChecks {
 public:
  struct Tally {
    std::uint64_t chunksRead = 0;     // distinct chunks, each checked as it was read
    std::vector<MediaRange> failed;   // chunks whose checksum failed, in media order
  };
  ChunkChecks(std::uint64_t chunkBytes, std::uint64_t mediaBytes);
  Tally tally() const;
  // Notes the chunks that [offset, offset + length) touches as read.
  void noteRead(std::uint64_t offset, std::uint64_t length);
  // Notes a chunk whose checksum failed (rounded out to whole chunks).
  void noteFailed(MediaRange range);
  // The first byte of [offset, offset + length) in a failed chunk, or
  // UINT64_MAX when none is.
  std::uint64_t firstFailedIn(std::uint64_t offset, std::uint64_t length) const;

 private:
  // One bit a chunk, in pages made as chunks in them are first read, so a
  // job that reads a few files of a large disk keeps a few pages.
  static constexpr std::uint64_t CHUNKS_PER_PAGE = 1u << 16;
  std::uint64_t chunkBytes_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<std::uint64_t[]>> pages_;
  std::uint64_t chunksRead_ = 0;
  std::vector<MediaRange> failed_;
};

// What a disk is, for people and the custody log.
struct DiskImageInfo {
  std::string path;      // as given (the first segment of an EWF set)
  std::string format;    // "raw", "ewf", "device" or "memory"
  std::uint64_t sizeBytes = 0;  // the media's size (for EWF, the acquired disk's)
  std::vector<std::string> segments;  // EWF: every segment file of the set, in order
  std::string md5;       // EWF: acquisition hashes stored in the set, lower-case hex; never
  std::string sha1;      // computed here (a job reads only some chunks), so not verified
  // EWF, checked when the set was opened: the segment that ends the set,
  // and the chunks its tables hold (enough for the media's size).
  std::uint32_t segmentsExpected = 0;
  std::uint32_t chunkBytes = 0;
  std::uint64_t chunks = 0;
  std::shared_ptr<const ChunkChecks> chunkChecks;  // EWF: what reading has shown
  std::string model;     // device: what the system knows of it
  std::string serial;
};

class DiskImage {
 public:
  virtual ~DiskImage() = default;
  // Reads up to `length` bytes at `offset`: the bytes read (fewer at the
  // end of the media, 0 past it, or fewer up to a part that cannot be
  // read), or -1 with errno set. Safe to call from several threads at once.
  // An EWF chunk whose checksum fails cannot be read (EIO), ever.
  virtual std::int64_t readAt(std::uint64_t offset, void* into, std::size_t length) = 0;
  std::uint64_t size() const { return info_.sizeBytes; }
  // The device's logical sector size, 512 for files.
  unsigned sectorSize() const { return sectorSize_; }
  // The least that one failure makes unreadable: the sector, or for an EWF
  // set its chunk.
  unsigned failureUnit() const { return failureUnit_ > sectorSize_ ? failureUnit_ : sectorSize_; }
  const DiskImageInfo& info() const { return info_; }

 protected:
  DiskImageInfo info_;
  unsigned sectorSize_ = 512;
  unsigned failureUnit_ = 0;
};

// Fills `model` and `serial` of `info` with what sysfs and udev know of the
// block device numbered `device` (st_rdev, or st_dev of a file on it), or
// of the disk a partition is on. Left empty where nothing is known.
void describeBlockDevice(std::uint64_t device, DiskImageInfo& info);

// True when the file starts with the EWF segment signature.
bool looksLikeEwf(const std::string& path);

// A disk opened, or why not.
struct OpenedImage {
  std::unique_ptr<DiskImage> image;
  // DiskUnreadable when it cannot be opened; path: as given; reason: the
  // sentence naming it ("cannot open <path>: ..."); errno where a call said.
  Failure failure;
  explicit operator bool() const { return image != nullptr; }
};

// Opens a regular file (raw, or EWF by its signature, the set's other
// segments found beside it) or a block device, read-only. Refused when it
// cannot be opened, and for an EWF set that is not whole (a segment missing
// or cut short, the set's own check failing).
OpenedImage openDiskImage(const std::string& path);

// A disk held in memory (tests and fuzzing). Reads in [failFrom, failTo)
// fail with EIO, to play a disk with a damaged area.
std::unique_ptr<DiskImage> memoryDiskImage(std::vector<std::uint8_t> bytes, std::uint64_t failFrom = 0,
                                           std::uint64_t failTo = 0);

}  // namespace korvex
