#include "support/media_samples.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace korvex::testing {

std::string testDataPath(const std::string& name) { return std::string(KORVEX_TEST_DATA_DIR) + "/" + name; }

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return bytes;
  std::uint8_t chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  return bytes;
}

namespace {

// Offsets of NAL units: the byte after each 00 00 01 start code.
std::vector<std::size_t> nalStarts(const std::vector<std::uint8_t>& s) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i + 3 <= s.size(); ++i) {
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
      starts.push_back(i + 3);
      i += 2;
    }
  }
  return starts;
}

// Where the start code in front of the NAL at `nal` begins (4-byte codes too).
std::size_t startCodeOffset(const std::vector<std::uint8_t>& s, std::size_t nal) {
  std::size_t at = nal - 3;
  if (at > 0 && s[at - 1] == 0) --at;
  return at;
}

}  // namespace

std::vector<VideoAccessUnit> splitAccessUnits(const std::vector<std::uint8_t>& stream) {
  std::vector<VideoAccessUnit> units;
  const auto starts = nalStarts(stream);
  const bool delimited = [&] {
    for (std::size_t nal : starts)
      if (nal < stream.size() && (stream[nal] & 0x1f) == 9) return true;
    return false;
  }();

  std::size_t unitStart = 0;
  bool haveUnit = false, sawSlice = false, key = false;
  auto finish = [&](std::size_t end) {
    if (haveUnit && end > unitStart) {
      units.push_back({std::vector<std::uint8_t>(stream.begin() + static_cast<std::ptrdiff_t>(unitStart),
                                                 stream.begin() + static_cast<std::ptrdiff_t>(end)),
                       key});
    }
  };
  for (std::size_t nal : starts) {
    if (nal >= stream.size()) break;
    const int type = stream[nal] & 0x1f;
    const bool slice = type == 1 || type == 5;
    // A new unit begins at a delimiter, or (without delimiters) at parameter
    // sets or a slice that follows a slice.
    const bool begins = delimited ? type == 9 : (sawSlice && (slice || type == 7 || type == 8 || type == 6));
    if (begins || !haveUnit) {
      const std::size_t at = startCodeOffset(stream, nal);
      finish(at);
      unitStart = haveUnit ? at : 0;
      haveUnit = true;
      sawSlice = false;
      key = false;
    }
    if (slice) sawSlice = true;
    if (type == 5) key = true;
  }
  finish(stream.size());
  return units;
}

const std::vector<VideoAccessUnit>& sampleVideo() {
  static const std::vector<VideoAccessUnit> units = [] {
    auto all = splitAccessUnits(readWholeFile(testDataPath("sample.h264")));
    if (all.empty()) {
      std::fprintf(stderr, "test support: cannot read %s\n", testDataPath("sample.h264").c_str());
      std::abort();
    }
    return all;
  }();
  return units;
}

const std::vector<std::uint8_t>& sampleAudio() {
  static const std::vector<std::uint8_t> bytes = [] {
    auto all = readWholeFile(testDataPath("sample.alaw"));
    if (all.size() < AUDIO_BLOCK_SIZE) {
      std::fprintf(stderr, "test support: cannot read %s\n", testDataPath("sample.alaw").c_str());
      std::abort();
    }
    return all;
  }();
  return bytes;
}

std::vector<std::uint8_t> sampleAudioBlock(std::size_t index) {
  const auto& all = sampleAudio();
  const std::size_t blocks = all.size() / AUDIO_BLOCK_SIZE;
  const auto begin = all.begin() + static_cast<std::ptrdiff_t>((index % blocks) * AUDIO_BLOCK_SIZE);
  return std::vector<std::uint8_t>(begin, begin + AUDIO_BLOCK_SIZE);
}

std::vector<std::uint8_t> sampleAudioChunk(std::size_t index) {
  std::vector<std::uint8_t> chunk = {0x00, 0x01, 0xa0, 0x00};  // the recorder's prefix, not sound
  const auto block = sampleAudioBlock(index);
  chunk.insert(chunk.end(), block.begin(), block.end());
  return chunk;
}

}  // namespace korvex::testing
