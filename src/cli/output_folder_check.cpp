#include <cstdio>
#include <string>

#include "cli/commands.h"

namespace korvex::cli {

bool claimOutputFolder(const JobSettings& settings, const char* what, OutputFolderLock& lock) {
  const std::string& folder = settings.outputFolder;
  const OutputFolderCheck check = checkOutputFolder(folder, settings.diskRoot);
  if (check.problem == OutputFolderProblem::InsideStore) {
    std::fprintf(stderr, "korvex-cli: %s is the recorder disk %s or lies inside it; the disk is never written, "
                 "choose an output folder outside it\n", folder.c_str(), settings.diskRoot.c_str());
    return false;
  }
  if (!check) {
    std::fprintf(stderr, "korvex-cli: cannot write %s to %s: %s\n", what, folder.c_str(),
                 check.problem == OutputFolderProblem::NotAFolder ? "not a folder" : check.reason.c_str());
    return false;
  }
  bool busy = false;
  std::string reason;
  lock = OutputFolderLock::acquire(folder, busy, reason);
  if (!lock.held()) {
    std::fprintf(stderr, "korvex-cli: %s: %s\n", folder.c_str(),
                 busy ? "another job is writing to this output folder; wait for it to end or choose another folder"
                      : reason.c_str());
    return false;
  }
  return true;
}

std::string missingFileNote(const SourceEnd& source) {
  if (source.foldersNotRead <= 0 || source.missingPath.empty()) return {};
  return "; recording file " + source.missingPath + " is missing, " + std::to_string(source.foldersNotRead) +
         (source.foldersNotRead == 1 ? " folder" : " folders") + " of the range not read";
}

}  // namespace korvex::cli
