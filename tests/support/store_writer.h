// Writes recorder stores byte by byte: folders, recording files, file
// headers and frames with any field values, including broken ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/frame_header.h"
#include "store/recorder_time.h"

namespace korvex::testing {

// The time the tests' recordings start at: 2012-05-04 08:09:10 as recorder
// time, which reads the same in UTC.
inline constexpr RecorderTime T0 = 1336118950;

// One frame as the recorder writes it. Every field of the frame header can
// be set; payloadLength is the payload's size unless overridden.
struct FrameSpec {
  std::int32_t segmentKeyA = 1;
  std::int32_t segmentKeyB = 1;
  std::int32_t channel = 0;
  std::int32_t recordType = 1;
  std::int32_t frameKind = FRAME_KIND_KEY;
  RecorderTime timeStamp = 0;
  std::int32_t videoWidth = 0;
  std::int32_t videoHeight = 0;
  std::int32_t frameRate = 0;
  std::int32_t audioSampleRate = 0;
  std::int32_t audioBits = 0;
  std::vector<std::uint8_t> payload = std::vector<std::uint8_t>(16, 0xab);
  std::optional<std::uint32_t> payloadLength;  // written instead of payload.size()
  std::uint32_t magicHead = FRAME_MAGIC_HEAD;
  std::uint32_t magicTail = FRAME_MAGIC_TAIL;
};

// A frame of `channel` with both segment keys and `bytes` of payload; the
// other fields keep FrameSpec's defaults.
FrameSpec keyedFrame(std::int32_t channel, std::int32_t keyA, std::int32_t keyB, RecorderTime t,
                     std::size_t bytes = 16, std::int32_t recordType = 1);

void putLe32(std::uint8_t* at, std::uint32_t value);

// The 128 header bytes of a frame; the bytes no reader interprets are filled
// with a pattern so that a reader looking at the wrong offset shows it.
void encodeFrameHeader(const FrameSpec& frame, std::uint8_t* out);

class RecordingFileBuilder {
 public:
  RecordingFileBuilder();
  // fileStartTime and fileEndTime of the file header.
  RecordingFileBuilder& times(RecorderTime start, RecorderTime end);
  // Sets the file-header times from the frames added so far.
  RecordingFileBuilder& timesFromFrames();
  RecordingFileBuilder& frame(const FrameSpec& frame);
  // Any bytes at the current end: zeros, garbage, a cut-off header.
  RecordingFileBuilder& raw(const std::vector<std::uint8_t>& bytes);
  // Cuts the file to `size` bytes (shorter than a header, mid-payload...).
  RecordingFileBuilder& truncate(std::size_t size);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::size_t frameCount() const { return frames_; }
  void writeTo(const std::string& path) const;

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t frames_ = 0;
  std::optional<RecorderTime> minTime_, maxTime_;
};

// A store under a root folder (which ends with '/').
class StoreWriter {
 public:
  explicit StoreWriter(std::string root);
  const std::string& root() const { return root_; }
  std::string folderPath(int folder) const;
  std::string filePath(int folder, int file) const;
  void makeFolder(int folder) const;
  void writeFile(int folder, int file, const RecordingFileBuilder& builder) const;
  // Files with a header and no frames for every file number from `from` to
  // 127 that does not exist yet, so that a job reads the folder to its end.
  void fillFolder(int folder, int from = 0) const;

 private:
  std::string root_;
};

}  // namespace korvex::testing
