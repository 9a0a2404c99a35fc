// SHA-256 of the files a job wrote, as they lie on disk. A backup hands each
// AVI file over the moment it is finished; a thread of the hasher's own
// reads it back (from the page cache, while it is still there) so that the
// backup never waits for a hash. The same pass takes the SHA-256 of the
// chunks' data, in file order, from where the writer put them. The files that end with the job (one per
// channel, each up to 1 GiB) come all at once: each waiting file then gets
// a thread of its own, up to the processor's cores.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/output_files.h"
#include "jobs/job_result.h"

namespace korvex {

// Reads the file at `path` (never through a symbolic link) back from
// `output` and hashes it.
FileHash sha256OfFile(const std::string& path, const OutputFiles& output = diskOutput());

// Where a chunk's data lies in a file: offset and length, in file order,
// none overlapping.
struct FileRange {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

// As sha256OfFile, with the SHA-256 of the bytes of `ranges` (each range
// within the file, in order) in `rangesSha256`; that is left empty when the
// file could not be hashed whole or a range lies past its end.
FileHash sha256OfFile(const std::string& path, const std::vector<FileRange>& ranges, std::string& rangesSha256,
                      const OutputFiles& output = diskOutput());

class FileHasher {
 public:
  explicit FileHasher(const OutputFiles& output = diskOutput()) : output_(output) {}
  // Waits for the files handed in.
  ~FileHasher();
  FileHasher(const FileHasher&) = delete;
  FileHasher& operator=(const FileHasher&) = delete;

  // Hashes the file at `path` as entry `index` of the outcomes; a thread
  // starts when every one already started is busy.
  void add(std::size_t index, std::string path);
  // The same, with the SHA-256 of the bytes of `ranges` besides.
  void add(std::size_t index, std::string path, std::vector<FileRange> ranges);

  // Waits for every file handed in and gives the outcomes, by index (an
  // index never handed in has an empty hash).
  std::vector<FileHash> finish();
  // After finish(): the SHA-256 of the ranges of file `index`; empty for a
  // file handed in without ranges, or not hashed whole.
  std::string rangesSha256(std::size_t index) const;

 private:
  struct Job {
    std::size_t index = 0;
    std::string path;
    std::optional<std::vector<FileRange>> ranges;
  };
  void enqueue(Job job);
  // Hashes the job's file and keeps the outcome; the lock is not held.
  void hashJob(Job& job);
  void run();
  // Takes the first file of the queue and hashes it, the lock let go meanwhile.
  void hashNext(std::unique_lock<std::mutex>& lock);

  const OutputFiles& output_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;        // guarded by mutex_
  std::vector<FileHash> done_;   // guarded by mutex_
  std::vector<std::string> rangesDone_;  // guarded by mutex_
  bool closing_ = false;         // guarded by mutex_
  std::size_t idle_ = 0;         // threads waiting for a file; guarded by mutex_
  std::vector<std::thread> threads_;  // the adding thread's own
};

}  // namespace korvex
