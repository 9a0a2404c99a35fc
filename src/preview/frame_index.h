// The pictures of one recording segment, in order, as the player steps
// through them: where each frame lies, its time and whether it is a key
// frame. Built from the frame headers only; about 32 bytes a picture, so an
// hour at 25 pictures a second is some 3 MB, whatever the payloads weigh.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/key_frame.h"
#include "preview/segment_walk.h"

namespace korvex {

struct IndexedFrame {
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t offset = 0;  // of the frame header in the recording file
  RecorderTime timeStamp = 0;
  std::uint32_t payloadLength = 0;
  bool key = false;
};

inline constexpr std::size_t NO_FRAME = static_cast<std::size_t>(-1);

struct FrameIndex {
  std::vector<IndexedFrame> frames;
  std::int32_t channel = 0;
  std::int32_t width = 0;  // as the first frame's header says
  std::int32_t height = 0;
  std::int32_t frameRate = 0;
  // Why the index ends early (a file that could not be read), for people;
  // the frames before it stay usable.
  std::string problem;
  bool cancelled = false;

  // The key frame at or before frame `i`; NO_FRAME when none is.
  std::size_t keyAtOrBefore(std::size_t i) const;
  // The key frame before `i` / after `i`; NO_FRAME when there is none.
  std::size_t previousKey(std::size_t i) const;
  std::size_t nextKey(std::size_t i) const;
  // The first frame of the latest second at or before `t` (a typed time
  // in a gap goes to the second before it); NO_FRAME when every frame is
  // later.
  std::size_t frameAt(RecorderTime t) const;
};

// Every picture (audio left out) of the segment `search` describes, from
// its first frame on.
FrameIndex indexSegmentFrames(const RecordingSource& source, const KeyFrameSearch& search,
                              const std::atomic<bool>* cancel = nullptr);

// A frame of a channel found by its time on the whole disk, for a still
// asked for by time: the walk to index up to it and the frame's place.
// `problem` says why none was found.
struct LocatedFrame {
  bool found = false;
  // From the segment's first frame when the walk saw the segment begin,
  // else from the key frame before the frame; until: the frame's time.
  KeyFrameSearch walk;
  bool fromSegmentStart = false;
  SegmentFramePlace place;
  RecorderTime timeStamp = 0;
  std::string problem;
};

// The first picture of `channel` of the latest second at or before `at`,
// among the files whose header times hold `at` (every file with
// `recover`) and the file before each; only a picture with a key frame
// before it in its segment counts.
LocatedFrame locateFrame(const RecordingSource& source, std::int32_t channel, RecorderTime at, bool recover,
                         const std::atomic<bool>* cancel = nullptr);

}  // namespace korvex
