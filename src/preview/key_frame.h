// Finds a picture to show for a recording segment: the first key frame of
// the segment, or the key frame nearest a moment inside it, read from the
// store with its payload.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/failure.h"
#include "store/recorder_time.h"
#include "store/recording_source.h"

namespace korvex {

// Where to look: the segment's channel, its first frame and its last, as the
// scan found them (folder, file, offset of the frame header).
struct KeyFrameSearch {
  std::int32_t channel = 0;
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t offset = 0;
  std::int32_t lastFolder = 0;
  std::int32_t lastFile = 0;
  // Nearest to this moment; RECORDER_TIME_MIN: the first key frame.
  RecorderTime near = RECORDER_TIME_MIN;
  // The segment's times. Where its first frame's place is not known (a
  // segment read from a log: folder its start folder, offset 0), frames
  // before `from` belong to earlier segments and are passed over.
  RecorderTime from = RECORDER_TIME_MIN;
  RecorderTime until = RECORDER_TIME_MAX;
  // Read as recovery reads (a segment that recovery found is only there
  // for a reader that searches past a file's end of frames).
  bool recover = false;
};

struct KeyFrame {
  bool found = false;
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t offset = 0;
  RecorderTime timeStamp = 0;
  std::int32_t width = 0;   // as the frame header says
  std::int32_t height = 0;
  std::vector<std::uint8_t> payload;
  // Why none was found: the file that could not be read (Missing, or
  // SourceUnreadable with the reason for people), or NoKeyFrame.
  Failure failure;
};

// Follows the channel's frames of the segment (its segment keys) from its
// first frame until its last file, headers only, and reads the chosen key
// frame's payload. `cancel`, when given and set, ends the search between
// files with nothing found.
KeyFrame findKeyFrame(const RecordingSource& source, const KeyFrameSearch& search,
                      const std::atomic<bool>* cancel = nullptr);

}  // namespace korvex
