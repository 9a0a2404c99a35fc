// How the writer fails: failure codes, the size limit, full devices, files
// that may not grow, and the two process exits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "avi/avi_writer.h"
#include "avi_test_support.h"
#include "support/scratch_mount.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using namespace avitest;
using testing::RecordingFileBuilder;
using testing::TempDir;

// Points the writer's descriptor at /dev/full: every write from now on
// fails with ENOSPC, as on a full disk, while seeks still succeed.
bool makeDeviceFull(AviWriter* writer) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) return false;
  const bool swapped = dup2(full, writer->output_fd) == writer->output_fd;
  close(full);
  return swapped;
}

TEST(AviCreateFailure, PathInMissingFolderGivesCode2) {
  TempDir dir;
  const std::string path = dir.path() + "/missing/out.avi";
  AVI_last_error = 0;
  EXPECT_EQ(AVI_create_output(path.c_str()), nullptr);
  EXPECT_EQ(AVI_last_error.load(), 2);
  EXPECT_EQ(fileSize(path), -1);

  AVI_last_error = 0;
  EXPECT_EQ(AVI_create_output(dir.path().c_str()), nullptr);  // a folder
  EXPECT_EQ(AVI_last_error.load(), 2);
}

TEST(AviCreateFailure, AnExistingNameOrLinkIsNeverOpened) {
  TempDir dir;
  const std::string target = dir.file("target");
  RecordingFileBuilder before;
  before.raw(std::vector<std::uint8_t>(100, 0x11)).writeTo(target);
  const std::string link = dir.file("link.avi");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  const std::string dangling = dir.file("dangling.avi");
  ASSERT_EQ(symlink(dir.file("nothing").c_str(), dangling.c_str()), 0);
  for (const std::string& path : {std::string("/dev/full"), target, link, dangling}) {
    SCOPED_TRACE(path);
    AVI_last_error = 0;
    errno = 0;
    EXPECT_EQ(AVI_create_output(path.c_str()), nullptr);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(AVI_last_error.load(), 2);
  }
  EXPECT_TRUE(fileBytes(target) == before.bytes());
  struct stat info {};
  EXPECT_NE(stat(dir.file("nothing").c_str(), &info), 0);  // the dangling link made nothing
}

TEST(AviCreateFailure, AFileThatGetsNoHeaderBlockIsRemoved) {
  testing::ScratchMount small(64 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  // Fill the disk to the last block.
  const std::string filler = small.path() + "/filler";
  {
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const std::vector<char> block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
  }
  const std::string path = small.path() + "/full.avi";
  AVI_last_error = 0;
  errno = 0;
  EXPECT_EQ(AVI_create_output(path.c_str()), nullptr);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(AVI_last_error.load(), 4);
  struct stat info {};
  EXPECT_NE(lstat(path.c_str(), &info), 0);
}

TEST(AviCreateFailure, SuccessDoesNotClearTheLastCode) {
  TempDir dir;
  AVI_last_error = 0;
  EXPECT_EQ(AVI_create_output((dir.path() + "/missing/x.avi").c_str()), nullptr);
  AviWriterHandle writer(AVI_create_output(dir.file("ok.avi").c_str()));
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(AVI_last_error.load(), 2);
}

TEST(AviCreate, NewFileModeIsReadWriteForAllLessUmask) {
  struct Case {
    mode_t umask;
    mode_t mode;
  };
  const Case cases[] = {{0022, 0644}, {0077, 0600}, {0, 0666}, {0277, 0400}};
  TempDir dir;
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = dir.file("mode" + std::to_string(n++) + ".avi");
    const mode_t saved = umask(c.umask);
    AviWriter* writer = AVI_create_output(path.c_str());
    umask(saved);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(AVI_finish(writer), 0);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.mode) << "umask " << std::oct << c.umask;
  }
}

TEST(AviCreate, AnEarlierFileIsNeverReopened) {
  TempDir dir;
  const std::string path = dir.file("again.avi");
  {
    std::ofstream old(path, std::ios::binary);
    const std::string tail(10000, '\xAA');
    old << tail;
  }
  errno = 0;
  EXPECT_EQ(AVI_create_output(path.c_str()), nullptr);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_TRUE(fileBytes(path) == std::vector<std::uint8_t>(10000, 0xAA));
}

// write_pos is moved to just below AVI_SIZE_LIMIT through the test seam;
// the file itself stays small.
TEST(AviSizeLimit, ChunkEndingExactlyAtLimitIsAcceptedOneMoreByteRefused) {
  TempDir dir;
  const std::string path = dir.file("limit.avi");
  AviWriter* writer = AVI_create_output(path.c_str());
  ASSERT_NE(writer, nullptr);
  const std::uint32_t length = 100;
  // write_pos + 8 + length + 16 x 1 + 8 == AVI_SIZE_LIMIT
  const std::uint32_t chunkAt = AVI_SIZE_LIMIT - 8 - length - 16 - 8;
  AVI_skip_ahead_for_test(writer, chunkAt - 2048);
  ASSERT_EQ(writer->write_pos, chunkAt);
  const auto data = pattern(length + 1);

  AVI_last_error = 0;
  EXPECT_EQ(AVI_put_video_frame(writer, data.data(), length + 1, 1), -1);
  EXPECT_EQ(AVI_last_error.load(), 1);
  EXPECT_EQ(writer->write_pos, chunkAt);
  EXPECT_EQ(writer->index_used, 0);
  EXPECT_EQ(writer->video_frame_count, 0);
  EXPECT_EQ(fileSize(path), 2048);

  AVI_last_error = 0;
  EXPECT_EQ(AVI_put_video_frame(writer, data.data(), length, 1), 0);
  EXPECT_EQ(AVI_last_error.load(), 0);
  EXPECT_EQ(writer->write_pos, chunkAt + 8 + length);
  EXPECT_EQ(writer->video_frame_count, 1);

  // Nothing more fits, not even an empty chunk.
  EXPECT_EQ(AVI_put_audio(writer, data.data(), 0), -1);
  EXPECT_EQ(AVI_last_error.load(), 1);
  EXPECT_EQ(writer->audio_tracks[0].byte_count, 0);

  ASSERT_EQ(AVI_finish(writer), 0);
  const auto bytes = fileBytes(path);
  // The file the writer counts ends exactly at the limit.
  EXPECT_EQ(le32(bytes, 4), AVI_SIZE_LIMIT - 8);
  EXPECT_EQ(le32(bytes, 2040), chunkAt + 8 + length - 2044);
  ASSERT_EQ(bytes.size(), 2048u + 8 + length + 8 + 16);  // no 4 GiB file on disk
  EXPECT_EQ(fourcc(bytes, 2048), "00db");
  EXPECT_EQ(fourcc(bytes, 2048 + 8 + length), "idx1");
  EXPECT_EQ(le32(bytes, 2048 + 8 + length + 16), chunkAt);
}

TEST(AviSizeLimit, LargeChunkNearLimitDoesNotWrapAround) {
  TempDir dir;
  AviWriterHandle writer(AVI_create_output(dir.file("wrap.avi").c_str()));
  ASSERT_NE(writer, nullptr);
  AVI_skip_ahead_for_test(writer.get(), AVI_SIZE_LIMIT - 4096 - 2048);
  const auto data = pattern(16);
  // Summed in 32 bits these would wrap round to a small number.
  for (std::int32_t length : {INT32_MAX, INT32_MAX - 4095, 0x7FFFF000}) {
    AVI_last_error = 0;
    EXPECT_EQ(AVI_put_video_frame(writer.get(), data.data(), length, 1), -1) << length;
    EXPECT_EQ(AVI_last_error.load(), 1) << length;
  }
  EXPECT_EQ(writer->index_used, 0);
}

TEST(AviChunkFailure, NegativeLengthOrMissingDataIsRefusedWithoutWriting) {
  TempDir dir;
  const std::string path = dir.file("negative.avi");
  AviWriterHandle writer(AVI_create_output(path.c_str()));
  ASSERT_NE(writer, nullptr);
  const auto data = pattern(16);
  AVI_last_error = 0;
  EXPECT_EQ(AVI_put_video_frame(writer.get(), data.data(), -1, 1), -1);
  EXPECT_EQ(AVI_last_error.load(), 4);
  AVI_last_error = 0;
  EXPECT_EQ(AVI_put_audio(writer.get(), data.data(), INT32_MIN), -1);
  EXPECT_EQ(AVI_last_error.load(), 4);
  AVI_last_error = 0;
  EXPECT_EQ(AVI_put_video_frame(writer.get(), nullptr, 10, 1), -1);
  EXPECT_EQ(AVI_last_error.load(), 4);
  EXPECT_EQ(writer->index_used, 0);
  EXPECT_EQ(writer->write_pos, 2048u);
  EXPECT_EQ(fileSize(path), 2048);
  // An empty chunk needs no data.
  EXPECT_EQ(AVI_put_video_frame(writer.get(), nullptr, 0, 1), 0);
}

TEST(AviChunkFailure, FullDeviceGivesCode4AndChangesNothing) {
  TempDir dir;
  AviWriter* writer = AVI_create_output(dir.file("full.avi").c_str());
  ASSERT_NE(writer, nullptr);
  const auto data = pattern(100);
  ASSERT_EQ(AVI_put_video_frame(writer, data.data(), 100, 1), 0);
  ASSERT_TRUE(makeDeviceFull(writer));

  AVI_last_error = 0;
  EXPECT_EQ(AVI_put_video_frame(writer, data.data(), 100, 1), -1);
  EXPECT_EQ(AVI_last_error.load(), 4);
  AVI_last_error = 0;
  EXPECT_EQ(AVI_put_audio(writer, data.data(), 51), -1);
  EXPECT_EQ(AVI_last_error.load(), 4);
  EXPECT_EQ(writer->video_frame_count, 1);
  EXPECT_EQ(writer->audio_tracks[0].byte_count, 0);
  EXPECT_EQ(writer->write_pos, 2156u);
  EXPECT_EQ(writer->index_used, 1);  // the failed chunks' entries are withdrawn

  // Finishing: idx1 fails (5), then the final block (6), the last one stays.
  AVI_last_error = 0;
  EXPECT_EQ(AVI_finish(writer), -1);
  EXPECT_EQ(AVI_last_error.load(), 6);
}

TEST(AviHeaderFailure, FullDeviceGivesCode6AndKeepsTheSetUp) {
  TempDir dir;
  const std::string path = dir.file("header.avi");
  AviWriter* writer = AVI_create_output(path.c_str());
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(makeDeviceFull(writer));

  AVI_last_error = 0;
  AVI_define_video(writer, 176, 144, 25.0, "X264");
  EXPECT_EQ(AVI_last_error.load(), 6);
  EXPECT_EQ(writer->frame_width, 176);
  EXPECT_EQ(writer->frame_height, 144);
  EXPECT_STREQ(writer->codec_fourcc, "X264");
  AVI_last_error = 0;
  AVI_add_audio_track(writer, 1, 8000, 8, 6, 64);
  EXPECT_EQ(AVI_last_error.load(), 6);
  EXPECT_EQ(writer->audio_track_count, 1);
  EXPECT_EQ(AVI_write_header_block(writer), -1);
  EXPECT_EQ(AVI_finish(writer), -1);
  EXPECT_EQ(fileBytes(path), std::vector<std::uint8_t>(2048, 0));
}

// The media fits under the file size limit, the index does not: the file
// is still finalised, marked as having no index, and cut after the media.
TEST(AviIndexFailure, IndexThatCannotBeWrittenGivesCode5) {
  TempDir dir;
  const std::string path = dir.file("noindex.avi");
  AviWriter* writer = AVI_create_output(path.c_str());
  ASSERT_NE(writer, nullptr);
  AVI_define_video(writer, 176, 144, 25.0, "X264");
  const auto data = pattern(100);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(AVI_put_video_frame(writer, data.data(), 100, i == 0), 0);
  const std::uint32_t mediaEnd = writer->write_pos;
  ASSERT_EQ(mediaEnd, 2048u + 3 * 108);

  int result = 0;
  {
    FileSizeLimit limit(mediaEnd + 20);  // part of idx1 gets in, not all
    ASSERT_TRUE(limit.ok());
    AVI_last_error = 0;
    result = AVI_finish(writer);
  }
  EXPECT_EQ(result, -1);
  EXPECT_EQ(AVI_last_error.load(), 5);

  const auto bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), mediaEnd);  // the partial idx1 is cut off
  EXPECT_EQ(le32(bytes, 44), 0x100u);
  EXPECT_EQ(le32(bytes, 4), mediaEnd - 8);
  EXPECT_EQ(le32(bytes, 2040), mediaEnd - 2044);
  EXPECT_EQ(le32(bytes, 48), 3u);
  EXPECT_EQ(fourcc(bytes, 2048 + 2 * 108), "00db");
}

// A chunk that gets only partly into the file fails with code 4; the next
// chunk takes its offset and is the only one indexed there.
TEST(AviChunkFailure, FailedChunkLeavesNextChunkAtSameOffset) {
  TempDir dir;
  const std::string path = dir.file("retry.avi");
  AviWriter* writer = AVI_create_output(path.c_str());
  ASSERT_NE(writer, nullptr);
  AVI_define_video(writer, 176, 144, 25.0, "X264");
  const auto first = pattern(100, 1);
  const auto lost = pattern(1000, 2);
  const auto next = pattern(31, 3);
  ASSERT_EQ(AVI_put_video_frame(writer, first.data(), 100, 1), 0);
  {
    FileSizeLimit limit(2156 + 50);
    ASSERT_TRUE(limit.ok());
    AVI_last_error = 0;
    EXPECT_EQ(AVI_put_video_frame(writer, lost.data(), 1000, 0), -1);
    EXPECT_EQ(AVI_last_error.load(), 4);
  }
  EXPECT_EQ(fileSize(path), 2156 + 50);  // a part of it reached the file
  EXPECT_EQ(writer->write_pos, 2156u);
  EXPECT_EQ(writer->video_frame_count, 1);
  EXPECT_EQ(writer->index_used, 1);

  ASSERT_EQ(AVI_put_video_frame(writer, next.data(), 31, 0), 0);
  ASSERT_EQ(AVI_finish(writer), 0);

  std::vector<std::uint8_t> media, index;
  appendChunk(media, "00db", first);
  appendChunk(media, "00db", next);
  appendIndexEntry(index, {"00db", 0x10, 2048, 100});
  appendIndexEntry(index, {"00db", 0, 2156, 31});
  appendChunk(media, "idx1", index);
  const auto bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), 2048 + media.size());
  const std::vector<std::uint8_t> tail(bytes.begin() + 2048, bytes.end());
  EXPECT_EQ(firstDifference(tail, media), -1);
  EXPECT_EQ(le32(bytes, 48), 2u);
  EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
}

TEST(AviAudioTrackDeathTest, NinthTrackEndsTheProcess) {
  // The default (forking) style: the child writes into this test's folder,
  // which the parent removes.
  TempDir dir;
  const std::string path = dir.file("tracks.avi");
  EXPECT_EXIT(
      {
        AviWriter* writer = AVI_create_output(path.c_str());
        if (writer == nullptr) std::_Exit(3);
        for (int t = 0; t < 9; ++t) AVI_add_audio_track(writer, 1, 8000, 8, 6, 64);
        std::_Exit(2);
      },
      ::testing::ExitedWithCode(1), "^error - only 8 audio tracks supported\n$");

  AviWriterHandle writer(AVI_create_output(dir.file("eight.avi").c_str()));
  ASSERT_NE(writer, nullptr);
  for (int t = 0; t < 8; ++t) AVI_add_audio_track(writer.get(), 1, 8000, 8, 6, 64);
  EXPECT_EQ(writer->audio_track_count, 8);
}

// Data segment of this process in bytes, from /proc/self/status.
[[maybe_unused]] rlim_t dataSegmentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    unsigned long kib = 0;
    if (std::sscanf(line.c_str(), "VmData: %lu kB", &kib) == 1) return static_cast<rlim_t>(kib) * 1024;
  }
  return 0;
}

// The index lives in memory that may run out: growing it then fails with
// code 8, no chunk is written and what was indexed stays, so the file can
// still be finished. Run in a child whose data segment is capped.
TEST(AviIndexDeathTest, IndexThatCannotGrowGivesCode8) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve memory that a data limit would refuse";
#else
  TempDir dir;
  const std::string path = dir.file("memory.avi");
  EXPECT_EXIT(
      {
        AviWriter* writer = AVI_create_output(path.c_str());
        const rlim_t used = dataSegmentBytes();
        rlimit limit{};
        getrlimit(RLIMIT_DATA, &limit);
        const rlimit saved = limit;
        limit.rlim_cur = used + (2 << 20);
        if (writer == nullptr || used == 0 || setrlimit(RLIMIT_DATA, &limit) != 0) std::_Exit(10);

        std::int32_t frames = 0;
        int result = 0;
        while ((result = AVI_put_video_frame(writer, nullptr, 0, 1)) == 0 && frames < 10000000) ++frames;
        setrlimit(RLIMIT_DATA, &saved);

        bool sound = result == -1 && AVI_last_error == 8 && frames > 4096;
        sound = sound && writer->index_used == frames && writer->index_capacity == frames;
        sound = sound && writer->video_frame_count == frames;
        sound = sound && writer->write_pos == 2048u + 8u * static_cast<std::uint32_t>(frames);
        const auto* last = writer->index_entries[frames - 1].bytes;
        sound = sound && std::memcmp(last, "00db", 4) == 0 && last[8] == ((2048 + 8 * (frames - 1)) & 0xFF);
        sound = sound && AVI_finish(writer) == 0;
        sound = sound && fileSize(path) == 2048 + 8 * frames + 8 + 16 * frames;
        std::_Exit(sound ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
#endif
}

std::atomic<int> alarmsCaught{0};
void countAlarm(int) { alarmsCaught.fetch_add(1); }

// A write to a full pipe blocks until a reader drains it; timer signals
// without SA_RESTART interrupt it again and again. Every byte must arrive
// once and in order.
TEST(AviWriteFully, ContinuesAfterInterruptionsAndPartialWrites) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const auto data = pattern(1 << 20);

  struct sigaction action {};
  action.sa_handler = countAlarm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  struct sigaction saved {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &saved), 0);

  // The reader must not take the signals.
  sigset_t alarmOnly, previous;
  sigemptyset(&alarmOnly);
  sigaddset(&alarmOnly, SIGALRM);
  pthread_sigmask(SIG_BLOCK, &alarmOnly, &previous);
  std::vector<std::uint8_t> received;
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::uint8_t buffer[4096];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0) received.insert(received.end(), buffer, buffer + got);
  });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);

  alarmsCaught = 0;
  itimerval timer{};
  timer.it_interval.tv_usec = 10000;
  timer.it_value.tv_usec = 10000;
  setitimer(ITIMER_REAL, &timer, nullptr);
  const long written = AVI_write_fully(fds[1], data.data(), data.size());
  itimerval stop{};
  setitimer(ITIMER_REAL, &stop, nullptr);
  close(fds[1]);
  reader.join();
  close(fds[0]);
  sigaction(SIGALRM, &saved, nullptr);

  EXPECT_EQ(written, static_cast<long>(data.size()));
  EXPECT_GT(alarmsCaught.load(), 0);
  EXPECT_EQ(firstDifference(received, data), -1);
}

TEST(AviWriteFully, FailedWriteGivesItsNegativeResult) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  const auto data = pattern(10);
  EXPECT_LT(AVI_write_fully(full, data.data(), data.size()), 0);
  close(full);
  EXPECT_LT(AVI_write_fully(-1, data.data(), data.size()), 0);
  EXPECT_EQ(AVI_write_fully(-1, data.data(), 0), 0);  // nothing asked, nothing tried
}

}  // namespace
}  // namespace korvex
