// The recorder's disk is evidence: neither job may change a byte of it, nor
// even its files' times, and both must work where nothing may be written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "jobs/backup_worker.h"
#include "jobs/selection.h"
#include "jobs/scan_worker.h"
#include "support/media_samples.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct Snapshot {
  std::vector<std::uint8_t> bytes;
  timespec modified{};
  timespec changed{};
  mode_t mode = 0;
};

bool operator==(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::map<std::string, Snapshot> snapshot(const std::string& root) {
  std::map<std::string, Snapshot> all;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat info {};
    EXPECT_EQ(lstat(entry.path().c_str(), &info), 0);
    Snapshot& s = all[entry.path().string()];
    s.modified = info.st_mtim;
    s.changed = info.st_ctim;  // any change of the inode, metadata included
    s.mode = info.st_mode;
    if (entry.is_regular_file()) s.bytes = testing::readWholeFile(entry.path().string());
  }
  return all;
}

TEST(ReadOnly, ScanAndBackupLeaveTheStoreAsItWasAndWorkWithoutWritePermission) {
  testing::ScopedTimeZone zone("UTC0");
  TempDir disk, out;
  testing::SimulationOptions options;
  options.fileBytes = 5000;
  testing::simulateRecorder(disk.root(), {{0, 1, testing::T0, 3, true}, {1, 2, testing::T0, 2, false}}, options);
  for (const auto& entry : fs::recursive_directory_iterator(disk.path())) {
    fs::permissions(entry.path(),
                    entry.is_directory() ? fs::perms(0555) : fs::perms(0444));
  }
  fs::permissions(disk.path(), fs::perms(0555));
  const auto before = snapshot(disk.path());
  ASSERT_GT(before.size(), 128u);

  JobSettings settings;
  settings.diskRoot = disk.root();
  settings.outputFolder = out.path();
  selectEverything(settings);

  JobState state;
  EXPECT_EQ(scanWorker(settings, state).end, JobOutcome::Finished);
  EXPECT_EQ(state.segmentCount, 2);

  state.reset();
  EXPECT_EQ(backupWorker(settings, state).end, JobOutcome::Finished);
  EXPECT_EQ(testing::listFiles(out.path(), "", ".avi").size(), 2u);

  const auto after = snapshot(disk.path());
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [path, was] : before) {
    SCOPED_TRACE(path);
    const Snapshot& now = after.at(path);
    EXPECT_TRUE(now.bytes == was.bytes);
    EXPECT_TRUE(now.modified == was.modified);
    EXPECT_TRUE(now.changed == was.changed);
    EXPECT_EQ(now.mode, was.mode);
  }
}

}  // namespace
}  // namespace korvex
