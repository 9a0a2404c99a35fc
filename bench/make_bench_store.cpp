// korvex-bench-store FOLDER SIZE [--file-size SIZE] [--seed N]
//
// Writes a recorder store of about SIZE bytes into FOLDER for the
// benchmarks: 4 channels recording side by side, 25 pictures a second of 10
// to 60 KB with a key frame every second, a 324-byte audio chunk after every
// picture, segments of 2 to 5 minutes one after the other on each channel,
// recording files of 128 MiB (the last folder filled up with header-only
// files, as a recorder leaves it). Frames are streamed to disk, so stores
// far larger than memory can be written.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store/recorder_time.h"
#include "support/recorder_simulator.h"

namespace {

using korvex::testing::SimulatedSegment;

constexpr int CHANNELS = 4;
constexpr int FRAMES_PER_SECOND = 25;
constexpr std::uint32_t MIN_PICTURE_BYTES = 10000;
constexpr std::uint32_t MAX_PICTURE_BYTES = 60000;
constexpr std::uint64_t AUDIO_CHUNK_BYTES = 324;
constexpr std::uint64_t FRAME_HEADER_BYTES = 128;
// The recordings start on 2026-12-01 at 08:00 recorder time.
constexpr korvex::RecorderTime FIRST_TIME = 1796112000;

const char* const USAGE =
    "usage: korvex-bench-store FOLDER SIZE [--file-size SIZE] [--seed N]\n"
    "\n"
    "Writes a synthetic recorder store of about SIZE bytes (e.g. 2G, 512M) into\n"
    "FOLDER, which must be empty or not exist yet: 4 channels, 25 fps pictures of\n"
    "10 to 60 KB, a key frame every second, 324-byte audio chunks, segments of a\n"
    "few minutes, recording files of --file-size bytes (default 128M).\n";

// "2G", "512M", "64K" or a plain number of bytes; powers of 1024.
std::optional<std::uint64_t> parseSize(const std::string& text) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const unsigned long long number = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0) return std::nullopt;
  std::uint64_t unit = 1;
  const std::string suffix = end;
  if (suffix == "K" || suffix == "k" || suffix == "KiB") unit = 1024;
  else if (suffix == "M" || suffix == "m" || suffix == "MiB") unit = 1024 * 1024;
  else if (suffix == "G" || suffix == "g" || suffix == "GiB") unit = 1024 * 1024 * 1024;
  else if (!suffix.empty()) return std::nullopt;
  if (number == 0 || number > UINT64_MAX / unit) return std::nullopt;
  return number * unit;
}

bool folderIsEmptyOrAbsent(const std::string& folder) {
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) return !error;
  return std::filesystem::is_directory(folder, error) && std::filesystem::is_empty(folder, error);
}

// Segments on every channel, back to back, until each channel has recorded
// `seconds`. The channels change segment at different moments, as they do
// when motion and schedules differ per camera.
std::vector<SimulatedSegment> planSegments(std::uint64_t seconds, std::uint32_t seed) {
  static const std::int32_t recordTypes[] = {1, 2, 1, 4, 1, 8};
  std::vector<SimulatedSegment> segments;
  std::uint32_t state = seed * 2654435761u + 1;
  for (int channel = 0; channel < CHANNELS; ++channel) {
    std::uint64_t recorded = 0;
    int index = channel;
    while (recorded < seconds) {
      state = state * 1664525u + 1013904223u;
      const std::uint64_t length = std::min<std::uint64_t>(120 + (state >> 8) % 181, seconds - recorded);
      SimulatedSegment segment;
      segment.channel = channel;
      segment.recordType = recordTypes[index % 6];
      segment.start = FIRST_TIME + static_cast<korvex::RecorderTime>(recorded);
      segment.seconds = static_cast<int>(length);
      segment.audio = true;
      segments.push_back(segment);
      recorded += length;
      ++index;
    }
  }
  return segments;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  std::uint64_t fileBytes = 128u * 1024 * 1024;
  std::uint32_t seed = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(USAGE, stdout);
      return 0;
    }
    if ((arg == "--file-size" || arg == "--seed") && i + 1 < argc) {
      const std::string value = argv[++i];
      const auto number = parseSize(value);
      if (!number || (arg == "--seed" && *number > UINT32_MAX)) {
        std::fprintf(stderr, "korvex-bench-store: bad value for %s: %s\n", arg.c_str(), value.c_str());
        return 2;
      }
      if (arg == "--file-size") fileBytes = *number;
      else seed = static_cast<std::uint32_t>(*number);
      continue;
    }
    if (arg.rfind("--", 0) == 0) {
      std::fputs(USAGE, stderr);
      return 2;
    }
    positional.push_back(arg);
  }
  if (positional.size() != 2) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  const auto storeBytes = parseSize(positional[1]);
  if (!storeBytes) {
    std::fprintf(stderr, "korvex-bench-store: bad size: %s\n", positional[1].c_str());
    return 2;
  }
  std::string root = positional[0];
  if (!folderIsEmptyOrAbsent(root)) {
    std::fprintf(stderr, "korvex-bench-store: %s exists and is not an empty folder\n", root.c_str());
    return 1;
  }
  std::error_code error;
  std::filesystem::create_directories(root, error);
  if (error) {
    std::fprintf(stderr, "korvex-bench-store: cannot create %s: %s\n", root.c_str(), error.message().c_str());
    return 1;
  }
  if (root.back() != '/') root += '/';

  // Each channel writes this much per second of recording.
  const std::uint64_t meanPicture = (MIN_PICTURE_BYTES + MAX_PICTURE_BYTES) / 2;
  const std::uint64_t channelSecondBytes =
      FRAMES_PER_SECOND * (meanPicture + AUDIO_CHUNK_BYTES + 2 * FRAME_HEADER_BYTES);
  const std::uint64_t seconds = std::max<std::uint64_t>(1, *storeBytes / (CHANNELS * channelSecondBytes));

  korvex::testing::SimulationOptions options;
  options.fileBytes = fileBytes;
  options.framesPerSecond = FRAMES_PER_SECOND;
  options.media = korvex::testing::SimulatedMedia::Synthetic;
  options.syntheticMinBytes = MIN_PICTURE_BYTES;
  options.syntheticMaxBytes = MAX_PICTURE_BYTES;
  options.seed = seed;
  const std::vector<SimulatedSegment> segments = planSegments(seconds, seed);
  const auto result = korvex::testing::simulateRecorder(root, segments, options);
  std::printf("%s: %" PRIu64 " bytes, %d folders, %d files, %zu segments, %" PRIu64 " frames (%" PRIu64
              " pictures), %" PRIu64 " s of recording\n",
              root.c_str(), result.storeBytes, result.folders, result.files, segments.size(), result.frames,
              result.videoFrames, seconds);
  return 0;
}
