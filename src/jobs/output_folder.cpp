#include "jobs/output_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace korvex {

namespace {

// The folder with every symbolic link resolved; empty when it cannot be.
std::string resolvedFolder(const std::string& folder) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(folder.empty() ? "." : folder.c_str(), nullptr),
                                                        &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

// A file's identity: its device and inode.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// What a block device is stored on: the device itself, the whole disk of a
// partition, the devices a mapped or assembled device sits on (at any depth),
// and the backing files of loop devices among them.
struct StoredOn {
  std::vector<dev_t> devices;
  std::vector<FileIdentity> files;
};

// A short sysfs file, its last line end cut; "" when it cannot be read.
std::string sysfsText(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  char text[4097];
  const ssize_t got = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (got <= 0) return {};
  std::string value(text, static_cast<std::size_t>(got));
  while (!value.empty() && (value.back() == '\n' || value.back() == '\0')) value.pop_back();
  return value;
}

// "8:17" as sysfs writes a device's number; 0 when it is not one.
dev_t deviceNumber(const std::string& text) {
  unsigned major = 0, minor = 0;
  char rest = 0;
  if (std::sscanf(text.c_str(), "%u:%u%c", &major, &minor, &rest) != 2) return 0;
  return makedev(major, minor);
}

// The block layer's folder of a device.
std::string blockNode(const std::string& sysfs, dev_t device) {
  return sysfs + "/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// The whole disk of a partition; 0 for a device that is none.
dev_t wholeDiskOf(const std::string& node) {
  return sysfsText(node + "/partition").empty() ? 0 : deviceNumber(sysfsText(node + "/../dev"));
}

// A loop device's backing file, into `files`.
void addBackingFile(const std::string& node, std::vector<FileIdentity>& files) {
  const std::string backing = sysfsText(node + "/loop/backing_file");
  struct stat info {};
  if (!backing.empty() && ::stat(backing.c_str(), &info) == 0) files.push_back({info.st_dev, info.st_ino});
}

void addStoredOn(dev_t device, const std::string& sysfs, StoredOn& on, int depth) {
  if (device == 0 || depth > 16 || std::find(on.devices.begin(), on.devices.end(), device) != on.devices.end())
    return;
  on.devices.push_back(device);
  const std::string node = blockNode(sysfs, device);
  addBackingFile(node, on.files);
  addStoredOn(wholeDiskOf(node), sysfs, on, depth + 1);
  if (DIR* slaves = ::opendir((node + "/slaves").c_str())) {
    while (const dirent* entry = ::readdir(slaves)) {
      if (entry->d_name[0] == '.') continue;
      addStoredOn(deviceNumber(sysfsText(node + "/slaves/" + entry->d_name + "/dev")), sysfs, on, depth + 1);
    }
    ::closedir(slaves);
  }
}

}  // namespace

bool folderOnEvidence(const std::string& folder, const std::string& disk, const std::string& sysfs) {
  struct stat evidence {};
  struct stat place {};
  if (disk.empty() || ::stat(disk.c_str(), &evidence) != 0 || ::stat(folder.empty() ? "." : folder.c_str(), &place) != 0)
    return false;
  StoredOn output;
  addStoredOn(place.st_dev, sysfs, output, 0);
  const auto holdsDevice = [&](dev_t device) {
    return std::find(output.devices.begin(), output.devices.end(), device) != output.devices.end();
  };
  const auto holdsFile = [&](FileIdentity file) {
    return std::find(output.files.begin(), output.files.end(), file) != output.files.end();
  };
  if (S_ISREG(evidence.st_mode)) return holdsFile({evidence.st_dev, evidence.st_ino});
  if (!S_ISBLK(evidence.st_mode)) return false;
  // The device, the whole disk it is a partition of, and a loop device's
  // backing file; not what a mapped evidence device sits on (that may be
  // the examiner's own disk).
  StoredOn disks;
  disks.devices.push_back(evidence.st_rdev);
  if (const dev_t whole = wholeDiskOf(blockNode(sysfs, evidence.st_rdev)); whole != 0) disks.devices.push_back(whole);
  for (const dev_t device : disks.devices) addBackingFile(blockNode(sysfs, device), disks.files);
  return std::any_of(disks.devices.begin(), disks.devices.end(), [&](dev_t d) { return d != 0 && holdsDevice(d); }) ||
         std::any_of(disks.files.begin(), disks.files.end(), holdsFile);
}

bool folderInsideStore(const std::string& folder, const std::string& root) {
  const std::string f = resolvedFolder(folder);
  const std::string r = resolvedFolder(root);
  if (f.empty() || r.empty()) return false;
  if (f == r) return true;
  const std::string prefix = r.back() == '/' ? r : r + '/';
  return f.compare(0, prefix.size(), prefix) == 0;
}

namespace {

// The nearest folder above `path` that exists (symbolic links followed),
// where a missing folder would be made.
std::string nearestExistingFolder(std::string path) {
  struct stat info {};
  while (true) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.rfind('/');
    path = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (path == "." || path == "/" || stat(path.c_str(), &info) == 0 || errno != ENOENT) return path;
  }
}

// Whether a file can be made and written in `folder`: a probe under a name
// of its own, made new relative to the folder's descriptor, one byte written,
// then removed. Permission bits alone do not tell (root passes them on
// sysfs, and a read-only mount passes them too). 0 or the errno.
int tryWriting(const std::string& folder) {
  static std::atomic<unsigned> probes{0};
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  const std::string name = ".korvex-write-probe-" + std::to_string(getpid()) + "-" + std::to_string(probes++);
  int error = 0;
  const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = errno;
  } else {
    const char byte = 0;
    const ssize_t written = ::write(fd, &byte, 1);
    // A full disk is a writable folder: the job names the file it could
    // not finish, as it would for a disk that fills while it runs.
    if (written != 1 && !(written < 0 && (errno == ENOSPC || errno == EDQUOT))) error = written < 0 ? errno : EIO;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (::unlinkat(dir, name.c_str(), 0) != 0 && error == 0) error = errno;
  }
  ::close(dir);
  return error;
}

}  // namespace

Failure checkOutputFolder(const std::string& outputFolder, const std::string& diskRoot) {
  Failure check;
  check.path = outputFolder;
  const auto refuse = [&](FailureCode code, int error) {
    check.code = code;
    check.errorNumber = error;
    if (error != 0) check.reason = std::strerror(error);
    return check;
  };
  const std::string folder = outputFolder.empty() ? "." : outputFolder;
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) {
    const int error = errno;
    if (error != ENOENT) return refuse(FailureCode::OutputNotWritable, error);
    refuse(FailureCode::OutputFolderMissing, error);
    // A folder that would be made inside the store or on the evidence is
    // refused before anything is made.
    const std::string parent = nearestExistingFolder(folder);
    if (folderInsideStore(parent, diskRoot)) check.code = FailureCode::OutputInsideStore;
    else if (folderOnEvidence(parent, diskRoot)) check.code = FailureCode::OutputOnEvidence;
    return check;
  }
  if (!S_ISDIR(info.st_mode)) return refuse(FailureCode::OutputNotAFolder, ENOTDIR);
  if (folderInsideStore(folder, diskRoot)) return refuse(FailureCode::OutputInsideStore, 0);
  if (folderOnEvidence(folder, diskRoot)) return refuse(FailureCode::OutputOnEvidence, 0);
  if (const int error = tryWriting(folder); error != 0) return refuse(FailureCode::OutputNotWritable, error);
  return check;
}

OutputFolderLock::~OutputFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

OutputFolderLock::OutputFolderLock(OutputFolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

OutputFolderLock& OutputFolderLock::operator=(OutputFolderLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

LockedOutputFolder OutputFolderLock::acquire(const std::string& folder) {
  LockedOutputFolder locked;
  Failure& failure = locked.failure;
  failure.path = folder;
  const auto refuse = [&](FailureCode code, int error) {
    failure.code = code;
    failure.errorNumber = error;
    failure.reason = std::strerror(error);
    return std::move(locked);
  };
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return refuse(FailureCode::OutputNotWritable, errno);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return refuse(error == EWOULDBLOCK ? FailureCode::OutputFolderBusy : FailureCode::OutputNotWritable, error);
  }
  locked.lock = OutputFolderLock(fd);
  return locked;
}

Failure claimOutputFolder(const std::string& outputFolder, const std::string& diskRoot, OutputFolderLock& lock) {
  Failure check = checkOutputFolder(outputFolder, diskRoot);
  if (check.failed()) return check;
  LockedOutputFolder locked = OutputFolderLock::acquire(outputFolder);
  lock = std::move(locked.lock);
  return std::move(locked.failure);
}

std::string OutputNames::create(const std::string& stem, const std::string& extension,
                                const std::function<int(const std::string& path)>& create, int& error) {
  int& next = nextNumber_.try_emplace(stem + extension, 1).first->second;
  error = 0;
  for (; next < INT_MAX; ++next) {
    const std::string path = next == 1 ? stem + extension : stem + "_" + std::to_string(next) + extension;
    const int result = create(path);
    if (result == EEXIST) continue;
    if (result != 0) {
      error = result;
      return {};
    }
    ++next;
    return path;
  }
  error = EEXIST;
  return {};
}

}  // namespace korvex
