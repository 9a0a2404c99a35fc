#include "jobs/job_checks.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "store/recording_store.h"

namespace korvex {

namespace {

// The last name of a path, trailing '/' left out.
std::string lastName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentFolder(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string withSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

}  // namespace

DiskCheck checkDisk(const std::string& disk) {
  DiskCheck check;
  struct stat status {};
  if (disk.empty() || stat(disk.c_str(), &status) != 0) {
    check.problem = DiskProblem::Missing;
    check.reason = std::strerror(disk.empty() ? ENOENT : errno);
    return check;
  }
  check.folder = S_ISDIR(status.st_mode);
  if (!check.folder) return check;
  if (countStoreFolders(withSlash(disk)) > 0) return check;
  // A recorder folder given as the disk holds files, not folders: its
  // parent is the disk that was meant.
  const std::string name = lastName(disk);
  const std::string parent = parentFolder(disk);
  if (name.rfind("dir", 0) == 0 && countStoreFolders(withSlash(parent)) > 0) {
    check.problem = DiskProblem::StoreFolderPicked;
    check.parent = parent;
    return check;
  }
  check.problem = DiskProblem::NoStoreFolders;
  return check;
}

SelectionProblem checkBackupSelection(const JobSettings& settings) {
  const auto on = [](std::uint8_t enabled) { return enabled != 0; };
  if (std::none_of(settings.channelEnabled.begin(), settings.channelEnabled.begin() + SELECTABLE_CHANNELS, on))
    return SelectionProblem::NoChannel;
  if (std::none_of(settings.recordTypeEnabled.begin(), settings.recordTypeEnabled.end(), on))
    return SelectionProblem::NoRecordType;
  if (settings.endTime < settings.beginTime) return SelectionProblem::EndBeforeStart;
  return SelectionProblem::None;
}

}  // namespace korvex
