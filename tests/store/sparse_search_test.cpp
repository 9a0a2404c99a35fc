// Recovery's search over files whose size claims far more than is stored,
// and a search that a stop ends: a terabyte is never read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "store/disk_source.h"
#include "store/image_source.h"
#include "store/recording_file_reader.h"
#include "support/disk_images.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::RecordingFileBuilder;
using testing::T0;
using testing::TempDir;

constexpr std::uint64_t TIB = 1ull << 40;
constexpr auto QUICK = std::chrono::seconds(10);

struct SearchEnd {
  std::size_t frames = 0;
  std::chrono::steady_clock::duration took{};
};

SearchEnd readAllFrames(RecordingFileReader& reader) {
  const auto start = std::chrono::steady_clock::now();
  SearchEnd end;
  RecordingFileHeader header;
  FrameHeader frame;
  if (reader.readFileHeader(header))
    while (reader.nextFrame(frame)) ++end.frames;
  end.took = std::chrono::steady_clock::now() - start;
  return end;
}

// Three frames, then a terabyte the file system stores nothing for.
RecordingFileBuilder threeFrames() {
  RecordingFileBuilder file;
  for (int i = 0; i < 3; ++i) file.frame(testing::keyedFrame(0, 1, 1, T0 + i, 2000));
  return file;
}

bool holesAreKnown(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  const off_t at = lseek(fd, static_cast<off_t>(TIB / 2), SEEK_DATA);
  const int error = errno;
  ::close(fd);
  return at < 0 && error == ENXIO;
}

class SparseSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = work_.file("store/dir00000/file0000.dat");
    threeFrames().writeTo(path);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(TIB)), 0) << std::strerror(errno);
    if (!holesAreKnown(path)) GTEST_SKIP() << "this file system does not tell where a file's holes are";
  }
  TempDir work_;
};

TEST_F(SparseSearchTest, AFolderFileOfATerabyteIsSearchedOnlyWhereItHoldsData) {
  RecordingFileReader reader;
  reader.setRecovery(true);
  ASSERT_TRUE(reader.open(work_.file("store/dir00000/file0000.dat")));
  const SearchEnd end = readAllFrames(reader);
  EXPECT_EQ(end.frames, 3u);
  EXPECT_LT(end.took, QUICK);
  ASSERT_EQ(reader.resyncs().size(), 0u);
}

TEST_F(SparseSearchTest, AFileOfATerabyteInsideAnExt4ImageIsSearchedOnlyWhereItHoldsData) {
  const std::string missing = testing::missingTools({"mkfs.ext4"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  const std::string image = work_.file("ext4.img");
  ASSERT_EQ(testing::makeExt4Image(work_.file("store"), image, 16 << 20), "");
  for (const bool direct : {true, false}) {
    SCOPED_TRACE(direct ? "direct reads" : "reads through the file system library");
    DiskOptions options;
    options.image.directReads = direct;
    const OpenedDisk opened = openDisk(image, 0, options);
    ASSERT_TRUE(opened) << diskFailureText(opened.failure);
    const auto& source = opened.source;
    RecordingFileReader reader;
    reader.setRecovery(true);
    ASSERT_TRUE(reader.open(source->openFile(0, 0, ReadPattern::WholeFile)));
    const SearchEnd end = readAllFrames(reader);
    EXPECT_EQ(end.frames, 3u);
    EXPECT_LT(end.took, QUICK);
  }
}

// A terabyte that is all stored, none of it a frame: only a stop ends the
// search in time.
class EndlessJunk final : public SourceFile {
 public:
  std::uint64_t size() const override { return TIB; }
  std::int64_t readAt(std::uint64_t offset, const iovec* parts, int count) override {
    std::uint64_t done = 0;
    for (int i = 0; i < count && offset + done < TIB; ++i) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(parts[i].iov_len, TIB - offset - done));
      std::memset(parts[i].iov_base, 0x6b, n);  // 'k', the head magic's first byte
      done += n;
    }
    return static_cast<std::int64_t>(done);
  }
};

TEST(StoppedSearchTest, AStopEndsASearchBetweenTwoPieces) {
  StopRequest stop;
  RecordingFileReader reader;
  reader.setRecovery(true);
  reader.setStopRequest(&stop);
  ASSERT_TRUE(reader.open(OpenedFile{std::make_unique<EndlessJunk>(), {}}));
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.request();
  });
  const SearchEnd end = readAllFrames(reader);
  stopper.join();
  EXPECT_EQ(end.frames, 0u);
  EXPECT_LT(end.took, QUICK);
  EXPECT_EQ(reader.readError(), 0);
}

}  // namespace
}  // namespace korvex
