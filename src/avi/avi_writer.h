// Writes RIFF AVI files progressively: a fixed 2048-byte header block at the
// start, each frame appended at once as a chunk, an index kept in memory and
// appended at the end, then the header block rewritten with the final counts.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace korvex {

inline constexpr std::uint32_t AVI_HEADER_BLOCK_SIZE = 2048;
inline constexpr int AVI_MAX_AUDIO_TRACKS = 8;
inline constexpr std::uint32_t AVI_SIZE_LIMIT = 4278188031u;  // 2^32 - 1 - 16 MiB - 2048
inline constexpr std::int32_t AVI_INDEX_GROW_STEP = 4096;
inline constexpr std::uint32_t AVI_PROVISIONAL_SIZE = 4278185987u;  // AVI_SIZE_LIMIT - 2048 + 4

// Failure codes kept in AVI_last_error.
enum AviErrorCode : int {
  AVI_ERR_NONE = 0,
  AVI_ERR_SIZELIM = 1,
  AVI_ERR_OPEN = 2,
  AVI_ERR_READ = 3,
  AVI_ERR_WRITE = 4,
  AVI_ERR_WRITE_INDEX = 5,
  AVI_ERR_CLOSE = 6,
  AVI_ERR_NOT_PERM = 7,
  AVI_ERR_NO_MEM = 8,
  AVI_ERR_NO_AVI = 9,
  AVI_ERR_NO_HDRL = 10,
  AVI_ERR_NO_MOVI = 11,
  AVI_ERR_NO_VIDS = 12,
  AVI_ERR_NO_IDX = 13,
};

// Index flag of a chunk a player may start decoding at: a video key frame,
// or any audio chunk.
inline constexpr std::uint32_t AVI_KEYFRAME_FLAG = 0x10;

struct AviAudioTrack {
  std::int32_t format_tag = 0;
  std::int32_t channel_count = 0;
  std::int32_t sample_rate = 0;
  std::int32_t bits_per_sample = 0;
  std::int32_t bitrate_kbps = 0;
  std::int32_t byte_count = 0;  // read as unsigned: an audio-only file may pass 2 GiB
};

// One 16-byte idx1 entry, already in the byte form of the file.
struct AviIndexEntry {
  std::uint8_t bytes[16];
};

// The index grows with realloc, so it is released with free.
struct AviIndexFree {
  void operator()(AviIndexEntry* entries) const { std::free(entries); }
};
using AviIndexArray = std::unique_ptr<AviIndexEntry[], AviIndexFree>;

struct AviWriter {
  int output_fd = -1;
  std::int32_t frame_width = 0;
  std::int32_t frame_height = 0;
  double frames_per_second = 0;
  char codec_fourcc[5] = {};
  std::int32_t video_frame_count = 0;
  AviAudioTrack audio_tracks[AVI_MAX_AUDIO_TRACKS] = {};
  std::uint32_t write_pos = 0;
  std::int32_t index_used = 0;
  std::int32_t index_capacity = 0;
  AviIndexArray index_entries;
  std::int32_t audio_track_count = 0;
  std::int32_t current_audio_track = 0;
  // Bytes by which write_pos runs ahead of the real file offset; only
  // AVI_skip_ahead_for_test sets it, everything else keeps it 0.
  std::uint32_t skipped_bytes = 0;
};

// Code of the most recent failure (0 before any); success never clears it.
extern std::atomic<int> AVI_last_error;
// Message text of a failure code; codes outside 0..13 read as "Unknown".
const char* AVI_error_message(int code);

AviWriter* AVI_create_output(const char* path);
void AVI_define_video(AviWriter* writer, std::int32_t width, std::int32_t height, double fps, const char* fourcc);
// A ninth track ends the process (status 1) after a message on stderr.
void AVI_add_audio_track(AviWriter* writer, std::int32_t channels, std::int32_t sampleRate, std::int32_t bits,
                         std::int32_t formatTag, std::int32_t bitrateKbps);
int AVI_put_video_frame(AviWriter* writer, const std::uint8_t* data, std::int32_t length, int keyframe);
int AVI_put_audio(AviWriter* writer, const std::uint8_t* data, std::int32_t length);
int AVI_put_stream_chunk(AviWriter* writer, const std::uint8_t* data, std::int32_t length, bool video, int keyframe);
int AVI_append_index_entry(AviWriter* writer, const char* chunkId, std::uint32_t flags, std::uint32_t offset,
                           std::uint32_t length);
int AVI_append_chunk(AviWriter* writer, const char* chunkId, const std::uint8_t* data, std::uint32_t length);
int AVI_write_header_block(AviWriter* writer);
int AVI_close_output_file(AviWriter* writer);
// Finalises, closes and releases the writer; it must not be used again.
int AVI_finish(AviWriter* writer);
long AVI_write_fully(int fd, const void* bytes, std::size_t count);
void AVI_put_le32(std::uint8_t* destination, std::uint32_t value);
// Bytes per sample of a track as the header counts them: at least 4.
std::int64_t AVI_audio_sample_size(const AviAudioTrack& track);

// Test seam: moves write_pos on by `bytes` as if that much media had been
// written, without growing the file, so the size limit can be reached
// without a 4 GiB file. Chunks and the file length stay `bytes` behind.
void AVI_skip_ahead_for_test(AviWriter* writer, std::uint32_t bytes);

// Owns an open writer and finishes it when released.
struct AviWriterFinisher {
  void operator()(AviWriter* writer) const { AVI_finish(writer); }
};
using AviWriterHandle = std::unique_ptr<AviWriter, AviWriterFinisher>;

}  // namespace korvex
