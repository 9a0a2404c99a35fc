// The fixed-size records of a recording file: the 8192-byte file header and
// the 128-byte header in front of every frame. All numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

inline constexpr std::size_t FILE_HEADER_SIZE = 8192;
inline constexpr std::size_t FRAME_HEADER_SIZE = 128;

// "kex " and " xek" read as little-endian words.
inline constexpr std::uint32_t FRAME_MAGIC_HEAD = 0x2078656bu;
inline constexpr std::uint32_t FRAME_MAGIC_TAIL = 0x6b657820u;

// frameKind values: 0 is an audio chunk, 1 a video key frame, anything else
// a video frame that is not a key frame.
inline constexpr std::int32_t FRAME_KIND_AUDIO = 0;
inline constexpr std::int32_t FRAME_KIND_KEY = 1;

// Channel indexes a frame may carry and the per-channel tables hold.
inline constexpr int CHANNEL_TABLE_SIZE = 32;

struct RecordingFileHeader {
  std::int32_t fileStartTime = 0;  // RecorderTime of the earliest media
  std::int32_t fileEndTime = 0;    // RecorderTime of the latest media
};

struct FrameHeader {
  std::uint32_t magicHead = 0;       // offset 0
  std::int32_t segmentKeyB = 0;      // offset 4
  std::int32_t videoWidth = 0;       // offset 8
  std::int32_t videoHeight = 0;      // offset 12
  std::int32_t frameRate = 0;        // offset 16
  std::int32_t audioSampleRate = 0;  // offset 20
  std::int32_t audioBits = 0;        // offset 32
  std::int32_t frameKind = 0;        // offset 36
  std::int32_t segmentKeyA = 0;      // offset 40
  std::int32_t channel = 0;          // offset 44
  std::int32_t recordType = 0;       // offset 48
  std::uint32_t payloadLength = 0;   // offset 60
  std::int32_t timeStamp = 0;        // offset 72
  std::uint32_t magicTail = 0;       // offset 124
};

inline std::uint32_t readLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline std::int32_t readLe32Signed(const std::uint8_t* bytes) {
  return static_cast<std::int32_t>(readLe32(bytes));
}

// Decodes the first 12 bytes of a file header (the times at 4 and 8).
RecordingFileHeader decodeFileHeader(const std::uint8_t* bytes);

// Decodes FRAME_HEADER_SIZE bytes field by field.
FrameHeader decodeFrameHeader(const std::uint8_t* bytes);

// Both magic words in place and a payload that is not empty: the frame
// sequence goes on. Anything else ends it.
bool frameHeaderContinuesSequence(const FrameHeader& header);

}  // namespace korvex
