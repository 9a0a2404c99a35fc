// Reads one recording file front to back: the file header, then frame
// headers, each followed by a payload that the caller reads or skips.
// The file is opened read-only and never written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/frame_header.h"
#include "store/recording_source.h"

namespace korvex {

// Payloads up to this size are read whole into a buffer of this size...
inline constexpr std::size_t PAYLOAD_BUFFER_SIZE = 262144;
// ...which grows for larger ones up to this size; frames with a longer
// payload are passed over.
inline constexpr std::size_t MAX_PAYLOAD_BYTES = 16u * 1024 * 1024;

// The one payload buffer a job reuses for every frame. Its bytes are not
// cleared when it is made or grows: a payload read always fills what it
// hands out, and a buffer's untouched pages then cost nothing.
class PayloadBuffer {
 public:
  // Nothing is allocated until the first payload: the buffer then grows in
  // steps to PAYLOAD_BUFFER_SIZE, and beyond it only for a larger payload,
  // so that a job over small files (a fuzzer's) never maps large blocks.
  PayloadBuffer() = default;
  const std::uint8_t* data() const { return bytes_.get(); }
  std::uint8_t* data() { return bytes_.get(); }
  // Length of the payload last read into it.
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }

 private:
  friend class RecordingFileReader;
  // Makes room for `length` bytes (at most MAX_PAYLOAD_BYTES), keeping the
  // buffer's size between frames so it does not grow and shrink per frame.
  std::uint8_t* prepare(std::size_t length);

  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

class RecordingFileReader {
 public:
  RecordingFileReader() = default;
  ~RecordingFileReader();
  RecordingFileReader(const RecordingFileReader&) = delete;
  RecordingFileReader& operator=(const RecordingFileReader&) = delete;

  // Opens a regular local file for reading. False when it cannot be opened
  // (or is not a regular file); failure() then says why.
  bool open(const std::string& path, ReadPattern pattern = ReadPattern::WholeFile);
  // Reads the file a source opened; false (and failure() set) without one.
  bool open(OpenedFile opened);
  bool isOpen() const { return file_ != nullptr; }
  const OpenFailure& failure() const { return failure_; }
  // errno of a read that failed (an unreadable sector, a vanished device)
  // since the file was opened; 0 when every read succeeded or only came up
  // short of the file's end.
  int readError() const { return readError_; }

  // The file-header times. False for a file shorter than the file header:
  // such a file has no frames and its times mean nothing.
  bool readFileHeader(RecordingFileHeader& header);

  // The next frame a job can use. False at the end of the frames: fewer than
  // 128 bytes left, a wrong magic word at either end, a zero payload length,
  // or a payload cut short by the end of the file. Frames with a channel
  // outside 0..31 or a payload above MAX_PAYLOAD_BYTES are passed over here,
  // so no job ever sees them.
  bool nextFrame(FrameHeader& header);
  // Where the header of the frame nextFrame gave last begins in the file.
  std::uint64_t frameOffset() const { return frameOffset_; }

  // Exactly one of these after each frame. readPayload reads the whole
  // payload into `buffer`; false when the file gave fewer bytes than
  // announced (it shrank while being read), which also ends the frames.
  // skipPayload moves past the payload without reading it.
  // readPayloadInto is readPayload into memory of the caller's that holds
  // the frame's payloadLength bytes, for a caller that has the payload's
  // place ready.
  bool readPayload(PayloadBuffer& buffer);
  bool readPayloadInto(std::uint8_t* into);
  void skipPayload();

  void close();

 private:
  bool readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length);
  bool readWithAhead(std::uint64_t offset, std::uint8_t* into, std::size_t length);

  std::unique_ptr<SourceFile> file_;
  OpenFailure failure_;
  int readError_ = 0;
  std::uint64_t fileSize_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t frameOffset_ = 0;
  std::uint32_t pendingPayload_ = 0;
  bool framesEnded_ = false;
  // The file's bytes from aheadStart_ on, read together with what was asked
  // for, so that the next header (and a small payload after it) seldom
  // needs a read of its own.
  std::array<std::uint8_t, 1024> ahead_{};
  std::uint64_t aheadStart_ = 0;
  std::size_t aheadLength_ = 0;
};

}  // namespace korvex
