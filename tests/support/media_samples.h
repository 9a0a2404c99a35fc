// Real media for test stores: H.264 access units and A-law sound, cut from
// the small samples in tests/data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex::testing {

inline constexpr int SAMPLE_WIDTH = 176;
inline constexpr int SAMPLE_HEIGHT = 144;
inline constexpr int SAMPLE_FRAME_RATE = 25;
// The recorder's audio chunk: a 4-byte prefix and 320 bytes of A-law.
inline constexpr std::size_t AUDIO_CHUNK_SIZE = 324;
inline constexpr std::size_t AUDIO_BLOCK_SIZE = 320;

struct VideoAccessUnit {
  std::vector<std::uint8_t> bytes;  // Annex B, with start codes
  bool key = false;                 // holds an IDR picture
};

// Path of a file in tests/data.
std::string testDataPath(const std::string& name);

// The access units of tests/data/sample.h264, in order; every 25th is a key
// frame, the first one included. Loaded once.
const std::vector<VideoAccessUnit>& sampleVideo();

// The A-law bytes of tests/data/sample.alaw (8000 Hz, mono). Loaded once.
const std::vector<std::uint8_t>& sampleAudio();

// Block `index` of 320 bytes of the sample sound (wrapping round).
std::vector<std::uint8_t> sampleAudioBlock(std::size_t index);

// The recorder's form of that block: a 4-byte prefix, then the 320 bytes.
std::vector<std::uint8_t> sampleAudioChunk(std::size_t index);

// Splits an Annex B stream into access units at its access-unit delimiters
// (or, without them, at each picture's first slice).
std::vector<VideoAccessUnit> splitAccessUnits(const std::vector<std::uint8_t>& stream);

std::vector<std::uint8_t> readWholeFile(const std::string& path);

}  // namespace korvex::testing
