#include "store/recording_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::RecordingFileBuilder;
using testing::TempDir;

TEST(CountStoreFolders, CountsEveryEntryNamedDirWhateverItsKind) {
  TempDir dir;
  mkdir(dir.file("dir00000").c_str(), 0755);
  mkdir(dir.file("dir00001").c_str(), 0755);
  RecordingFileBuilder().writeTo(dir.file("dirlist.txt"));
  mkdir(dir.file("Dir00009").c_str(), 0755);   // another case: not matched
  mkdir(dir.file("xdir00003").c_str(), 0755);  // does not start with dir
  EXPECT_EQ(countStoreFolders(dir.root()), 3);
  // The count says where the numbers end; folder 2 is looked for as dir00002.
  EXPECT_EQ(recordingFilePath(dir.root(), 2, 0), dir.root() + "dir00002/file0000.dat");
}

TEST(CountStoreFolders, MissingOrEmptyRootCountsNothing) {
  TempDir dir;
  EXPECT_EQ(countStoreFolders(dir.root()), 0);
  EXPECT_EQ(countStoreFolders(dir.root() + "no-such-folder/"), 0);
}

TEST(CountStoreFolders, RootIsUsedWithoutAddingASeparator) {
  TempDir dir;
  mkdir(dir.file("dir00000").c_str(), 0755);
  // Without the trailing '/', the pattern is <root>dir*: names in the parent
  // folder that start with the root's last part followed by dir.
  EXPECT_EQ(countStoreFolders(dir.path()), 0);
}

TEST(RecordingFilePath, FormatsFolderAndFileWithLeadingZeros) {
  EXPECT_EQ(recordingFilePath("/media/rec/", 3, 17), "/media/rec/dir00003/file0017.dat");
  EXPECT_EQ(recordingFilePath("/media/rec/", 0, 127), "/media/rec/dir00000/file0127.dat");
  EXPECT_EQ(recordingFilePath("/", 123456, 5), "/dir123456/file0005.dat");
}

}  // namespace
}  // namespace korvex
