// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes.
#pragma once

#include <string>
#include <vector>

namespace korvex::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, without a trailing '/'.
  const std::string& path() const { return path_; }
  // The path with a trailing '/', as a store root or output folder.
  std::string root() const { return path_ + "/"; }
  // A path inside it; sub-folders are created on the way.
  std::string file(const std::string& relative) const;

 private:
  std::string path_;
};

// Every regular file below `folder` whose name starts with `prefix` and ends
// with `suffix`, sorted.
std::vector<std::string> listFiles(const std::string& folder, const std::string& prefix = "",
                                   const std::string& suffix = "");

std::string readTextFile(const std::string& path);

// True while this process holds a descriptor open on `path` (a job that
// left a file open).
bool openInThisProcess(const std::string& path);

}  // namespace korvex::testing
