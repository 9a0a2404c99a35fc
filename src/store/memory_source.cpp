#include "store/memory_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace korvex {

namespace {

class MemoryFile final : public SourceFile {
 public:
  MemoryFile(std::shared_ptr<const std::vector<std::uint8_t>> bytes, std::uint64_t failFrom, std::uint64_t failTo)
      : bytes_(std::move(bytes)), failFrom_(failFrom), failTo_(failTo) {}

  std::uint64_t size() const override { return bytes_->size(); }

  std::int64_t readAt(std::uint64_t offset, const iovec* parts, int count) override {
    const std::uint64_t size = bytes_->size();
    std::uint64_t wanted = 0;
    for (int i = 0; i < count; ++i) wanted += parts[i].iov_len;
    const std::uint64_t end = offset >= size ? offset : offset + std::min(wanted, size - offset);
    if (offset < end && offset < failTo_ && end > failFrom_) {
      errno = EIO;
      return -1;
    }
    std::uint64_t at = offset;
    for (int i = 0; i < count && at < end; ++i) {
      const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(parts[i].iov_len, end - at));
      std::memcpy(parts[i].iov_base, bytes_->data() + at, length);
      at += length;
    }
    return static_cast<std::int64_t>(at - offset);
  }

 private:
  std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
  std::uint64_t failFrom_, failTo_;
};

}  // namespace

void MemorySource::setFile(int folder, int file, std::vector<std::uint8_t> bytes) {
  Stored& stored = files_[{folder, file}];
  stored.bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
}

void MemorySource::setDamage(int folder, int file, std::uint64_t from, std::uint64_t to) {
  Stored& stored = files_[{folder, file}];
  if (!stored.bytes) stored.bytes = std::make_shared<const std::vector<std::uint8_t>>();
  stored.failFrom = from;
  stored.failTo = to;
}

int MemorySource::countFolders() const {
  if (folderCount_) return *folderCount_;
  std::set<int> folders;
  for (const auto& [key, stored] : files_) folders.insert(key.first);
  return static_cast<int>(folders.size());
}

OpenedFile MemorySource::openFile(int folder, int file, ReadPattern) const {
  OpenedFile opened;
  const auto found = files_.find({folder, file});
  if (found == files_.end()) {
    opened.failure.code = FailureCode::Missing;
    opened.failure.errorNumber = ENOENT;
    opened.failure.reason = std::strerror(ENOENT);
    return opened;
  }
  opened.file = std::make_unique<MemoryFile>(found->second.bytes, found->second.failFrom, found->second.failTo);
  return opened;
}

std::string MemorySource::filePath(int folder, int file) const { return "memory:" + recordingFileName(folder, file); }

}  // namespace korvex
