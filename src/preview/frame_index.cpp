#include "preview/frame_index.h"

#include <algorithm>

#include "preview/segment_walk.h"
#include "store/recording_file_reader.h"
#include "store/recording_store.h"
#include "store/segment_continuity.h"

namespace korvex {

std::size_t FrameIndex::keyAtOrBefore(std::size_t i) const {
  if (frames.empty()) return NO_FRAME;
  for (std::size_t k = std::min(i, frames.size() - 1) + 1; k-- > 0;)
    if (frames[k].key) return k;
  return NO_FRAME;
}

std::size_t FrameIndex::previousKey(std::size_t i) const { return i == 0 ? NO_FRAME : keyAtOrBefore(i - 1); }

std::size_t FrameIndex::nextKey(std::size_t i) const {
  for (std::size_t k = i + 1; k < frames.size(); ++k)
    if (frames[k].key) return k;
  return NO_FRAME;
}

std::size_t FrameIndex::frameAt(RecorderTime t) const {
  // Stamps rise within a segment, though a recorder's clock may step back:
  // the first frame stamped t wins, else the first of the latest stamp before it.
  std::size_t best = NO_FRAME;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    if (frames[k].timeStamp == t) return k;
    if (frames[k].timeStamp < t && (best == NO_FRAME || frames[k].timeStamp > frames[best].timeStamp)) best = k;
  }
  return best;
}

FrameIndex indexSegmentFrames(const RecordingSource& source, const KeyFrameSearch& search,
                              const std::atomic<bool>* cancel) {
  FrameIndex index;
  index.channel = search.channel;
  SegmentWalkVisitor visitor;
  visitor.frame = [&](const FrameHeader& frame, const SegmentFramePlace& place) {
    if (frame.frameKind == FRAME_KIND_AUDIO) return true;
    if (index.frames.empty()) {
      index.width = frame.videoWidth;
      index.height = frame.videoHeight;
      index.frameRate = frame.frameRate;
    }
    index.frames.push_back({place.folder, place.file, place.offset, frame.timeStamp, frame.payloadLength,
                            frame.frameKind == FRAME_KIND_KEY});
    return true;
  };
  std::string problem;
  const SegmentWalkEnd end = walkSegmentFrames(source, search, visitor, problem, cancel);
  if (end == SegmentWalkEnd::Cancelled) index.cancelled = true;
  // A store that ends after the segment's last frame is its normal end.
  if (end == SegmentWalkEnd::StoreEnded && problem.find(": missing") == std::string::npos) index.problem = problem;
  index.frames.shrink_to_fit();
  return index;
}

namespace {

// The walk over the disk of one channel's frames, for locateFrame.
class FrameLocator {
 public:
  FrameLocator(const RecordingSource& source, std::int32_t channel, RecorderTime at, bool recover)
      : source_(source), channel_(channel), at_(at), recover_(recover) {}

  // Reads the frames of one file; false when it could not be opened.
  bool readFile(std::int32_t folder, std::int32_t file, bool& missing) {
    RecordingFileReader reader;
    reader.setRecovery(recover_);
    missing = false;
    if (!reader.open(source_.openFile(folder, file, ReadPattern::HeadersOnly))) {
      missing = reader.failure().missing();
      if (!missing) problem_ = source_.filePath(folder, file) + ": " + reader.failure().reason;
      return false;
    }
    RecordingFileHeader header;
    const bool headerRead = reader.readFileHeader(header);
    if (!headerRead) return true;
    if (!recover_ && (header.fileStartTime > at_ || header.fileEndTime < at_)) {
      chainBroken_ = true;
      previous_ = {true, folder, file};
      return true;
    }
    if (chainBroken_) {
      // Frames of files passed over lie between: a run starts anew, from
      // the file before this one, where the key frame before `at` may lie.
      keysKnown_ = false;
      key_.found = false;
      if (previous_.known) readFrames(previous_.folder, previous_.file);
    }
    chainBroken_ = false;
    readFrames(reader, folder, file);
    previous_ = {true, folder, file};
    return true;
  }

  // A file with no time that holds `at` breaks the run of frames.
  void breakRun() { chainBroken_ = true; }

  LocatedFrame result() const {
    LocatedFrame located;
    if (!best_.found) {
      located.problem = "no picture of channel " + std::to_string(channel_ + 1) + " at or just before that time" +
                        (problem_.empty() ? std::string() : " (" + problem_ + ")");
      return located;
    }
    located.found = true;
    located.place = best_.place;
    located.timeStamp = best_.time;
    KeyFrameSearch& walk = located.walk;
    located.fromSegmentStart = best_.segmentStart.found;
    const SegmentFramePlace& from = best_.segmentStart.found ? best_.segmentStart.place : best_.key;
    walk.channel = channel_;
    walk.folder = from.folder;
    walk.file = from.file;
    walk.offset = from.offset;
    walk.lastFolder = best_.place.folder;
    walk.lastFile = best_.place.file;
    walk.until = best_.time;
    walk.recover = recover_;
    return located;
  }

 private:
  void readFrames(std::int32_t folder, std::int32_t file) {
    RecordingFileReader reader;
    reader.setRecovery(recover_);
    if (!reader.open(source_.openFile(folder, file, ReadPattern::HeadersOnly))) return;
    RecordingFileHeader header;
    if (reader.readFileHeader(header)) readFrames(reader, folder, file);
  }

  void readFrames(RecordingFileReader& reader, std::int32_t folder, std::int32_t file) {
    FrameHeader frame;
    while (reader.nextFrame(frame)) {
      reader.skipPayload();
      if (frame.channel != channel_) continue;
      if (!keysKnown_ || beginsNewSegment(frame.segmentKeyA, frame.segmentKeyB, keyA_, keyB_)) {
        // A segment whose beginning the run saw (not the run's own start).
        segmentStart_ = {keysKnown_, {folder, file, reader.frameOffset()}};
        keyA_ = frame.segmentKeyA;
        keyB_ = frame.segmentKeyB;
        keysKnown_ = true;
        key_.found = false;
      }
      if (frame.frameKind == FRAME_KIND_AUDIO) continue;
      const SegmentFramePlace place{folder, file, reader.frameOffset()};
      if (frame.frameKind == FRAME_KIND_KEY) key_ = {true, place};
      // Only a picture with a key frame before it in its segment decodes.
      if (frame.timeStamp <= at_ && key_.found && (!best_.found || frame.timeStamp > best_.time))
        best_ = {true, place, frame.timeStamp, key_.place, segmentStart_};
    }
  }

  struct FilePlace {
    bool known = false;
    std::int32_t folder = 0;
    std::int32_t file = 0;
  };
  struct KeyPlace {
    bool found = false;
    SegmentFramePlace place;
  };
  struct Best {
    bool found = false;
    SegmentFramePlace place;
    RecorderTime time = 0;
    SegmentFramePlace key;
    KeyPlace segmentStart;
  };

  const RecordingSource& source_;
  std::int32_t channel_;
  RecorderTime at_;
  bool recover_;
  bool chainBroken_ = true;
  FilePlace previous_;
  bool keysKnown_ = false;
  std::int32_t keyA_ = 0;
  std::int32_t keyB_ = 0;
  KeyPlace key_;
  KeyPlace segmentStart_;
  Best best_;
  std::string problem_;
};

}  // namespace

LocatedFrame locateFrame(const RecordingSource& source, std::int32_t channel, RecorderTime at, bool recover,
                         const std::atomic<bool>* cancel) {
  FrameLocator locator(source, channel, at, recover);
  const FolderListing listing = source.listFolders();
  for (const std::int32_t folder : listing.folders) {
    for (std::int32_t file = 0; file < FILES_PER_FOLDER; ++file) {
      if (cancel && cancel->load(std::memory_order_relaxed)) return {};
      bool missing = false;
      if (!locator.readFile(folder, file, missing)) {
        locator.breakRun();
        if (missing) break;
      }
    }
  }
  return locator.result();
}

}  // namespace korvex
