#include "store/recording_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "store/recording_store.h"

namespace korvex {

namespace {

// From a cold page cache every read of a recording file would wait on the
// device alone: a scan's reads are single frame headers, a backup's single
// payloads. The file's next bytes are asked for ahead of the reads, this
// much at a time, so that the device reads them in large requests while
// the frames before them are parsed or written. Only the page cache holds
// them: the job's memory stays as it was.
constexpr std::uint64_t HINT_WINDOW = 8u * 1024 * 1024;

class LocalFile final : public SourceFile {
 public:
  LocalFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~LocalFile() override { ::close(fd_); }
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;

  std::uint64_t size() const override { return size_; }

  std::int64_t readAt(std::uint64_t offset, const iovec* parts, int count) override {
    hintFrom(offset);
    while (true) {
      // pread when there is one buffer: it spares the kernel the vector.
      const ssize_t got = count == 1 ? pread(fd_, parts[0].iov_base, parts[0].iov_len, static_cast<off_t>(offset))
                                     : preadv(fd_, parts, count, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      return got;
    }
  }

  void setFollowedBy(SourceFile& next) override { follower_ = &next; }
  void askAhead() override { hintFrom(0); }

  std::uint64_t dataFrom(std::uint64_t offset) override {
    if (offset >= size_) return size_;
    const off_t at = lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
    if (at >= 0) return std::min(static_cast<std::uint64_t>(at), size_);
    // ENXIO: nothing stored from there on; a file system that cannot tell
    // may store every byte.
    return errno == ENXIO ? size_ : offset;
  }

 private:
  // Keeps at least half a window asked for ahead of `offset`; a read
  // before the window (a jump back) starts a new one there.
  void hintFrom(std::uint64_t offset) {
    if (offset >= size_) return;
    if (offset >= hintedFrom_ && offset + HINT_WINDOW / 2 <= hintedTo_) return;
    const std::uint64_t from = offset >= hintedFrom_ && offset < hintedTo_ ? hintedTo_ : offset;
    const std::uint64_t to = std::min(size_, offset + HINT_WINDOW);
    if (from >= to) return;
    // Only a hint: the read that follows waits if it must. Where the
    // window's first and last pages are cached already, the file was read
    // before and the hint is left out: the kernel would look up every page
    // of it only to find it there.
    if (!cached(from, to - 1))
      posix_fadvise(fd_, static_cast<off_t>(from), static_cast<off_t>(to - from), POSIX_FADV_WILLNEED);
    if (from == offset) hintedFrom_ = offset;
    hintedTo_ = to;
    if (to == size_ && follower_ != nullptr) std::exchange(follower_, nullptr)->askAhead();
  }

  // Whether the page cache holds the pages of bytes `first` and `last`:
  // mincore over a mapping of them, which asks nothing of the device (a
  // read that may not wait would start one). A file that cannot be mapped
  // says no.
  bool cached(std::uint64_t first, std::uint64_t last) const {
    static const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t from = first / page * page;
    const auto length = static_cast<std::size_t>(last / page * page + page - from);
    void* const at = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(from));
    if (at == MAP_FAILED) return false;
    unsigned char held[2] = {0, 0};
    const bool known = mincore(at, page, &held[0]) == 0 &&
                       mincore(static_cast<char*>(at) + length - page, page, &held[1]) == 0;
    munmap(at, length);
    return known && (held[0] & 1) != 0 && (held[1] & 1) != 0;
  }

  int fd_;
  std::uint64_t size_;
  std::uint64_t hintedFrom_ = 0;
  std::uint64_t hintedTo_ = 0;
  SourceFile* follower_ = nullptr;
};

}  // namespace

std::string recordingFileName(int folder, int file) {
  const std::string folderName = storeFolderName(folder);
  const std::string fileName = storeFileName(file);
  return folderName.empty() || fileName.empty() ? std::string() : folderName + "/" + fileName;
}

namespace {

// A symbolic link below the root is never followed: it could lead anywhere,
// and what it leads to is not the store's.
constexpr const char* LINK_REASON = "a symbolic link inside the store (not followed)";

Failure linkFailure(std::string reason) {
  Failure failure;
  failure.code = FailureCode::NotOpened;
  failure.errorNumber = ELOOP;
  failure.reason = std::move(reason);
  return failure;
}

// Opens `name` relative to `at` as a recording file. `noFollow` refuses a
// link in its last part.
OpenedFile openRecordingAt(int at, const char* name, bool noFollow, ReadPattern pattern) {
  OpenedFile opened;
  // O_NONBLOCK: a FIFO or a device in the store must not hold the job in
  // open(). O_NOATIME keeps even the access time of the evidence as it was;
  // only the file's owner (or root) may ask for it, so fall back without it.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (noFollow ? O_NOFOLLOW : 0);
  int fd = ::openat(at, name, flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::openat(at, name, flags);
  if (fd < 0) {
    // With O_NOFOLLOW and a name of one part, ELOOP means the name is a link.
    opened.failure = noFollow && errno == ELOOP ? linkFailure(LINK_REASON) : storeFailureOf(errno);
    return opened;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    opened.failure = storeFailureOf(errno);
    ::close(fd);
    return opened;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    opened.failure.code = FailureCode::NotOpened;
    opened.failure.reason = S_ISDIR(info.st_mode) ? "a folder, not a recording file" : "not a regular file";
    opened.failure.errorNumber = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return opened;
  }
  posix_fadvise(fd, 0, 0, pattern == ReadPattern::WholeFile ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_RANDOM);
  opened.file = std::make_unique<LocalFile>(fd, static_cast<std::uint64_t>(info.st_size));
  return opened;
}

}  // namespace

OpenedFile FolderSource::openPath(const std::string& path, ReadPattern pattern) {
  return openRecordingAt(AT_FDCWD, path.c_str(), false, pattern);
}

FolderSource::FolderSource(std::string root) : root_(std::move(root)) {
  // Listing the root through this descriptor leaves its access time alone.
  rootFd_ = openFolderToList(AT_FDCWD, root_.c_str());
  if (rootFd_ < 0) rootError_ = errno;
}

FolderSource::~FolderSource() {
  if (rootFd_ >= 0) ::close(rootFd_);
}

FolderListing FolderSource::listFolders() const {
  FolderListing listing;
  const FolderEntries entries =
      rootFd_ >= 0 ? listFolderEntries(rootFd_, "dir") : FolderEntries{0, {}, storeFailureOf(rootError_)};
  if (entries.failure.failed()) {
    listing.failure = entries.failure;
    return listing;
  }
  listing.count = entries.count;
  listing.folders = entries.numbers;
  return listing;
}

FolderListing RecordingSource::listFolders() const {
  FolderListing listing;
  listing.count = countFolders();
  for (std::int32_t folder = 0; folder < listing.count; ++folder) listing.folders.push_back(folder);
  return listing;
}

OpenedFile FolderSource::openFile(int folder, int file, ReadPattern pattern) const {
  OpenedFile opened;
  if (rootFd_ < 0) {
    opened.failure = storeFailureOf(rootError_);
    if (!opened.failure.missing())
      opened.failure.reason = "the store's folder cannot be opened: " + opened.failure.reason;
    return opened;
  }
  const std::string name = recordingFileName(folder, file);
  if (name.empty()) {
    opened.failure = storeFailureOf(ENOENT);
    return opened;
  }
  const std::string folderName = name.substr(0, name.find('/'));
  const int folderFd = ::openat(rootFd_, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folderFd < 0) {
    const int error = errno;
    // O_DIRECTORY with O_NOFOLLOW says ENOTDIR both for a link and for a
    // plain file of that name; only the plain file means "missing".
    struct stat info {};
    if (error == ENOTDIR && fstatat(rootFd_, folderName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
      opened.failure = linkFailure(folderName + " is a symbolic link inside the store (not followed)");
      return opened;
    }
    opened.failure = storeFailureOf(error);
    if (!opened.failure.missing())
      opened.failure.reason = "the folder " + folderName + " cannot be opened: " + opened.failure.reason;
    return opened;
  }
  opened = openRecordingAt(folderFd, name.c_str() + folderName.size() + 1, true, pattern);
  ::close(folderFd);
  return opened;
}

std::string FolderSource::filePath(int folder, int file) const { return recordingFilePath(root_, folder, file); }

}  // namespace korvex
