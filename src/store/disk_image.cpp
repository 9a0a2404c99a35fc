#include "store/disk_image.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <libewf.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "store/frame_header.h"

namespace korvex {

namespace {

// Opens read-only, keeping even the access time of the evidence where the
// kernel allows it (only the owner or root may ask for that). Without
// waiting: a FIFO opens at once, to be refused by what it is.
int openReadOnly(const std::string& path) {
  constexpr int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = ::open(path.c_str(), flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), flags);
  return fd;
}

// A raw image file or a block device: plain positioned reads.
class DescriptorImage final : public DiskImage {
 public:
  DescriptorImage(int fd, DiskImageInfo info, unsigned sectorSize) : fd_(fd) {
    info_ = std::move(info);
    sectorSize_ = sectorSize;
  }
  ~DescriptorImage() override { ::close(fd_); }
  DescriptorImage(const DescriptorImage&) = delete;
  DescriptorImage& operator=(const DescriptorImage&) = delete;

  std::int64_t readAt(std::uint64_t offset, void* into, std::size_t length) override {
    if (offset >= size()) return 0;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size() - offset));
    while (true) {
      const ssize_t got = pread(fd_, into, length, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      return got;
    }
  }

 private:
  int fd_;
};

class MemoryImage final : public DiskImage {
 public:
  MemoryImage(std::vector<std::uint8_t> bytes, std::uint64_t failFrom, std::uint64_t failTo)
      : bytes_(std::move(bytes)), failFrom_(failFrom), failTo_(failTo) {
    info_.path = "(memory)";
    info_.format = "memory";
    info_.sizeBytes = bytes_.size();
  }

  std::int64_t readAt(std::uint64_t offset, void* into, std::size_t length) override {
    if (offset >= bytes_.size()) return 0;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, bytes_.size() - offset));
    if (offset < failTo_ && offset + length > failFrom_) {
      errno = EIO;
      return -1;
    }
    std::memcpy(into, bytes_.data() + offset, length);
    return static_cast<std::int64_t>(length);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t failFrom_, failTo_;
};

std::string ewfErrorText(libewf_error_t*& error) {
  std::string text = "unknown error";
  if (error != nullptr) {
    char buffer[512] = {};
    if (libewf_error_sprint(error, buffer, sizeof buffer) > 0) text = buffer;
    libewf_error_free(&error);
    // libewf joins the reasons of every layer with newlines; the first says it.
    if (const auto newline = text.find('\n'); newline != std::string::npos) text.resize(newline);
  }
  return text;
}

struct EwfHandleCloser {
  void operator()(libewf_handle_t* handle) const {
    libewf_handle_close(handle, nullptr);
    libewf_handle_free(&handle, nullptr);
  }
};
using EwfHandle = std::unique_ptr<libewf_handle_t, EwfHandleCloser>;

std::string hexOf(const std::uint8_t* bytes, std::size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

// A hash the acquisition stored in the set: the text form where there is
// one, else the binary MD5 or SHA-1 of the older sections; "" when absent.
std::string storedHash(libewf_handle_t* handle, const char* identifier) {
  std::uint8_t text[128] = {};
  const std::size_t length = std::strlen(identifier);
  if (libewf_handle_get_utf8_hash_value(handle, reinterpret_cast<const std::uint8_t*>(identifier), length, text,
                                        sizeof text, nullptr) == 1) {
    std::string value(reinterpret_cast<const char*>(text));
    std::transform(value.begin(), value.end(), value.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c); });
    return value;
  }
  std::uint8_t binary[20] = {};
  if (std::strcmp(identifier, "MD5") == 0 && libewf_handle_get_md5_hash(handle, binary, 16, nullptr) == 1)
    return hexOf(binary, 16);
  if (std::strcmp(identifier, "SHA1") == 0 && libewf_handle_get_sha1_hash(handle, binary, 20, nullptr) == 1)
    return hexOf(binary, 20);
  return {};
}

// Whether libewf's list of chunks that failed their checksum, as `handle`
// has met them, holds a sector of [offset, offset + length). The list is
// sorted and joins neighbours. A list that cannot be read counts as failed:
// nothing read through that handle can be trusted then.
bool checksumFailedIn(libewf_handle_t* handle, std::uint64_t offset, std::uint64_t length, std::uint64_t sector) {
  std::uint32_t count = 0;
  if (length == 0) return false;
  if (libewf_handle_get_number_of_checksum_errors(handle, &count, nullptr) != 1) return true;
  if (count == 0) return false;
  // The first entry that ends after `offset`.
  std::uint32_t low = 0, high = count;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    std::uint64_t first = 0, sectors = 0;
    if (libewf_handle_get_checksum_error(handle, middle, &first, &sectors, nullptr) != 1) return true;
    const std::uint64_t from = first <= UINT64_MAX / sector ? first * sector : UINT64_MAX;
    const std::uint64_t bytes = sectors <= (UINT64_MAX - from) / sector ? sectors * sector : UINT64_MAX - from;
    if (from + bytes <= offset) {
      low = middle + 1;
    } else {
      high = middle;
      if (from < offset + length) return true;
    }
  }
  return false;
}

// One chunk of the media, decompressed.
struct EwfChunk {
  enum class State : std::uint8_t {
    Empty,    // holds nothing
    Pending,  // being read: only its reader touches `data`
    Good,
    Failed,   // its checksum failed
    Unread,   // libewf could not read it (never kept)
  };
  std::uint64_t index = UINT64_MAX;
  State state = State::Empty;
  std::uint32_t bytes = 0;
  std::uint64_t used = 0;  // when last asked for, in the cache's ticks
  std::unique_ptr<std::uint8_t[]> data;
};

// What a reader of chunks keeps from chunk to chunk: a chunk as stored,
// and the inflater that makes the media's bytes of it.
class ChunkInflater {
 public:
  explicit ChunkInflater(std::uint64_t chunkBytes)
      : inflater_(libdeflate_alloc_decompressor()), stored_(static_cast<std::size_t>(chunkBytes) + STORED_SLACK) {}
  ~ChunkInflater() { libdeflate_free_decompressor(inflater_); }
  ChunkInflater(const ChunkInflater&) = delete;
  ChunkInflater& operator=(const ChunkInflater&) = delete;

  // Chunk `index` (`bytes` long) read as stored and made here into `into`:
  // whether its bytes are whole and checked. Only a chunk of the usual
  // shape is taken: zlib data of exactly `bytes` whose Adler-32 holds, or
  // `bytes` stored plain followed by their Adler-32. Whatever else it is,
  // damaged or of a form not known here, is left to libewf's own reading.
  bool read(libewf_handle_t* handle, std::uint64_t index, std::uint64_t chunkBytes, std::uint32_t bytes,
            std::uint8_t* into) {
    if (inflater_ == nullptr) return false;
    libewf_error_t* error = nullptr;
    if (libewf_handle_seek_offset(handle, static_cast<off64_t>(index * chunkBytes), SEEK_SET, &error) < 0) {
      libewf_error_free(&error);
      return false;
    }
    std::int8_t compressed = 0, checksumRead = 0;
    std::uint8_t checksumBytes[4] = {};
    std::uint32_t checksum = 0;
    const ssize_t got = libewf_handle_read_chunk(handle, stored_.data(), stored_.size(), &compressed, checksumBytes,
                                                 &checksum, &checksumRead, &error);
    if (got < 0) {
      libewf_error_free(&error);
      return false;
    }
    const auto length = static_cast<std::size_t>(got);
    if (length == 0 || length >= stored_.size()) return false;
    if (compressed != 0) {
      std::size_t made = 0;
      return libdeflate_zlib_decompress(inflater_, stored_.data(), length, into, bytes, &made) ==
                 LIBDEFLATE_SUCCESS &&
             made == bytes;
    }
    if (length != std::size_t{bytes} + 4 || checksumRead == 0) return false;
    // Adler-32, stored little-endian after the chunk.
    if (libdeflate_adler32(1, stored_.data(), bytes) != readLe32(checksumBytes)) return false;
    std::memcpy(into, stored_.data(), bytes);
    return true;
  }

 private:
  // A chunk that zlib cannot shrink is stored plain: with its checksum,
  // 4 bytes more than the chunk. The slack tells a chunk that fills the
  // buffer from one that was cut to fit.
  static constexpr std::size_t STORED_SLACK = 4096;
  libdeflate_decompressor* inflater_;
  std::vector<std::uint8_t> stored_;
};

// Reads chunk `index` whole through `handle` into `into`. libdeflate
// inflates a chunk in about two thirds of the time of the zlib inside
// libewf, and checks the same Adler-32; a chunk it does not take is read
// again through libewf, which decides what it is.
EwfChunk::State readChunk(libewf_handle_t* handle, ChunkInflater& inflater, std::uint64_t index,
                          std::uint64_t chunkBytes, std::uint32_t bytes, std::uint8_t* into, std::uint64_t sector) {
  if (inflater.read(handle, index, chunkBytes, bytes, into)) return EwfChunk::State::Good;
  libewf_error_t* error = nullptr;
  const std::uint64_t offset = index * chunkBytes;
  const ssize_t got = libewf_handle_read_random(handle, into, bytes, static_cast<off64_t>(offset), &error);
  if (got != static_cast<ssize_t>(bytes)) {
    libewf_error_free(&error);
    return EwfChunk::State::Unread;
  }
  return checksumFailedIn(handle, offset, bytes, sector) ? EwfChunk::State::Failed : EwfChunk::State::Good;
}

EwfHandle openEwfHandle(const std::vector<std::string>& segments) {
  std::vector<char*> names;
  for (const std::string& name : segments) names.push_back(const_cast<char*>(name.c_str()));
  libewf_handle_t* raw = nullptr;
  if (libewf_handle_initialize(&raw, nullptr) != 1) return nullptr;
  if (libewf_handle_open(raw, names.data(), static_cast<int>(names.size()), LIBEWF_OPEN_READ, nullptr) != 1) {
    libewf_handle_free(&raw, nullptr);
    return nullptr;
  }
  return EwfHandle(raw);
}

// What the image shares with its decompressing threads: a few chunks,
// those ahead of a reader that goes forward read on every core, each
// thread through a libewf handle of its own (a handle is not to be shared).
// Everything here is under `mutex`, but the `data` of a Pending chunk,
// which only its reader touches.
struct EwfChunkCache {
  std::vector<std::string> segments;
  std::uint64_t chunkBytes = 0;
  std::uint64_t sector = 512;
  std::mutex mutex;
  std::condition_variable changed;  // a chunk read, work queued, the end asked for
  std::vector<EwfChunk> chunks;
  std::deque<std::size_t> queued;   // Pending chunks for the threads
  bool stopping = false;
  unsigned running = 0;             // threads not yet ended
  std::uint64_t tick = 0;
};

void decompressAhead(const std::shared_ptr<EwfChunkCache>& cache, EwfHandle handle) {
  ChunkInflater inflater(cache->chunkBytes);
  std::unique_lock lock(cache->mutex);
  while (true) {
    cache->changed.wait(lock, [&] { return cache->stopping || !cache->queued.empty(); });
    if (cache->stopping) break;
    EwfChunk& chunk = cache->chunks[cache->queued.front()];
    cache->queued.pop_front();
    const std::uint64_t index = chunk.index;
    const std::uint32_t bytes = chunk.bytes;
    std::uint8_t* const into = chunk.data.get();
    lock.unlock();
    const EwfChunk::State state =
        readChunk(handle.get(), inflater, index, cache->chunkBytes, bytes, into, cache->sector);
    lock.lock();
    // What this thread cannot read, the reader reads itself and decides.
    chunk.state = state == EwfChunk::State::Unread ? EwfChunk::State::Empty : state;
    if (chunk.state == EwfChunk::State::Empty) chunk.index = UINT64_MAX;
    cache->changed.notify_all();
  }
  lock.unlock();
  handle.reset();
  lock.lock();
  --cache->running;
  cache->changed.notify_all();
}

// An EWF set through libewf. Chunks are read whole into a small cache;
// while reads go forward, the chunks ahead of them are decompressed on
// every core. libewf hands out a chunk whose checksum fails as if it were
// good (its bytes as stored, or zeros once cached) and only lists it: such
// a chunk is read here as a sector that fails, now and every later time,
// and a read stops short before it.
class EwfImage final : public DiskImage {
 public:
  EwfImage(EwfHandle handle, DiskImageInfo info, unsigned sectorSize, std::shared_ptr<ChunkChecks> checks)
      : handle_(std::move(handle)),
        inflater_(info.chunkBytes),
        checks_(std::move(checks)),
        cache_(std::make_shared<EwfChunkCache>()) {
    info_ = std::move(info);
    info_.chunkChecks = checks_;
    sectorSize_ = sectorSize;
    failureUnit_ = info_.chunkBytes;
    cache_->segments = info_.segments;
    cache_->chunkBytes = info_.chunkBytes;
    cache_->sector = sectorSize;
    lastChunk_ = (info_.sizeBytes - (info_.sizeBytes > 0 ? 1 : 0)) / info_.chunkBytes;
    // A thread a core, as far as the handles' tables fit the budget.
    const std::uint64_t handles = HANDLES_BUDGET / (std::max<std::uint64_t>(1, info_.chunks) * HANDLE_BYTES_A_CHUNK);
    threads_ = static_cast<unsigned>(std::min<std::uint64_t>(
        {std::max(1u, std::thread::hardware_concurrency()), MOST_THREADS, handles > 0 ? handles - 1 : 0}));
    // Two times the cores times four chunks ahead, within a budget.
    const std::uint64_t room = std::clamp<std::uint64_t>(CACHE_BUDGET / info_.chunkBytes, 2, 8u * threads_ + 4);
    cache_->chunks.resize(static_cast<std::size_t>(room));
    ahead_ = room >= 6 && threads_ > 0 ? room - 4 : 0;
  }

  ~EwfImage() override {
    std::unique_lock lock(cache_->mutex);
    cache_->stopping = true;
    cache_->changed.notify_all();
    // A thread caught in a read that never returns (a hung disk) is left
    // behind with what it holds.
    const bool ended =
        cache_->changed.wait_for(lock, std::chrono::seconds(2), [&] { return cache_->running == 0; });
    lock.unlock();
    for (std::thread& thread : workers_) ended ? thread.join() : thread.detach();
  }
  EwfImage(const EwfImage&) = delete;
  EwfImage& operator=(const EwfImage&) = delete;

  std::int64_t readAt(std::uint64_t offset, void* into, std::size_t length) override {
    if (offset >= size()) return 0;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size() - offset));
    const std::uint64_t knownBad = checks_->firstFailedIn(offset, length);
    if (knownBad <= offset) return failedRead();
    if (knownBad != UINT64_MAX) length = static_cast<std::size_t>(knownBad - offset);
    const std::uint64_t chunkBytes = info_.chunkBytes, end = offset + length;
    const std::uint64_t first = offset / chunkBytes, last = (end - 1) / chunkBytes;
    // Kept while waiting, should the image go while a read hangs.
    const std::shared_ptr<EwfChunkCache> cache = cache_;
    std::vector<std::uint64_t> failed;
    std::unique_lock lock(cache->mutex);
    readAhead(*cache, first, last);
    for (std::uint64_t index = first; index <= last; ++index) {
      const EwfChunk& chunk = chunkOf(*cache, lock, index, first, last);
      if (chunk.state == EwfChunk::State::Unread) return failedRead();
      if (chunk.state == EwfChunk::State::Failed) {
        failed.push_back(index);
        continue;
      }
      const std::uint64_t start = index * chunkBytes, from = std::max(offset, start);
      const std::uint64_t to = std::min(end, start + chunk.bytes);
      std::memcpy(static_cast<std::uint8_t*>(into) + (from - offset), chunk.data.get() + (from - start), to - from);
    }
    lock.unlock();
    checks_->noteRead(offset, length);
    for (const std::uint64_t index : failed) checks_->noteFailed({index * chunkBytes, chunkBytes});
    const std::uint64_t bad = checks_->firstFailedIn(offset, length);
    if (bad <= offset) return failedRead();
    return static_cast<std::int64_t>(bad == UINT64_MAX ? length : bad - offset);
  }

 private:
  static constexpr unsigned MOST_THREADS = 8;
  static constexpr std::uint64_t CACHE_BUDGET = 16u * 1024 * 1024;
  // A libewf handle keeps the place of every chunk of a segment it has
  // read from, about 134 bytes a chunk (measured): a set of 200,000
  // chunks costs 27 MiB a handle. Threads are left out where their
  // handles would pass this.
  static constexpr std::uint64_t HANDLE_BYTES_A_CHUNK = 160;
  static constexpr std::uint64_t HANDLES_BUDGET = 40u * 1024 * 1024;

  static std::int64_t failedRead() {
    errno = EIO;
    return -1;
  }

  std::uint32_t bytesOf(std::uint64_t index) const {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(info_.chunkBytes, size() - index * info_.chunkBytes));
  }

  // A chunk to fill: an empty one, else the one asked for longest ago
  // outside [keepFrom, keepTo]; null when every chunk is being read or kept.
  static EwfChunk* roomFor(EwfChunkCache& cache, std::uint64_t keepFrom, std::uint64_t keepTo, bool keepAll) {
    EwfChunk* best = nullptr;
    for (EwfChunk& chunk : cache.chunks) {
      if (chunk.state == EwfChunk::State::Pending) continue;
      if (chunk.state == EwfChunk::State::Empty) return &chunk;
      const bool kept = chunk.index >= keepFrom && chunk.index <= keepTo;
      if (kept && keepAll) continue;
      if (best == nullptr || (best->index >= keepFrom && best->index <= keepTo && !kept) ||
          (kept == (best->index >= keepFrom && best->index <= keepTo) && chunk.used < best->used))
        best = &chunk;
    }
    return best;
  }

  static EwfChunk* find(EwfChunkCache& cache, std::uint64_t index) {
    for (EwfChunk& chunk : cache.chunks)
      if (chunk.index == index) return &chunk;
    return nullptr;
  }

  static void claim(EwfChunk& chunk, std::uint64_t index, std::uint32_t bytes, std::uint64_t chunkBytes) {
    if (!chunk.data) chunk.data = std::make_unique_for_overwrite<std::uint8_t[]>(chunkBytes);
    chunk.index = index;
    chunk.bytes = bytes;
    chunk.state = EwfChunk::State::Pending;
  }

  // Chunk `index`, read by this thread when no one else is reading it.
  const EwfChunk& chunkOf(EwfChunkCache& cache, std::unique_lock<std::mutex>& lock, std::uint64_t index,
                          std::uint64_t first, std::uint64_t last) {
    while (true) {
      EwfChunk* chunk = find(cache, index);
      if (chunk != nullptr && chunk->state != EwfChunk::State::Pending) {
        chunk->used = ++cache.tick;
        return *chunk;
      }
      if (chunk != nullptr) {
        // Still waiting for a thread: read here rather than wait.
        const auto place = std::find(cache.queued.begin(), cache.queued.end(),
                                     static_cast<std::size_t>(chunk - cache.chunks.data()));
        if (place == cache.queued.end()) {
          cache.changed.wait(lock);
          continue;
        }
        cache.queued.erase(place);
      } else {
        chunk = roomFor(cache, first, std::min(lastChunk_, last + ahead_), false);
        if (chunk == nullptr) {
          cache.changed.wait(lock);
          continue;
        }
      }
      claim(*chunk, index, bytesOf(index), info_.chunkBytes);
      std::uint8_t* const data = chunk->data.get();
      lock.unlock();
      EwfChunk::State state;
      {
        const std::lock_guard reading(handleMutex_);
        state = readChunk(handle_.get(), inflater_, index, info_.chunkBytes, bytesOf(index), data, sectorSize_);
      }
      lock.lock();
      chunk->state = state;
      chunk->used = ++cache.tick;
      cache.changed.notify_all();
      if (state != EwfChunk::State::Unread) return *chunk;
      // Not kept: the next read tries again.
      chunk->index = UINT64_MAX;
      chunk->state = EwfChunk::State::Empty;
      static const EwfChunk unread{UINT64_MAX, EwfChunk::State::Unread, 0, 0, nullptr};
      return unread;
    }
  }

  // When a read goes on from where the last one ended (or a chunk or two
  // past it, as a scan does from header to header), hands the chunks ahead
  // of it to the threads.
  void readAhead(EwfChunkCache& cache, std::uint64_t first, std::uint64_t last) {
    const bool forward = previous_ != UINT64_MAX && first >= previous_ && first <= previous_ + 2;
    previous_ = last;
    if (!forward) queuedTo_ = last;
    if (!forward || ahead_ == 0 || !startThreads(cache)) return;
    const std::uint64_t until = std::min(lastChunk_, last + ahead_);
    bool queued = false;
    for (std::uint64_t index = std::max(last, queuedTo_) + 1; index <= until; ++index) {
      queuedTo_ = index;
      if (find(cache, index) != nullptr || checks_->firstFailedIn(index * info_.chunkBytes, 1) != UINT64_MAX) continue;
      EwfChunk* chunk = roomFor(cache, first, until, true);
      if (chunk == nullptr) {
        queuedTo_ = index - 1;
        break;
      }
      claim(*chunk, index, bytesOf(index), info_.chunkBytes);
      chunk->used = ++cache.tick;
      cache.queued.push_back(static_cast<std::size_t>(chunk - cache.chunks.data()));
      queued = true;
    }
    if (queued) cache.changed.notify_all();
  }

  // The threads start with the first read that goes forward. Their
  // handles are opened here, one after another: opening one reads the
  // set's dates through the C library's time zone, which is no thread's
  // alone.
  bool startThreads(EwfChunkCache& cache) {
    if (!workers_.empty()) return true;
    if (threadsTried_) return false;
    threadsTried_ = true;
    try {
      for (unsigned i = 0; i < threads_; ++i) {
        EwfHandle handle = openEwfHandle(cache.segments);
        if (!handle) break;
        workers_.emplace_back(decompressAhead, cache_, std::move(handle));
        ++cache.running;
      }
    } catch (const std::system_error&) {
    }
    return !workers_.empty();
  }

  EwfHandle handle_;
  std::mutex handleMutex_;  // the handle keeps a position and caches: reads take turns
  ChunkInflater inflater_;  // the handle's, under its mutex
  std::shared_ptr<ChunkChecks> checks_;
  std::shared_ptr<EwfChunkCache> cache_;
  std::uint64_t lastChunk_ = 0;  // of the media
  unsigned threads_ = 1;
  std::uint64_t ahead_ = 0;      // chunks read ahead of a forward read
  // Under the cache's mutex.
  std::uint64_t previous_ = UINT64_MAX;  // the last chunk of the last read
  std::uint64_t queuedTo_ = 0;           // chunks up to this one have been handed out
  std::vector<std::thread> workers_;
  bool threadsTried_ = false;
};

constexpr std::uint64_t EWF_FILE_HEADER_BYTES = 13;
constexpr std::uint64_t EWF_SECTION_BYTES = 76;
// Far above what any segment holds: ends a walk in a chain of sections
// that a damaged file could make endless.
constexpr int EWF_MOST_SECTIONS = 1 << 20;

std::uint64_t littleEndian(const std::uint8_t* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

bool readWhole(int fd, void* into, std::size_t length, std::uint64_t offset) {
  auto* at = static_cast<std::uint8_t*>(into);
  while (length > 0) {
    const ssize_t got = pread(fd, at, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

// The file name of segment `number` of the set whose first segment is
// `first`: .E01 to .E99, then .EAA to .EZZ, .FAA, ..., in its case.
std::string segmentName(const std::string& first, std::uint32_t number) {
  const std::size_t dot = first.rfind('.');
  const std::string fallback = "segment " + std::to_string(number);
  if (dot == std::string::npos || first.size() - dot != 4 || number == 0) return fallback;
  const char lead = first[dot + 1];
  const bool lower = std::islower(static_cast<unsigned char>(lead)) != 0;
  char extension[4] = {};
  if (number <= 99) {
    std::snprintf(extension, sizeof extension, "%c%02u", lead, number);
  } else {
    const std::uint32_t past = number - 100;
    const auto up = static_cast<char>(std::toupper(static_cast<unsigned char>(lead)) + past / 676);
    if (up > 'Z') return fallback;
    extension[0] = up;
    extension[1] = static_cast<char>('A' + past / 26 % 26);
    extension[2] = static_cast<char>('A' + past % 26);
    if (lower)
      for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return first.substr(0, dot + 1) + extension;
}

// What one segment file's chain of sections shows.
struct SegmentWalk {
  bool understood = false;  // an EWF segment whose sections can be followed here
  bool endsSet = false;     // its last section is "done", not "next"
  std::uint64_t chunks = 0; // entries of its chunk tables
};

// Follows a segment's sections from its header to the "next" or "done"
// that ends it; "" or why the segment is not whole.
std::string walkSegment(const std::string& path, std::uint32_t number, SegmentWalk& walk) {
  const int fd = openReadOnly(path);
  if (fd < 0) return "cannot open " + path + ": " + std::strerror(errno);
  const struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat status {};
  if (fstat(fd, &status) != 0) return "cannot examine " + path + ": " + std::strerror(errno);
  const auto fileBytes = static_cast<std::uint64_t>(status.st_size);
  const auto cutShort = [&](std::uint64_t needed) {
    return path + " is cut short: it holds " + std::to_string(fileBytes) + " bytes, its sections run to byte " +
           std::to_string(needed);
  };
  std::uint8_t header[EWF_FILE_HEADER_BYTES];
  if (fileBytes < sizeof header || !readWhole(fd, header, sizeof header, 0)) return cutShort(sizeof header);
  // Sets of other layouts (EWF2) are left to libewf's own checks.
  static const std::uint8_t SIGNATURE_TAIL[] = {'V', 'F', 0x09, 0x0d, 0x0a, 0xff, 0x00};
  if ((header[0] != 'E' && header[0] != 'L') || std::memcmp(header + 1, SIGNATURE_TAIL, sizeof SIGNATURE_TAIL) != 0)
    return {};
  walk.understood = true;
  const auto holds = static_cast<std::uint32_t>(littleEndian(header + 9, 2));
  if (holds != number)
    return path + " holds segment " + std::to_string(holds) + " of a set, not segment " + std::to_string(number);
  std::uint64_t at = EWF_FILE_HEADER_BYTES;
  for (int sections = 0; sections < EWF_MOST_SECTIONS; ++sections) {
    std::uint8_t section[EWF_SECTION_BYTES];
    if (at > fileBytes || fileBytes - at < sizeof section || !readWhole(fd, section, sizeof section, at))
      return cutShort(at + sizeof section);
    const std::string type(reinterpret_cast<const char*>(section), strnlen(reinterpret_cast<const char*>(section), 16));
    if (type == "done" || type == "next") {
      walk.endsSet = type == "done";
      return {};
    }
    const std::uint64_t next = littleEndian(section + 16, 8);
    const std::uint64_t bytes = littleEndian(section + 24, 8);
    if (type == "table") {
      std::uint8_t count[4];
      if (fileBytes - at < sizeof section + sizeof count || !readWhole(fd, count, sizeof count, at + sizeof section))
        return cutShort(at + sizeof section + sizeof count);
      const std::uint64_t entries = littleEndian(count, 4);
      if (entries > bytes / 4)
        return path + ": the chunk table at byte " + std::to_string(at) + " lists more chunks than it holds";
      walk.chunks += entries;
    }
    if (next <= at)
      return path + ": the section at byte " + std::to_string(at) + " (" + type + ") is followed by one before it";
    if (next > fileBytes) return cutShort(next);
    at = next;
  }
  return path + " has more sections than a segment can hold";
}

// The set's segments checked against each other: each whole, numbered in
// order, the last one ending the set. "" or why the set is not whole.
std::string checkEwfSegments(const std::vector<std::string>& names, DiskImageInfo& info) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    SegmentWalk walk;
    const auto number = static_cast<std::uint32_t>(i + 1);
    if (std::string reason = walkSegment(names[i], number, walk); !reason.empty()) return reason;
    if (!walk.understood) {
      info.chunks = 0;
      return {};
    }
    info.chunks += walk.chunks;
    if (walk.endsSet) {
      if (i + 1 < names.size())
        return names[i + 1] + " lies beside the set, but " + names[i] + " ends it";
      info.segmentsExpected = number;
      return {};
    }
  }
  return segmentName(names.front(), static_cast<std::uint32_t>(names.size() + 1)) + " is missing (" + names.back() +
         " does not end the set)";
}

std::unique_ptr<DiskImage> openEwf(const std::string& path, Failure& failure) {
  libewf_error_t* ewfError = nullptr;
  char** names = nullptr;
  int count = 0;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &ewfError) != 1 || count < 1) {
    failure.reason = "cannot find the segments of the EWF set " + path + ": " + ewfErrorText(ewfError);
    return nullptr;
  }
  DiskImageInfo info;
  info.path = path;
  info.format = "ewf";
  for (int i = 0; i < count; ++i) info.segments.emplace_back(names[i]);
  if (std::string reason = checkEwfSegments(info.segments, info); !reason.empty()) {
    libewf_glob_free(names, count, nullptr);
    failure.reason = "the EWF set " + path + " is not whole: " + reason;
    return nullptr;
  }

  libewf_handle_t* raw = nullptr;
  if (libewf_handle_initialize(&raw, &ewfError) != 1) {
    libewf_glob_free(names, count, nullptr);
    failure.reason = "cannot read the EWF set " + path + ": " + ewfErrorText(ewfError);
    return nullptr;
  }
  EwfHandle handle(raw);
  const int opened = libewf_handle_open(handle.get(), names, count, LIBEWF_OPEN_READ, &ewfError);
  libewf_glob_free(names, count, nullptr);
  if (opened != 1) {
    // A handle that failed to open has nothing to close.
    libewf_handle_free(&raw, nullptr);
    static_cast<void>(handle.release());
    failure.reason = "cannot open the EWF set " + path + ": " + ewfErrorText(ewfError);
    return nullptr;
  }
  const int corrupted = libewf_handle_segment_files_corrupted(handle.get(), &ewfError);
  if (corrupted != 0) {
    failure.reason = "the EWF set " + path + " is not whole: " +
            (corrupted == 1 ? std::string("libewf finds sections missing from its segments")
                            : "libewf cannot tell whether its segments are whole: " + ewfErrorText(ewfError));
    return nullptr;
  }
  size64_t mediaSize = 0;
  if (libewf_handle_get_media_size(handle.get(), &mediaSize, &ewfError) != 1) {
    failure.reason = "cannot read the media size of the EWF set " + path + ": " + ewfErrorText(ewfError);
    return nullptr;
  }
  size32_t chunkBytes = 0;
  if (libewf_handle_get_chunk_size(handle.get(), &chunkBytes, &ewfError) != 1 || chunkBytes == 0 ||
      chunkBytes > 64u * 1024 * 1024) {
    failure.reason = "cannot read the chunk size of the EWF set " + path + ": " +
            (chunkBytes == 0 ? ewfErrorText(ewfError) : std::to_string(chunkBytes) + " bytes is beyond reason");
    return nullptr;
  }
  const std::uint64_t chunksNeeded = mediaSize / chunkBytes + (mediaSize % chunkBytes != 0 ? 1 : 0);
  if (info.chunks != 0 && info.chunks < chunksNeeded) {
    failure.reason = "the EWF set " + path + " is not whole: its chunk tables hold " + std::to_string(info.chunks) +
            " chunks of " + std::to_string(chunkBytes) + " bytes, its media of " + std::to_string(mediaSize) +
            " bytes needs " + std::to_string(chunksNeeded);
    return nullptr;
  }
  std::uint32_t bytesPerSector = 512;
  if (libewf_handle_get_bytes_per_sector(handle.get(), &bytesPerSector, nullptr) != 1 || bytesPerSector < 512 ||
      bytesPerSector % 512 != 0 || bytesPerSector > 65536)
    bytesPerSector = 512;
  info.sizeBytes = mediaSize;
  info.chunkBytes = chunkBytes;
  if (info.chunks == 0) info.chunks = chunksNeeded;
  info.md5 = storedHash(handle.get(), "MD5");
  info.sha1 = storedHash(handle.get(), "SHA1");
  auto checks = std::make_shared<ChunkChecks>(chunkBytes, mediaSize);
  return std::make_unique<EwfImage>(std::move(handle), std::move(info), bytesPerSector, std::move(checks));
}

// A short text file of sysfs or udev, trimmed; "" when it cannot be read.
std::string readSmallFile(const std::string& path, std::size_t most = 4096) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  std::string text(most, '\0');
  const ssize_t got = ::read(fd, text.data(), most);
  ::close(fd);
  if (got <= 0) return {};
  text.resize(static_cast<std::size_t>(got));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) text.pop_back();
  while (!text.empty() && text.front() == ' ') text.erase(text.begin());
  return text;
}

// The value of "E:KEY=value" in a udev database record.
std::string udevProperty(const std::string& record, const std::string& key) {
  const std::string wanted = "E:" + key + "=";
  std::size_t start = 0;
  while (start < record.size()) {
    std::size_t end = record.find('\n', start);
    if (end == std::string::npos) end = record.size();
    if (record.compare(start, wanted.size(), wanted) == 0)
      return record.substr(start + wanted.size(), end - start - wanted.size());
    start = end + 1;
  }
  return {};
}

}  // namespace

ChunkChecks::ChunkChecks(std::uint64_t chunkBytes, std::uint64_t mediaBytes)
    : chunkBytes_(std::max<std::uint64_t>(1, chunkBytes)) {
  const std::uint64_t chunks = mediaBytes / chunkBytes_ + 1;
  pages_.resize(static_cast<std::size_t>(chunks / CHUNKS_PER_PAGE + 1));
}

ChunkChecks::Tally ChunkChecks::tally() const {
  const std::lock_guard lock(mutex_);
  return Tally{chunksRead_, failed_};
}

void ChunkChecks::noteRead(std::uint64_t offset, std::uint64_t length) {
  if (length == 0) return;
  const std::lock_guard lock(mutex_);
  const std::uint64_t last = (offset + length - 1) / chunkBytes_;
  for (std::uint64_t chunk = offset / chunkBytes_; chunk <= last; ++chunk) {
    const std::uint64_t page = chunk / CHUNKS_PER_PAGE;
    if (page >= pages_.size()) return;
    auto& bits = pages_[static_cast<std::size_t>(page)];
    if (!bits) bits = std::make_unique<std::uint64_t[]>(CHUNKS_PER_PAGE / 64);
    const std::uint64_t within = chunk % CHUNKS_PER_PAGE;
    std::uint64_t& word = bits[static_cast<std::size_t>(within / 64)];
    const std::uint64_t bit = std::uint64_t{1} << (within % 64);
    if ((word & bit) == 0) ++chunksRead_;
    word |= bit;
  }
}

void ChunkChecks::noteFailed(MediaRange range) {
  if (range.length == 0) return;
  const std::uint64_t from = range.offset / chunkBytes_ * chunkBytes_;
  const std::uint64_t end = range.offset + std::min(range.length, UINT64_MAX - range.offset);
  const std::uint64_t to =
      end % chunkBytes_ == 0 || end > UINT64_MAX - chunkBytes_ ? end : (end / chunkBytes_ + 1) * chunkBytes_;
  const std::lock_guard lock(mutex_);
  addByteRange(failed_, from, to - from);
}

std::uint64_t ChunkChecks::firstFailedIn(std::uint64_t offset, std::uint64_t length) const {
  const std::lock_guard lock(mutex_);
  const ByteRange* failed = firstByteRangeIn(failed_, offset, length);
  return failed == nullptr ? UINT64_MAX : std::max(failed->offset, offset);
}

void describeBlockDevice(std::uint64_t deviceNumber, DiskImageInfo& info) {
  const auto device = static_cast<dev_t>(deviceNumber);
  char number[64];
  std::snprintf(number, sizeof number, "%u:%u", major(device), minor(device));
  std::string sysfs = std::string("/sys/dev/block/") + number;
  std::string disk = sysfs;
  if (!readSmallFile(sysfs + "/partition").empty()) disk += "/..";
  info.model = readSmallFile(disk + "/device/model", 256);
  const std::string vendor = readSmallFile(disk + "/device/vendor", 256);
  if (!vendor.empty() && vendor != "ATA") info.model = info.model.empty() ? vendor : vendor + " " + info.model;
  info.serial = readSmallFile(disk + "/device/serial", 256);
  if (info.serial.empty()) {
    const std::string record = readSmallFile(std::string("/run/udev/data/b") + number, 65536);
    info.serial = udevProperty(record, "ID_SERIAL_SHORT");
    if (info.serial.empty()) info.serial = udevProperty(record, "ID_SERIAL");
    if (info.model.empty()) info.model = udevProperty(record, "ID_MODEL");
  }
}

namespace {

// The signatures libewf knows: EWF, its logical form, and version 2 of both.
// Read through the descriptor already open, so that the check opens the
// evidence no second time.
bool looksLikeEwf(int fd) {
  static const char* const signatures[] = {"EVF\x09\x0d\x0a\xff\x00", "LVF\x09\x0d\x0a\xff\x00",
                                           "EVF2\x0d\x0a\x81\x00", "LEF2\x0d\x0a\x81\x00"};
  char head[8];
  ssize_t got;
  do {
    got = pread(fd, head, sizeof head, 0);
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof head)) return false;
  for (const char* signature : signatures) {
    if (std::memcmp(head, signature, sizeof head) == 0) return true;
  }
  return false;
}

// What a file that is no disk is, for the sentence that refuses it.
const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  return "not a regular file";
}

}  // namespace

bool looksLikeEwf(const std::string& path) {
  const int fd = openReadOnly(path);
  if (fd < 0) return false;
  const bool verdict = looksLikeEwf(fd);
  ::close(fd);
  return verdict;
}

OpenedImage openDiskImage(const std::string& path) {
  OpenedImage opened;
  Failure& failure = opened.failure;
  failure.path = path;
  // Every way a disk cannot be opened is the one code: the sentence says which.
  const auto refuse = [&](int errorNumber, std::string reason) {
    failure.code = FailureCode::DiskUnreadable;
    failure.errorNumber = errorNumber;
    failure.reason = std::move(reason);
    return std::move(opened);
  };
  const int fd = openReadOnly(path);
  if (fd < 0) {
    const int reason = errno;
    // A socket cannot be opened at all.
    struct stat status {};
    if (reason == ENXIO && lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode))
      return refuse(reason, path + " is neither a disk image file nor a block device (a socket)");
    return refuse(reason, "cannot open " + path + ": " + std::strerror(reason));
  }
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    const int reason = errno;
    ::close(fd);
    return refuse(reason, "cannot examine " + path + ": " + std::strerror(reason));
  }
  if (!S_ISBLK(status.st_mode) && !S_ISREG(status.st_mode)) {
    ::close(fd);
    return refuse(0, path + " is neither a disk image file nor a block device (" + kindOf(status.st_mode) + ")");
  }
  // Reads wait for the disk as usual.
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int reason = errno;
    ::close(fd);
    return refuse(reason, "cannot examine " + path + ": " + std::strerror(reason));
  }
  DiskImageInfo info;
  info.path = path;
  if (S_ISBLK(status.st_mode)) {
    std::uint64_t bytes = 0;
    int sector = 512;
    if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) {
      const int reason = errno;
      ::close(fd);
      return refuse(reason, "cannot read the size of the device " + path + ": " + std::strerror(reason));
    }
    if (ioctl(fd, BLKSSZGET, &sector) != 0 || sector < 512 || sector % 512 != 0 || sector > 65536) sector = 512;
    info.format = "device";
    info.sizeBytes = bytes;
    describeBlockDevice(status.st_rdev, info);
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    opened.image = std::make_unique<DescriptorImage>(fd, std::move(info), static_cast<unsigned>(sector));
    return opened;
  }
  if (looksLikeEwf(fd)) {
    ::close(fd);
    opened.image = openEwf(path, failure);
    if (!opened.image) failure.code = FailureCode::DiskUnreadable;
    return opened;
  }
  info.format = "raw";
  info.sizeBytes = static_cast<std::uint64_t>(status.st_size);
  opened.image = std::make_unique<DescriptorImage>(fd, std::move(info), 512u);
  return opened;
}

std::unique_ptr<DiskImage> memoryDiskImage(std::vector<std::uint8_t> bytes, std::uint64_t failFrom,
                                           std::uint64_t failTo) {
  return std::make_unique<MemoryImage>(std::move(bytes), failFrom, failTo);
}

}  // namespace korvex
