#include "store/recording_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "store/recording_store.h"

namespace korvex {

namespace {

class LocalFile final : public SourceFile {
 public:
  LocalFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~LocalFile() override { ::close(fd_); }
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;

  std::uint64_t size() const override { return size_; }

  std::int64_t readAt(std::uint64_t offset, const iovec* parts, int count) override {
    while (true) {
      // pread when there is one buffer: it spares the kernel the vector.
      const ssize_t got = count == 1 ? pread(fd_, parts[0].iov_base, parts[0].iov_len, static_cast<off_t>(offset))
                                     : preadv(fd_, parts, count, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      return got;
    }
  }

  std::uint64_t dataFrom(std::uint64_t offset) override {
    if (offset >= size_) return size_;
    const off_t at = lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
    if (at >= 0) return std::min(static_cast<std::uint64_t>(at), size_);
    // ENXIO: nothing stored from there on; a file system that cannot tell
    // may store every byte.
    return errno == ENXIO ? size_ : offset;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

OpenFailure failureOf(int errorNumber) {
  OpenFailure failure;
  failure.missing = errorNumber == ENOENT || errorNumber == ENOTDIR;
  failure.errorNumber = errorNumber;
  failure.reason = std::strerror(errorNumber);
  return failure;
}

}  // namespace

std::string recordingFileName(int folder, int file) {
  char name[40];
  const int n = std::snprintf(name, sizeof name, "dir%05d/file%04d.dat", folder, file);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return {};
  return name;
}

OpenedFile FolderSource::openPath(const std::string& path, ReadPattern pattern) {
  OpenedFile opened;
  // O_NONBLOCK: a FIFO or a device in the store must not hold the job in
  // open(). O_NOATIME keeps even the access time of the evidence as it was;
  // only the file's owner (or root) may ask for it, so fall back without it.
  constexpr int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = ::open(path.c_str(), flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    opened.failure = failureOf(errno);
    return opened;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    opened.failure = failureOf(errno);
    ::close(fd);
    return opened;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    opened.failure.reason = S_ISDIR(info.st_mode) ? "a folder, not a recording file" : "not a regular file";
    opened.failure.errorNumber = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return opened;
  }
  posix_fadvise(fd, 0, 0, pattern == ReadPattern::WholeFile ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_RANDOM);
  opened.file = std::make_unique<LocalFile>(fd, static_cast<std::uint64_t>(info.st_size));
  return opened;
}

int FolderSource::countFolders() const { return countStoreFolders(root_); }

OpenedFile FolderSource::openFile(int folder, int file, ReadPattern pattern) const {
  return openPath(filePath(folder, file), pattern);
}

std::string FolderSource::filePath(int folder, int file) const { return recordingFilePath(root_, folder, file); }

}  // namespace korvex
