// Reading back what the AVI writer wrote, and the header block it should
// hold, placed field by field at absolute offsets.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avi/avi_file.h"

namespace korvex {

// The writer's insides, for tests that pin them down.
class AviFileTestAccess {
 public:
  static int descriptor(const AviFile& avi) { return avi.file_ ? avi.file_->descriptor() : -1; }
  static const std::vector<std::uint8_t>& index(const AviFile& avi) { return avi.index_; }
  // Entries the index has room for.
  static std::size_t indexCapacity(const AviFile& avi) { return avi.index_.capacity() / AviFile::INDEX_ENTRY_SIZE; }
  // Bytes gathered and not yet written.
  static std::size_t buffered(const AviFile& avi) { return avi.buffered_; }
  static bool rewriteHeaderBlock(AviFile& avi) { return avi.rewriteHeaderBlock(); }
  // So that a test sees which call sets the failure.
  static void clearFailure(AviFile& avi) { avi.lastFailure_ = {}; }
  // Moves the write position on by `bytes` as if that much media had been
  // written, without growing the file, so the size limit can be reached
  // without a 4 GiB file. Chunks and the file length stay `bytes` behind.
  // Only for a file without chunks.
  static void skipAhead(AviFile& avi, std::uint32_t bytes) {
    avi.bufferStart_ += bytes;
    avi.skippedBytes_ += bytes;
  }
};

}  // namespace korvex

namespace korvex::avitest {

// A new file at `path`; null (and a test failure) when it cannot be created.
std::unique_ptr<AviFile> createAvi(const std::string& path);

std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at);
std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at);
std::string fourcc(const std::vector<std::uint8_t>& bytes, std::size_t at);
off_t fileSize(const std::string& path);
std::vector<std::uint8_t> fileBytes(const std::string& path);
// Offset of the first byte where the two differ, or -1 when they are equal.
long firstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);
// A buffer of `length` bytes, none of them zero, so pad bytes stand out.
std::vector<std::uint8_t> pattern(std::size_t length, std::uint8_t seed = 0x41);

struct ExpectedTrack {
  std::int32_t channels = 1;
  std::int32_t sampleRate = 8000;
  std::int32_t bits = 8;
  std::int32_t formatTag = 6;
  std::int32_t kbps = 64;
  std::uint32_t byteCount = 0;
};

struct ExpectedHeader {
  bool final = false;
  std::uint32_t riffSize = 4278185987u;
  std::uint32_t moviSize = 4278185987u;
  std::uint32_t flags = 0x110;
  std::uint32_t frames = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t microsPerFrame = 0;
  std::uint32_t videoRate = 0;
  std::array<std::uint8_t, 4> fourcc = {0, 0, 0, 0};
  std::vector<ExpectedTrack> tracks;
};

std::vector<std::uint8_t> expectedHeaderBlock(const ExpectedHeader& want);

// An idx1 entry as the file holds it.
struct ExpectedEntry {
  std::string id;
  std::uint32_t flags;
  std::uint32_t offset;
  std::uint32_t length;
};
void appendIndexEntry(std::vector<std::uint8_t>& out, const ExpectedEntry& entry);
void appendChunk(std::vector<std::uint8_t>& out, const std::string& id, const std::vector<std::uint8_t>& data);

// Lets the process write files only up to `bytes`; writes beyond fail with
// EFBIG instead of raising SIGXFSZ. Both are put back on destruction.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    savedHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, savedHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool ok() const { return ok_; }

 private:
  rlimit saved_{};
  sighandler_t savedHandler_ = SIG_DFL;
  bool ok_ = false;
};

}  // namespace korvex::avitest
