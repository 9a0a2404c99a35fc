#include "preview/key_frame.h"

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

KeyFrame findKeyFrame(const RecordingSource& source, const KeyFrameSearch& search, const std::atomic<bool>* cancel) {
  KeyFrame result;
  Candidate best;
  bool keysKnown = false;
  std::int32_t keyA = 0;
  std::int32_t keyB = 0;
  bool segmentEnded = false;
  const bool firstWanted = search.near == RECORDER_TIME_MIN;

  std::int32_t folder = search.folder;
  std::int32_t file = search.file;
  while (!segmentEnded) {
    if (cancel && cancel->load(std::memory_order_relaxed)) return result;
    const bool firstFile = folder == search.folder && file == search.file;
    RecordingFileReader reader;
    if (!openFile(source, folder, file, ReadPattern::HeadersOnly, reader, result.failure, search.recover)) {
      if (best.found) break;  // the store ends: the nearest so far
      return result;
    }
    RecordingFileHeader fileHeader;
    // A later file wholly before the moment sought holds no nearer key
    // frame than one after it.
    const bool headerRead = reader.readFileHeader(fileHeader);
    // Recovery does not trust the file headers' times.
    const bool passOver = !search.recover && !firstWanted && !firstFile && headerRead &&
                          fileHeader.fileEndTime < search.near &&
                          !(folder == search.lastFolder && file == search.lastFile);
    FrameHeader frame;
    while (!passOver && reader.nextFrame(frame)) {
      reader.skipPayload();
      if (frame.channel != search.channel || (firstFile && reader.frameOffset() < search.offset)) continue;
      if (!keysKnown && frame.timeStamp < search.from) continue;
      if (frame.timeStamp > search.until) {
        segmentEnded = true;
        break;
      }
      if (!keysKnown) {
        keyA = frame.segmentKeyA;
        keyB = frame.segmentKeyB;
        keysKnown = true;
      } else if (beginsNewSegment(frame.segmentKeyA, frame.segmentKeyB, keyA, keyB)) {
        segmentEnded = true;
        break;
      }
      if (frame.frameKind != FRAME_KIND_KEY) continue;
      if (!best.found || distance(frame.timeStamp, search.near) < distance(best.timeStamp, search.near)) {
        best = {true, folder, file, reader.frameOffset(), frame.timeStamp, frame.videoWidth, frame.videoHeight};
      }
      // Time goes on within a segment: the first key frame, or the first
      // one at or after the moment, ends the search.
      if (firstWanted || frame.timeStamp >= search.near) {
        segmentEnded = true;
        break;
      }
    }
    if (folder > search.lastFolder || (folder == search.lastFolder && file >= search.lastFile)) break;
    if (++file == FILES_PER_FOLDER) {
      file = 0;
      ++folder;
    }
  }

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
