// The checks made before a job starts, over real folders.
#include "jobs/job_checks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::TempDir;

TEST(JobChecks, Disk) {
  TempDir disk;
  testing::StoreWriter store(disk.root());
  store.fillFolder(0);
  TempDir empty;
  const std::string image = empty.file("disk.img");
  std::FILE* file = std::fopen(image.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  struct Case {
    std::string disk;
    DiskProblem problem;
    std::string parent;
    bool folder;
  };
  const Case cases[] = {
      {disk.path(), DiskProblem::None, "", true},
      {disk.root(), DiskProblem::None, "", true},
      {empty.path(), DiskProblem::NoStoreFolders, "", true},
      {disk.path() + "/dir00000", DiskProblem::StoreFolderPicked, disk.path(), true},
      {disk.path() + "/dir00000/", DiskProblem::StoreFolderPicked, disk.path(), true},
      {empty.path() + "/missing", DiskProblem::Missing, "", false},
      {"", DiskProblem::Missing, "", false},
      // An image file is left to its source: not looked into here.
      {image, DiskProblem::None, "", false},
  };
  for (const Case& c : cases) {
    const DiskCheck check = checkDisk(c.disk);
    EXPECT_EQ(check.problem, c.problem) << c.disk;
    EXPECT_EQ(check.parent, c.parent) << c.disk;
    EXPECT_EQ(check.folder, c.folder) << c.disk;
    if (c.problem == DiskProblem::Missing) {
      EXPECT_EQ(check.reason, "No such file or directory");
    }
  }
}

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

}  // namespace
}  // namespace korvex
