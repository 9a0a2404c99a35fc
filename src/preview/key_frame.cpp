#include "preview/key_frame.h"

#include "preview/segment_walk.h"

#include <cstdlib>
#include <limits>

#include "store/recording_file_reader.h"
#include "store/segment_continuity.h"
#include "store/store_walk.h"

namespace korvex {

namespace {

struct Candidate {
  bool found = false;
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t offset = 0;
  RecorderTime timeStamp = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

std::int64_t distance(RecorderTime a, RecorderTime b) { return std::llabs(std::int64_t{a} - std::int64_t{b}); }

bool openFile(const RecordingSource& source, std::int32_t folder, std::int32_t file, ReadPattern pattern,
              RecordingFileReader& reader, Failure& failure, bool recover) {
  reader.setRecovery(recover);
  if (reader.open(source.openFile(folder, file, pattern))) return true;
  const bool missing = reader.failure().missing();
  failure = {missing ? FailureCode::Missing : FailureCode::SourceUnreadable, reader.failure().errorNumber,
             source.filePath(folder, file), missing ? std::string("missing") : reader.failure().reason};
  return false;
}

// Reads the payload of the frame whose header starts at `offset`.
bool readPayloadAt(const RecordingSource& source, const Candidate& at, std::vector<std::uint8_t>& payload,
                   Failure& failure, bool recover) {
  RecordingFileReader reader;
  if (!openFile(source, at.folder, at.file, ReadPattern::HeadersOnly, reader, failure, recover)) return false;
  RecordingFileHeader fileHeader;
  reader.readFileHeader(fileHeader);
  FrameHeader frame;
  while (reader.nextFrame(frame)) {
    if (reader.frameOffset() != at.offset) {
      reader.skipPayload();
      continue;
    }
    PayloadBuffer buffer;
    if (!reader.readPayload(buffer)) break;
    payload.assign(buffer.data(), buffer.data() + buffer.size());
    return true;
  }
  failure = {FailureCode::SourceUnreadable, 0, source.filePath(at.folder, at.file),
             "the key frame could not be read again"};
  return false;
}

}  // namespace

SegmentWalkEnd walkSegmentFrames(const RecordingSource& source, const KeyFrameSearch& search,
                                 const SegmentWalkVisitor& visitor, Failure& failure,
                                 const std::atomic<bool>* cancel) {
  bool keysKnown = false;
  std::int32_t keyA = 0;
  std::int32_t keyB = 0;
  std::int32_t folder = search.folder;
  std::int32_t file = search.file;
  while (true) {
    if (cancel && cancel->load(std::memory_order_relaxed)) return SegmentWalkEnd::Cancelled;
    const bool firstFile = folder == search.folder && file == search.file;
    RecordingFileReader reader;
    if (!openFile(source, folder, file, ReadPattern::HeadersOnly, reader, failure, search.recover))
      return SegmentWalkEnd::StoreEnded;
    RecordingFileHeader fileHeader;
    const bool headerRead = reader.readFileHeader(fileHeader);
    const bool passOver = !firstFile && headerRead && visitor.passOverFile &&
                          visitor.passOverFile(fileHeader, folder, file);
    FrameHeader frame;
    while (!passOver && reader.nextFrame(frame)) {
      reader.skipPayload();
      if (frame.channel != search.channel || (firstFile && reader.frameOffset() < search.offset)) continue;
      if (!keysKnown && frame.timeStamp < search.from) continue;
      if (frame.timeStamp > search.until) return SegmentWalkEnd::SegmentEnded;
      if (!keysKnown) {
        keyA = frame.segmentKeyA;
        keyB = frame.segmentKeyB;
        keysKnown = true;
      } else if (beginsNewSegment(frame.segmentKeyA, frame.segmentKeyB, keyA, keyB)) {
        return SegmentWalkEnd::SegmentEnded;
      }
      if (!visitor.frame(frame, {folder, file, reader.frameOffset()})) return SegmentWalkEnd::SegmentEnded;
    }
    if (folder > search.lastFolder || (folder == search.lastFolder && file >= search.lastFile))
      return SegmentWalkEnd::SegmentEnded;
    if (++file == FILES_PER_FOLDER) {
      file = 0;
      ++folder;
    }
  }
}

KeyFrame findKeyFrame(const RecordingSource& source, const KeyFrameSearch& search, const std::atomic<bool>* cancel) {
  KeyFrame result;
  Candidate best;
  const bool firstWanted = search.near == RECORDER_TIME_MIN;
  SegmentWalkVisitor visitor;
  // A later file wholly before the moment sought holds no nearer key frame
  // than one after it. Recovery does not trust the file headers' times.
  visitor.passOverFile = [&](const RecordingFileHeader& header, std::int32_t folder, std::int32_t file) {
    return !search.recover && !firstWanted && header.fileEndTime < search.near &&
           !(folder == search.lastFolder && file == search.lastFile);
  };
  visitor.frame = [&](const FrameHeader& frame, const SegmentFramePlace& place) {
    if (frame.frameKind != FRAME_KIND_KEY) return true;
    if (!best.found || distance(frame.timeStamp, search.near) < distance(best.timeStamp, search.near)) {
      best = {true, place.folder, place.file, place.offset, frame.timeStamp, frame.videoWidth, frame.videoHeight};
    }
    // Time goes on within a segment: the first key frame, or the first
    // one at or after the moment, ends the search.
    return !(firstWanted || frame.timeStamp >= search.near);
  };
  const SegmentWalkEnd end = walkSegmentFrames(source, search, visitor, result.failure, cancel);
  if (end == SegmentWalkEnd::Cancelled) return result;
  if (end == SegmentWalkEnd::StoreEnded && !best.found) return result;  // else the store ends: the nearest so far

  if (!best.found) {
    result.failure = {FailureCode::NoKeyFrame, 0, {},
                      "no key frame in the segment of channel " + std::to_string(search.channel + 1)};
    return result;
  }
  if (!readPayloadAt(source, best, result.payload, result.failure, search.recover)) return result;
  result.found = true;
  result.folder = best.folder;
  result.file = best.file;
  result.offset = best.offset;
  result.timeStamp = best.timeStamp;
  result.width = best.width;
  result.height = best.height;
  return result;
}

}  // namespace korvex
