// korvex-cli disks, run as the real program on images made by Debian's tools.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/disk_images.h"
#include "support/media_probe.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::ProgramRun;
using testing::TempDir;

ProgramRun cli(std::vector<std::string> args) {
  args.insert(args.begin(), KORVEX_CLI_PATH);
  return testing::runProgram(args);
}

TEST(DisksCommandTest, ListsEveryPartitionAndWhichHoldsTheStore) {
  const std::string missing = testing::missingTools({"mkfs.vfat", "mcopy", "mkfs.ext4", "sfdisk"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  TempDir work;
  const std::string store = work.path() + "/store";
  testing::StoreWriter(store).fillFolder(0);
  testing::StoreWriter(store).fillFolder(1);
  const std::string empty = work.path() + "/empty";
  std::filesystem::create_directories(empty);
  ASSERT_EQ(testing::makeExt4Image(empty, work.file("p1.img"), 2 * 1024 * 1024), "");
  ASSERT_EQ(testing::makeFat32Image(store, work.file("p2.img"), 40 * 1024 * 1024), "");
  const std::string image = work.file("disk.img");
  ASSERT_EQ(testing::makePartitionedImage(image, {{work.file("p1.img"), "83"}, {work.file("p2.img"), "c"}}), "");

  const ProgramRun run = cli({"disks", image});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find(image + ": raw, "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("partition           start          length  file system  folders  store  description"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("1                 1048576         2097152  ext4               0  no     Linux (0x83)"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("2                 3145728        41943040  fat32              2  yes    Win95 FAT32 (0x0c)"),
            std::string::npos)
      << run.out;
}

TEST(DisksCommandTest, WhatIsNoDiskIsStatus1WithAReasonAndBadUsageIs2) {
  TempDir work;
  testing::writeBytes(work.file("notes.txt"), std::vector<std::uint8_t>(5000, 'n'));
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {{"disks", work.file("notes.txt")}, 1, "neither a partition table nor a file system"},
      {{"disks", work.file("absent.img")}, 1, "No such file or directory"},
      {{"disks", work.path()}, 1, "neither a disk image file nor a block device"},
      {{"disks"}, 2, "disks needs one disk image or device"},
      {{"disks", "a", "b"}, 2, "disks needs one disk image or device"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = cli(c.args);
    EXPECT_EQ(run.exitStatus, c.status) << c.args.back();
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  const ProgramRun help = cli({"disks", "--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.out.find("usage: korvex-cli disks IMAGE|DEVICE"), std::string::npos);
}

}  // namespace
}  // namespace korvex
