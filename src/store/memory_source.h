// A store held in memory: recording files as byte buffers, for tests and
// fuzzing, with no file touched. A stretch of a file can be made to fail
// with EIO, as a damaged disk area does.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/recording_source.h"

namespace korvex {

class MemorySource final : public RecordingSource {
 public:
  // Puts (or replaces) file `file` of folder `folder`.
  void setFile(int folder, int file, std::vector<std::uint8_t> bytes);
  // Reads of that file that touch bytes [from, to) fail with EIO.
  void setDamage(int folder, int file, std::uint64_t from, std::uint64_t to);
  // The number countFolders gives; without it, the number of folders that
  // hold a file.
  void setFolderCount(int count) { folderCount_ = count; }

  int countFolders() const override;
  // A file never put is missing.
  OpenedFile openFile(int folder, int file, ReadPattern pattern) const override;
  // "memory:dir00000/file0003.dat"
  std::string filePath(int folder, int file) const override;
  std::string describe() const override { return "memory"; }

 private:
  struct Stored {
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    std::uint64_t failFrom = 0, failTo = 0;
  };
  std::map<std::pair<int, int>, Stored> files_;
  std::optional<int> folderCount_;
};

}  // namespace korvex
