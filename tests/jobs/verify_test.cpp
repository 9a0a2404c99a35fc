// The check of a backup's log against the store it read, where the backup
// left frames of a channel out between those one file takes.
#include <gtest/gtest.h>

#include "jobs/backup_worker.h"
#include "jobs/selection.h"
#include "jobs/verify.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::T0;
using testing::TempDir;

TEST(VerifyOnTheStore, RunsBreakWhereTheBackupLeftFramesOut) {
  const testing::ScopedTimeZone zone("UTC0");
  TempDir disk;
  testing::simulateRecorder(disk.root(), {{0, 1, T0, 6, true}, {1, 1, T0, 6, true}});
  struct Case {
    const char* name;
    std::vector<PickedWindow> picked;
  } cases[] = {
      {"one window", {{1u, T0, T0 + 5, 1u << 1}}},
      // A gap inside one recording: one file, and a run on each side of it.
      {"two windows", {{1u, T0, T0 + 1, 1u << 1}, {1u, T0 + 3, T0 + 5, 1u << 1}}},
      {"both channels apart", {{1u, T0, T0 + 1, 1u << 1}, {2u, T0 + 2, T0 + 4, 1u << 1}, {1u, T0 + 4, T0 + 5, 1u << 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir out;
    JobSettings settings;
    selectEverything(settings);
    settings.diskRoot = disk.root();
    settings.outputFolder = out.path();
    settings.pickedWindows = c.picked;
    JobState state;
    const BackupResult result = backupWorker(settings, state);
    ASSERT_EQ(result.end, JobOutcome::Finished);
    std::uint64_t chunks = 0;
    for (const ExportedFile& file : result.files) chunks += file.videoFrames + file.audioChunks;
    const auto logs = testing::listFiles(out.path(), "BackupLog_", ".json");
    ASSERT_EQ(logs.size(), 1u);
    const FolderSource source(disk.root());
    const VerifyOutcome outcome = verifyLog(logs[0], &source);
    EXPECT_TRUE(outcome.holds()) << (outcome.differences.empty() ? "" : outcome.differences[0]);
    EXPECT_EQ(outcome.chunksChecked, chunks);
    EXPECT_EQ(outcome.filesChecked, result.files.size());
  }
}

}  // namespace
}  // namespace korvex
