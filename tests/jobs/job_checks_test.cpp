// The checks made before a job starts (the disk: store/disk_source_test.cpp).
#include "jobs/job_checks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "jobs/output_folder.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

TEST(JobChecks, BackupSelection) {
  JobSettings everything;
  everything.channelEnabled[3] = 1;
  everything.recordTypeEnabled[2] = 1;
  everything.beginTime = 100;
  everything.endTime = 100;
  EXPECT_EQ(checkBackupSelection(everything), SelectionProblem::None);

  JobSettings noChannel = everything;
  noChannel.channelEnabled.fill(0);
  // A channel beyond the sixteen a person can tick does not count.
  noChannel.channelEnabled[20] = 1;
  EXPECT_EQ(checkBackupSelection(noChannel), SelectionProblem::NoChannel);

  JobSettings noType = everything;
  noType.recordTypeEnabled.fill(0);
  EXPECT_EQ(checkBackupSelection(noType), SelectionProblem::NoRecordType);

  JobSettings backwards = everything;
  backwards.endTime = 99;
  EXPECT_EQ(checkBackupSelection(backwards), SelectionProblem::EndBeforeStart);
}

// A folder passes only where a file can in fact be made and written; the
// probe leaves nothing behind.
TEST(JobChecks, AWritableFolderIsOneThatTakesAFile) {
  testing::TempDir disk;
  testing::TempDir out;
  const bool root = geteuid() == 0;
  struct Case {
    std::string folder;
    bool applies;
    OutputFolderProblem problem;
  };
  const Case cases[] = {
      {out.path(), true, OutputFolderProblem::None},
      // Root passes the permission bits of both.
      {"/sys/kernel", std::filesystem::is_directory("/sys/kernel"), OutputFolderProblem::NotWritable},
      {"/proc", root && std::filesystem::is_directory("/proc/self"), OutputFolderProblem::NotWritable},
  };
  for (const Case& c : cases) {
    if (!c.applies) continue;
    const OutputFolderCheck check = checkOutputFolder(c.folder, disk.root());
    EXPECT_EQ(check.problem, c.problem) << c.folder;
    if (c.problem == OutputFolderProblem::NotWritable) {
      EXPECT_NE(check.errorNumber, 0) << c.folder;
      EXPECT_FALSE(check.reason.empty()) << c.folder;
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

}  // namespace
}  // namespace korvex
