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
  using korvex::testing::SimulatedSegment;
  // The recordings start on 2026-12-01 at 08:00 recorder time.
  const korvex::RecorderTime t0 = 1796112000;
  const std::vector<SimulatedSegment> segments = {
      {0, 1, t0, 40, true},        {1, 2, t0 + 5, 20, true},     {3, 4, t0 + 10, 15, false},
      {0, 2, t0 + 60, 30, true},   {1, 8, t0 + 60, 25, true},    {3, 1, t0 + 70, 40, false},
      {0, 4, t0 + 120, 20, true},  {1, 1, t0 + 130, 30, true},   {3, 8, t0 + 130, 20, false},
      {0, 8, t0 + 180, 15, true},  {1, 4, t0 + 190, 15, true},   {3, 2, t0 + 185, 25, false},
  };
  korvex::testing::SimulationOptions options;
  // Small files, so that the recordings fill more than one folder of 128.
  options.fileBytes = 32 * 1024;
  std::string root = argv[1];
  if (root.empty() || root.back() != '/') root += '/';
  const auto result = korvex::testing::simulateRecorder(root, segments, options);
  std::printf("%s: %d folders, %d files, %llu frames\n", root.c_str(), result.folders, result.files,
              static_cast<unsigned long long>(result.frames));
  return 0;
}
