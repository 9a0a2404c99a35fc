// The player's memory over segments of different lengths: a segment of one
// channel at 25 pictures a second is indexed and every frame decoded in
// order, as playing it through does; the peak memory should not grow with
// the segment beyond its index (about 32 bytes a frame).
//
//   korvex-bench-player write FOLDER MINUTES   writes the store
//   korvex-bench-player play FOLDER            indexes and plays it
//
// bench/run-bench does not run it; see bench/RESULTS.md for how it was run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "preview/frame_decoder.h"
#include "preview/frame_index.h"
#include "store/recording_source.h"
#include "support/recorder_simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS").
long statusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  return -1;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc >= 3 ? argv[1] : "";
  if (mode == "write" && argc == 4) {
    std::string root = argv[2];
    if (root.back() != '/') root += '/';
    const int minutes = std::atoi(argv[3]);
    if (minutes <= 0) return 2;
    korvex::testing::SimulationOptions options;
    options.fileBytes = 64u * 1024 * 1024;
    const auto result =
        korvex::testing::simulateRecorder(root, {{0, 1, 1796083200, minutes * 60, true}}, options);
    std::printf("wrote %llu frames, %llu bytes\n", static_cast<unsigned long long>(result.videoFrames),
                static_cast<unsigned long long>(result.storeBytes));
    return 0;
  }
  if (mode != "play" || argc != 3) {
    std::fprintf(stderr, "usage: korvex-bench-player write FOLDER MINUTES | play FOLDER\n");
    return 2;
  }
  std::string root = argv[2];
  if (root.back() != '/') root += '/';
  const korvex::FolderSource source(root);
  korvex::KeyFrameSearch search;
  search.lastFolder = 1 << 20;
  const long before = statusKiB("VmRSS");
  auto start = Clock::now();
  const korvex::FrameIndex index = korvex::indexSegmentFrames(source, search);
  const double indexSeconds = secondsSince(start);
  const long afterIndex = statusKiB("VmRSS");
  korvex::SegmentDecoder decoder(source, index);
  std::size_t decoded = 0;
  long mostDuringPlay = 0;
  start = Clock::now();
  for (std::size_t k = 0; k < index.frames.size(); ++k) {
    decoded += decoder.picture(k).decoded ? 1 : 0;
    if (k % 5000 == 0) mostDuringPlay = std::max(mostDuringPlay, statusKiB("VmRSS"));
  }
  const double playSeconds = secondsSince(start);
  std::printf("frames %zu (%zu decoded)  index %.2f s, %zu KiB  rss before %ld KiB, after index %ld KiB, "
              "most while playing %ld KiB, peak %ld KiB  decode %.0f frames/s\n",
              index.frames.size(), decoded, indexSeconds, index.frames.capacity() * sizeof(korvex::IndexedFrame) / 1024,
              before, afterIndex, mostDuringPlay, statusKiB("VmHWM"), static_cast<double>(decoded) / playSeconds);
  return 0;
}
