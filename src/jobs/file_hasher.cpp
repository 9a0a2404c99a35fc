#include "jobs/file_hasher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

namespace korvex {

namespace {

// Large enough that the hash, not the system calls, sets the pace.
constexpr std::size_t READ_BLOCK = 1024 * 1024;
// Files up to this size are hashed on the adding thread (well under a
// millisecond).
constexpr off_t HASH_AT_ONCE_BYTES = 256 * 1024;

struct DigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

FileHash sha256OfFile(const std::string& path) {
  FileHash hash;
  Descriptor file;
  file.fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (file.fd < 0) {
    hash.failure = std::strerror(errno);
    return hash;
  }
  posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  const std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    hash.failure = "the SHA-256 digest is not available";
    return hash;
  }
  // A small file (a report) is read with a block of its own size.
  std::size_t blockSize = READ_BLOCK;
  struct stat info {};
  if (::fstat(file.fd, &info) == 0 && info.st_size >= 0 && static_cast<std::uint64_t>(info.st_size) < READ_BLOCK)
    blockSize = std::max<std::size_t>(static_cast<std::size_t>(info.st_size) + 1, 4096);
  const std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[blockSize]);
  if (!block) {
    hash.failure = std::strerror(ENOMEM);
    return hash;
  }
  for (;;) {
    const ssize_t got = ::read(file.fd, block.get(), blockSize);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      hash.failure = std::strerror(errno);
      return hash;
    }
    if (got == 0) break;
    if (EVP_DigestUpdate(context.get(), block.get(), static_cast<std::size_t>(got)) != 1) {
      hash.failure = "the SHA-256 digest failed";
      return hash;
    }
    hash.bytes += static_cast<std::uint64_t>(got);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
    hash.failure = "the SHA-256 digest failed";
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

FileHasher::~FileHasher() { finish(); }

void FileHasher::add(std::size_t index, std::string path) {
  // A small file is hashed at once: starting a thread would cost more than
  // its hash.
  struct stat status {};
  if (lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= HASH_AT_ONCE_BYTES) {
    FileHash hash = sha256OfFile(path);
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
  if (start) threads_.emplace_back([this] { run(); });
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
  const std::lock_guard<std::mutex> lock(mutex_);
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
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    FileHash hash = sha256OfFile(job.path);
    lock.lock();
    if (done_.size() <= job.index) done_.resize(job.index + 1);
    done_[job.index] = std::move(hash);
  }
}

}  // namespace korvex
