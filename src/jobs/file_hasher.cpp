#include "jobs/file_hasher.h"

#include "jobs/sha256_digest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

namespace korvex {

namespace {

// Files up to this size are hashed on the adding thread (well under a
// millisecond).
constexpr std::int64_t HASH_AT_ONCE_BYTES = 256 * 1024;

struct DigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

// The file's hash and, with `ranges`, the hash of their bytes besides, fed
// from the same pieces while they are in the cache.
static FileHash hashFile(const std::string& path, const std::vector<FileRange>* ranges, std::string* rangesSha256,
                         const OutputFiles& output) {
  FileHash hash;
  const std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    hash.failure = {FailureCode::NotHashed, ENOMEM, path, "the SHA-256 digest is not available"};
    return hash;
  }
  Sha256Digest rangesDigest;
  std::size_t next = 0;          // the first range not wholly digested
  std::uint64_t nextTaken = 0;   // what of it is
  bool digested = true;
  const Failure read = output.readBack(path, [&](const std::uint8_t* bytes, std::size_t count) {
    digested = EVP_DigestUpdate(context.get(), bytes, count) == 1;
    const std::uint64_t pieceStart = hash.bytes;
    const std::uint64_t pieceEnd = pieceStart + count;
    while (ranges != nullptr && next < ranges->size()) {
      const FileRange& range = (*ranges)[next];
      const std::uint64_t from = std::uint64_t{range.offset} + nextTaken;
      const std::uint64_t end = std::uint64_t{range.offset} + range.length;
      if (from >= pieceEnd) break;
      const std::uint64_t to = std::min(end, pieceEnd);
      if (from >= pieceStart && to > from) {
        rangesDigest.add(bytes + (from - pieceStart), static_cast<std::size_t>(to - from));
        nextTaken += to - from;
      } else if (from < pieceStart) {
        break;  // out of order: no digest
      }
      if (std::uint64_t{range.offset} + nextTaken < end) break;
      ++next;
      nextTaken = 0;
    }
    hash.bytes = pieceEnd;
    return digested;
  });
  if (read.failed()) {
    // A file no longer the one written says so in its own words, without an errno.
    if (read.errorNumber == 0) hash.failure = {FailureCode::NotHashed, 0, path, read.reason, read.code};
    else hash.failure = {FailureCode::NotHashed, read.errorNumber, path, std::strerror(read.errorNumber)};
    return hash;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!digested || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
    hash.failure = {FailureCode::NotHashed, EIO, path, "the SHA-256 digest failed"};
    return hash;
  }
  static constexpr char HEX[] = "0123456789abcdef";
  hash.sha256.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hash.sha256 += HEX[digest[i] >> 4];
    hash.sha256 += HEX[digest[i] & 0xf];
  }
  if (ranges != nullptr && rangesSha256 != nullptr && next == ranges->size()) *rangesSha256 = rangesDigest.finish();
  return hash;
}

FileHash sha256OfFile(const std::string& path, const OutputFiles& output) {
  return hashFile(path, nullptr, nullptr, output);
}

FileHash sha256OfFile(const std::string& path, const std::vector<FileRange>& ranges, std::string& rangesSha256,
                      const OutputFiles& output) {
  rangesSha256.clear();
  return hashFile(path, &ranges, &rangesSha256, output);
}

// The hash of a file, or the reason it has none; never throws (short of
// memory, the file is named as not hashed).
static FileHash hashOrFailure(const std::string& path, const std::vector<FileRange>* ranges,
                              std::string* rangesSha256, const OutputFiles& output) noexcept {
  try {
    return hashFile(path, ranges, rangesSha256, output);
  } catch (const std::bad_alloc&) {
    FileHash hash;
    hash.failure.code = FailureCode::NotHashed;
    hash.failure.errorNumber = ENOMEM;
    try {
      hash.failure.reason = std::strerror(ENOMEM);
    } catch (const std::bad_alloc&) {
    }
    return hash;
  }
}

FileHasher::~FileHasher() { finish(); }

void FileHasher::add(std::size_t index, std::string path) { enqueue(Job{index, std::move(path), std::nullopt}); }

void FileHasher::add(std::size_t index, std::string path, std::vector<FileRange> ranges) {
  enqueue(Job{index, std::move(path), std::move(ranges)});
}

void FileHasher::enqueue(Job job) {
  // A small file is hashed at once: starting a thread would cost more than
  // its hash.
  const std::int64_t size = output_.regularFileSize(job.path);
  if (size >= 0 && size <= HASH_AT_ONCE_BYTES) {
    hashJob(job);
    return;
  }
  bool start = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(job));
    const std::size_t most = std::max(1u, std::thread::hardware_concurrency());
    start = queue_.size() > idle_ && threads_.size() < most;
  }
  if (start) {
    try {
      threads_.emplace_back([this] { run(); });
    } catch (const std::exception&) {
      // No thread to be had (short of memory or of threads): the threads
      // already there take the file, or finish() hashes it here.
    }
  }
  wake_.notify_one();
}

void FileHasher::hashJob(Job& job) {
  std::string rangesSha256;
  FileHash hash = hashOrFailure(job.path, job.ranges ? &*job.ranges : nullptr, &rangesSha256, output_);
  const bool given = job.ranges.has_value();
  job.ranges.reset();  // their memory goes now, not with the queue
  const std::lock_guard<std::mutex> lock(mutex_);
  if (done_.size() <= job.index) done_.resize(job.index + 1);
  done_[job.index] = std::move(hash);
  // A file handed in again without ranges keeps the digest of its ranges.
  if (!given) return;
  if (rangesDone_.size() <= job.index) rangesDone_.resize(job.index + 1);
  rangesDone_[job.index] = std::move(rangesSha256);
}

std::string FileHasher::rangesSha256(std::size_t index) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return index < rangesDone_.size() ? rangesDone_[index] : std::string();
}

std::vector<FileHash> FileHasher::finish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
  std::unique_lock<std::mutex> lock(mutex_);
  // Files no thread could be started for.
  while (!queue_.empty()) hashNext(lock);
  closing_ = false;
  return done_;
}

void FileHasher::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    --idle_;
    if (queue_.empty()) return;
    hashNext(lock);
  }
}

void FileHasher::hashNext(std::unique_lock<std::mutex>& lock) {
  Job job = std::move(queue_.front());
  queue_.pop_front();
  lock.unlock();
  hashJob(job);
  lock.lock();
}

}  // namespace korvex
