#include "store/memory_source.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "store/recording_file_reader.h"
#include "support/store_writer.h"

namespace korvex {
namespace {

std::vector<std::uint8_t> counting(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  return bytes;
}

TEST(MemorySourceTest, FilesReadAsPutAndOthersAreMissing) {
  MemorySource source;
  source.setFile(0, 3, counting(1000));
  source.setFile(2, 0, {});
  EXPECT_EQ(source.countFolders(), 2);
  source.setFolderCount(5);
  EXPECT_EQ(source.countFolders(), 5);
  EXPECT_EQ(source.filePath(0, 3), "memory:dir00000/file0003.dat");

  OpenedFile opened = source.openFile(0, 3, ReadPattern::WholeFile);
  ASSERT_NE(opened.file, nullptr);
  EXPECT_EQ(opened.file->size(), 1000u);
  std::uint8_t a[10], b[600];
  const iovec parts[2] = {{a, sizeof a}, {b, sizeof b}};
  EXPECT_EQ(opened.file->readAt(500, parts, 2), 500);  // cut at the end
  EXPECT_EQ(a[0], static_cast<std::uint8_t>(500 * 7));
  EXPECT_EQ(b[489], static_cast<std::uint8_t>(999 * 7));
  EXPECT_EQ(opened.file->readAt(1000, a, sizeof a), 0);
  EXPECT_EQ(opened.file->readAt(5000, a, sizeof a), 0);

  const OpenedFile missing = source.openFile(0, 4, ReadPattern::WholeFile);
  EXPECT_EQ(missing.file, nullptr);
  EXPECT_TRUE(missing.failure.missing());
  EXPECT_EQ(missing.failure.errorNumber, ENOENT);
  ASSERT_NE(source.openFile(2, 0, ReadPattern::WholeFile).file, nullptr);
}

TEST(MemorySourceTest, ADamagedStretchFailsOnlyTheReadsThatTouchIt) {
  MemorySource source;
  source.setFile(1, 1, counting(10000));
  source.setDamage(1, 1, 4000, 4100);
  OpenedFile opened = source.openFile(1, 1, ReadPattern::WholeFile);
  ASSERT_NE(opened.file, nullptr);
  std::vector<std::uint8_t> buffer(200);
  struct Case {
    std::uint64_t at;
    std::int64_t result;
  };
  for (const Case c : {Case{3700, 200}, Case{3801, -1}, Case{4099, -1}, Case{4100, 200}, Case{9900, 100}}) {
    errno = 0;
    EXPECT_EQ(opened.file->readAt(c.at, buffer.data(), buffer.size()), c.result) << c.at;
    if (c.result < 0) {
      EXPECT_EQ(errno, EIO);
    }
  }
}

TEST(MemorySourceTest, TheReaderReadsAFileFromMemory) {
  testing::RecordingFileBuilder builder;
  for (int i = 0; i < 4; ++i) builder.frame(testing::keyedFrame(i, 1, 1, testing::T0 + i, 100u + static_cast<std::size_t>(i)));
  MemorySource source;
  source.setFile(0, 0, builder.bytes());
  RecordingFileReader reader;
  ASSERT_TRUE(reader.open(source.openFile(0, 0, ReadPattern::WholeFile)));
  RecordingFileHeader header;
  ASSERT_TRUE(reader.readFileHeader(header));
  FrameHeader frame;
  PayloadBuffer payload;
  int frames = 0;
  while (reader.nextFrame(frame)) {
    ASSERT_TRUE(reader.readPayload(payload));
    EXPECT_EQ(frame.channel, frames);
    EXPECT_EQ(payload.size(), 100u + static_cast<std::size_t>(frames));
    ++frames;
  }
  EXPECT_EQ(frames, 4);
}

}  // namespace
}  // namespace korvex
