#include "jobs/output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace korvex {

namespace {

// The folder with every symbolic link resolved; empty when it cannot be.
std::string resolvedFolder(const std::string& folder) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(folder.empty() ? "." : folder.c_str(), nullptr),
                                                        &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

}  // namespace

bool folderInsideStore(const std::string& folder, const std::string& root) {
  const std::string f = resolvedFolder(folder);
  const std::string r = resolvedFolder(root);
  if (f.empty() || r.empty()) return false;
  if (f == r) return true;
  const std::string prefix = r.back() == '/' ? r : r + '/';
  return f.compare(0, prefix.size(), prefix) == 0;
}

OutputFolderCheck checkOutputFolder(const std::string& outputFolder, const std::string& diskRoot) {
  OutputFolderCheck check;
  const std::string folder = outputFolder.empty() ? "." : outputFolder;
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) {
    check.problem = errno == ENOENT ? OutputFolderProblem::Missing : OutputFolderProblem::NotWritable;
    check.reason = std::strerror(errno);
    return check;
  }
  if (!S_ISDIR(info.st_mode)) {
    check.problem = OutputFolderProblem::NotAFolder;
    check.reason = std::strerror(ENOTDIR);
    return check;
  }
  if (folderInsideStore(folder, diskRoot)) {
    check.problem = OutputFolderProblem::InsideStore;
    return check;
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    check.problem = OutputFolderProblem::NotWritable;
    check.reason = std::strerror(errno);
  }
  return check;
}

OutputFolderLock::~OutputFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

OutputFolderLock::OutputFolderLock(OutputFolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

OutputFolderLock& OutputFolderLock::operator=(OutputFolderLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

OutputFolderLock OutputFolderLock::acquire(const std::string& folder, bool& busy, std::string& reason) {
  busy = false;
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return {};
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    busy = errno == EWOULDBLOCK;
    reason = std::strerror(errno);
    ::close(fd);
    return {};
  }
  return OutputFolderLock(fd);
}

OutputFolderCheck claimOutputFolder(const std::string& outputFolder, const std::string& diskRoot,
                                    OutputFolderLock& lock) {
  OutputFolderCheck check = checkOutputFolder(outputFolder, diskRoot);
  if (!check) return check;
  bool busy = false;
  lock = OutputFolderLock::acquire(outputFolder, busy, check.reason);
  if (!lock.held()) check.problem = busy ? OutputFolderProblem::Busy : OutputFolderProblem::NotWritable;
  return check;
}

std::string OutputNames::create(const std::string& stem, const std::string& extension,
                                const std::function<int(const std::string& path)>& create, int& error) {
  int& next = nextNumber_.try_emplace(stem + extension, 1).first->second;
  error = 0;
  for (; next < INT_MAX; ++next) {
    const std::string path = next == 1 ? stem + extension : stem + "_" + std::to_string(next) + extension;
    const int result = create(path);
    if (result == EEXIST) continue;
    if (result != 0) {
      error = result;
      return {};
    }
    ++next;
    return path;
  }
  error = EEXIST;
  return {};
}

}  // namespace korvex
