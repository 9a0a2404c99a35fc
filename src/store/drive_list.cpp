#include "store/drive_list.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "base/mount_table.h"

namespace korvex {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::array<std::string_view, 25> PSEUDO_FILE_SYSTEMS = {
    "proc",     "sysfs",       "cgroup",   "cgroup2",    "devtmpfs", "devpts",          "securityfs",
    "debugfs",  "tracefs",     "pstore",   "bpf",        "mqueue",   "hugetlbfs",       "configfs",
    "fusectl",  "autofs",      "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",          "selinuxfs",
    "nfsd",     "ramfs",       "fuse.gvfsd-fuse", "fuse.portal",
};

bool isUnder(std::string_view path, std::string_view folder) {
  return path == folder || (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
                            path[folder.size()] == '/');
}

bool isPseudo(std::string_view type, std::string_view mountPoint) {
  if (std::find(PSEUDO_FILE_SYSTEMS.begin(), PSEUDO_FILE_SYSTEMS.end(), type) != PSEUDO_FILE_SYSTEMS.end())
    return true;
  if (isUnder(mountPoint, "/proc") || isUnder(mountPoint, "/sys") || isUnder(mountPoint, "/dev")) return true;
  return type == "tmpfs" && isUnder(mountPoint, "/run");
}

}  // namespace

std::vector<std::string> mountRootsFromTable(std::string_view mountTable) {
  std::vector<std::string> roots;
  while (!mountTable.empty()) {
    const std::size_t end = mountTable.find('\n');
    std::string_view line = mountTable.substr(0, end);
    mountTable.remove_prefix(end == std::string_view::npos ? mountTable.size() : end + 1);
    nextMountField(line);  // device
    const std::string mountPoint = unescapeMountField(nextMountField(line));
    const std::string_view type = nextMountField(line);
    if (mountPoint.empty() || mountPoint.front() != '/' || type.empty()) continue;
    if (isPseudo(type, mountPoint)) continue;
    roots.push_back(mountPoint.back() == '/' ? mountPoint : mountPoint + '/');
  }
  std::sort(roots.begin(), roots.end());
  roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
  return roots;
}

std::vector<std::string> listDriveRoots() {
  FilePtr file(std::fopen("/proc/self/mounts", "rb"));
  if (!file) return {};
  // The file reports no size; read it in chunks up to the bound.
  std::string table;
  char chunk[8192];
  while (table.size() < MOUNT_TABLE_MAX_BYTES) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    if (got == 0) break;
    table.append(chunk, got);
  }
  if (table.size() >= MOUNT_TABLE_MAX_BYTES) table.erase(table.rfind('\n') + 1);
  return mountRootsFromTable(table);
}

std::string diskRootFromText(std::string_view text) {
  std::string root(text);
  if (!root.empty() && root.back() != '/') root.push_back('/');
  return root;
}

}  // namespace korvex
