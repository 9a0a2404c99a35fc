// Decodes a segment's pictures in order through one H.264 decoder, as a
// player needs them: each picture from the one before it, so that a P frame
// decodes only after the key frame it follows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "preview/frame_index.h"
#include "preview/picture_decoder.h"
#include "preview/png_encoder.h"
#include "store/recording_source.h"

namespace korvex {

// One decoder's state across access units. Pictures come out at their full
// size in RGB, one for each access unit (the recorders' streams have no
// reordered pictures).
class FrameDecoder {
 public:
  FrameDecoder();
  ~FrameDecoder();
  FrameDecoder(const FrameDecoder&) = delete;
  FrameDecoder& operator=(const FrameDecoder&) = delete;

  // The picture of the next access unit; not ok for one that does not
  // decode (a damaged payload) or gives no picture.
  DecodedPicture decode(const std::uint8_t* data, std::size_t size);
  // Forgets the pictures decoded so far: the next access unit should be a
  // key frame.
  void reset();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A picture of the segment as the player shows it.
struct SegmentPicture {
  std::size_t index = NO_FRAME;  // the frame in the segment
  // False: the frame did not decode (or could not be read), and `picture`
  // is the last good one before it (empty when there was none).
  bool decoded = false;
  RgbPicture picture;
  std::string problem;  // why it did not decode
};

// Gives frame i of an indexed segment, decoded from the key frame at or
// before it, or on from the frame given last when i follows it. Reads
// payloads from the source as it goes; holds one decoded picture.
class SegmentDecoder {
 public:
  SegmentDecoder(const RecordingSource& source, const FrameIndex& index) : source_(source), index_(index) {}
  SegmentPicture picture(std::size_t i);

 private:
  // Reads and decodes frame i; the picture's `decoded` says whether it did.
  void decodeFrame(std::size_t i);
  bool readPayload(const IndexedFrame& frame, std::string& problem);

  const RecordingSource& source_;
  const FrameIndex& index_;
  FrameDecoder decoder_;
  std::size_t decodedUpTo_ = NO_FRAME;  // the last frame sent to the decoder
  RgbPicture lastGood_;
  SegmentPicture current_;
  // The recording file open for payloads, kept while frames come from it.
  std::unique_ptr<SourceFile> file_;
  std::int32_t fileFolder_ = -1;
  std::int32_t fileNumber_ = -1;
  std::vector<std::uint8_t> payload_;
};

}  // namespace korvex
