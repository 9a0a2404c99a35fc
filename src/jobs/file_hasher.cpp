#include "jobs/file_hasher.h"

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

FileHash sha256OfFile(const std::string& path, const OutputFiles& output) {
  FileHash hash;
  const std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    hash.failure = {FailureCode::NotHashed, ENOMEM, path, "the SHA-256 digest is not available"};
    return hash;
  }
  bool digested = true;
  const int error = output.readBack(path, [&](const std::uint8_t* bytes, std::size_t count) {
    digested = EVP_DigestUpdate(context.get(), bytes, count) == 1;
    hash.bytes += count;
    return digested;
  });
  if (error != 0) {
    hash.failure = {FailureCode::NotHashed, error, path, outputErrorText(error)};
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
  return hash;
}

// The hash of a file, or the reason it has none; never throws (short of
// memory, the file is named as not hashed).
static FileHash hashOrFailure(const std::string& path, const OutputFiles& output) noexcept {
  try {
    return sha256OfFile(path, output);
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

void FileHasher::add(std::size_t index, std::string path) {
  // A small file is hashed at once: starting a thread would cost more than
  // its hash.
  const std::int64_t size = output_.regularFileSize(path);
  if (size >= 0 && size <= HASH_AT_ONCE_BYTES) {
    FileHash hash = hashOrFailure(path, output_);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (done_.size() <= index) done_.resize(index + 1);
    done_[index] = std::move(hash);
    return;
  }
  bool start = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(Job{index, std::move(path)});
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
  FileHash hash = hashOrFailure(job.path, output_);
  lock.lock();
  if (done_.size() <= job.index) done_.resize(job.index + 1);
  done_[job.index] = std::move(hash);
}

}  // namespace korvex
