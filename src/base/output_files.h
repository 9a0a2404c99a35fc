// Where a job's files go: the file system, or memory (the fuzz target, which
// runs both jobs for every input and must not spend its time in the kernel).
// Every file a job writes is made new here, written at offsets, cut to its
// length and closed; the job's log reads them back for their hashes.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/write_fully.h"

namespace korvex {

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes every byte of parts[0..count) at `offset`, as writeFully does
  // (the iovecs are used up on the way).
  virtual WriteResult writeAt(iovec* parts, int count, std::uint64_t offset) = 0;
  // Sets the file's length; 0 or the errno.
  virtual int truncate(std::uint64_t length) = 0;
  // Keeps room on the disk for the first `bytes` of the file without
  // changing its length; 0 or the errno (where no room can be kept).
  virtual int reserve(std::uint64_t bytes) = 0;
  // Makes what was written durable; 0 or the errno. A file system that
  // cannot (a pipe, a read-only one) is not a failure.
  virtual int sync() = 0;
  // Closes the file once; 0 or the errno (the first report of a delayed
  // write error, on some file systems).
  virtual int close() = 0;
  // The system's descriptor of a file on disk; -1 for one in memory or
  // once closed.
  virtual int descriptor() const = 0;
};

// A file made new, or why there is none: NotCreated with the errno (EEXIST
// when the name is taken) and the path.
struct CreatedFile {
  std::unique_ptr<OutputFile> file;
  Failure failure;
  explicit operator bool() const { return file != nullptr; }
};

// Receives a file's bytes in order; false stops the reading.
using OutputBytesSink = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

class OutputFiles {
 public:
  virtual ~OutputFiles() = default;
  // A new file at `path`: never an existing one, never through a symbolic
  // link.
  virtual CreatedFile createNew(const std::string& path) = 0;
  // Whether anything has that name, a symbolic link included.
  virtual bool exists(const std::string& path) const = 0;
  // The length of the regular file at `path` (never through a link); -1
  // when there is none.
  virtual std::int64_t regularFileSize(const std::string& path) const = 0;
  virtual void remove(const std::string& path) = 0;
  // Reads the file at `path` (never through a link) from its start to its
  // end into `sink`, which must not call back into these files. None, or
  // NotOpened / NotRead with the errno of the call that failed, or
  // OutputFileReplaced (errno 0, its reason in words) where the name no
  // longer holds the file this job wrote.
  virtual Failure readBack(const std::string& path, const OutputBytesSink& sink) const = 0;
  // Whether the output folder's name still leads to the folder the files
  // went into: None, or OutputFolderReplaced (errno 0, its reason in
  // words), or NotOpened with the errno.
  virtual Failure checkFolder() const { return {}; }
};

// The file system: files made with mode 0666 less the umask.
OutputFiles& diskOutput();

// One folder of the file system, opened once: every file is made, read back
// and removed relative to that descriptor, so that a name swapped for a
// symbolic link (or the folder for another) while the job runs never sends a
// file elsewhere. Only names directly in the folder are served: a path is
// taken by its last name. A file is read back (and removed) only while it is
// the file this job wrote: same device and inode, and, once closed, the
// same length and modification time; otherwise OutputFileReplaced.
class DiskFolderOutput final : public OutputFiles {
 public:
  // The folder is opened here; where it cannot be, every file made in it
  // (and read back from it) fails with that errno.
  explicit DiskFolderOutput(const std::string& folder);
  ~DiskFolderOutput() override;
  DiskFolderOutput(const DiskFolderOutput&) = delete;
  DiskFolderOutput& operator=(const DiskFolderOutput&) = delete;

  CreatedFile createNew(const std::string& path) override;
  bool exists(const std::string& path) const override;
  std::int64_t regularFileSize(const std::string& path) const override;
  void remove(const std::string& path) override;
  Failure readBack(const std::string& path, const OutputBytesSink& sink) const override;
  Failure checkFolder() const override;

  // errno of the folder's opening; 0 when it is open.
  int openError() const { return openError_; }
  // Where the folder opened now is, as the system names it (after a rename:
  // its new name); the name given when that is not known.
  std::string currentPath() const;

  struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool closed = false;  // length and time below are final
    std::int64_t length = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
  };
  struct Written {
    std::mutex mutex;
    std::map<std::string, Identity> files;  // by name; guarded by mutex
  };

 private:
  std::string folder_;
  int fd_ = -1;
  int openError_ = 0;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  std::shared_ptr<Written> written_ = std::make_shared<Written>();
};

// Files held in memory, by path. Safe to use from several threads.
class MemoryOutputFiles final : public OutputFiles {
 public:
  CreatedFile createNew(const std::string& path) override;
  bool exists(const std::string& path) const override;
  std::int64_t regularFileSize(const std::string& path) const override;
  void remove(const std::string& path) override;
  Failure readBack(const std::string& path, const OutputBytesSink& sink) const override;

  // The files there are, by path.
  std::vector<std::string> paths() const;
  // The bytes of the file at `path`; empty when there is none.
  std::vector<std::uint8_t> bytes(const std::string& path) const;
  // Removes every file.
  void clear();

  struct Stored {
    std::vector<std::uint8_t> bytes;  // guarded by the folder's mutex
  };

 private:
  std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
  std::map<std::string, std::shared_ptr<Stored>> files_;  // guarded by *mutex_
};

}  // namespace korvex
