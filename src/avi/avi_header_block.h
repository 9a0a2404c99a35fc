// The 2048 bytes at the start of every AVI file: the RIFF header, the header
// list with the main header and one stream list per stream, a filler chunk
// and the head of the movi list. Always assembled whole, in memory.
#pragma once

#include <array>
#include <cstdint>

namespace korvex {

inline constexpr std::uint32_t AVI_HEADER_BLOCK_SIZE = 2048;
inline constexpr int AVI_MAX_AUDIO_TRACKS = 8;
// RIFF and movi list sizes of the provisional block: the largest file the
// writer lets grow (AVI_SIZE_LIMIT) less the block, plus the "movi" id.
inline constexpr std::uint32_t AVI_PROVISIONAL_SIZE = 4278185987u;
// Main header flags: has an index, interleaved; or interleaved only.
inline constexpr std::uint32_t AVI_MAIN_FLAGS_HAS_INDEX = 0x110;
inline constexpr std::uint32_t AVI_MAIN_FLAGS_NO_INDEX = 0x100;
// Where the movi list's "movi" id stands; the list's size counts from there.
inline constexpr std::uint32_t AVI_MOVI_ID_OFFSET = AVI_HEADER_BLOCK_SIZE - 4;

using AviHeaderBlock = std::array<std::uint8_t, AVI_HEADER_BLOCK_SIZE>;

struct AviAudioTrack {
  std::int32_t format_tag = 0;  // only the low 16 bits reach the file
  std::int32_t channel_count = 0;
  std::int32_t sample_rate = 0;
  std::int32_t bits_per_sample = 0;
  std::int32_t bitrate_kbps = 0;
  std::uint32_t byte_count = 0;  // audio bytes in the file; an audio-only file may pass 2 GiB
};

// What the streams are declared as.
struct AviStreams {
  std::int32_t frame_width = 0;
  std::int32_t frame_height = 0;
  double frames_per_second = 0;
  char codec_fourcc[5] = {};  // four zero bytes: uncompressed
  std::array<AviAudioTrack, AVI_MAX_AUDIO_TRACKS> audio_tracks{};
  int audio_track_count = 0;
};

// The values in which the provisional and the final block differ.
struct AviBlockForm {
  bool final = false;  // the final block carries an INFO list
  std::uint32_t riffSize = AVI_PROVISIONAL_SIZE;
  std::uint32_t moviSize = AVI_PROVISIONAL_SIZE;
  std::uint32_t mainFlags = AVI_MAIN_FLAGS_HAS_INDEX;
  std::uint32_t frameCount = 0;
};

AviHeaderBlock assembleHeaderBlock(const AviStreams& streams, const AviBlockForm& form);

// Stores a 32-bit value as four bytes, least significant first.
void aviPutLe32(std::uint8_t* destination, std::uint32_t value);

// Bytes per sample of a track as the header counts them: at least 4.
std::int64_t aviAudioSampleSize(const AviAudioTrack& track);

}  // namespace korvex
