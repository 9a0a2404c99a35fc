// The checks made before a job starts (the disk: store/disk_source_test.cpp).
#include "jobs/job_checks.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace korvex
