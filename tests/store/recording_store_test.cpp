#include "store/recording_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "store/recording_source.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::RecordingFileBuilder;
using testing::StoreWriter;
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

TEST(FolderSource, SymbolicLinksBelowTheRootAreRefusedAndNamed) {
  TempDir disk, outside;
  StoreWriter store(disk.root());
  store.fillFolder(0);
  StoreWriter elsewhere(outside.root());
  elsewhere.fillFolder(0);
  struct Case {
    const char* what;
    int folder, file;
    std::string target;  // of the link planted at the file's place, or at its folder's
    bool atFolder;
  };
  const Case cases[] = {
      {"a file linked outside", 0, 5, elsewhere.filePath(0, 0), false},
      {"a file linked inside the store", 0, 6, "file0007.dat", false},
      {"a link to nowhere", 0, 8, outside.file("nothing"), false},
      {"a folder linked outside", 1, 0, elsewhere.folderPath(0), true},
  };
  for (const Case& c : cases) {
    const std::string at = c.atFolder ? disk.file("dir0000" + std::to_string(c.folder)) : store.filePath(c.folder, c.file);
    unlink(at.c_str());
    ASSERT_EQ(symlink(c.target.c_str(), at.c_str()), 0) << at;
  }
  const FolderSource source(disk.root());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const OpenedFile opened = source.openFile(c.folder, c.file, ReadPattern::WholeFile);
    EXPECT_EQ(opened.file, nullptr);
    EXPECT_FALSE(opened.failure.missing);
    EXPECT_EQ(opened.failure.errorNumber, ELOOP);
    EXPECT_NE(opened.failure.reason.find("symbolic link"), std::string::npos) << opened.failure.reason;
    if (c.atFolder) {
      EXPECT_EQ(opened.failure.reason.rfind("dir00001 ", 0), 0u) << opened.failure.reason;
    }
  }
  // A plain file where a folder should be still means its files are missing.
  RecordingFileBuilder().writeTo(disk.file("dir00002"));
  EXPECT_TRUE(source.openFile(2, 0, ReadPattern::WholeFile).failure.missing);
  EXPECT_NE(source.openFile(0, 0, ReadPattern::WholeFile).file, nullptr);
}

TEST(FolderSource, TheRootItselfMayBeALink) {
  TempDir disk, links;
  StoreWriter(disk.root()).fillFolder(0);
  ASSERT_EQ(symlink(disk.path().c_str(), links.file("store").c_str()), 0);
  const FolderSource source(links.file("store") + "/");
  EXPECT_EQ(source.countFolders(), 1);
  EXPECT_NE(source.openFile(0, 127, ReadPattern::WholeFile).file, nullptr);
}

TEST(FolderSource, ARootThatCannotBeListedIsAFailureAndAMissingOneHoldsNothing) {
  TempDir disk;
  StoreWriter(disk.root()).fillFolder(0);
  const FolderSource opened(disk.root());
  std::unique_ptr<FolderSource> unopened;
  FolderListing listing;
  ASSERT_TRUE(testing::withoutFreeDescriptors([&] {
    listing = opened.listFolders();
    unopened = std::make_unique<FolderSource>(disk.root());
  }));
  for (const FolderListing& l : {listing, unopened->listFolders()}) {
    EXPECT_TRUE(l.failed());
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.failure.reason, std::strerror(EMFILE));
  }
  EXPECT_FALSE(unopened->openFile(0, 0, ReadPattern::WholeFile).failure.missing);
  EXPECT_EQ(opened.listFolders().count, 1) << "the source lists again once descriptors are free";

  const FolderListing missing = FolderSource(disk.root() + "no-such-folder/").listFolders();
  EXPECT_FALSE(missing.failed());
  EXPECT_TRUE(missing.failure.missing);
  EXPECT_EQ(missing.count, 0);
}

TEST(FolderSource, ListingTheRootLeavesItsAccessTimeAsItWas) {
  TempDir disk;
  StoreWriter(disk.root()).fillFolder(0);
  const auto accessedAt = [&] {
    struct stat info {};
    EXPECT_EQ(stat(disk.path().c_str(), &info), 0);
    return info.st_atim.tv_sec;
  };
  const auto setOld = [&] {
    const timespec times[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(utimensat(AT_FDCWD, disk.path().c_str(), times, 0), 0);
  };
  setOld();
  DIR* plain = opendir(disk.path().c_str());
  ASSERT_NE(plain, nullptr);
  while (readdir(plain) != nullptr) {
  }
  closedir(plain);
  if (accessedAt() == 1000000000) GTEST_SKIP() << "this file system does not record access times (noatime)";
  setOld();
  EXPECT_EQ(FolderSource(disk.root()).listFolders().count, 1);
  EXPECT_EQ(countStoreFolders(disk.root()), 1);
  EXPECT_EQ(accessedAt(), 1000000000);
}

TEST(StoreFolderNumber, OnlyNamesAsTheStoreWritesThem) {
  struct Case {
    const char* name;
    std::optional<std::int32_t> number;
  };
  const Case cases[] = {{"dir00002", 2},        {"dir123456", 123456},   {"dir2", std::nullopt},
                        {"dir000002", std::nullopt}, {"dirlist.txt", std::nullopt}, {"dir0000x", std::nullopt},
                        {"dir2147483647", std::nullopt}, {"DIR00003", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(storeFolderNumber(c.name), c.number) << c.name;
  EXPECT_EQ(storeFolderNumber("DIR00003", true), 3);
}

TEST(RecordingFilePath, FormatsFolderAndFileWithLeadingZeros) {
  EXPECT_EQ(recordingFilePath("/media/rec/", 3, 17), "/media/rec/dir00003/file0017.dat");
  EXPECT_EQ(recordingFilePath("/media/rec/", 0, 127), "/media/rec/dir00000/file0127.dat");
  EXPECT_EQ(recordingFilePath("/", 123456, 5), "/dir123456/file0005.dat");
}

}  // namespace
}  // namespace korvex
