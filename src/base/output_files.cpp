#include "base/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace korvex {

namespace {

// Large enough that the reader of a file, not the system calls, sets the pace.
constexpr std::size_t READ_BACK_BLOCK = 1024 * 1024;

// The reasons a job's own output can no longer be vouched for.
constexpr const char* FILE_REPLACED_TEXT =
    "the file at that name is no longer the one this job wrote (replaced or changed by something else while the "
    "job ran)";
constexpr const char* FOLDER_REPLACED_TEXT =
    "the folder's name leads to another folder than the one the job wrote into (replaced while the job ran)";

Failure fileReplaced(const std::string& path) { return {FailureCode::OutputFileReplaced, 0, path, FILE_REPLACED_TEXT}; }

Failure notCreated(int error, const std::string& path) { return {FailureCode::NotCreated, error, path, {}}; }

// The folder's record of a file it made, kept up to date when it closes.
struct FileRecord {
  std::shared_ptr<DiskFolderOutput::Written> written;
  std::string name;
};

DiskFolderOutput::Identity identityOf(const struct stat& info) {
  DiskFolderOutput::Identity identity;
  identity.device = static_cast<std::uint64_t>(info.st_dev);
  identity.inode = static_cast<std::uint64_t>(info.st_ino);
  identity.length = static_cast<std::int64_t>(info.st_size);
  identity.modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
  identity.modifiedNanoseconds = static_cast<std::int64_t>(info.st_mtim.tv_nsec);
  return identity;
}

class DiskFile final : public OutputFile {
 public:
  explicit DiskFile(int fd, FileRecord record = {}) : fd_(fd), record_(std::move(record)) {}
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
    // What the file is as this job leaves it: read back later only while it
    // still is.
    struct stat info {};
    if (record_.written && ::fstat(fd_, &info) == 0) {
      DiskFolderOutput::Identity identity = identityOf(info);
      identity.closed = true;
      const std::lock_guard<std::mutex> lock(record_.written->mutex);
      record_.written->files[record_.name] = identity;
    }
    const int result = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return result;
  }
  int descriptor() const override { return fd_; }

 private:
  int fd_;
  FileRecord record_;
};

// Reads the open file at `path` from its start to its end into `sink`:
// None, or NotRead with the errno.
Failure readWhole(int fd, const std::string& path, const OutputBytesSink& sink) {
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  // A small file (a report) is read with a block of its own size.
  std::size_t blockSize = READ_BACK_BLOCK;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size >= 0 && static_cast<std::uint64_t>(info.st_size) < READ_BACK_BLOCK)
    blockSize = std::max<std::size_t>(static_cast<std::size_t>(info.st_size) + 1, 4096);
  const std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[blockSize]);
  if (!block) return {FailureCode::NotRead, ENOMEM, path, {}};
  for (;;) {
    const ssize_t got = ::read(fd, block.get(), blockSize);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return {FailureCode::NotRead, errno, path, {}};
    if (got == 0) return {};
    if (!sink(block.get(), static_cast<std::size_t>(got))) return {};
  }
}

// Whether `now` is the file of `identity`: the same inode and, once the
// file was closed, the same length and modification time (an inode number
// can be given again to a file made after this one was removed).
bool stillWritten(const DiskFolderOutput::Identity& identity, const struct stat& now) {
  const DiskFolderOutput::Identity seen = identityOf(now);
  if (seen.device != identity.device || seen.inode != identity.inode) return false;
  return !identity.closed || (seen.length == identity.length && seen.modifiedSeconds == identity.modifiedSeconds &&
                              seen.modifiedNanoseconds == identity.modifiedNanoseconds);
}

// The last name of a path: the file's name in its folder.
std::string lastName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

class DiskOutput final : public OutputFiles {
 public:
  CreatedFile createNew(const std::string& path) override {
    // O_EXCL with O_NOFOLLOW: an existing name, a symbolic link included,
    // gives EEXIST and is left alone. The umask trims the mode by itself.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return {nullptr, notCreated(errno, path)};
    try {
      return {std::make_unique<DiskFile>(fd), {}};
    } catch (const std::bad_alloc&) {
      ::close(fd);
      ::unlink(path.c_str());
      return {nullptr, notCreated(ENOMEM, path)};
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

  Failure readBack(const std::string& path, const OutputBytesSink& sink) const override {
    Descriptor file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (file.fd < 0) return {FailureCode::NotOpened, errno, path, {}};
    return readWhole(file.fd, path, sink);
  }
};

class MemoryFile final : public OutputFile {
 public:
  MemoryFile(std::shared_ptr<std::mutex> mutex, std::shared_ptr<MemoryOutputFiles::Stored> stored)
      : mutex_(std::move(mutex)), stored_(std::move(stored)) {}

  WriteResult writeAt(iovec* parts, int count, std::uint64_t offset) override {
    WriteResult result;
    if (closed_) {
      result.failure = {FailureCode::NotWritten, EBADF, {}, {}};
      return result;
    }
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) total += parts[i].iov_len;
    const std::lock_guard<std::mutex> lock(*mutex_);
    std::vector<std::uint8_t>& bytes = stored_->bytes;
    try {
      if (bytes.size() < offset + total) bytes.resize(offset + total);
    } catch (const std::bad_alloc&) {
      result.failure = {FailureCode::NotWritten, ENOSPC, {}, {}};
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

DiskFolderOutput::DiskFolderOutput(const std::string& folder) : folder_(folder.empty() ? "." : folder) {
  fd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    openError_ = errno;
    return;
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    openError_ = errno;
    ::close(fd_);
    fd_ = -1;
    return;
  }
  device_ = static_cast<std::uint64_t>(info.st_dev);
  inode_ = static_cast<std::uint64_t>(info.st_ino);
}

DiskFolderOutput::~DiskFolderOutput() {
  if (fd_ >= 0) ::close(fd_);
}

CreatedFile DiskFolderOutput::createNew(const std::string& path) {
  if (fd_ < 0) return {nullptr, notCreated(openError_, path)};
  const std::string name = lastName(path);
  if (name.empty() || name == "." || name == "..") return {nullptr, notCreated(EINVAL, path)};
  // O_EXCL with O_NOFOLLOW: an existing name, a symbolic link included,
  // gives EEXIST and is left alone. The umask trims the mode by itself.
  const int fd = ::openat(fd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return {nullptr, notCreated(errno, path)};
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlinkat(fd_, name.c_str(), 0);
    return {nullptr, notCreated(error, path)};
  }
  try {
    {
      const std::lock_guard<std::mutex> lock(written_->mutex);
      written_->files[name] = identityOf(info);
    }
    return {std::make_unique<DiskFile>(fd, FileRecord{written_, name}), {}};
  } catch (const std::bad_alloc&) {
    ::close(fd);
    ::unlinkat(fd_, name.c_str(), 0);
    return {nullptr, notCreated(ENOMEM, path)};
  }
}

bool DiskFolderOutput::exists(const std::string& path) const {
  struct stat info {};
  return fd_ >= 0 && ::fstatat(fd_, lastName(path).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

std::int64_t DiskFolderOutput::regularFileSize(const std::string& path) const {
  struct stat info {};
  if (fd_ < 0 || ::fstatat(fd_, lastName(path).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
    return -1;
  return static_cast<std::int64_t>(info.st_size);
}

void DiskFolderOutput::remove(const std::string& path) {
  if (fd_ < 0) return;
  const std::string name = lastName(path);
  Identity identity;
  {
    const std::lock_guard<std::mutex> lock(written_->mutex);
    const auto found = written_->files.find(name);
    if (found == written_->files.end()) return;
    identity = found->second;
    written_->files.erase(found);
  }
  // Only the file this job made, as it left it: whatever took its name stays.
  struct stat info {};
  if (::fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !stillWritten(identity, info)) return;
  ::unlinkat(fd_, name.c_str(), 0);
}

Failure DiskFolderOutput::readBack(const std::string& path, const OutputBytesSink& sink) const {
  if (fd_ < 0) return {FailureCode::NotOpened, openError_, folder_, {}};
  const std::string name = lastName(path);
  Identity identity;
  {
    const std::lock_guard<std::mutex> lock(written_->mutex);
    const auto found = written_->files.find(name);
    if (found == written_->files.end()) return fileReplaced(path);
    identity = found->second;
  }
  Descriptor file;
  file.fd = ::openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (file.fd < 0) return errno == ELOOP ? fileReplaced(path) : Failure{FailureCode::NotOpened, errno, path, {}};
  struct stat info {};
  if (::fstat(file.fd, &info) != 0) return {FailureCode::NotOpened, errno, path, {}};
  if (!stillWritten(identity, info)) return fileReplaced(path);
  return readWhole(file.fd, path, sink);
}

Failure DiskFolderOutput::checkFolder() const {
  if (fd_ < 0) return {FailureCode::NotOpened, openError_, folder_, {}};
  const Failure replaced{FailureCode::OutputFolderReplaced, 0, folder_, FOLDER_REPLACED_TEXT};
  struct stat info {};
  if (::stat(folder_.c_str(), &info) != 0)
    return errno == ENOENT || errno == ENOTDIR ? replaced : Failure{FailureCode::NotOpened, errno, folder_, {}};
  if (static_cast<std::uint64_t>(info.st_dev) != device_ || static_cast<std::uint64_t>(info.st_ino) != inode_)
    return replaced;
  return {};
}

std::string DiskFolderOutput::currentPath() const {
  if (fd_ < 0) return folder_;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd_);
  char target[4096];
  const ssize_t length = ::readlink(link, target, sizeof target - 1);
  if (length <= 0) return folder_;
  return std::string(target, static_cast<std::size_t>(length));
}

CreatedFile MemoryOutputFiles::createNew(const std::string& path) {
  const std::lock_guard<std::mutex> lock(*mutex_);
  auto [place, made] = files_.try_emplace(path);
  if (!made) return {nullptr, notCreated(EEXIST, path)};
  place->second = std::make_shared<Stored>();
  return {std::make_unique<MemoryFile>(mutex_, place->second), {}};
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

Failure MemoryOutputFiles::readBack(const std::string& path, const OutputBytesSink& sink) const {
  const std::lock_guard<std::mutex> lock(*mutex_);
  const auto found = files_.find(path);
  if (found == files_.end()) return {FailureCode::NotOpened, ENOENT, path, {}};
  const std::vector<std::uint8_t>& stored = found->second->bytes;
  if (!stored.empty()) sink(stored.data(), stored.size());
  return {};
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
