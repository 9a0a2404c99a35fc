// What a disk named by a person is, decided once over real files: the
// folder of a store, one of its dir* folders, an image file, a FIFO, nothing.
#include "store/disk_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/disk_images.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::TempDir;

TEST(OpenDiskTest, EachKindOfDiskIsToldApartOnce) {
  TempDir disk, empty, work;
  testing::StoreWriter(disk.root()).fillFolder(0);
  const std::string pipe = work.file("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string image = work.file("store.img");
  const bool imageMade = testing::missingTools({"mkfs.vfat", "mcopy"}).empty() &&
                         testing::makeFat32Image(disk.path(), image, 40 * 1024 * 1024).empty();
  struct Case {
    std::string disk;
    int partition;
    FailureCode problem;
    DiskKind kind;
    std::string says;  // in the failure's path or reason
  };
  const Case cases[] = {
      {disk.path(), 0, FailureCode::None, DiskKind::Folder, ""},
      {disk.root(), 0, FailureCode::None, DiskKind::Folder, ""},
      // Opened: the walk says that nothing is there.
      {empty.path(), 0, FailureCode::None, DiskKind::Folder, ""},
      {disk.path() + "/dir00000", 0, FailureCode::StoreFolderPicked, DiskKind::Folder, disk.path()},
      {disk.path() + "/dir00000/", 0, FailureCode::StoreFolderPicked, DiskKind::Folder, disk.path()},
      {disk.path(), 1, FailureCode::PartitionOnFolder, DiskKind::Folder, "a partition can be chosen only"},
      {empty.path() + "/missing", 0, FailureCode::Missing, DiskKind::None, "No such file or directory"},
      {"", 0, FailureCode::Missing, DiskKind::None, "No such file or directory"},
      {pipe, 0, FailureCode::DiskUnreadable, DiskKind::None, "(a FIFO (named pipe))"},
      {image, 0, FailureCode::None, DiskKind::Image, ""},
      {image, 2, FailureCode::NoSuchPartition, DiskKind::Image, "has no partition 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disk + " partition " + std::to_string(c.partition));
    if (c.disk == image && !imageMade) continue;
    const OpenedDisk opened = openDisk(c.disk, c.partition);
    EXPECT_EQ(opened.failure.code, c.problem) << opened.failure.reason;
    EXPECT_EQ(opened.kind, c.kind);
    EXPECT_EQ(opened.source != nullptr, c.problem == FailureCode::None);
    const std::string& said = c.problem == FailureCode::StoreFolderPicked ? opened.failure.path : opened.failure.reason;
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    if (opened) {
      EXPECT_EQ(describeDisk(*opened.source).disk.format, c.kind == DiskKind::Folder ? "folder" : "raw");
    }
  }
  EXPECT_EQ(diskRootOf(disk.path()), disk.root());
  EXPECT_EQ(diskRootOf(pipe), pipe);
}

}  // namespace
}  // namespace korvex
