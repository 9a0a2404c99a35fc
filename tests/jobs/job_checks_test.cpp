// The checks made before a job starts (the disk: store/disk_source_test.cpp).
#include "jobs/job_checks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

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
    FailureCode code;
  };
  const Case cases[] = {
      {out.path(), true, FailureCode::None},
      // Root passes the permission bits of both.
      {"/sys/kernel", std::filesystem::is_directory("/sys/kernel"), FailureCode::OutputNotWritable},
      {"/proc", root && std::filesystem::is_directory("/proc/self"), FailureCode::OutputNotWritable},
  };
  for (const Case& c : cases) {
    if (!c.applies) continue;
    const Failure check = checkOutputFolder(c.folder, disk.root());
    EXPECT_EQ(check.code, c.code) << c.folder;
    if (c.code == FailureCode::OutputNotWritable) {
      EXPECT_NE(check.errorNumber, 0) << c.folder;
      EXPECT_FALSE(check.reason.empty()) << c.folder;
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

// Each refusal carries the errno and the words the window and the companion
// print, and the folder as given.
TEST(JobChecks, AnOutputFolderRefusedSaysWhyInTheSystemsWords) {
  testing::TempDir disk;
  testing::TempDir out;
  std::ofstream(out.file("plain")) << "x";
  struct Case {
    std::string folder;
    FailureCode code;
    int errorNumber;
    const char* reason;
  };
  const Case cases[] = {
      {out.path() + "/missing", FailureCode::OutputFolderMissing, ENOENT, "No such file or directory"},
      {out.file("plain"), FailureCode::OutputNotAFolder, ENOTDIR, "Not a directory"},
      {disk.path(), FailureCode::OutputInsideStore, 0, ""},
      {disk.path() + "/new", FailureCode::OutputInsideStore, ENOENT, "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    OutputFolderLock lock;
    const Failure check = claimOutputFolder(c.folder, disk.root(), lock);
    EXPECT_EQ(check.code, c.code);
    EXPECT_EQ(check.errorNumber, c.errorNumber);
    EXPECT_EQ(check.reason, c.reason);
    EXPECT_EQ(check.path, c.folder);
    EXPECT_FALSE(lock.held());
  }
}

}  // namespace
}  // namespace korvex
