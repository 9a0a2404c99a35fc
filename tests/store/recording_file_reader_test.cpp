#include "store/recording_file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "store/segment_continuity.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::FrameSpec;
using testing::RecordingFileBuilder;
using testing::TempDir;

FrameSpec frameAt(RecorderTime t, std::size_t payloadSize = 16) {
  FrameSpec f;
  f.timeStamp = t;
  f.payload.assign(payloadSize, static_cast<std::uint8_t>(t));
  return f;
}

// Time stamps of the frames the reader hands out, reading every payload.
std::vector<RecorderTime> readAll(const std::string& path, std::vector<std::vector<std::uint8_t>>* payloads = nullptr) {
  RecordingFileReader reader;
  EXPECT_TRUE(reader.open(path));
  std::vector<RecorderTime> times;
  RecordingFileHeader header;
  if (!reader.readFileHeader(header)) return times;
  FrameHeader frame;
  PayloadBuffer buffer;
  while (reader.nextFrame(frame)) {
    if (!reader.readPayload(buffer)) break;
    EXPECT_EQ(buffer.size(), frame.payloadLength);
    times.push_back(frame.timeStamp);
    if (payloads) payloads->emplace_back(buffer.data(), buffer.data() + buffer.size());
  }
  return times;
}

// The same, skipping every payload.
std::vector<RecorderTime> skipAll(const std::string& path) {
  RecordingFileReader reader;
  EXPECT_TRUE(reader.open(path, ReadPattern::HeadersOnly));
  std::vector<RecorderTime> times;
  RecordingFileHeader header;
  if (!reader.readFileHeader(header)) return times;
  FrameHeader frame;
  while (reader.nextFrame(frame)) {
    reader.skipPayload();
    times.push_back(frame.timeStamp);
  }
  return times;
}

struct EndingCase {
  const char* name;
  std::function<RecordingFileBuilder()> build;
  std::vector<RecorderTime> expected;
};

std::vector<EndingCase> endingCases() {
  auto three = [] { return RecordingFileBuilder().frame(frameAt(1)).frame(frameAt(2)).frame(frameAt(3)); };
  auto bad = [](auto change) {
    FrameSpec f = frameAt(9);
    change(f);
    return f;
  };
  return {
      {"three good frames", three, {1, 2, 3}},
      {"exactly the file header", [] { return RecordingFileBuilder(); }, {}},
      {"shorter than the file header", [] { return RecordingFileBuilder().truncate(100); }, {}},
      {"header and 127 bytes", [] { return RecordingFileBuilder().raw(std::vector<std::uint8_t>(127, 0)); }, {}},
      {"frame area of zeros", [] { return RecordingFileBuilder().raw(std::vector<std::uint8_t>(4096, 0)); }, {}},
      {"zero length ends even before good frames",
       [&] { return RecordingFileBuilder().frame(frameAt(1)).frame(bad([](FrameSpec& f) { f.payload.clear(); }))
                 .frame(frameAt(2)); },
       {1}},
      {"wrong head magic",
       [&] { return RecordingFileBuilder().frame(frameAt(1)).frame(bad([](FrameSpec& f) { f.magicHead = 0x2078656c; }))
                 .frame(frameAt(2)); },
       {1}},
      {"wrong tail magic",
       [&] { return RecordingFileBuilder().frame(frameAt(1)).frame(bad([](FrameSpec& f) { f.magicTail = 0; }))
                 .frame(frameAt(2)); },
       {1}},
      {"head magic in the tail and the other way round",
       [&] {
         return RecordingFileBuilder().frame(bad([](FrameSpec& f) { std::swap(f.magicHead, f.magicTail); }));
       },
       {}},
      {"last header cut short", [&] { return three().truncate(FILE_HEADER_SIZE + 3 * (128 + 16) - 1); }, {1, 2}},
      {"last payload cut short ends before that frame",
       [&] { return three().truncate(FILE_HEADER_SIZE + 2 * (128 + 16) + 128 + 15); },
       {1, 2}},
      {"payload length beyond the end of the file",
       [&] { return RecordingFileBuilder().frame(frameAt(1)).frame(bad([](FrameSpec& f) { f.payloadLength = 4096; })); },
       {1}},
      {"channel outside 0..31 is passed over",
       [&] {
         return RecordingFileBuilder().frame(frameAt(1)).frame(bad([](FrameSpec& f) { f.channel = 32; }))
             .frame(bad([](FrameSpec& f) { f.channel = -1; })).frame(frameAt(2));
       },
       {1, 2}},
      {"channel 31 is a frame", [&] { return RecordingFileBuilder().frame(bad([](FrameSpec& f) { f.channel = 31; })); },
       {9}},
  };
}

TEST(RecordingFileReader, FrameSequenceEndsByTheRules) {
  TempDir dir;
  for (const auto& c : endingCases()) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("case.dat");
    c.build().writeTo(path);
    EXPECT_EQ(readAll(path), c.expected);
    EXPECT_EQ(skipAll(path), c.expected);
  }
}

TEST(RecordingFileReader, DecodesEveryFieldAtItsOffset) {
  TempDir dir;
  FrameSpec f;
  f.segmentKeyB = -5;
  f.videoWidth = 704;
  f.videoHeight = 576;
  f.frameRate = 25;
  f.audioSampleRate = 8000;
  f.audioBits = 16;
  f.frameKind = 2;
  f.segmentKeyA = 0x12345678;
  f.channel = 7;
  f.recordType = 8;
  f.timeStamp = -123456;
  f.payload = {1, 2, 3, 4, 5};
  RecordingFileBuilder().times(1000, -2000).frame(f).writeTo(dir.file("f.dat"));

  RecordingFileReader reader;
  ASSERT_TRUE(reader.open(dir.file("f.dat")));
  RecordingFileHeader fileHeader;
  ASSERT_TRUE(reader.readFileHeader(fileHeader));
  EXPECT_EQ(fileHeader.fileStartTime, 1000);
  EXPECT_EQ(fileHeader.fileEndTime, -2000);
  FrameHeader h;
  ASSERT_TRUE(reader.nextFrame(h));
  EXPECT_EQ(h.magicHead, FRAME_MAGIC_HEAD);
  EXPECT_EQ(h.magicTail, FRAME_MAGIC_TAIL);
  EXPECT_EQ(h.segmentKeyB, -5);
  EXPECT_EQ(h.videoWidth, 704);
  EXPECT_EQ(h.videoHeight, 576);
  EXPECT_EQ(h.frameRate, 25);
  EXPECT_EQ(h.audioSampleRate, 8000);
  EXPECT_EQ(h.audioBits, 16);
  EXPECT_EQ(h.frameKind, 2);
  EXPECT_EQ(h.segmentKeyA, 0x12345678);
  EXPECT_EQ(h.channel, 7);
  EXPECT_EQ(h.recordType, 8);
  EXPECT_EQ(h.payloadLength, 5u);
  EXPECT_EQ(h.timeStamp, -123456);
  PayloadBuffer buffer;
  ASSERT_TRUE(reader.readPayload(buffer));
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size()),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(reader.nextFrame(h));
}

// A payload read to the caller's own place is the one readPayload gives,
// whichever of the two read the frames before it; a file that no longer
// holds the payload ends its frames there either way.
TEST(RecordingFileReader, PayloadReadIntoTheCallersPlaceIsTheSameAsThroughTheBuffer) {
  TempDir dir;
  std::vector<FrameSpec> frames;
  for (RecorderTime t = 1; t <= 6; ++t) frames.push_back(frameAt(t, 100 * static_cast<std::size_t>(t) + 1));
  RecordingFileBuilder file;
  for (const FrameSpec& f : frames) file.frame(f);
  file.writeTo(dir.file("into.dat"));

  RecordingFileReader reader;
  ASSERT_TRUE(reader.open(dir.file("into.dat")));
  RecordingFileHeader header;
  ASSERT_TRUE(reader.readFileHeader(header));
  FrameHeader frame;
  PayloadBuffer buffer;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(reader.nextFrame(frame));
    std::vector<std::uint8_t> payload(frame.payloadLength + 1, 0xcc);
    if (i % 2 == 0) {
      ASSERT_TRUE(reader.readPayloadInto(payload.data()));
      EXPECT_EQ(payload.back(), 0xcc);  // nothing past the payload
      payload.pop_back();
    } else {
      ASSERT_TRUE(reader.readPayload(buffer));
      payload.assign(buffer.data(), buffer.data() + buffer.size());
    }
    EXPECT_EQ(payload, frames[i].payload);
  }
  EXPECT_FALSE(reader.nextFrame(frame));

  // Cut inside the last payload after its header was read.
  ASSERT_TRUE(reader.open(dir.file("into.dat")));
  ASSERT_TRUE(reader.readFileHeader(header));
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    ASSERT_TRUE(reader.nextFrame(frame));
    reader.skipPayload();
  }
  ASSERT_TRUE(reader.nextFrame(frame));
  struct stat info;
  ASSERT_EQ(stat(dir.file("into.dat").c_str(), &info), 0);
  ASSERT_EQ(truncate(dir.file("into.dat").c_str(), info.st_size - 10), 0);
  std::vector<std::uint8_t> payload(frame.payloadLength);
  EXPECT_FALSE(reader.readPayloadInto(payload.data()));
  EXPECT_FALSE(reader.nextFrame(frame));
}

TEST(RecordingFileReader, MagicWordsAreTheBytesKexAndXek) {
  std::uint8_t bytes[FRAME_HEADER_SIZE] = {};
  const char head[] = "kex ";
  const char tail[] = " xek";
  std::copy(head, head + 4, bytes);
  std::copy(tail, tail + 4, bytes + 124);
  bytes[60] = 1;
  EXPECT_TRUE(frameHeaderContinuesSequence(decodeFrameHeader(bytes)));
}

TEST(RecordingFileReader, BigPayloadsAreReadWholeUpToTheLimitAndLongerOnesPassedOver) {
  TempDir dir;
  auto big = [](std::size_t size, RecorderTime t) {
    FrameSpec f = frameAt(t, size);
    for (std::size_t i = 0; i < size; i += 4099) f.payload[i] = static_cast<std::uint8_t>(i / 4099);
    return f;
  };
  RecordingFileBuilder()
      .frame(big(PAYLOAD_BUFFER_SIZE + 1, 1))
      .frame(big(MAX_PAYLOAD_BYTES + 1, 2))
      .frame(big(MAX_PAYLOAD_BYTES, 3))
      .frame(frameAt(4))
      .writeTo(dir.file("big.dat"));

  std::vector<std::vector<std::uint8_t>> payloads;
  EXPECT_EQ(readAll(dir.file("big.dat"), &payloads), (std::vector<RecorderTime>{1, 3, 4}));
  ASSERT_EQ(payloads.size(), 3u);
  EXPECT_EQ(payloads[0], big(PAYLOAD_BUFFER_SIZE + 1, 1).payload);
  EXPECT_EQ(payloads[1], big(MAX_PAYLOAD_BYTES, 3).payload);
  EXPECT_EQ(payloads[2], frameAt(4).payload);
}

TEST(RecordingFileReader, AnUnhandledPayloadIsPassedOverByTheNextFrame) {
  TempDir dir;
  RecordingFileBuilder().frame(frameAt(1, 300)).frame(frameAt(2)).writeTo(dir.file("f.dat"));
  RecordingFileReader reader;
  ASSERT_TRUE(reader.open(dir.file("f.dat")));
  RecordingFileHeader fileHeader;
  ASSERT_TRUE(reader.readFileHeader(fileHeader));
  FrameHeader h;
  ASSERT_TRUE(reader.nextFrame(h));
  ASSERT_TRUE(reader.nextFrame(h));
  EXPECT_EQ(h.timeStamp, 2);
}

TEST(RecordingFileReader, OnlyRegularFilesOpen) {
  TempDir dir;
  RecordingFileReader reader;
  EXPECT_FALSE(reader.open(dir.file("missing.dat")));
  mkdir(dir.file("folder.dat").c_str(), 0755);
  EXPECT_FALSE(reader.open(dir.file("folder.dat")));
  RecordingFileBuilder().writeTo(dir.file("ok.dat"));
  EXPECT_TRUE(reader.open(dir.file("ok.dat")));
}

struct ContinuityCase {
  std::int32_t a, b, rememberedA, rememberedB;
  bool begins;
};

TEST(SegmentContinuity, EitherKeyMatchingContinuesTheSegment) {
  const ContinuityCase cases[] = {
      {7, 101, 7, 100, false},  // key A matches
      {8, 100, 7, 100, false},  // key B matches
      {8, 101, 7, 100, true},   // both differ
      {5, 0, 0, 0, false},      // first frame with key B 0: continues the never-begun segment
      {0, 9, 0, 0, false},
      {3, 4, 0, 0, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(beginsNewSegment(c.a, c.b, c.rememberedA, c.rememberedB), c.begins)
        << c.a << "," << c.b << " against " << c.rememberedA << "," << c.rememberedB;
  }
}

}  // namespace
}  // namespace korvex
