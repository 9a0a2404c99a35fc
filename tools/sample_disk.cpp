// korvex-sample-disk FOLDER: writes a small recorder disk into FOLDER (two
// folders of recording files; channels 1, 2 and 4 with segments of every
// record type, sound on channels 1 and 2) made of real H.264 pictures and
// A-law sound, so that Korvex can be tried without a recorder at hand.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "store/recorder_time.h"
#include "support/recorder_simulator.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]) == "--help") {
    std::fprintf(argc == 2 ? stdout : stderr, "usage: korvex-sample-disk FOLDER\n");
    return argc == 2 ? 0 : 2;
  }
  std::string root = argv[1];
  if (root.empty() || root.back() != '/') root += '/';
  const auto result = korvex::testing::writeSampleDisk(root);
  std::printf("%s: %d folders, %d files, %llu frames\n", root.c_str(), result.folders, result.files,
              static_cast<unsigned long long>(result.frames));
  return 0;
}
