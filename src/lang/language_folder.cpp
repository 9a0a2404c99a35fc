#include "lang/language_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

bool languageFilesBeside(const char* folder) {
  char settings[PATH_BUFFER_SIZE];
  return formatPath(settings, sizeof settings, "%s/mainset.ini", folder) && isRegularFile(settings);
}

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) return user->pw_dir;
  return "/";
}

}  // namespace

bool getLanguageFolder(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  std::memset(buffer, 0, capacity);
  char folder[PATH_BUFFER_SIZE];
  getProgramFolder(folder, sizeof folder);
  if (languageFilesBeside(folder)) return formatPath(buffer, capacity, "%s", folder);
  return formatPath(buffer, capacity, "%s/%s", folder, INSTALLED_LANGUAGE_FOLDER);
}

std::string defaultOutputFolder() {
  char folder[PATH_BUFFER_SIZE];
  getProgramFolder(folder, sizeof folder);
  std::string chosen = languageFilesBeside(folder) ? folder : homeFolder();
  if (chosen.empty() || chosen.back() != '/') chosen += '/';
  return chosen;
}

}  // namespace korvex
