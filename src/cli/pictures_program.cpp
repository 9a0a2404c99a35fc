#include "cli/pictures_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli_options.h"
#include "lang/program_folder.h"

namespace korvex::cli {

namespace {

constexpr const char* PICTURES_PROGRAM = "korvex-cli-pictures";

bool isFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string picturesProgramPath(const std::string& programFolder) {
  const std::string beside = programFolder + "/" + PICTURES_PROGRAM;
  if (isFile(beside)) return beside;
  return programFolder + "/" KORVEX_INSTALLED_PICTURES_FOLDER "/" + PICTURES_PROGRAM;
}

int runPicturesProgram(char** argv) {
  char folder[PATH_BUFFER_SIZE];
  getProgramFolder(folder, sizeof folder);
  const std::string path = picturesProgramPath(folder);
  if (setenv(CLI_FOLDER_VARIABLE, folder, 1) == 0) execv(path.c_str(), argv);
  const int error = errno;
  std::fprintf(stderr, "korvex-cli: cannot start %s, which makes stills and reports: %s\n", path.c_str(),
               std::strerror(error));
  return EXIT_FAILURE_OTHER;
}

void takeCliFolder() {
  const char* folder = std::getenv(CLI_FOLDER_VARIABLE);
  if (folder == nullptr) return;
  overrideProgramFolder(std::string(folder));
  unsetenv(CLI_FOLDER_VARIABLE);
}

}  // namespace korvex::cli
