// Recovery in the reader: damage planted in one recording file, and the
// frames the reader gives with and without recovery checked against the
// frames planted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "store/memory_source.h"
#include "store/recording_file_reader.h"
#include "support/store_writer.h"

namespace korvex {
namespace {

using testing::FrameSpec;
using testing::RecordingFileBuilder;
using testing::T0;

struct GivenFrame {
  std::uint64_t offset = 0;
  RecorderTime time = 0;
  std::uint32_t length = 0;
  bool recovered = false;
  bool residual = false;
};

struct Reading {
  std::vector<GivenFrame> frames;
  std::vector<FrameResync> resyncs;
  std::vector<ByteRange> unreadable;
  std::vector<DamagedFrame> damaged;
  std::vector<FramesOutsideWindow> outsideWindow;
  int readError = 0;
};

// Every frame of file 0 of folder 0; with `payloads` each payload is read and
// only the frames whose payload came in whole count.
Reading readFile(const MemorySource& source, bool recover, bool payloads) {
  Reading reading;
  RecordingFileReader reader;
  reader.setRecovery(recover);
  EXPECT_TRUE(reader.open(source.openFile(0, 0, ReadPattern::WholeFile)));
  RecordingFileHeader header;
  if (reader.readFileHeader(header)) {
    FrameHeader frame;
    PayloadBuffer payload;
    while (reader.nextFrame(frame)) {
      if (payloads) {
        if (!reader.readPayload(payload)) continue;
        EXPECT_EQ(payload.size(), frame.payloadLength);
      }
      reading.frames.push_back(
          {reader.frameOffset(), frame.timeStamp, frame.payloadLength, reader.frameRecovered(), reader.frameResidual()});
    }
  }
  reading.resyncs = reader.resyncs();
  reading.unreadable = reader.unreadable();
  reading.damaged = reader.damaged();
  reading.outsideWindow = reader.outsideWindow();
  reading.readError = reader.readError();
  return reading;
}

std::vector<std::uint8_t> randomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

FrameSpec frameAt(int i, std::size_t bytes = 16, std::int32_t keys = 1) {
  return testing::keyedFrame(i % 2, keys, keys, T0 + i, bytes);
}

constexpr std::uint64_t FIRST = FILE_HEADER_SIZE;

struct DamageCase {
  const char* name;
  // Builds the file; returns nothing, the case's numbers say what it holds.
  std::function<std::vector<std::uint8_t>()> build;
  std::size_t framesWithout;  // frames the plain rules give
  std::size_t framesWith;     // with recovery
  std::size_t recovered;      // of those, found past the end of frames
  std::size_t residual;
  std::vector<FrameResync> resyncs;
  // Frames listed as damaged, and frames passed over for their time.
  std::vector<std::pair<std::uint64_t, FrameFault>> damaged = {};
  std::uint64_t outsideWindow = 0;
};

// The recorder's clock reset to 2000-01-01 00:00:00.
constexpr RecorderTime CLOCK_RESET = 946684800;

std::vector<DamageCase> damageCases() {
  const std::uint64_t small = FRAME_HEADER_SIZE + 16;
  return {
      {"garbage region in mid-file",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 5; ++i) b.frame(frameAt(i));
         b.raw(randomBytes(1000, 7));
         for (int i = 5; i < 12; ++i) b.frame(frameAt(i));
         return b.bytes();
       },
       // Nothing confirms frame 4's length: it goes with the garbage.
       5, 11, 7, 0, {{FIRST + 4 * small, FIRST + 5 * small + 1000}}, {{FIRST + 4 * small, FrameFault::NoHeaderAfter}}},
      {"zeroed frame header",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 10; ++i) b.frame(frameAt(i));
         std::vector<std::uint8_t> bytes = b.bytes();
         std::memset(bytes.data() + FIRST + 4 * (FRAME_HEADER_SIZE + 16), 0, FRAME_HEADER_SIZE);
         return bytes;
       },
       4, 9, 5, 0, {{FIRST + 4 * small, FIRST + 5 * small}}},
      {"payload length pointing past the next header",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 10; ++i) {
           FrameSpec f = frameAt(i, 200);
           if (i == 4) f.payloadLength = 300;  // lands inside frame 5's payload
           b.frame(f);
         }
         return b.bytes();
       },
       5, 9, 5, 0, {{FIRST + 4 * 328, FIRST + 5 * 328}}, {{FIRST + 4 * 328, FrameFault::LengthPastHeader}}},
      {"a clock reset to 2000-01-01 up to the end of the file",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 3; ++i) b.frame(frameAt(i));
         b.raw(std::vector<std::uint8_t>(FRAME_HEADER_SIZE, 0));
         for (int i = 0; i < 5; ++i) b.frame(testing::keyedFrame(1, 2, 2, CLOCK_RESET + i));
         return b.bytes();
       },
       3, 3, 0, 0, {}, {}, 5},

      {"older frames of another segment behind a zero length",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 6; ++i) b.frame(testing::keyedFrame(0, 5, 5, T0 + 100 + i));
         FrameSpec end = testing::keyedFrame(0, 5, 5, T0 + 106, 0);
         b.frame(end);
         for (int i = 0; i < 4; ++i) b.frame(testing::keyedFrame(0, 3, 3, T0 + 10 + i));
         return b.bytes();
       },
       6, 10, 4, 4, {{FIRST + 6 * small, FIRST + 6 * small + FRAME_HEADER_SIZE}}},
      {"behind a zero length: older than the channel's newest by more than the margin, or than any channel's",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 6; ++i) b.frame(testing::keyedFrame(0, 5, 5, T0 + 100 + i));
         b.frame(testing::keyedFrame(0, 5, 5, T0 + 106, 0));
         for (const int t : {10, 11}) b.frame(testing::keyedFrame(1, 3, 3, T0 + t));
         for (const RecorderTime t : {105 - RESIDUAL_TIME_MARGIN, 104 - RESIDUAL_TIME_MARGIN})
           b.frame(testing::keyedFrame(0, 5, 5, T0 + t));
         return b.bytes();
       },
       6, 10, 4, 3, {{FIRST + 6 * small, FIRST + 6 * small + FRAME_HEADER_SIZE}}},
      {"a cut header and a wrong tail magic",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 3; ++i) b.frame(frameAt(i));
         FrameSpec wrong = frameAt(3);
         wrong.magicTail = 0x12345678;
         b.frame(wrong);
         std::vector<std::uint8_t> header(FRAME_HEADER_SIZE);
         testing::encodeFrameHeader(frameAt(4), header.data());
         header.resize(60);
         b.raw(header);
         for (int i = 5; i < 8; ++i) b.frame(frameAt(i));
         return b.bytes();
       },
       3, 6, 3, 0, {{FIRST + 3 * small, FIRST + 4 * small + 60}}},
      {"a header with an implausible time is not taken",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 3; ++i) b.frame(frameAt(i));
         b.raw(randomBytes(100, 3));
         b.frame(testing::keyedFrame(0, 1, 1, T0 + 3 * 366 * 24 * 3600));
         b.frame(frameAt(3));
         return b.bytes();
       },
       3, 3, 1, 0, {{FIRST + 2 * small, FIRST + 3 * small + 100 + small}},
       {{FIRST + 2 * small, FrameFault::NoHeaderAfter}}, 1},
      {"channel out of range and zero time found by the search are not taken",
       [] {
         RecordingFileBuilder b;
         b.frame(frameAt(0));
         b.raw(randomBytes(50, 4));
         b.frame(testing::keyedFrame(40, 1, 1, T0 + 1));
         b.frame(testing::keyedFrame(1, 1, 1, 0));
         b.frame(frameAt(2));
         return b.bytes();
       },
       1, 1, 1, 0, {{FIRST, FIRST + small + 50 + 2 * small}}, {{FIRST, FrameFault::NoHeaderAfter}}},
      // The writing ended with the last frame: nothing confirms its length,
      // nothing contradicts it.
      {"random bytes behind the frames hold none",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 4; ++i) b.frame(frameAt(i));
         b.raw(randomBytes(3 * 1024 * 1024, 11));
         return b.bytes();
       },
       4, 4, 0, 0, {}, {}},
      {"the newest frames written over older ones, cut mid-frame",
       [] {
         RecordingFileBuilder b;
         for (int i = 0; i < 3; ++i) b.frame(frameAt(i));
         RecordingFileBuilder older;
         older.frame(testing::keyedFrame(0, 1, 1, T0 - 3600, 16));
         b.raw(std::vector<std::uint8_t>(older.bytes().begin() + FIRST + 60, older.bytes().end()));
         b.frame(testing::keyedFrame(0, 1, 1, T0 - 3599, 16));
         return b.bytes();
       },
       3, 4, 1, 1, {{FIRST + 3 * small, FIRST + 3 * small + small - 60}}, {}},
  };
}

void expectNoOverlap(const std::vector<GivenFrame>& frames) {
  for (std::size_t i = 1; i < frames.size(); ++i)
    EXPECT_GE(frames[i].offset, frames[i - 1].offset + FRAME_HEADER_SIZE + frames[i - 1].length) << i;
}

// Every byte up to the end of the last frame given lies in a frame given, a
// resync or a frame passed over for its unreadable payload; every frame
// listed lies in what was passed over or behind the last frame given.
void expectEveryBytePassedOverListed(const Reading& r) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> passed;
  for (const FrameResync& x : r.resyncs) passed.emplace_back(x.endedAt, x.resumedAt);
  for (const DamagedFrame& d : r.damaged)
    if (d.fault == FrameFault::PayloadUnreadable)
      passed.emplace_back(d.offset, d.offset + FRAME_HEADER_SIZE + d.payloadLength);
  std::uint64_t at = FIRST;
  for (const GivenFrame& f : r.frames) {
    for (auto span = passed.begin(); span != passed.end() && at < f.offset;)
      span = span->first == at ? (at = span->second, passed.begin()) : span + 1;
    ASSERT_EQ(at, f.offset) << "bytes passed over unlisted";
    at = f.offset + FRAME_HEADER_SIZE + f.length;
  }
  const auto listed = [&](std::uint64_t offset) {
    return offset >= at ||
           std::any_of(passed.begin(), passed.end(), [&](auto& p) { return p.first <= offset && offset < p.second; });
  };
  for (const DamagedFrame& d : r.damaged) EXPECT_TRUE(listed(d.offset)) << d.offset;
  for (const FramesOutsideWindow& o : r.outsideWindow)
    EXPECT_TRUE(listed(o.firstOffset) && listed(o.firstOffset + o.bytes - 1)) << o.firstOffset;
}

TEST(RecoveryReaderTest, FramesAfterPlantedDamageAreFoundAndNoneInvented) {
  for (const DamageCase& c : damageCases()) {
    SCOPED_TRACE(c.name);
    MemorySource source;
    source.setFile(0, 0, c.build());
    for (const bool payloads : {false, true}) {
      const Reading plain = readFile(source, false, payloads);
      EXPECT_EQ(plain.frames.size(), c.framesWithout);
      EXPECT_TRUE(plain.resyncs.empty());
      const Reading recovered = readFile(source, true, payloads);
      ASSERT_EQ(recovered.frames.size(), c.framesWith);
      std::size_t found = 0, residual = 0;
      for (const GivenFrame& f : recovered.frames) {
        found += f.recovered ? 1 : 0;
        residual += f.residual ? 1 : 0;
        EXPECT_TRUE(f.recovered || !f.residual);
      }
      EXPECT_EQ(found, c.recovered);
      EXPECT_EQ(residual, c.residual);
      // The recovered frames are the last ones, and the frames before them
      // are those the plain rules give (less a frame whose length was wrong).
      for (std::size_t i = 0; i < recovered.frames.size(); ++i)
        EXPECT_EQ(recovered.frames[i].recovered, i >= c.framesWith - c.recovered) << i;
      expectNoOverlap(recovered.frames);
      ASSERT_EQ(recovered.resyncs.size(), c.resyncs.size());
      for (std::size_t i = 0; i < c.resyncs.size(); ++i) {
        EXPECT_EQ(recovered.resyncs[i].endedAt, c.resyncs[i].endedAt) << i;
        EXPECT_EQ(recovered.resyncs[i].resumedAt, c.resyncs[i].resumedAt) << i;
      }
      EXPECT_TRUE(recovered.unreadable.empty());
      ASSERT_EQ(recovered.damaged.size(), c.damaged.size());
      for (std::size_t i = 0; i < c.damaged.size(); ++i) {
        EXPECT_EQ(recovered.damaged[i].offset, c.damaged[i].first) << i;
        EXPECT_EQ(recovered.damaged[i].fault, c.damaged[i].second) << i;
      }
      std::uint64_t outside = 0;
      for (const FramesOutsideWindow& o : recovered.outsideWindow) outside += o.count;
      EXPECT_EQ(outside, c.outsideWindow);
      expectEveryBytePassedOverListed(recovered);
    }
  }
}

TEST(RecoveryReaderTest, HeadersAreFoundAtAnyPlaceAndAcrossTheSearchPieces) {
  // The frame after the garbage begins at every alignment to the 16 bytes
  // the search compares at once, and where its header straddles the end of
  // a piece the search reads.
  const std::uint64_t ended = FIRST + 2 * (FRAME_HEADER_SIZE + 16);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 1; n <= 40; ++n) lengths.push_back(n);
  for (std::size_t back = 0; back <= FRAME_HEADER_SIZE + 2; back += 13) lengths.push_back(RECOVERY_SEARCH_PIECE - back);
  for (const std::size_t garbage : lengths) {
    RecordingFileBuilder b;
    for (int i = 0; i < 2; ++i) b.frame(frameAt(i));
    b.raw(randomBytes(garbage, static_cast<std::uint32_t>(garbage)));
    for (int i = 2; i < 5; ++i) b.frame(frameAt(i));
    MemorySource source;
    source.setFile(0, 0, b.bytes());
    const Reading reading = readFile(source, true, false);
    // Frame 1 goes with the garbage: nothing confirms its length.
    ASSERT_EQ(reading.frames.size(), 4u) << garbage;
    ASSERT_EQ(reading.resyncs.size(), 1u) << garbage;
    EXPECT_EQ(reading.resyncs[0].resumedAt, ended + garbage) << garbage;
  }
}

TEST(RecoveryReaderTest, AStoreOfRandomBytesRecoversNothing) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    std::vector<std::uint8_t> bytes = randomBytes(FILE_HEADER_SIZE + 2 * 1024 * 1024, seed);
    // Head magic words strewn about without their tail, and a whole header
    // whose payload would run past the file.
    std::mt19937 random(seed);
    for (int i = 0; i < 2000; ++i) testing::putLe32(bytes.data() + random() % (bytes.size() - 4), FRAME_MAGIC_HEAD);
    std::vector<std::uint8_t> header(FRAME_HEADER_SIZE);
    FrameSpec tooLong = frameAt(1);
    tooLong.payloadLength = 20u * 1024 * 1024;
    testing::encodeFrameHeader(tooLong, header.data());
    std::memcpy(bytes.data() + FIRST + 4096, header.data(), header.size());
    MemorySource source;
    source.setFile(0, 0, bytes);
    const Reading reading = readFile(source, true, false);
    EXPECT_TRUE(reading.frames.empty()) << seed;
    EXPECT_TRUE(reading.resyncs.empty()) << seed;
  }
}

TEST(RecoveryReaderTest, UnreadableBlocksAreListedAndTheRestIsRead) {
  // 20 frames of 1128 bytes; the damage lies in frame 8's header, and its
  // 512-byte block takes the end of frame 7's payload and the start of
  // frame 8's with it.
  RecordingFileBuilder b;
  for (int i = 0; i < 20; ++i) b.frame(frameAt(i, 1000));
  MemorySource source;
  source.setFile(0, 0, b.bytes());
  const std::uint64_t frame8 = FIRST + 8 * 1128;
  source.setDamage(0, 0, frame8 + 10, frame8 + 20);
  const std::uint64_t block = frame8 / 512 * 512;

  struct Case {
    bool payloads;
    std::size_t plain, with;  // frame 7's payload is unreadable: read or not, it is lost
  };
  for (const Case c : {Case{false, 8, 18}, Case{true, 7, 18}}) {
    SCOPED_TRACE(c.payloads ? "payloads read" : "headers only");
    const Reading plain = readFile(source, false, c.payloads);
    EXPECT_EQ(plain.frames.size(), c.plain);
    EXPECT_EQ(plain.readError, EIO);
    const Reading recovered = readFile(source, true, c.payloads);
    EXPECT_EQ(recovered.readError, 0);
    ASSERT_EQ(recovered.frames.size(), c.with);
    EXPECT_EQ(recovered.frames[c.with - 11].offset, frame8 + 1128);
    std::size_t found = 0;
    for (const GivenFrame& f : recovered.frames) found += f.recovered ? 1 : 0;
    EXPECT_EQ(found, 11u);
    ASSERT_EQ(recovered.unreadable.size(), 1u);
    EXPECT_EQ(recovered.unreadable[0].offset, block);
    EXPECT_EQ(recovered.unreadable[0].length, 512u);
    ASSERT_EQ(recovered.resyncs.size(), 1u);
    EXPECT_EQ(recovered.resyncs[0].endedAt, frame8);
    EXPECT_EQ(recovered.resyncs[0].resumedAt, frame8 + 1128);
    ASSERT_EQ(recovered.damaged.size(), 1u);
    EXPECT_EQ(recovered.damaged[0].offset, frame8 - 1128);
    EXPECT_EQ(recovered.damaged[0].fault, FrameFault::PayloadUnreadable);
    expectNoOverlap(recovered.frames);
    expectEveryBytePassedOverListed(recovered);
  }
}

TEST(RecoveryReaderTest, AnUndamagedFileReadsAlikeWithAndWithoutRecovery) {
  RecordingFileBuilder b;
  for (int i = 0; i < 50; ++i) b.frame(frameAt(i, 100 + static_cast<std::size_t>(i) * 37));
  b.raw(std::vector<std::uint8_t>(5000, 0));
  MemorySource source;
  source.setFile(0, 0, b.bytes());
  const Reading plain = readFile(source, false, true);
  const Reading recovered = readFile(source, true, true);
  ASSERT_EQ(plain.frames.size(), 50u);
  ASSERT_EQ(recovered.frames.size(), 50u);
  for (std::size_t i = 0; i < 50; ++i) {
    EXPECT_EQ(recovered.frames[i].offset, plain.frames[i].offset);
    EXPECT_FALSE(recovered.frames[i].recovered);
  }
  EXPECT_TRUE(recovered.resyncs.empty());
}

}  // namespace
}  // namespace korvex
