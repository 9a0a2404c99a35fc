#include "avi/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace korvex {

namespace {

// Large enough that the reader of a file, not the system calls, sets the pace.
constexpr std::size_t READ_BACK_BLOCK = 1024 * 1024;

class DiskFile final : public OutputFile {
 public:
  explicit DiskFile(int fd) : fd_(fd) {}
  ~DiskFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;

  WriteResult writeAt(iovec* parts, int count, std::uint64_t offset) override {
    return writeFully(fd_, parts, count, static_cast<off_t>(offset));
  }
  int truncate(std::uint64_t length) override {
    return ftruncate(fd_, static_cast<off_t>(length)) == 0 ? 0 : errno;
  }
  int reserve(std::uint64_t bytes) override {
    // Kept past the file's end: a file never written to its end leaves no
    // stretch of zeros.
    return fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0 ? 0 : errno;
  }
  int sync() override {
    if (fsync(fd_) == 0 || errno == EINVAL || errno == EROFS) return 0;
    return errno;
  }
  int close() override {
    if (fd_ < 0) return EBADF;
    const int result = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return result;
  }
  int descriptor() const override { return fd_; }

 private:
  int fd_;
};

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

class DiskOutput final : public OutputFiles {
 public:
  std::unique_ptr<OutputFile> createNew(const std::string& path, int& error) override {
    // O_EXCL with O_NOFOLLOW: an existing name, a symbolic link included,
    // gives EEXIST and is left alone. The umask trims the mode by itself.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      error = errno;
      return nullptr;
    }
    try {
      return std::make_unique<DiskFile>(fd);
    } catch (const std::bad_alloc&) {
      ::close(fd);
      ::unlink(path.c_str());
      error = ENOMEM;
      return nullptr;
    }
  }

  bool exists(const std::string& path) const override {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
  }

  std::int64_t regularFileSize(const std::string& path) const override {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<std::int64_t>(info.st_size);
  }

  void remove(const std::string& path) override { ::unlink(path.c_str()); }

  int readBack(const std::string& path, const OutputBytesSink& sink) const override {
    Descriptor file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (file.fd < 0) return errno;
    posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    // A small file (a report) is read with a block of its own size.
    std::size_t blockSize = READ_BACK_BLOCK;
    struct stat info {};
    if (::fstat(file.fd, &info) == 0 && info.st_size >= 0 && static_cast<std::uint64_t>(info.st_size) < READ_BACK_BLOCK)
      blockSize = std::max<std::size_t>(static_cast<std::size_t>(info.st_size) + 1, 4096);
    const std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[blockSize]);
    if (!block) return ENOMEM;
    for (;;) {
      const ssize_t got = ::read(file.fd, block.get(), blockSize);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return errno;
      if (got == 0) return 0;
      if (!sink(block.get(), static_cast<std::size_t>(got))) return 0;
    }
  }
};

class MemoryFile final : public OutputFile {
 public:
  MemoryFile(std::shared_ptr<std::mutex> mutex, std::shared_ptr<MemoryOutputFiles::Stored> stored)
      : mutex_(std::move(mutex)), stored_(std::move(stored)) {}

  WriteResult writeAt(iovec* parts, int count, std::uint64_t offset) override {
    WriteResult result;
    if (closed_) {
      result.error = EBADF;
      return result;
    }
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) total += parts[i].iov_len;
    const std::lock_guard<std::mutex> lock(*mutex_);
    std::vector<std::uint8_t>& bytes = stored_->bytes;
    try {
      if (bytes.size() < offset + total) bytes.resize(offset + total);
    } catch (const std::bad_alloc&) {
      result.error = ENOSPC;
      return result;
    }
    std::uint64_t at = offset;
    for (int i = 0; i < count; ++i) {
      if (parts[i].iov_len > 0) std::memcpy(bytes.data() + at, parts[i].iov_base, parts[i].iov_len);
      at += parts[i].iov_len;
    }
    result.written = total;
    return result;
  }
  int truncate(std::uint64_t length) override {
    if (closed_) return EBADF;
    const std::lock_guard<std::mutex> lock(*mutex_);
    try {
      stored_->bytes.resize(length);
    } catch (const std::bad_alloc&) {
      return ENOSPC;
    }
    return 0;
  }
  int reserve(std::uint64_t) override { return closed_ ? EBADF : 0; }
  int sync() override { return closed_ ? EBADF : 0; }
  int close() override {
    if (closed_) return EBADF;
    closed_ = true;
    return 0;
  }
  int descriptor() const override { return -1; }

 private:
  std::shared_ptr<std::mutex> mutex_;
  std::shared_ptr<MemoryOutputFiles::Stored> stored_;
  bool closed_ = false;
};

}  // namespace

OutputFiles& diskOutput() {
  static DiskOutput disk;
  return disk;
}

std::unique_ptr<OutputFile> MemoryOutputFiles::createNew(const std::string& path, int& error) {
  const std::lock_guard<std::mutex> lock(*mutex_);
  auto [place, made] = files_.try_emplace(path);
  if (!made) {
    error = EEXIST;
    return nullptr;
  }
  place->second = std::make_shared<Stored>();
  return std::make_unique<MemoryFile>(mutex_, place->second);
}

bool MemoryOutputFiles::exists(const std::string& path) const {
  const std::lock_guard<std::mutex> lock(*mutex_);
  return files_.count(path) != 0;
}

std::int64_t MemoryOutputFiles::regularFileSize(const std::string& path) const {
  const std::lock_guard<std::mutex> lock(*mutex_);
  const auto found = files_.find(path);
  return found == files_.end() ? -1 : static_cast<std::int64_t>(found->second->bytes.size());
}

void MemoryOutputFiles::remove(const std::string& path) {
  const std::lock_guard<std::mutex> lock(*mutex_);
  files_.erase(path);
}

int MemoryOutputFiles::readBack(const std::string& path, const OutputBytesSink& sink) const {
  const std::lock_guard<std::mutex> lock(*mutex_);
  const auto found = files_.find(path);
  if (found == files_.end()) return ENOENT;
  const std::vector<std::uint8_t>& stored = found->second->bytes;
  if (!stored.empty()) sink(stored.data(), stored.size());
  return 0;
}

std::vector<std::string> MemoryOutputFiles::paths() const {
  const std::lock_guard<std::mutex> lock(*mutex_);
  std::vector<std::string> list;
  list.reserve(files_.size());
  for (const auto& entry : files_) list.push_back(entry.first);
  return list;
}

std::vector<std::uint8_t> MemoryOutputFiles::bytes(const std::string& path) const {
  const std::lock_guard<std::mutex> lock(*mutex_);
  const auto found = files_.find(path);
  return found == files_.end() ? std::vector<std::uint8_t>() : found->second->bytes;
}

void MemoryOutputFiles::clear() {
  const std::lock_guard<std::mutex> lock(*mutex_);
  files_.clear();
}

}  // namespace korvex
