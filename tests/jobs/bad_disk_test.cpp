// Damaged recorder disks and output disks that fill up: every job ends
// cleanly, says why, and leaves finished AVI files playable.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "jobs/backup_worker.h"
#include "jobs/selection.h"
#include "jobs/scan_worker.h"
#include "store/frame_header.h"
#include "support/avi_contents.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/scratch_mount.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::FrameSpec;
using testing::RecordingFileBuilder;
using testing::StoreWriter;
using testing::T0;
using testing::TempDir;

FrameSpec key(std::int32_t channel, std::int32_t keys, RecorderTime t, std::size_t size = 64) {
  FrameSpec f;
  f.channel = channel;
  f.segmentKeyA = f.segmentKeyB = keys;
  f.timeStamp = t;
  f.videoWidth = 176;
  f.videoHeight = 144;
  f.frameRate = 25;
  f.payload.assign(size, 0x42);
  return f;
}

class BadDiskTest : public ::testing::Test {
 protected:
  BadDiskTest() : zone_("UTC0"), store_(disk_.root()) {
    settings_.diskRoot = disk_.root();
    settings_.outputFolder = out_.path();
    selectEverything(settings_);
  }

  void scan(ScanOptions options = {}) {
    state_.reset();
    scan_ = scanWorker(settings_, state_, std::move(options));
  }

  std::vector<std::string> backup(std::function<void(const std::string&)> onCreated = {}) {
    std::vector<std::string> created;
    state_.reset();
    BackupOptions options;
    options.fileCreated = [&](const std::string& path) {
      created.push_back(path);
      if (onCreated) onCreated(path);
    };
    backup_ = backupWorker(settings_, state_, options);
    for (const auto& path : created) EXPECT_FALSE(testing::openInThisProcess(path)) << path;
    return created;
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_, out_;
  StoreWriter store_;
  JobSettings settings_;
  JobState state_;
  ScanResult scan_;
  BackupResult backup_;
  StopRequest stop_;
};

TEST_F(BadDiskTest, TruncatedFilesEndTheirFramesAndTheJobsGoOn) {
  RecordingFileBuilder whole;
  whole.frame(key(0, 1, T0)).frame(key(0, 1, T0 + 1)).frame(key(0, 1, T0 + 2));
  const std::size_t frame = FRAME_HEADER_SIZE + 64;
  store_.writeFile(0, 0, RecordingFileBuilder(whole).truncate(FILE_HEADER_SIZE + 2 * frame + 100));  // mid payload
  store_.writeFile(0, 1, RecordingFileBuilder(whole).truncate(FILE_HEADER_SIZE + frame + 50));       // mid header
  store_.writeFile(0, 2, RecordingFileBuilder(whole).truncate(4000));                                // mid file header
  store_.writeFile(0, 3, RecordingFileBuilder(whole).truncate(0));
  store_.fillFolder(0);
  scan();
  EXPECT_EQ(scan_.end, JobOutcome::Finished);
  EXPECT_EQ(state_.segmentCount, 1);
  const auto created = backup();
  EXPECT_EQ(backup_.end, JobOutcome::Finished);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(testing::readAviContents(created[0]).count("00db"), 2u + 1);
}

TEST_F(BadDiskTest, AFolderReplacedByAFileEndsBothJobsThere) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(key(0, 1, T0)));
  store_.fillFolder(0);
  RecordingFileBuilder().writeTo(store_.folderPath(1));  // a plain file named dir00001
  store_.fillFolder(2);
  scan();
  EXPECT_EQ(scan_.end, JobOutcome::NoVideo);
  EXPECT_EQ(state_.currentScanFolder, 1);
  EXPECT_EQ(state_.segmentCount, 1);
  const auto created = backup();
  EXPECT_EQ(backup_.end, JobOutcome::Finished);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_TRUE(testing::readAviContents(created[0]).valid);
}

// Runs `body` as the unprivileged user "nobody" when the test runs as root
// (root reads any file whatever its permissions), else as it is. Returns
// body's result.
int asUnprivilegedUser(const std::function<int()>& body) {
  if (geteuid() != 0) return body();
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST_F(BadDiskTest, AnUnreadableFileEndsBothJobsAsAFailureNamingIt) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(key(0, 1, T0)));
  store_.fillFolder(0);
  store_.fillFolder(1);
  ASSERT_EQ(chmod(store_.filePath(0, 5).c_str(), 0), 0);
  // Other users may read the rest and write the output.
  ASSERT_EQ(chmod(disk_.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(out_.path().c_str(), 0777), 0);

  const int result = asUnprivilegedUser([&] {
    scan();
    if (scan_.end != JobOutcome::Failed || state_.currentScanFile != 5) return 1;
    const Failure& unread = scan_.source.unread;
    if (unread.path != store_.filePath(0, 5) || unread.reason != "Permission denied") return 2;
    if (state_.segmentCount != 1) return 3;  // what was found before stays in the report
    const auto created = backup();
    if (backup_.end != JobOutcome::Failed || state_.currentBackupFile != 5) return 4;
    if (backup_.source.unread.path != store_.filePath(0, 5)) return 5;
    if (created.size() != 1 || !testing::readAviContents(created[0]).valid) return 6;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

TEST_F(BadDiskTest, FilesThatVanishOrShrinkWhileTheJobsRun) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(key(0, 1, T0)).frame(key(0, 1, T0 + 1)).frame(key(0, 1, T0 + 2)));
  store_.fillFolder(0);
  store_.fillFolder(1);
  store_.fillFolder(2);

  // Gone by the time the scan reaches it.
  ScanOptions options;
  options.trace = [&](const char* line) {
    if (std::string(line).rfind("i = 1 ", 0) == 0) unlink(store_.filePath(1, 7).c_str());
  };
  scan(options);
  EXPECT_EQ(scan_.end, JobOutcome::NoVideo);
  EXPECT_EQ(state_.currentScanFolder, 1);
  EXPECT_EQ(state_.currentScanFile, 7);

  // The file being read shrinks under the backup, and a later one vanishes.
  const auto created = backup([&](const std::string&) {
    ASSERT_EQ(truncate(store_.filePath(0, 0).c_str(), FILE_HEADER_SIZE + FRAME_HEADER_SIZE + 64 + 10), 0);
    unlink(store_.filePath(0, 3).c_str());
  });
  EXPECT_EQ(backup_.end, JobOutcome::Finished);
  EXPECT_EQ(state_.currentBackupFile, 3);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(testing::readAviContents(created[0]).count("00db"), 1u);
}

TEST_F(BadDiskTest, AFullOutputDiskEndsTheBackupAndKeepsEveryFilePlayable) {
  testing::ScratchMount small(512 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  settings_.outputFolder = small.path();
  // Many short segments of real media, more than the output can hold.
  std::vector<testing::SimulatedSegment> segments;
  for (int i = 0; i < 24; ++i) segments.push_back({i % 4, 1, T0 + 3 * i, 2, true});
  testing::SimulationOptions options;
  options.fileBytes = 200000;
  testing::simulateRecorder(disk_.root(), segments, options);

  const auto created = backup();
  EXPECT_EQ(backup_.end, JobOutcome::Failed);
  EXPECT_EQ(backup_.failure.errorNumber, ENOSPC);
  EXPECT_FALSE(backup_.failure.path.empty());
  ASSERT_GE(created.size(), 2u);
  // The file that met the full disk too: it holds what reached the disk
  // whole, its index lists exactly that, and it plays.
  for (const auto& path : created) {
    SCOPED_TRACE(path);
    const auto avi = testing::readAviContents(path);
    EXPECT_TRUE(avi.valid);
    EXPECT_EQ(avi.totalFrames, avi.count("00db"));
    if (!avi.index.empty()) {
      EXPECT_EQ(avi.indexMismatch(), "");
    }
    if (testing::programOnPath("ffmpeg")) {
      const auto decoded = testing::decodeMedia(path);
      EXPECT_EQ(decoded.exitStatus, 0);
      EXPECT_EQ(decoded.err, "");
    }
  }
}

TEST_F(BadDiskTest, AFullOutputDiskFailsTheReport) {
  testing::ScratchMount small(64 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  // Room for the report's creation but not for its rows.
  RecordingFileBuilder().raw(std::vector<std::uint8_t>(60 * 1024 - FILE_HEADER_SIZE, 1)).writeTo(small.path() + "/filler");
  settings_.outputFolder = small.path();
  RecordingFileBuilder file;
  for (int i = 0; i < 2000; ++i) file.frame(key(i % 32, 10 + i, T0 + i, 1));
  store_.writeFile(0, 0, file);
  store_.fillFolder(0);
  scan();
  EXPECT_EQ(scan_.end, JobOutcome::Failed);
  EXPECT_EQ(scan_.failure.errorNumber, ENOSPC);
}

}  // namespace
}  // namespace korvex
