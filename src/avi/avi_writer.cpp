#include "avi/avi_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

namespace korvex {

std::atomic<int> AVI_last_error{0};

namespace {

constexpr const char* ERROR_MESSAGES[] = {
    "AVI writer - No Error",
    "AVI writer - AVI file size limit reached",
    "AVI writer - Error opening AVI file",
    "AVI writer - Error reading from AVI file",
    "AVI writer - Error writing to AVI file",
    "AVI writer - Error writing index (file may still be useable)",
    "AVI writer - Error closing AVI file",
    "AVI writer - Operation (read/write) not permitted",
    "AVI writer - Out of memory (malloc failed)",
    "AVI writer - Not an AVI file",
    "AVI writer - AVI file has no header list (corrupted?)",
    "AVI writer - AVI file has no MOVI list (corrupted?)",
    "AVI writer - AVI file has no video data",
    "AVI writer - operation needs an index",
    "AVI writer - Unknown Error",
};
constexpr int UNKNOWN_ERROR = 14;

constexpr std::uint32_t MAIN_FLAGS_HAS_INDEX = 0x110;  // has index, interleaved
constexpr std::uint32_t MAIN_FLAGS_NO_INDEX = 0x100;
constexpr std::uint32_t VIDEO_SCALE = 1000000;
// Where the movi list's "movi" id stands; its size counts from there.
constexpr std::uint32_t MOVI_ID_OFFSET = AVI_HEADER_BLOCK_SIZE - 4;
constexpr std::uint32_t INDEX_ENTRY_SIZE = sizeof(AviIndexEntry);

void fail(int code) { AVI_last_error.store(code, std::memory_order_relaxed); }

// File offset of the next chunk: write_pos, less what a test skipped.
off_t chunkFileOffset(const AviWriter* writer) {
  return static_cast<off_t>(writer->write_pos - writer->skipped_bytes);
}

// Writes every buffer of `parts` at `offset`, continuing after short writes
// and interruptions. A write that takes nothing of a non-empty rest is a
// failure rather than a reason to try for ever.
bool writeVectorFully(int fd, off_t offset, iovec* parts, int count) {
  while (count > 0 && parts->iov_len == 0) {
    ++parts;
    --count;
  }
  while (count > 0) {
    const ssize_t written = pwritev(fd, parts, count, offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    offset += written;
    auto done = static_cast<std::size_t>(written);
    while (count > 0 && done >= parts->iov_len) {
      done -= parts->iov_len;
      ++parts;
      --count;
    }
    if (count > 0) {
      parts->iov_base = static_cast<std::uint8_t*>(parts->iov_base) + done;
      parts->iov_len -= done;
    }
  }
  return true;
}

// A double turned into a 32-bit header field: rounded half up, with values
// the field cannot hold (negative, not a number, too large) pinned to its ends.
std::uint32_t roundedField(double value) {
  if (!(value >= 0)) return 0;
  value += 0.5;
  if (value >= 4294967296.0) return UINT32_MAX;
  return static_cast<std::uint32_t>(value);
}

// Fills the header block from the front. Items that would reach past the
// block are dropped but still advance the offset, so the lists' sizes come
// out the same whatever fits.
class BlockAssembler {
 public:
  explicit BlockAssembler(std::uint8_t* block) : block_(block) { std::memset(block_, 0, AVI_HEADER_BLOCK_SIZE); }

  std::uint32_t offset() const { return offset_; }

  void id(const char* fourBytes) {
    if (offset_ <= AVI_HEADER_BLOCK_SIZE - 4) std::memcpy(block_ + offset_, fourBytes, 4);
    offset_ += 4;
  }
  void u32(std::uint32_t value) {
    if (offset_ <= AVI_HEADER_BLOCK_SIZE - 4) AVI_put_le32(block_ + offset_, value);
    offset_ += 4;
  }
  void u16(std::uint32_t value) {
    if (offset_ <= AVI_HEADER_BLOCK_SIZE - 2) {
      block_[offset_] = static_cast<std::uint8_t>(value);
      block_[offset_ + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    offset_ += 2;
  }
  // The block starts zero-filled, so zero bytes only advance.
  void zeros(std::uint32_t count) { offset_ += count; }

  // Opens a list: "LIST", a size fixed by closeList, and the list type.
  std::uint32_t openList(const char* type) {
    id("LIST");
    const std::uint32_t sizeAt = offset_;
    u32(0);
    id(type);
    return sizeAt;
  }
  void closeList(std::uint32_t sizeAt) {
    if (sizeAt <= AVI_HEADER_BLOCK_SIZE - 4) AVI_put_le32(block_ + sizeAt, offset_ - (sizeAt + 4));
  }

 private:
  std::uint8_t* block_;
  std::uint32_t offset_ = 0;
};

struct BlockForm {
  bool final = false;
  std::uint32_t riffSize = 0;
  std::uint32_t moviSize = 0;
  std::uint32_t mainFlags = 0;
  std::uint32_t frameCount = 0;
};

void assembleHeaderBlock(const AviWriter* writer, const BlockForm& form, std::uint8_t* block) {
  const double fps = writer->frames_per_second;
  const bool haveRate = fps >= 0.001;
  const std::uint32_t microsPerFrame = haveRate ? roundedField(1000000.0 / fps) : 0;
  const std::uint32_t videoRate = haveRate ? roundedField(fps * 1000000.0) : 0;
  const int trackCount = std::clamp(writer->audio_track_count, 0, AVI_MAX_AUDIO_TRACKS);
  const auto width = static_cast<std::uint32_t>(writer->frame_width);
  const auto height = static_cast<std::uint32_t>(writer->frame_height);

  BlockAssembler b(block);
  b.id("RIFF");
  b.u32(form.riffSize);
  b.id("AVI ");
  const std::uint32_t headerListSizeAt = b.openList("hdrl");

  b.id("avih");
  b.u32(56);
  b.u32(microsPerFrame);
  b.u32(0);  // maximum bytes per second
  b.u32(0);  // padding granularity
  b.u32(form.mainFlags);
  b.u32(form.frameCount);
  b.u32(0);  // initial frames
  b.u32(1 + static_cast<std::uint32_t>(trackCount));
  b.u32(0);  // suggested buffer size
  b.u32(width);
  b.u32(height);
  b.zeros(16);

  const std::uint32_t videoListSizeAt = b.openList("strl");
  b.id("strh");
  b.u32(56);
  b.id("vids");
  b.id(writer->codec_fourcc);
  b.u32(0);  // flags
  b.u32(0);  // priority and language
  b.u32(0);  // initial frames
  b.u32(VIDEO_SCALE);
  b.u32(videoRate);
  b.u32(0);  // start
  b.u32(form.frameCount);
  b.u32(0);  // suggested buffer size
  b.u32(0xFFFFFFFFu);  // quality: default
  b.u32(0);  // sample size
  b.zeros(8);
  b.id("strf");
  b.u32(40);
  b.u32(40);
  b.u32(width);
  b.u32(height);
  b.u16(1);   // planes
  b.u16(24);  // bits per pixel
  b.id(writer->codec_fourcc);
  b.u32(width * height * 3);
  b.u32(0);
  b.u32(0);
  b.u32(0);
  b.u32(0);
  b.closeList(videoListSizeAt);

  for (int t = 0; t < trackCount; ++t) {
    const AviAudioTrack& track = writer->audio_tracks[t];
    const std::int64_t sampleSize = AVI_audio_sample_size(track);
    const auto blockAlign = static_cast<std::uint32_t>(sampleSize / 4);
    const auto byteRate = static_cast<std::uint32_t>(static_cast<std::int64_t>(track.bitrate_kbps) * 1000 / 8);
    const auto length = static_cast<std::uint32_t>(
        4 * static_cast<std::int64_t>(static_cast<std::uint32_t>(track.byte_count)) / sampleSize);

    const std::uint32_t audioListSizeAt = b.openList("strl");
    b.id("strh");
    b.u32(56);
    b.id("auds");
    b.u32(0);  // handler
    b.u32(0);  // flags
    b.u32(0);  // priority and language
    b.u32(0);  // initial frames
    b.u32(blockAlign);
    b.u32(byteRate);
    b.u32(0);  // start
    b.u32(length);
    b.u32(0);  // suggested buffer size
    b.u32(0xFFFFFFFFu);
    b.u32(blockAlign);
    b.zeros(8);
    b.id("strf");
    b.u32(16);
    b.u16(static_cast<std::uint32_t>(track.format_tag));
    b.u16(static_cast<std::uint32_t>(track.channel_count));
    b.u32(static_cast<std::uint32_t>(track.sample_rate));
    b.u32(byteRate);
    b.u16(blockAlign);
    b.u16(static_cast<std::uint32_t>(track.bits_per_sample));
    b.closeList(audioListSizeAt);
  }
  b.closeList(headerListSizeAt);

  if (form.final) {
    const std::uint32_t infoListSizeAt = b.openList("INFO");
    b.id("ISFT");
    b.u32(64);
    b.zeros(64);  // an empty software name
    b.closeList(infoListSizeAt);
  }

  const std::uint32_t fillerStart = b.offset();
  if (static_cast<std::int64_t>(AVI_HEADER_BLOCK_SIZE) - fillerStart - 20 <= 0) {
    std::fputs("AVI_close_output_file: # of header bytes too small\n", stderr);
    std::exit(1);
  }
  const std::uint32_t fillerSize = AVI_HEADER_BLOCK_SIZE - 20 - fillerStart;
  b.id("JUNK");
  b.u32(fillerSize);
  b.zeros(fillerSize);
  b.id("LIST");
  b.u32(form.moviSize);
  b.id("movi");
}

// Writes an assembled block over the start of the file.
bool writeHeaderBlock(int fd, const std::uint8_t* block) {
  if (lseek(fd, 0, SEEK_SET) != 0) return false;
  return AVI_write_fully(fd, block, AVI_HEADER_BLOCK_SIZE) == static_cast<long>(AVI_HEADER_BLOCK_SIZE);
}

}  // namespace

const char* AVI_error_message(int code) {
  if (code < 0 || code >= UNKNOWN_ERROR) return ERROR_MESSAGES[UNKNOWN_ERROR];
  return ERROR_MESSAGES[code];
}

void AVI_put_le32(std::uint8_t* destination, std::uint32_t value) {
  destination[0] = static_cast<std::uint8_t>(value);
  destination[1] = static_cast<std::uint8_t>(value >> 8);
  destination[2] = static_cast<std::uint8_t>(value >> 16);
  destination[3] = static_cast<std::uint8_t>(value >> 24);
}

long AVI_write_fully(int fd, const void* bytes, std::size_t count) {
  const auto* from = static_cast<const std::uint8_t*>(bytes);
  std::size_t total = 0;
  while (total < count) {
    const ssize_t written = write(fd, from + total, count - total);
    if (written < 0) {
      if (errno == EINTR) continue;
      return static_cast<long>(written);
    }
    // Nothing taken of a non-empty request: give up with the short total.
    if (written == 0) break;
    total += static_cast<std::size_t>(written);
  }
  return static_cast<long>(total);
}

std::int64_t AVI_audio_sample_size(const AviAudioTrack& track) {
  const std::int64_t size = (static_cast<std::int64_t>(track.bits_per_sample) + 7) / 8 * track.channel_count;
  return size < 4 ? 4 : size;
}

AviWriter* AVI_create_output(const char* path) {
  std::unique_ptr<AviWriter> writer(new (std::nothrow) AviWriter{});
  if (!writer) {
    fail(AVI_ERR_NO_MEM);
    return nullptr;
  }
  // The process's umask trims 0600 by itself; an existing file is kept and
  // cut to its new length at the end.
  const int fd = path ? open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
  if (fd < 0) {
    fail(AVI_ERR_OPEN);
    return nullptr;
  }
  writer->output_fd = fd;
  static const std::uint8_t reserved[AVI_HEADER_BLOCK_SIZE] = {};
  if (AVI_write_fully(fd, reserved, sizeof reserved) != static_cast<long>(sizeof reserved)) {
    close(fd);
    fail(AVI_ERR_WRITE);
    return nullptr;
  }
  writer->write_pos = AVI_HEADER_BLOCK_SIZE;
  writer->audio_track_count = 0;
  writer->current_audio_track = 0;
  return writer.release();
}

void AVI_define_video(AviWriter* writer, std::int32_t width, std::int32_t height, double fps, const char* fourcc) {
  writer->frame_width = width;
  writer->frame_height = height;
  writer->frames_per_second = fps;
  std::memset(writer->codec_fourcc, 0, sizeof writer->codec_fourcc);
  // "RGB..." means uncompressed: a zero FourCC. A shorter text is padded
  // with zero bytes instead of reading past its end.
  if (fourcc && std::strncmp(fourcc, "RGB", 3) != 0) {
    for (int i = 0; i < 4 && fourcc[i] != '\0'; ++i) writer->codec_fourcc[i] = fourcc[i];
  }
  AVI_write_header_block(writer);
}

void AVI_add_audio_track(AviWriter* writer, std::int32_t channels, std::int32_t sampleRate, std::int32_t bits,
                         std::int32_t formatTag, std::int32_t bitrateKbps) {
  if (writer->audio_track_count >= AVI_MAX_AUDIO_TRACKS) {
    std::fprintf(stderr, "error - only %d audio tracks supported\n", AVI_MAX_AUDIO_TRACKS);
    std::exit(1);
  }
  const int number = writer->audio_track_count;
  writer->current_audio_track = number;
  writer->audio_track_count = number + 1;
  AviAudioTrack& track = writer->audio_tracks[number];
  track.channel_count = channels;
  track.sample_rate = sampleRate;
  track.bits_per_sample = bits;
  track.format_tag = formatTag;
  track.bitrate_kbps = bitrateKbps;
  // byte_count is left alone: audio put before any track already counts
  // into track 0, as its 01wb chunks are in the file.
  AVI_write_header_block(writer);
}

int AVI_put_video_frame(AviWriter* writer, const std::uint8_t* data, std::int32_t length, int keyframe) {
  if (AVI_put_stream_chunk(writer, data, length, true, keyframe) != 0) return -1;
  ++writer->video_frame_count;
  return 0;
}

int AVI_put_audio(AviWriter* writer, const std::uint8_t* data, std::int32_t length) {
  if (AVI_put_stream_chunk(writer, data, length, false, 0) != 0) return -1;
  AviAudioTrack& track = writer->audio_tracks[writer->current_audio_track];
  track.byte_count = static_cast<std::int32_t>(static_cast<std::uint32_t>(track.byte_count) +
                                               static_cast<std::uint32_t>(length));
  return 0;
}

int AVI_put_stream_chunk(AviWriter* writer, const std::uint8_t* data, std::int32_t length, bool video, int keyframe) {
  // A negative length, or bytes promised but none given, cannot be written.
  if (length < 0 || (data == nullptr && length > 0)) {
    fail(AVI_ERR_WRITE);
    return -1;
  }
  // The chunk with its header, every index entry with the new one and the
  // idx1 header must fit. Summed in 64 bits so a large chunk cannot wrap.
  const std::uint64_t needed = static_cast<std::uint64_t>(writer->write_pos) + 8 + static_cast<std::uint64_t>(length) +
                               INDEX_ENTRY_SIZE * (static_cast<std::uint64_t>(writer->index_used) + 1) + 8;
  if (needed > AVI_SIZE_LIMIT) {
    fail(AVI_ERR_SIZELIM);
    return -1;
  }

  char chunkId[8] = "00db";
  if (!video) {
    const int written = std::snprintf(chunkId, sizeof chunkId, "0%1dwb", writer->current_audio_track + 1);
    if (written != 4) {
      fail(AVI_ERR_WRITE);
      return -1;
    }
  }
  // Players start decoding at an entry marked as a key frame: only a video
  // key frame may be one. Every audio chunk decodes on its own.
  const std::uint32_t flags = !video || keyframe != 0 ? AVI_KEYFRAME_FLAG : 0;
  const auto unsignedLength = static_cast<std::uint32_t>(length);
  if (AVI_append_index_entry(writer, chunkId, flags, writer->write_pos, unsignedLength) != 0) return -1;
  if (AVI_append_chunk(writer, chunkId, data, unsignedLength) != 0) {
    // The chunk is not in the file, so its entry goes too: the next chunk
    // takes the same offset and must be the only one indexed there.
    --writer->index_used;
    return -1;
  }
  return 0;
}

int AVI_append_index_entry(AviWriter* writer, const char* chunkId, std::uint32_t flags, std::uint32_t offset,
                           std::uint32_t length) {
  if (writer->index_used >= writer->index_capacity) {
    const std::int64_t grown = static_cast<std::int64_t>(writer->index_capacity) + AVI_INDEX_GROW_STEP;
    void* entries = grown <= INT32_MAX ? std::realloc(writer->index_entries.get(),
                                                      static_cast<std::size_t>(grown) * sizeof(AviIndexEntry))
                                       : nullptr;
    if (entries == nullptr) {
      fail(AVI_ERR_NO_MEM);
      return -1;
    }
    // realloc has taken over the old array.
    static_cast<void>(writer->index_entries.release());
    writer->index_entries.reset(static_cast<AviIndexEntry*>(entries));
    writer->index_capacity = static_cast<std::int32_t>(grown);
  }
  std::uint8_t* entry = writer->index_entries[writer->index_used].bytes;
  std::memcpy(entry, chunkId, 4);
  AVI_put_le32(entry + 4, flags);
  AVI_put_le32(entry + 8, offset);
  AVI_put_le32(entry + 12, length);
  ++writer->index_used;
  return 0;
}

int AVI_append_chunk(AviWriter* writer, const char* chunkId, const std::uint8_t* data, std::uint32_t length) {
  std::uint8_t header[8];
  std::memcpy(header, chunkId, 4);
  AVI_put_le32(header + 4, length);
  // Chunks start at even offsets; the pad byte comes from here, never from
  // past the end of the caller's data.
  static const std::uint8_t padByte = 0;
  const std::uint32_t padLength = length & 1u;
  iovec parts[3] = {
      {header, sizeof header},
      {const_cast<std::uint8_t*>(data), length},
      {const_cast<std::uint8_t*>(&padByte), padLength},
  };
  if (!writeVectorFully(writer->output_fd, chunkFileOffset(writer), parts, 3)) {
    fail(AVI_ERR_WRITE);
    return -1;
  }
  writer->write_pos += 8 + length + padLength;
  return 0;
}

int AVI_write_header_block(AviWriter* writer) {
  std::uint8_t block[AVI_HEADER_BLOCK_SIZE];
  BlockForm form;
  form.riffSize = AVI_PROVISIONAL_SIZE;
  form.moviSize = AVI_PROVISIONAL_SIZE;
  form.mainFlags = MAIN_FLAGS_HAS_INDEX;
  assembleHeaderBlock(writer, form, block);
  if (!writeHeaderBlock(writer->output_fd, block) ||
      lseek(writer->output_fd, chunkFileOffset(writer), SEEK_SET) != chunkFileOffset(writer)) {
    fail(AVI_ERR_CLOSE);
    return -1;
  }
  return 0;
}

int AVI_close_output_file(AviWriter* writer) {
  const std::uint32_t moviSize = writer->write_pos - MOVI_ID_OFFSET;
  int result = 0;
  BlockForm form;
  form.final = true;
  form.moviSize = moviSize;
  form.mainFlags = MAIN_FLAGS_HAS_INDEX;
  form.frameCount = static_cast<std::uint32_t>(writer->video_frame_count);

  const auto indexBytes = static_cast<std::uint32_t>(writer->index_used) * INDEX_ENTRY_SIZE;
  const auto* indexData = reinterpret_cast<const std::uint8_t*>(writer->index_entries.get());
  if (AVI_append_chunk(writer, "idx1", indexData, indexBytes) != 0) {
    fail(AVI_ERR_WRITE_INDEX);
    form.mainFlags = MAIN_FLAGS_NO_INDEX;
    result = -1;
  }
  form.riffSize = writer->write_pos - 8;

  std::uint8_t block[AVI_HEADER_BLOCK_SIZE];
  assembleHeaderBlock(writer, form, block);
  // Cutting at write_pos drops an older file's tail and any part of a
  // chunk or index whose write failed.
  if (!writeHeaderBlock(writer->output_fd, block) || ftruncate(writer->output_fd, chunkFileOffset(writer)) != 0) {
    fail(AVI_ERR_CLOSE);
    return -1;
  }
  return result;
}

int AVI_finish(AviWriter* writer) {
  if (writer == nullptr) return -1;
  const std::unique_ptr<AviWriter> owned(writer);
  int result = AVI_close_output_file(writer);
  // close can be the first to report a delayed write error (network file
  // systems); the file is then not sound.
  if (close(writer->output_fd) != 0 && result == 0) {
    fail(AVI_ERR_CLOSE);
    result = -1;
  }
  return result;
}

void AVI_skip_ahead_for_test(AviWriter* writer, std::uint32_t bytes) {
  writer->write_pos += bytes;
  writer->skipped_bytes += bytes;
}

}  // namespace korvex
