#include "lang/language_folder.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "lang/program_folder.h"

#ifndef KORVEX_INSTALLED_LANGUAGE_FOLDER
#define KORVEX_INSTALLED_LANGUAGE_FOLDER "../share/korvex"
#endif

namespace korvex {

const char* const INSTALLED_LANGUAGE_FOLDER = KORVEX_INSTALLED_LANGUAGE_FOLDER;

namespace {

bool isRegularFile(const char* path) {
  struct stat info {};
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

// snprintf into the buffer; false, with the buffer cleared, when it is cut.
template <typename... Args>
bool formatPath(char* buffer, std::size_t capacity, const char* format, Args... args) {
  const int written = std::snprintf(buffer, capacity, format, args...);
  if (written >= 0 && static_cast<std::size_t>(written) < capacity) return true;
  std::memset(buffer, 0, capacity);
  return false;
}

}  // namespace

bool getLanguageFolder(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  std::memset(buffer, 0, capacity);
  char folder[PATH_BUFFER_SIZE];
  getProgramFolder(folder, sizeof folder);

  char settings[PATH_BUFFER_SIZE];
  if (formatPath(settings, sizeof settings, "%s/mainset.ini", folder) && isRegularFile(settings)) {
    return formatPath(buffer, capacity, "%s", folder);
  }
  return formatPath(buffer, capacity, "%s/%s", folder, INSTALLED_LANGUAGE_FOLDER);
}

}  // namespace korvex
