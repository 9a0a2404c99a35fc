#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

namespace korvex::cli {

bool claimOutputFolder(const JobSettings& settings, const char* what, OutputFolderLock& lock) {
  const std::string& folder = settings.outputFolder;
  const OutputFolderCheck claim = korvex::claimOutputFolder(folder, settings.diskRoot, lock);
  switch (claim.problem) {
    case OutputFolderProblem::None:
      return true;
    case OutputFolderProblem::InsideStore:
      std::fprintf(stderr, "korvex-cli: %s is the recorder disk %s or lies inside it; the disk is never written, "
                   "choose an output folder outside it\n", folder.c_str(), settings.diskRoot.c_str());
      return false;
    case OutputFolderProblem::Busy:
      std::fprintf(stderr,
                   "korvex-cli: %s: another job is writing to this output folder; wait for it to end or choose "
                   "another folder\n", folder.c_str());
      return false;
    case OutputFolderProblem::NotAFolder:
      std::fprintf(stderr, "korvex-cli: cannot write %s to %s: not a folder\n", what, folder.c_str());
      return false;
    case OutputFolderProblem::Missing:
    case OutputFolderProblem::NotWritable:
      std::fprintf(stderr, "korvex-cli: cannot write %s to %s: %s\n", what, folder.c_str(), claim.reason.c_str());
      return false;
  }
  return false;
}

std::string missingFileNote(const SourceEnd& source) {
  if (source.foldersNotRead <= 0 || source.missingPath.empty()) return {};
  return "; recording file " + source.missingPath + " is missing, " + std::to_string(source.foldersNotRead) +
         (source.foldersNotRead == 1 ? " folder" : " folders") + " of the range not read";
}

int noteJobLog(ProgressDisplay& progress, const std::string& hashListPath, const std::string& logPath,
               const std::string& failedPath, int errorNumber, int status) {
  if (!hashListPath.empty()) {
    const std::size_t slash = hashListPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : hashListPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? hashListPath : hashListPath.substr(slash + 1);
    progress.message("hash list: " + hashListPath + " (to check: cd " + folder + " && sha256sum -c " + name + ")");
  }
  if (!logPath.empty()) progress.message("job log: " + logPath);
  if (failedPath.empty()) return status;
  progress.message("korvex-cli: cannot write the job's log " + failedPath + ": " + std::strerror(errorNumber));
  return status == EXIT_DONE ? EXIT_FAILURE_OTHER : status;
}

}  // namespace korvex::cli
