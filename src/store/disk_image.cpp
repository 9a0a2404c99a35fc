#include "store/disk_image.h"

#include <fcntl.h>
#include <libewf.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

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

// An EWF set through libewf. The handle keeps a position and caches, so
// reads take turns.
class EwfImage final : public DiskImage {
 public:
  EwfImage(EwfHandle handle, DiskImageInfo info, unsigned sectorSize) : handle_(std::move(handle)) {
    info_ = std::move(info);
    sectorSize_ = sectorSize;
  }

  std::int64_t readAt(std::uint64_t offset, void* into, std::size_t length) override {
    if (offset >= size()) return 0;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size() - offset));
    const std::lock_guard lock(mutex_);
    libewf_error_t* error = nullptr;
    const ssize_t got = libewf_handle_read_random(handle_.get(), into, length, static_cast<off64_t>(offset), &error);
    if (got < 0) {
      libewf_error_free(&error);
      errno = EIO;
      return -1;
    }
    return got;
  }

 private:
  EwfHandle handle_;
  std::mutex mutex_;
};

std::unique_ptr<DiskImage> openEwf(const std::string& path, std::string& error) {
  libewf_error_t* ewfError = nullptr;
  char** names = nullptr;
  int count = 0;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &ewfError) != 1 || count < 1) {
    error = "cannot find the segments of the EWF set " + path + ": " + ewfErrorText(ewfError);
    return nullptr;
  }
  DiskImageInfo info;
  info.path = path;
  info.format = "ewf";
  for (int i = 0; i < count; ++i) info.segments.emplace_back(names[i]);

  libewf_handle_t* raw = nullptr;
  if (libewf_handle_initialize(&raw, &ewfError) != 1) {
    libewf_glob_free(names, count, nullptr);
    error = "cannot read the EWF set " + path + ": " + ewfErrorText(ewfError);
    return nullptr;
  }
  EwfHandle handle(raw);
  const int opened = libewf_handle_open(handle.get(), names, count, LIBEWF_OPEN_READ, &ewfError);
  libewf_glob_free(names, count, nullptr);
  if (opened != 1) {
    // A handle that failed to open has nothing to close.
    libewf_handle_free(&raw, nullptr);
    static_cast<void>(handle.release());
    error = "cannot open the EWF set " + path + ": " + ewfErrorText(ewfError);
    return nullptr;
  }
  size64_t mediaSize = 0;
  if (libewf_handle_get_media_size(handle.get(), &mediaSize, &ewfError) != 1) {
    error = "cannot read the media size of the EWF set " + path + ": " + ewfErrorText(ewfError);
    return nullptr;
  }
  std::uint32_t bytesPerSector = 512;
  if (libewf_handle_get_bytes_per_sector(handle.get(), &bytesPerSector, nullptr) != 1 || bytesPerSector < 512 ||
      bytesPerSector % 512 != 0 || bytesPerSector > 65536)
    bytesPerSector = 512;
  info.sizeBytes = mediaSize;
  info.md5 = storedHash(handle.get(), "MD5");
  info.sha1 = storedHash(handle.get(), "SHA1");
  return std::make_unique<EwfImage>(std::move(handle), std::move(info), bytesPerSector);
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

std::unique_ptr<DiskImage> openDiskImage(const std::string& path, std::string& error) {
  const int fd = openReadOnly(path);
  if (fd < 0) {
    const int reason = errno;
    // A socket cannot be opened at all.
    struct stat status {};
    if (reason == ENXIO && lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode))
      error = path + " is neither a disk image file nor a block device (a socket)";
    else
      error = "cannot open " + path + ": " + std::strerror(reason);
    return nullptr;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    error = "cannot examine " + path + ": " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  if (!S_ISBLK(status.st_mode) && !S_ISREG(status.st_mode)) {
    ::close(fd);
    error = path + " is neither a disk image file nor a block device (" + kindOf(status.st_mode) + ")";
    return nullptr;
  }
  // Reads wait for the disk as usual.
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error = "cannot examine " + path + ": " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  DiskImageInfo info;
  info.path = path;
  if (S_ISBLK(status.st_mode)) {
    std::uint64_t bytes = 0;
    int sector = 512;
    if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) {
      error = "cannot read the size of the device " + path + ": " + std::strerror(errno);
      ::close(fd);
      return nullptr;
    }
    if (ioctl(fd, BLKSSZGET, &sector) != 0 || sector < 512 || sector % 512 != 0 || sector > 65536) sector = 512;
    info.format = "device";
    info.sizeBytes = bytes;
    describeBlockDevice(status.st_rdev, info);
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<DescriptorImage>(fd, std::move(info), static_cast<unsigned>(sector));
  }
  if (looksLikeEwf(fd)) {
    ::close(fd);
    return openEwf(path, error);
  }
  info.format = "raw";
  info.sizeBytes = static_cast<std::uint64_t>(status.st_size);
  return std::make_unique<DescriptorImage>(fd, std::move(info), 512u);
}

std::unique_ptr<DiskImage> memoryDiskImage(std::vector<std::uint8_t> bytes, std::uint64_t failFrom,
                                           std::uint64_t failTo) {
  return std::make_unique<MemoryImage>(std::move(bytes), failFrom, failTo);
}

}  // namespace korvex
