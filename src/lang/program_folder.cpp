#include "lang/program_folder.h"

#include <unistd.h>

#include <cstring>
#include <utility>

namespace korvex {

namespace {

std::optional<std::string>& folderOverride() {
  static std::optional<std::string> folder;
  return folder;
}

}  // namespace

char* getProgramFolder(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return buffer;
  std::memset(buffer, 0, capacity);
  if (const auto& folder = folderOverride()) {
    if (folder->size() < capacity) std::memcpy(buffer, folder->data(), folder->size());
    return buffer;
  }
  const ssize_t length = readlink("/proc/self/exe", buffer, capacity - 1);
  // readlink cuts silently; a path that fills the buffer may have been cut.
  if (length <= 0 || static_cast<std::size_t>(length) >= capacity - 1) {
    std::memset(buffer, 0, capacity);
    return buffer;
  }
  // Cut at the last '/', clearing the file name behind it too.
  char* slash = std::strrchr(buffer, '/');
  char* cut = slash != nullptr ? slash : buffer;
  std::memset(cut, 0, static_cast<std::size_t>(length) - static_cast<std::size_t>(cut - buffer));
  return buffer;
}

void overrideProgramFolder(std::optional<std::string> folder) { folderOverride() = std::move(folder); }

}  // namespace korvex
