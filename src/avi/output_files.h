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

#include "avi/write_fully.h"

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

// Receives a file's bytes in order; false stops the reading.
using OutputBytesSink = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

class OutputFiles {
 public:
  virtual ~OutputFiles() = default;
  // A new file at `path`: never an existing one, never through a symbolic
  // link. Null, with the errno in `error` (EEXIST when the name is taken).
  virtual std::unique_ptr<OutputFile> createNew(const std::string& path, int& error) = 0;
  // Whether anything has that name, a symbolic link included.
  virtual bool exists(const std::string& path) const = 0;
  // The length of the regular file at `path` (never through a link); -1
  // when there is none.
  virtual std::int64_t regularFileSize(const std::string& path) const = 0;
  virtual void remove(const std::string& path) = 0;
  // Reads the file at `path` (never through a link) from its start to its
  // end into `sink`, which must not call back into these files. 0, or the
  // errno of the open or read that failed.
  virtual int readBack(const std::string& path, const OutputBytesSink& sink) const = 0;
};

// The file system: files made with mode 0666 less the umask.
OutputFiles& diskOutput();

// Files held in memory, by path. Safe to use from several threads.
class MemoryOutputFiles final : public OutputFiles {
 public:
  std::unique_ptr<OutputFile> createNew(const std::string& path, int& error) override;
  bool exists(const std::string& path) const override;
  std::int64_t regularFileSize(const std::string& path) const override;
  void remove(const std::string& path) override;
  int readBack(const std::string& path, const OutputBytesSink& sink) const override;

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
