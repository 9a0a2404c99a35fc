#include "support/temp_dir.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvex::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvex-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; give them back their write bit.
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    if (it->is_directory(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& relative) const {
  const fs::path full = fs::path(path_) / relative;
  std::error_code ignored;
  fs::create_directories(full.parent_path(), ignored);
  return full.string();
}

std::vector<std::string> listFiles(const std::string& folder, const std::string& prefix, const std::string& suffix) {
  std::vector<std::string> found;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file(ignored) || name.size() < prefix.size() + suffix.size()) continue;
    if (name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string readTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool openInThisProcess(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return false;
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return false;
  bool open = false;
  while (const dirent* entry = readdir(fds)) {
    char target[PATH_MAX];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (std::strcmp(target, resolved) == 0) open = true;
  }
  closedir(fds);
  return open;
}

}  // namespace korvex::testing
