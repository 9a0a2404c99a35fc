#include "store/recording_store.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace korvex {

int countStoreFolders(const std::string& root) {
  // The pattern is root + "dir*": the folder part is everything up to the
  // last '/', and the name part of the root (after it) is a prefix too.
  const std::string pattern = root + "dir";
  const auto slash = pattern.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
  const std::string prefix = slash == std::string::npos ? pattern : pattern.substr(slash + 1);

  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return 0;
  int count = 0;
  while (const dirent* entry = readdir(dir.get())) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) ++count;
  }
  return count;
}

std::string recordingFilePath(const std::string& root, int folder, int file) {
  char name[40];
  const int n = std::snprintf(name, sizeof name, "dir%05d/file%04d.dat", folder, file);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return {};
  return root + name;
}

}  // namespace korvex
