#include "store/frame_header.h"

namespace korvex {

RecordingFileHeader decodeFileHeader(const std::uint8_t* bytes) {
  RecordingFileHeader header;
  header.fileStartTime = readLe32Signed(bytes + 4);
  header.fileEndTime = readLe32Signed(bytes + 8);
  return header;
}

FrameHeader decodeFrameHeader(const std::uint8_t* bytes) {
  FrameHeader h;
  h.magicHead = readLe32(bytes + 0);
  h.segmentKeyB = readLe32Signed(bytes + 4);
  h.videoWidth = readLe32Signed(bytes + 8);
  h.videoHeight = readLe32Signed(bytes + 12);
  h.frameRate = readLe32Signed(bytes + 16);
  h.audioSampleRate = readLe32Signed(bytes + 20);
  h.audioBits = readLe32Signed(bytes + 32);
  h.frameKind = readLe32Signed(bytes + 36);
  h.segmentKeyA = readLe32Signed(bytes + 40);
  h.channel = readLe32Signed(bytes + 44);
  h.recordType = readLe32Signed(bytes + 48);
  h.payloadLength = readLe32(bytes + 60);
  h.timeStamp = readLe32Signed(bytes + 72);
  h.magicTail = readLe32(bytes + 124);
  return h;
}

bool frameHeaderContinuesSequence(const FrameHeader& header) {
  return header.magicHead == FRAME_MAGIC_HEAD && header.magicTail == FRAME_MAGIC_TAIL &&
         header.payloadLength != 0;
}

}  // namespace korvex
