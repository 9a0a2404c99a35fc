// How the writer fails: failure codes, the size limit, full devices, files
// that may not grow, and a track too many.
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

#include "avi/avi_file.h"
#include "base/write_fully.h"
#include "avi_test_support.h"
#include "support/scratch_mount.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using namespace avitest;
using testing::TempDir;

// Points the writer's descriptor at /dev/full: every write from now on
// fails with ENOSPC, as on a full disk.
bool makeDeviceFull(const AviFile& avi) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) return false;
  const int fd = AviFileTestAccess::descriptor(avi);
  const bool swapped = dup2(full, fd) == fd;
  close(full);
  return swapped;
}

TEST(AviCreateFailure, PathInMissingFolderGivesCode2) {
  TempDir dir;
  const std::string path = dir.path() + "/missing/out.avi";
  Failure failure;
  EXPECT_EQ(AviFile::create(path, failure), nullptr);
  EXPECT_EQ(failure.code, FailureCode::AviNotCreated);
  EXPECT_EQ(failure.errorNumber, ENOENT);
  EXPECT_EQ(failure.path, path);  // the failure names its file
  EXPECT_EQ(fileSize(path), -1);

  failure = {};
  EXPECT_EQ(AviFile::create(dir.path(), failure), nullptr);  // a folder
  EXPECT_EQ(failure.code, FailureCode::AviNotCreated);
}

// The file is created but its header block does not fit: a full disk, or
// a file size limit below 2048 bytes. No file is left behind.
TEST(AviCreateFailure, HeaderBlockThatCannotBeWrittenGivesCode4AndLeavesNoFile) {
  TempDir dir;
  for (const rlim_t room : {rlim_t{0}, rlim_t{1000}, rlim_t{2047}}) {
    SCOPED_TRACE(room);
    const std::string path = dir.file("limited.avi");
    Failure failure;
    {
      FileSizeLimit limit(room);
      ASSERT_TRUE(limit.ok());
      EXPECT_EQ(AviFile::create(path, failure), nullptr);
    }
    EXPECT_EQ(failure.code, FailureCode::AviNotWritten);
    EXPECT_EQ(failure.errorNumber, EFBIG);
    EXPECT_EQ(fileSize(path), -1);
  }

  testing::ScratchMount full(64 * 1024);
  if (!full.mounted()) GTEST_SKIP() << full.reason();
  {
    std::ofstream filler(full.path() + "/filler", std::ios::binary);
    const std::string bytes(256 * 1024, 'x');
    filler << bytes;
  }
  const std::string path = full.path() + "/full.avi";
  Failure failure;
  EXPECT_EQ(AviFile::create(path, failure), nullptr);
  EXPECT_EQ(failure.code, FailureCode::AviNotWritten);
  EXPECT_EQ(failure.errorNumber, ENOSPC);
  EXPECT_EQ(fileSize(path), -1);
}

TEST(AviCreateFailure, SuccessDoesNotClearTheLastCode) {
  TempDir dir;
  Failure failure;
  EXPECT_EQ(AviFile::create(dir.path() + "/missing/x.avi", failure), nullptr);
  auto writer = AviFile::create(dir.file("ok.avi"), failure);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(failure.code, FailureCode::AviNotCreated);

  // The same holds for a file's own last failure.
  const auto data = pattern(4);
  EXPECT_FALSE(writer->putVideoFrame(data.data(), -1, true));
  EXPECT_TRUE(writer->putVideoFrame(data.data(), 4, true));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotWritten);
  EXPECT_EQ(writer->lastFailure().errorNumber, EINVAL);
}

TEST(AviCreate, NewFileModeIsEveryoneReadWriteLessUmask) {
  struct Case {
    mode_t umask;
    mode_t mode;
  };
  const Case cases[] = {{0022, 0644}, {0077, 0600}, {0, 0666}, {0277, 0400}, {0002, 0664}};
  TempDir dir;
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = dir.file("mode" + std::to_string(n++) + ".avi");
    const mode_t saved = umask(c.umask);
    auto writer = createAvi(path);
    umask(saved);
    ASSERT_NE(writer, nullptr);
    EXPECT_TRUE(writer->finish());
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.mode) << "umask " << std::oct << c.umask;
  }
}

// Nothing is written over or through an existing name: a file, a folder,
// a device, a symbolic link (to a file, to nowhere, to a folder) all give
// EEXIST, which the caller can tell from other failures, and stay as they were.
TEST(AviCreate, ExistingNameIsRefusedWithEexistAndLeftAsItWas) {
  TempDir dir;
  const std::string file = dir.file("again.avi");
  {
    std::ofstream old(file, std::ios::binary);
    const std::string tail(10000, '\xAA');
    old << tail;
  }
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);
  const std::string folder = dir.file("folder.avi/inside");
  const std::string toFile = dir.file("link.avi");
  ASSERT_EQ(symlink(file.c_str(), toFile.c_str()), 0);
  const std::string toNowhere = dir.file("dangling.avi");
  const std::string nowhere = dir.file("target-that-is-not-there.avi");
  ASSERT_EQ(symlink(nowhere.c_str(), toNowhere.c_str()), 0);
  const std::string toFolder = dir.file("folderlink.avi");
  ASSERT_EQ(symlink(dir.path().c_str(), toFolder.c_str()), 0);

  for (const std::string& path : {file, dir.path() + "/folder.avi", toFile, toNowhere, toFolder,
                                  std::string("/dev/full")}) {
    SCOPED_TRACE(path);
    Failure failure;
    EXPECT_EQ(AviFile::create(path, failure), nullptr);
    EXPECT_EQ(failure.code, FailureCode::AviNotCreated);
    EXPECT_EQ(failure.errorNumber, EEXIST);
  }
  const auto bytes = fileBytes(file);
  ASSERT_EQ(bytes.size(), 10000u);
  EXPECT_EQ(bytes[0], 0xAA);
  EXPECT_EQ(bytes[9999], 0xAA);
  struct stat info;
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(fileSize(nowhere), -1);  // not created through the link
  EXPECT_EQ(fileSize(folder), -1);
  ASSERT_EQ(lstat(toNowhere.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
}

// The write position is moved to just below AVI_SIZE_LIMIT through the test seam;
// the file itself stays small.
TEST(AviSizeLimit, ChunkEndingExactlyAtLimitIsAcceptedOneMoreByteRefused) {
  TempDir dir;
  const std::string path = dir.file("limit.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  const std::uint32_t length = 100;
  // write_pos + 8 + length + 16 x 1 + 8 == AVI_SIZE_LIMIT
  const std::uint32_t chunkAt = AVI_SIZE_LIMIT - 8 - length - 16 - 8;
  AviFileTestAccess::skipAhead(*writer, chunkAt - 2048);
  ASSERT_EQ(writer->writePosition(), chunkAt);
  const auto data = pattern(length + 1);

  EXPECT_FALSE(writer->putVideoFrame(data.data(), length + 1, true));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviTooLarge);
  EXPECT_EQ(writer->lastFailure().errorNumber, EFBIG);
  EXPECT_EQ(writer->writePosition(), chunkAt);
  EXPECT_EQ(writer->indexEntryCount(), 0u);
  EXPECT_EQ(writer->videoFrameCount(), 0);
  EXPECT_EQ(fileSize(path), 2048);

  AviFileTestAccess::clearFailure(*writer);
  EXPECT_TRUE(writer->putVideoFrame(data.data(), length, true));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::None);
  EXPECT_EQ(writer->writePosition(), chunkAt + 8 + length);
  EXPECT_EQ(writer->videoFrameCount(), 1);

  // Nothing more fits, not even an empty chunk.
  EXPECT_FALSE(writer->putAudio(data.data(), 0));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviTooLarge);
  EXPECT_EQ(writer->streams().audio_tracks[0].byte_count, 0u);

  ASSERT_TRUE(writer->finish());
  const auto bytes = fileBytes(path);
  // The file the writer counts ends exactly at the limit.
  EXPECT_EQ(le32(bytes, 4), AVI_SIZE_LIMIT - 8);
  EXPECT_EQ(le32(bytes, 2040), chunkAt + 8 + length - 2044);
  ASSERT_EQ(bytes.size(), 2048u + 8 + length + 8 + 16);  // no 4 GiB file on disk
  EXPECT_EQ(fourcc(bytes, 2048), "00db");
  EXPECT_EQ(fourcc(bytes, 2048 + 8 + length), "idx1");
  EXPECT_EQ(le32(bytes, 2048 + 8 + length + 16), chunkAt);
}

TEST(AviSizeLimit, ReservingPastTheLimitIsRefused) {
  TempDir dir;
  auto writer = createAvi(dir.file("reserve-limit.avi"));
  ASSERT_NE(writer, nullptr);
  const std::uint32_t length = 100;
  const std::uint32_t chunkAt = AVI_SIZE_LIMIT - 8 - length - 16 - 8;
  AviFileTestAccess::skipAhead(*writer, chunkAt - 2048);
  EXPECT_EQ(writer->reserveChunk(length + 1), nullptr);
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviTooLarge);
  EXPECT_EQ(writer->lastFailure().errorNumber, EFBIG);
  EXPECT_FALSE(writer->commitVideoFrame(true));
  EXPECT_EQ(writer->indexEntryCount(), 0u);
  ASSERT_NE(writer->reserveChunk(length), nullptr);
  EXPECT_TRUE(writer->commitVideoFrame(true));
  EXPECT_EQ(writer->writePosition(), chunkAt + 8 + length);
}

TEST(AviSizeLimit, LargeChunkNearLimitDoesNotWrapAround) {
  TempDir dir;
  auto writer = createAvi(dir.file("wrap.avi"));
  ASSERT_NE(writer, nullptr);
  AviFileTestAccess::skipAhead(*writer, AVI_SIZE_LIMIT - 4096 - 2048);
  const auto data = pattern(16);
  // Summed in 32 bits these would wrap round to a small number.
  for (std::int32_t length : {INT32_MAX, INT32_MAX - 4095, 0x7FFFF000}) {
    EXPECT_FALSE(writer->putVideoFrame(data.data(), length, true)) << length;
    EXPECT_EQ(writer->lastFailure().code, FailureCode::AviTooLarge) << length;
  }
  EXPECT_EQ(writer->indexEntryCount(), 0u);
}

TEST(AviChunkFailure, NegativeLengthOrMissingDataIsRefusedWithoutWriting) {
  TempDir dir;
  const std::string path = dir.file("negative.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  const auto data = pattern(16);
  EXPECT_FALSE(writer->putVideoFrame(data.data(), -1, true));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotWritten);
  AviFileTestAccess::clearFailure(*writer);
  EXPECT_FALSE(writer->putAudio(data.data(), INT32_MIN));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotWritten);
  AviFileTestAccess::clearFailure(*writer);
  EXPECT_FALSE(writer->putVideoFrame(nullptr, 10, true));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotWritten);
  EXPECT_EQ(writer->indexEntryCount(), 0u);
  EXPECT_EQ(writer->writePosition(), 2048u);
  EXPECT_EQ(fileSize(path), 2048);
  // An empty chunk needs no data.
  EXPECT_TRUE(writer->putVideoFrame(nullptr, 0, true));
}

// Gathered chunks reach the disk when a block fills up: a chunk larger than
// the buffer makes the writer write at once.
std::vector<std::uint8_t> bufferFilling(std::uint8_t seed = 0x41) { return pattern(2 * AVI_WRITE_BLOCK + 100, seed); }

TEST(AviChunkFailure, FullDeviceGivesCode4AndChangesNothing) {
  TempDir dir;
  auto writer = createAvi(dir.file("full.avi"));
  ASSERT_NE(writer, nullptr);
  const auto data = pattern(100);
  ASSERT_TRUE(writer->putVideoFrame(data.data(), 100, true));
  ASSERT_TRUE(writer->flush());
  ASSERT_TRUE(makeDeviceFull(*writer));

  const auto large = bufferFilling();
  const auto length = static_cast<std::int32_t>(large.size());
  EXPECT_FALSE(writer->putVideoFrame(large.data(), length, true));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotWritten);
  EXPECT_EQ(writer->lastFailure().errorNumber, ENOSPC);
  EXPECT_EQ(writer->lastFailure().path, dir.file("full.avi"));
  AviFileTestAccess::clearFailure(*writer);
  EXPECT_FALSE(writer->putAudio(large.data(), length));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotWritten);
  EXPECT_EQ(writer->videoFrameCount(), 1);
  EXPECT_EQ(writer->streams().audio_tracks[0].byte_count, 0u);
  EXPECT_EQ(writer->writePosition(), 2156u);
  EXPECT_EQ(writer->indexEntryCount(), 1u);  // the failed chunks' entries are withdrawn

  // Finishing: idx1 fails (5), then the final block (6), the last one stays.
  AviFileTestAccess::clearFailure(*writer);
  EXPECT_FALSE(writer->finish());
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotClosed);
}

TEST(AviHeaderFailure, FullDeviceGivesCode6AndKeepsTheSetUp) {
  TempDir dir;
  const std::string path = dir.file("header.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(makeDeviceFull(*writer));

  EXPECT_FALSE(writer->defineVideo(176, 144, 25.0, "X264"));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotClosed);
  EXPECT_EQ(writer->streams().frame_width, 176);
  EXPECT_EQ(writer->streams().frame_height, 144);
  EXPECT_STREQ(writer->streams().codec_fourcc, "X264");
  AviFileTestAccess::clearFailure(*writer);
  EXPECT_FALSE(writer->addAudioTrack(1, 8000, 8, 6, 64));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotClosed);
  EXPECT_EQ(writer->streams().audio_track_count, 1);
  EXPECT_FALSE(AviFileTestAccess::rewriteHeaderBlock(*writer));
  EXPECT_FALSE(writer->finish());
  EXPECT_EQ(fileBytes(path), std::vector<std::uint8_t>(2048, 0));
}

// The media fits under the file size limit, the index does not: the file
// is still finalised, marked as having no index, and cut after the media.
TEST(AviIndexFailure, IndexThatCannotBeWrittenGivesCode5) {
  TempDir dir;
  const std::string path = dir.file("noindex.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  writer->defineVideo(176, 144, 25.0, "X264");
  const auto data = pattern(100);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(writer->putVideoFrame(data.data(), 100, i == 0));
  const std::uint32_t mediaEnd = writer->writePosition();
  ASSERT_EQ(mediaEnd, 2048u + 3 * 108);

  bool result = true;
  {
    FileSizeLimit limit(mediaEnd + 20);  // part of idx1 gets in, not all
    ASSERT_TRUE(limit.ok());
    result = writer->finish();
  }
  EXPECT_FALSE(result);
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviIndexNotWritten);
  EXPECT_EQ(writer->lastFailure().errorNumber, EFBIG);

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
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  writer->defineVideo(176, 144, 25.0, "X264");
  const auto first = pattern(100, 1);
  const auto lost = bufferFilling(2);
  const auto next = pattern(31, 3);
  ASSERT_TRUE(writer->putVideoFrame(first.data(), 100, true));
  ASSERT_TRUE(writer->flush());
  {
    FileSizeLimit limit(2156 + 50);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(writer->putVideoFrame(lost.data(), static_cast<std::int32_t>(lost.size()), false));
    EXPECT_EQ(writer->lastFailure().code, FailureCode::AviNotWritten);
    EXPECT_EQ(writer->lastFailure().errorNumber, EFBIG);
  }
  EXPECT_EQ(fileSize(path), 2156 + 50);  // a part of it reached the file
  EXPECT_EQ(writer->writePosition(), 2156u);
  EXPECT_EQ(writer->videoFrameCount(), 1);
  EXPECT_EQ(writer->indexEntryCount(), 1u);

  ASSERT_TRUE(writer->putVideoFrame(next.data(), 31, false));
  ASSERT_TRUE(writer->finish());

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

// A ninth track is refused; the file keeps its eight and is finished as usual.
TEST(AviAudioTrack, NinthTrackIsRefused) {
  TempDir dir;
  const std::string path = dir.file("tracks.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  for (int t = 0; t < 8; ++t) EXPECT_TRUE(writer->addAudioTrack(1, 8000, 8, 6, 64)) << t;
  EXPECT_EQ(writer->streams().audio_track_count, 8);
  EXPECT_FALSE(writer->addAudioTrack(1, 8000, 8, 6, 64));
  EXPECT_EQ(writer->lastFailure().code, FailureCode::AviTooManyTracks);
  EXPECT_EQ(writer->streams().audio_track_count, 8);
  EXPECT_EQ(writer->currentAudioTrack(), 7);
  ASSERT_TRUE(writer->finish());
  EXPECT_EQ(le32(fileBytes(path), 56), 9u);
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
        auto writer = createAvi(path);
        const rlim_t used = dataSegmentBytes();
        rlimit limit{};
        getrlimit(RLIMIT_DATA, &limit);
        const rlimit saved = limit;
        limit.rlim_cur = used + (2 << 20);
        if (writer == nullptr || used == 0 || setrlimit(RLIMIT_DATA, &limit) != 0) std::_Exit(10);

        std::int32_t frames = 0;
        bool result = true;
        while ((result = writer->putVideoFrame(nullptr, 0, true)) && frames < 10000000) ++frames;
        setrlimit(RLIMIT_DATA, &saved);

        const auto count = static_cast<std::size_t>(frames);
        bool sound = !result && writer->lastFailure().code == FailureCode::NoMemory && frames > 4096;
        sound = sound && writer->lastFailure().errorNumber == ENOMEM;
        sound = sound && writer->indexEntryCount() == count && AviFileTestAccess::indexCapacity(*writer) == count;
        sound = sound && writer->videoFrameCount() == frames;
        sound = sound && writer->writePosition() == 2048u + 8u * static_cast<std::uint32_t>(frames);
        const std::uint8_t* last = AviFileTestAccess::index(*writer).data() + 16 * (count - 1);
        sound = sound && std::memcmp(last, "00db", 4) == 0 && last[8] == ((2048 + 8 * (frames - 1)) & 0xFF);
        sound = sound && writer->finish();
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
  iovec part{const_cast<std::uint8_t*>(data.data()), data.size()};
  const WriteResult written = writeFully(fds[1], &part, 1, AT_POSITION);
  itimerval stop{};
  setitimer(ITIMER_REAL, &stop, nullptr);
  close(fds[1]);
  reader.join();
  close(fds[0]);
  sigaction(SIGALRM, &saved, nullptr);

  EXPECT_TRUE(written.ok());
  EXPECT_EQ(written.written, data.size());
  EXPECT_GT(alarmsCaught.load(), 0);
  EXPECT_EQ(firstDifference(received, data), -1);
}

TEST(AviWriteFully, FailedWriteGivesItsError) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  const auto data = pattern(10);
  const auto write = [&](int fd, std::size_t length, off_t offset) {
    iovec part{const_cast<std::uint8_t*>(data.data()), length};
    return writeFully(fd, &part, 1, offset);
  };
  EXPECT_EQ(write(full, data.size(), AT_POSITION).failure.code, FailureCode::NotWritten);
  EXPECT_EQ(write(full, data.size(), AT_POSITION).failure.errorNumber, ENOSPC);
  EXPECT_EQ(write(full, data.size(), 0).failure.errorNumber, ENOSPC);
  close(full);
  EXPECT_EQ(write(-1, data.size(), 0).failure.errorNumber, EBADF);
  const WriteResult nothing = write(-1, 0, 0);  // nothing asked, nothing tried
  EXPECT_TRUE(nothing.ok());
  EXPECT_EQ(nothing.written, 0u);
}

// Short writes at an offset go on where the last one stopped; what reached
// the file is counted when the rest cannot be written.
TEST(AviWriteFully, CountsWhatReachedTheFileBeforeAFailure) {
  TempDir dir;
  const std::string path = dir.file("short.bin");
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  auto first = pattern(100, 1);
  auto second = pattern(300, 2);
  iovec parts[2] = {{first.data(), first.size()}, {second.data(), second.size()}};
  WriteResult written;
  {
    FileSizeLimit limit(1000 + 250);
    ASSERT_TRUE(limit.ok());
    written = writeFully(fd, parts, 2, 1000);
  }
  close(fd);
  EXPECT_EQ(written.failure.errorNumber, EFBIG);
  EXPECT_EQ(written.written, 250u);
  const auto bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), 1250u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), bytes.begin() + 1000));
  EXPECT_TRUE(std::equal(second.begin(), second.begin() + 150, bytes.begin() + 1100));
}

}  // namespace
}  // namespace korvex
