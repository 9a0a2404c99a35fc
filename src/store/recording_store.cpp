#include "store/recording_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "store/recording_source.h"

namespace korvex {

int openFolderToList(int at, const char* path) {
  constexpr int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  int fd = ::openat(at, path, flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::openat(at, path, flags);
  return fd;
}

Failure storeFailureOf(int errorNumber) {
  Failure failure;
  failure.code = errorNumber == ENOENT || errorNumber == ENOTDIR ? FailureCode::Missing : FailureCode::NotOpened;
  failure.errorNumber = errorNumber;
  failure.reason = std::strerror(errorNumber);
  return failure;
}

FolderEntries listFolderEntries(int folder, const std::string& prefix) {
  FolderEntries entries;
  // A descriptor of its own: the listing moves its offset, and the caller's
  // may be in use on another thread.
  const int fd = openFolderToList(folder, ".");
  if (fd < 0) {
    entries.failure = storeFailureOf(errno);
    return entries;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
  if (!dir) {
    entries.failure = storeFailureOf(errno);
    ::close(fd);
    return entries;
  }
  while (true) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) {
      // A listing cut short by a read error is no listing.
      if (errno != 0) entries = FolderEntries{0, {}, storeFailureOf(errno)};
      std::sort(entries.numbers.begin(), entries.numbers.end());
      return entries;
    }
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    ++entries.count;
    if (const auto number = storeFolderNumber(entry->d_name)) entries.numbers.push_back(*number);
  }
}

std::optional<std::int32_t> storeFolderNumber(const char* name, bool ignoreCase) {
  if ((ignoreCase ? strncasecmp(name, "dir", 3) : std::strncmp(name, "dir", 3)) != 0) return std::nullopt;
  const char* digits = name + 3;
  const std::size_t length = std::strlen(digits);
  // Five digits at least; beyond five, no leading zero (as %05d writes them).
  if (length < 5 || length > 10 || (length > 5 && digits[0] == '0')) return std::nullopt;
  std::int64_t number = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (digits[i] < '0' || digits[i] > '9') return std::nullopt;
    number = number * 10 + (digits[i] - '0');
  }
  if (number >= INT32_MAX) return std::nullopt;  // its successor is a folder count
  return static_cast<std::int32_t>(number);
}

int countStoreFolders(const std::string& root) {
  // The pattern is root + "dir*": the folder part is everything up to the
  // last '/', and the name part of the root (after it) is a prefix too.
  const std::string pattern = root + "dir";
  const auto slash = pattern.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
  const std::string prefix = slash == std::string::npos ? pattern : pattern.substr(slash + 1);

  const int fd = openFolderToList(AT_FDCWD, folder.c_str());
  if (fd < 0) return 0;
  const FolderEntries entries = listFolderEntries(fd, prefix);
  ::close(fd);
  return entries.count;
}

std::string storeFolderName(std::int32_t folder) {
  char name[24];
  const int n = std::snprintf(name, sizeof name, "dir%05d", folder);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return {};
  return name;
}

std::string storeFileName(std::int32_t file) {
  char name[24];
  const int n = std::snprintf(name, sizeof name, "file%04d.dat", file);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return {};
  return name;
}

std::string recordingFilePath(const std::string& root, int folder, int file) {
  const std::string name = recordingFileName(folder, file);
  return name.empty() ? std::string() : root + name;
}

}  // namespace korvex
