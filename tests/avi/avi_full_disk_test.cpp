// An output disk that fills up while real media is written: the file keeps
// the chunks that reached the disk whole, its index lists exactly those, it
// is finished as far as the disk allows and players read every frame it
// counts. And what the buffers of many open files cost in memory.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "avi/avi_file.h"
#include "avi_test_support.h"
#include "support/avi_contents.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/scratch_mount.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using namespace avitest;
using testing::AviContents;
using testing::TempDir;

void defineSampleStreams(AviFile& avi) {
  avi.defineVideo(testing::SAMPLE_WIDTH, testing::SAMPLE_HEIGHT, testing::SAMPLE_FRAME_RATE, "X264");
  avi.addAudioTrack(1, 8000, 8, 6, 64);
}

// Picture i of the sample pictures over and over (a key frame with its
// parameter sets every 25), followed by a block of sound, as the backup
// writes them. False when a chunk fails.
bool putSamplePicture(AviFile& avi, std::size_t i) {
  const auto& unit = testing::sampleVideo()[i % testing::sampleVideo().size()];
  const auto block = testing::sampleAudioBlock(i);
  return avi.putVideoFrame(unit.bytes.data(), static_cast<std::int32_t>(unit.bytes.size()), unit.key) &&
         avi.putAudio(block.data(), static_cast<std::int32_t>(block.size()));
}

// Stops at the first chunk that fails; returns the pictures put.
std::size_t putSampleMedia(AviFile& avi, std::size_t pictures) {
  defineSampleStreams(avi);
  for (std::size_t i = 0; i < pictures; ++i) {
    if (!putSamplePicture(avi, i)) return i;
  }
  return pictures;
}

// What a finished file must be after a full disk: chunks in the order and
// with the bytes they were put with, none of them cut, the header's counts
// those of the chunks, an index that lists exactly them (when there is
// one), and players that read and decode every frame.
void expectSoundFile(const std::string& path, const AviFile& avi) {
  const AviContents contents = testing::readAviContents(path);
  ASSERT_TRUE(contents.valid);
  const auto bytes = fileBytes(path);
  const std::uint32_t mediaEnd = 2044 + le32(bytes, 2040);
  if (le32(bytes, 44) == 0x110) {
    EXPECT_EQ(contents.indexMismatch(), "");
    EXPECT_EQ(bytes.size(), mediaEnd + 8 + 16 * contents.chunks.size());
  } else {
    EXPECT_EQ(le32(bytes, 44), 0x100u);
    EXPECT_EQ(bytes.size(), mediaEnd);  // no idx1, nothing after the media
  }
  EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);

  const auto& video = testing::sampleVideo();
  std::size_t pictures = 0, blocks = 0;
  std::uint32_t soundBytes = 0;
  for (std::size_t i = 0; i < contents.chunks.size(); ++i) {
    const auto& chunk = contents.chunks[i];
    SCOPED_TRACE(i);
    if (i % 2 == 0) {
      ASSERT_EQ(chunk.id, "00db");
      ASSERT_EQ(chunk.data, video[pictures % video.size()].bytes);
      ++pictures;
    } else {
      ASSERT_EQ(chunk.id, "01wb");
      ASSERT_EQ(chunk.data, testing::sampleAudioBlock(blocks));
      soundBytes += static_cast<std::uint32_t>(chunk.data.size());
      ++blocks;
    }
  }
  EXPECT_EQ(contents.totalFrames, pictures);
  EXPECT_EQ(static_cast<std::size_t>(avi.videoFrameCount()), pictures);
  EXPECT_EQ(le32(bytes, 212 + 52), soundBytes);  // the sound stream's length
  EXPECT_EQ(avi.streams().audio_tracks[0].byte_count, soundBytes);
  ASSERT_GT(pictures, 0u);

  if (!testing::programOnPath("ffprobe") || !testing::programOnPath("ffmpeg")) return;
  const auto probe = testing::probeMedia(path);
  ASSERT_EQ(probe.run.exitStatus, 0) << probe.run.err;
  const auto videoStreams = probe.streamsOfType("video");
  ASSERT_EQ(videoStreams.size(), 1u);
  EXPECT_EQ(videoStreams[0].at("nb_read_frames"), std::to_string(pictures));
  const auto audioStreams = probe.streamsOfType("audio");
  ASSERT_EQ(audioStreams.size(), 1u);
  EXPECT_EQ(audioStreams[0].at("nb_read_packets"), std::to_string(blocks));
  const auto decoded = testing::decodeMedia(path);
  EXPECT_EQ(decoded.exitStatus, 0);
  EXPECT_EQ(decoded.err, "");
}

// RLIMIT_FSIZE stands for the full disk: it stops the file at a byte of our
// choosing. With the limit lifted before finishing there is room for the
// index; with it kept, the file is finished without one.
TEST(AviFullDisk, FileKeepsTheWholeChunksAndItsIndexListsThem) {
  struct Case {
    std::size_t pictures;
    rlim_t limit;
    bool roomAtTheEnd;
  };
  const Case cases[] = {
      {3000, 7048, true},    {3000, 7048, false},          // inside the first block written
      {3000, 300000, true},  {3000, 300000, false},        // inside a later one
      {3000, 524288, false},                               // on a block boundary
      {3000, 900001, true},  {3000, 900001, false},        // at an odd byte further on
      {200, 60000, false},                                 // everything still gathered when finished
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.pictures << " pictures, limit " << c.limit << ", room "
                                      << c.roomAtTheEnd);
    TempDir dir;
    const std::string path = dir.file("full.avi");
    auto avi = createAvi(path);
    ASSERT_NE(avi, nullptr);
    bool finished = false;
    {
      FileSizeLimit limit(c.limit);
      ASSERT_TRUE(limit.ok());
      const std::size_t put = putSampleMedia(*avi, c.pictures);
      if (c.pictures == 3000) {
        EXPECT_LT(put, c.pictures);
        EXPECT_EQ(avi->lastFailure().code, FailureCode::AviNotWritten);
        EXPECT_EQ(avi->lastFailure().errorNumber, EFBIG);
      }
      if (!c.roomAtTheEnd) finished = avi->finish();
    }
    if (c.roomAtTheEnd) {
      EXPECT_TRUE(avi->finish());
      EXPECT_EQ(le32(fileBytes(path), 44), 0x110u);
    } else {
      EXPECT_FALSE(finished);
      EXPECT_LE(static_cast<rlim_t>(fileSize(path)), c.limit);
    }
    expectSoundFile(path, *avi);
  }
}

// A real full disk: a small tmpfs. Two files fill it together; both are
// finished and play.
TEST(AviFullDisk, SmallFileSystemFilledByTwoFiles) {
  testing::ScratchMount small(1024 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  Failure failure;
  auto first = AviFile::create(small.path() + "/first.avi", failure);
  auto second = AviFile::create(small.path() + "/second.avi", failure);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  // Picture by picture into both, as the backup mixes its channels, until
  // both have failed.
  defineSampleStreams(*first);
  defineSampleStreams(*second);
  bool firstFull = false, secondFull = false;
  for (std::size_t i = 0; i < 5000 && !(firstFull && secondFull); ++i) {
    if (!firstFull) firstFull = !putSamplePicture(*first, i);
    if (!secondFull) secondFull = !putSamplePicture(*second, i);
  }
  ASSERT_TRUE(firstFull && secondFull);
  for (const AviFile* avi : {first.get(), second.get()}) {
    EXPECT_EQ(avi->lastFailure().code, FailureCode::AviNotWritten);
    EXPECT_EQ(avi->lastFailure().errorNumber, ENOSPC);
  }
  first->finish();
  second->finish();
  {
    SCOPED_TRACE("first");
    expectSoundFile(small.path() + "/first.avi", *first);
  }
  {
    SCOPED_TRACE("second");
    expectSoundFile(small.path() + "/second.avi", *second);
  }
}

// Bytes of this process's data segment, from /proc/self/status.
[[maybe_unused]] std::size_t dataSegmentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    unsigned long kib = 0;
    if (std::sscanf(line.c_str(), "VmData: %lu kB", &kib) == 1) return static_cast<std::size_t>(kib) * 1024;
  }
  return 0;
}

// The backup keeps up to 32 files open at once; their buffers and indexes
// together stay far below the job's 64 MiB.
TEST(AviMemory, ThirtyTwoOpenFilesTakeFarLessThan64MiB) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers keep freed memory and their own";
#else
  TempDir dir;
  const auto picture = pattern(35000);
  const std::size_t before = dataSegmentBytes();
  ASSERT_GT(before, 0u);
  std::vector<std::unique_ptr<AviFile>> files;
  for (int i = 0; i < 32; ++i) {
    files.push_back(createAvi(dir.file("open" + std::to_string(i) + ".avi")));
    ASSERT_NE(files.back(), nullptr);
  }
  // About 2 MiB into each file, mixed as the backup mixes channels.
  for (int round = 0; round < 60; ++round) {
    for (auto& file : files) {
      ASSERT_TRUE(file->putVideoFrame(picture.data(), static_cast<std::int32_t>(picture.size()), round % 25 == 0));
      ASSERT_TRUE(file->putAudio(picture.data(), 320));
    }
  }
  const std::size_t grown = dataSegmentBytes() - before;
  EXPECT_LT(grown, 24u << 20) << grown << " bytes for 32 open files";
  for (auto& file : files) EXPECT_TRUE(file->finish());
#endif
}

}  // namespace
}  // namespace korvex
