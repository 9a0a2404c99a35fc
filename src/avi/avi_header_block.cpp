#include "avi/avi_header_block.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace korvex {

namespace {

constexpr std::uint32_t VIDEO_SCALE = 1000000;
// The header list ends after the main header, the video stream list and one
// audio stream list per track; the final block's INFO list follows it.
constexpr std::uint32_t HEADER_LIST_END_NO_AUDIO = 212;
constexpr std::uint32_t AUDIO_STREAM_LIST_SIZE = 100;
constexpr std::uint32_t INFO_LIST_SIZE = 84;
// The filler chunk's header and the movi list's head come after the lists.
constexpr std::uint32_t FILLER_AND_MOVI_HEAD = 20;
static_assert(HEADER_LIST_END_NO_AUDIO + AUDIO_STREAM_LIST_SIZE * AVI_MAX_AUDIO_TRACKS + INFO_LIST_SIZE +
                      FILLER_AND_MOVI_HEAD <
                  AVI_HEADER_BLOCK_SIZE,
              "the lists of every stream the writer allows fit in the block with room for a filler");

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
  explicit BlockAssembler(AviHeaderBlock& block) : block_(block) { block_.fill(0); }

  std::uint32_t offset() const { return offset_; }

  void id(const char* fourBytes) {
    if (offset_ <= AVI_HEADER_BLOCK_SIZE - 4) std::memcpy(block_.data() + offset_, fourBytes, 4);
    offset_ += 4;
  }
  void u32(std::uint32_t value) {
    if (offset_ <= AVI_HEADER_BLOCK_SIZE - 4) aviPutLe32(block_.data() + offset_, value);
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
    if (sizeAt <= AVI_HEADER_BLOCK_SIZE - 4) aviPutLe32(block_.data() + sizeAt, offset_ - (sizeAt + 4));
  }

 private:
  AviHeaderBlock& block_;
  std::uint32_t offset_ = 0;
};

void putAudioStreamList(BlockAssembler& b, const AviAudioTrack& track) {
  const std::int64_t sampleSize = aviAudioSampleSize(track);
  const auto blockAlign = static_cast<std::uint32_t>(sampleSize / 4);
  const auto byteRate = static_cast<std::uint32_t>(static_cast<std::int64_t>(track.bitrate_kbps) * 1000 / 8);
  const auto length = static_cast<std::uint32_t>(4 * static_cast<std::int64_t>(track.byte_count) / sampleSize);

  const std::uint32_t listSizeAt = b.openList("strl");
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
  b.closeList(listSizeAt);
}

}  // namespace

AviHeaderBlock assembleHeaderBlock(const AviStreams& streams, const AviBlockForm& form) {
  const double fps = streams.frames_per_second;
  const bool haveRate = fps >= 0.001;
  const std::uint32_t microsPerFrame = haveRate ? roundedField(1000000.0 / fps) : 0;
  const std::uint32_t videoRate = haveRate ? roundedField(fps * 1000000.0) : 0;
  const int trackCount = std::clamp(streams.audio_track_count, 0, AVI_MAX_AUDIO_TRACKS);
  const auto width = static_cast<std::uint32_t>(streams.frame_width);
  const auto height = static_cast<std::uint32_t>(streams.frame_height);

  AviHeaderBlock block;
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
  b.id(streams.codec_fourcc);
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
  b.id(streams.codec_fourcc);
  b.u32(width * height * 3);
  b.u32(0);
  b.u32(0);
  b.u32(0);
  b.u32(0);
  b.closeList(videoListSizeAt);

  for (int t = 0; t < trackCount; ++t) putAudioStreamList(b, streams.audio_tracks[static_cast<std::size_t>(t)]);
  b.closeList(headerListSizeAt);

  if (form.final) {
    const std::uint32_t infoListSizeAt = b.openList("INFO");
    b.id("ISFT");
    b.u32(64);
    b.zeros(64);  // an empty software name
    b.closeList(infoListSizeAt);
  }

  // The filler runs up to the movi list's head, which ends the block.
  const std::uint32_t fillerSize = AVI_HEADER_BLOCK_SIZE - FILLER_AND_MOVI_HEAD - b.offset();
  b.id("JUNK");
  b.u32(fillerSize);
  b.zeros(fillerSize);
  b.id("LIST");
  b.u32(form.moviSize);
  b.id("movi");
  return block;
}

void aviPutLe32(std::uint8_t* destination, std::uint32_t value) {
  destination[0] = static_cast<std::uint8_t>(value);
  destination[1] = static_cast<std::uint8_t>(value >> 8);
  destination[2] = static_cast<std::uint8_t>(value >> 16);
  destination[3] = static_cast<std::uint8_t>(value >> 24);
}

std::int64_t aviAudioSampleSize(const AviAudioTrack& track) {
  const std::int64_t size = (static_cast<std::int64_t>(track.bits_per_sample) + 7) / 8 * track.channel_count;
  return size < 4 ? 4 : size;
}

}  // namespace korvex
