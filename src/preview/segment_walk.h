// Follows one channel's frames of a recording segment through the store,
// headers only: from the segment's first frame (or a later frame of it) to
// the frame that begins the next segment, a frame past its end time, or the
// end of its last file. The pictures, the player's frame index and the
// stills all read a segment this way.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/failure.h"
#include "preview/key_frame.h"
#include "store/frame_header.h"

namespace korvex {

// A frame of the segment and where its header lies.
struct SegmentFramePlace {
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t offset = 0;
};

enum class SegmentWalkEnd {
  SegmentEnded,  // a frame of another segment or past `until`, the last file's end, or the visitor stopped
  StoreEnded,    // a file could not be opened (`problem` names it)
  Cancelled,
};

struct SegmentWalkVisitor {
  // Told each later file's header (not the first file's); true passes the
  // file over unread.
  std::function<bool(const RecordingFileHeader&, std::int32_t folder, std::int32_t file)> passOverFile;
  // Told every frame of the channel in the segment, audio included; false
  // ends the walk.
  std::function<bool(const FrameHeader&, const SegmentFramePlace&)> frame;
};

SegmentWalkEnd walkSegmentFrames(const RecordingSource& source, const KeyFrameSearch& search,
                                 const SegmentWalkVisitor& visitor, Failure& failure,
                                 const std::atomic<bool>* cancel = nullptr);

}  // namespace korvex
