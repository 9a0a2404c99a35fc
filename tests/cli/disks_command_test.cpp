// korvex-cli disks, run as the real program on images made by Debian's tools.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/disk_images.h"
#include "cli/cli_run.h"
#include "support/media_probe.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::cli;
using testing::ProgramRun;
using testing::TempDir;

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

// A GPT disk cut off before its second partition, the first named with
// terminal escapes: the good partition is listed and read, the bad entry
// named, and nothing from the disk reaches the terminal raw.
TEST(DisksCommandTest, ABadEntryIsNamedAndTheGoodPartitionStillReads) {
  const std::string missing = testing::missingTools({"mkfs.vfat", "mcopy", "mkfs.ext4", "sfdisk"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  TempDir work, out;
  const std::string store = work.path() + "/store";
  testing::StoreWriter(store).fillFolder(0);
  ASSERT_EQ(testing::makeFat32Image(store, work.file("p1.img"), 40 * 1024 * 1024 - 65536), "");
  ASSERT_EQ(testing::makeExt4Image(store, work.file("p2.img"), 2 * 1024 * 1024), "");
  const std::string image = work.file("cut.img");
  ASSERT_EQ(testing::makePartitionedImage(image,
                                          {{work.file("p1.img"), "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "\x1b[2Jwiped\x1b]0;t\x07"},
                                           {work.file("p2.img"), "0FC63DAF-8483-4772-8E79-3D69D8477DE4"}},
                                          "gpt"),
            "");
  std::filesystem::resize_file(image, 41 * 1024 * 1024 - 32768);

  const ProgramRun run = cli({"disks", image});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.out.find("1                 1048576        41943040  fat32              1  yes    "
                         "\\x1b[2Jwiped\\x1b]0;t\\x07\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("2                42991616         2097152  -                  0  no     [bad entry: starts at "
                         "byte 42991616, past the end of the disk (42958848 bytes)]\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);

  struct Case {
    std::vector<std::string> partition;
    int status;
  };
  for (const Case& c : {Case{{}, 0}, Case{{"--partition", "1"}, 0}, Case{{"--partition", "2"}, 1}}) {
    std::vector<std::string> args = {"scan", "--disk", image, "--out", out.path()};
    args.insert(args.end(), c.partition.begin(), c.partition.end());
    const ProgramRun scan = cli(args);
    EXPECT_EQ(scan.exitStatus, c.status) << scan.err;
    if (c.status == 1) {
      EXPECT_NE(scan.err.find("partition 2 of " + image + " is a bad entry of its partition table"), std::string::npos)
          << scan.err;
    }
  }
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
