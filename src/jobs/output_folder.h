// The output folder of a job: the checks made before the job starts, the
// lock a job holds on it, and the new files it creates there.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>

#include "base/failure.h"

namespace korvex {

// What stands in the way of writing into an output folder is a Failure: its
// code one of OutputFolderMissing, OutputNotAFolder, OutputNotWritable,
// OutputInsideStore, OutputOnEvidence or OutputFolderBusy; `path` the folder
// as given; `errorNumber` and `reason` (the system's words) where the system
// gave any.

// Whether a job may write into `outputFolder` with the store at `diskRoot`.
// Both are compared after symbolic links are resolved; a missing folder by
// the folder it would be made in. A folder that passes is writable in fact:
// a probe file is made, written and removed there. Where the disk is an
// image file or a block device, the folder's file system may not lie on it:
// not on that device, nor on a partition of its disk, nor on a loop device
// whose backing file is that image.
Failure checkOutputFolder(const std::string& outputFolder, const std::string& diskRoot);

// True when `folder` is `root` or lies inside it, after resolving symbolic
// links. False when either cannot be resolved.
bool folderInsideStore(const std::string& folder, const std::string& root);

// True when the file system of `folder` is stored on `disk`, an image file
// or a block device (as the block layer tells it under `sysfs`). False for
// a folder given as the disk, or when either cannot be examined.
bool folderOnEvidence(const std::string& folder, const std::string& disk, const std::string& sysfs = "/sys");

struct LockedOutputFolder;

// An exclusive lock on an output folder, held across processes for a job's
// life (flock on the folder itself: nothing is left behind).
class OutputFolderLock {
 public:
  OutputFolderLock() = default;
  ~OutputFolderLock();
  OutputFolderLock(OutputFolderLock&& other) noexcept;
  OutputFolderLock& operator=(OutputFolderLock&& other) noexcept;
  OutputFolderLock(const OutputFolderLock&) = delete;
  OutputFolderLock& operator=(const OutputFolderLock&) = delete;

  // Takes the lock without waiting: OutputFolderBusy when another job holds
  // it, OutputNotWritable (errno and its words) when it cannot be taken.
  static LockedOutputFolder acquire(const std::string& folder);
  bool held() const { return fd_ >= 0; }

 private:
  explicit OutputFolderLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

struct LockedOutputFolder {
  OutputFolderLock lock;
  Failure failure;
  explicit operator bool() const { return lock.held(); }
};

// The checks of checkOutputFolder, then the folder's lock into `lock` (as
// OutputFolderLock::acquire takes it).
Failure claimOutputFolder(const std::string& outputFolder, const std::string& diskRoot, OutputFolderLock& lock);

// Picks names for a job's new files. A name taken, by this job or anything
// already in the folder, gets the next free "_2", "_3", ... before its
// extension. Remembers the next number per name, so that many files under
// one name cost one try each.
class OutputNames {
 public:
  // Tries `create` on "<stem><extension>", then "<stem>_2<extension>", ...
  // while it returns EEXIST. `create` returns 0 when it made the file, or an
  // errno. Returns the path made; empty, with the last errno in `error`,
  // when `create` failed otherwise.
  std::string create(const std::string& stem, const std::string& extension,
                     const std::function<int(const std::string& path)>& create, int& error);

 private:
  std::unordered_map<std::string, int> nextNumber_;
};

}  // namespace korvex
