#include "store/recording_store.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "store/recording_source.h"

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

TEST(FolderSource, TheRootMayBeALinkAndIsListedWithoutChangingItsAccessTime) {
  TempDir disk, links;
  testing::StoreWriter(disk.root()).fillFolder(0);
  ASSERT_EQ(symlink(disk.path().c_str(), links.file("store").c_str()), 0);
  const auto makeOld = [&] {
    const timespec old[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
    EXPECT_EQ(utimensat(AT_FDCWD, disk.path().c_str(), old, 0), 0);
  };
  const auto accessedAt = [&] {
    struct stat info {};
    EXPECT_EQ(stat(disk.path().c_str(), &info), 0);
    return info.st_atim.tv_sec;
  };
  makeOld();
  DIR* plain = opendir(disk.path().c_str());
  ASSERT_NE(plain, nullptr);
  while (readdir(plain) != nullptr) {
  }
  closedir(plain);
  const bool recorded = accessedAt() != 1000000000;
  makeOld();
  const FolderSource source(links.file("store") + "/");
  EXPECT_EQ(source.countFolders(), 1);
  EXPECT_EQ(countStoreFolders(disk.root()), 1);
  EXPECT_NE(source.openFile(0, 127, ReadPattern::WholeFile).file, nullptr);
  if (!recorded) GTEST_SKIP() << "this file system does not record access times (noatime)";
  EXPECT_EQ(accessedAt(), 1000000000);
}

// Pages of [from, to) MiB of the file open as `fd` that the page cache holds.
std::size_t cachedPages(int fd, std::uint64_t from, std::uint64_t to) {
  const std::size_t length = (to - from) << 20;
  std::vector<unsigned char> held(length / static_cast<std::size_t>(sysconf(_SC_PAGESIZE)));
  const off_t offset = static_cast<off_t>(from << 20);
  void* at = length == 0 ? MAP_FAILED : mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, offset);
  if (at == MAP_FAILED) return held.empty() ? 0 : SIZE_MAX;
  const int done = mincore(at, length, held.data());
  munmap(at, length);
  return done != 0 ? SIZE_MAX : static_cast<std::size_t>(std::count(held.begin(), held.end(), 1));
}

TEST(FolderSource, AReadAsksTheDeviceForTheBytesAheadOfIt) {
  TempDir dir;
  // Two files of 24 MiB: the second follows the first.
  int fds[2];
  const std::vector<char> bytes(24u << 20, 'x');
  for (int i = 0; i < 2; ++i) {
    fds[i] = ::open(dir.file("file000" + std::to_string(i) + ".dat").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(write(fds[i], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    fsync(fds[i]);
    posix_fadvise(fds[i], 0, 0, POSIX_FADV_DONTNEED);
    if (cachedPages(fds[i], 0, 24) != 0) GTEST_SKIP() << "this file system keeps the file in memory";
  }
  const OpenedFile opened = FolderSource::openPath(dir.file("file0000.dat"), ReadPattern::HeadersOnly);
  const OpenedFile next = FolderSource::openPath(dir.file("file0001.dat"), ReadPattern::HeadersOnly);
  opened.file->setFollowedBy(*next.file);
  // MiB: each read keeps at least 4 asked for ahead of it, 8 at a time, and
  // no more; once the first file is asked for to its end, the first 8 of the
  // next one are.
  const struct {
    std::uint64_t readAt, cachedTo, uncachedTo, nextCachedTo;
  } rows[] = {{0, 8, 16, 0}, {3, 8, 16, 0}, {5, 13, 20, 0}, {20, 24, 24, 8}};
  char header[1024];
  // The kernel fills the page cache a little after the hint; with other
  // tests reading and writing beside it, it may let a few pages go again.
  const auto expectCached = [&](int fd, std::uint64_t from, std::uint64_t to) {
    const std::size_t window = ((to - from) << 20) / static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t wanted = window - window / 32;
    for (int wait = 0; wait < 500 && cachedPages(fd, from, to) < wanted; ++wait) usleep(20000);
    EXPECT_GE(cachedPages(fd, from, to), wanted);
    EXPECT_LE(cachedPages(fd, from, to), window);
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.readAt);
    ASSERT_EQ(opened.file->readAt(row.readAt << 20, header, sizeof header), 1024);
    expectCached(fds[0], row.readAt, row.cachedTo);
    EXPECT_EQ(cachedPages(fds[0], row.cachedTo, row.uncachedTo), 0u);
    expectCached(fds[1], 0, row.nextCachedTo);
    EXPECT_EQ(cachedPages(fds[1], row.nextCachedTo, 24), 0u);
  }
  for (const int fd : fds) ::close(fd);
}

TEST(FolderSource, WhatIsNotThereIsMissingAndWhatCannotBeOpenedIsNot) {
  TempDir disk;
  testing::StoreWriter(disk.root()).fillFolder(0);
  RecordingFileBuilder().writeTo(disk.file("dir00001"));  // a file where a folder should be
  ASSERT_EQ(symlink(disk.file("dir00000").c_str(), disk.file("dir00002").c_str()), 0);
  ASSERT_EQ(mkdir(disk.file("dir00000/file0300.dat").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(disk.file("dir00000/file0301.dat").c_str(), 0644), 0);
  struct Case {
    int folder, file;
    FailureCode code;
    int errorNumber;
  };
  const Case cases[] = {
      {0, 0, FailureCode::None, 0},           {0, 200, FailureCode::Missing, ENOENT},
      {3, 0, FailureCode::Missing, ENOENT},   {1, 0, FailureCode::Missing, ENOTDIR},
      {2, 0, FailureCode::NotOpened, ELOOP},  {0, 300, FailureCode::NotOpened, EISDIR},
      {0, 301, FailureCode::NotOpened, EINVAL},
  };
  const FolderSource source(disk.root());
  for (const Case& c : cases) {
    const OpenedFile opened = source.openFile(c.folder, c.file, ReadPattern::HeadersOnly);
    const std::string name = recordingFileName(c.folder, c.file);
    EXPECT_EQ(opened.file != nullptr, c.code == FailureCode::None) << name;
    EXPECT_EQ(opened.failure.code, c.code) << name << ": " << opened.failure.reason;
    EXPECT_EQ(opened.failure.errorNumber, c.errorNumber) << name;
    EXPECT_EQ(opened.failure.reason.empty(), c.code == FailureCode::None) << name;
  }
  const FolderListing absent = FolderSource(disk.root() + "none/").listFolders();
  EXPECT_FALSE(absent.listed());
  EXPECT_FALSE(absent.failed()) << "a root that is not there holds no folders";
  EXPECT_TRUE(source.listFolders().listed());
}

TEST(StoreFolderNumber, OnlyNamesAsTheStoreWritesThem) {
  const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
      {"dir00002", 2}, {"dir123456", 123456}, {"dir2", {}}, {"dir000002", {}}, {"dirlist.txt", {}},
      {"dir0000x", {}}, {"dir2147483647", {}}, {"DIR00003", {}}};
  for (const auto& [name, number] : cases) EXPECT_EQ(storeFolderNumber(name), number) << name;
  EXPECT_EQ(storeFolderNumber("DIR00003", true), 3);
}

TEST(RecordingFilePath, FormatsFolderAndFileWithLeadingZeros) {
  EXPECT_EQ(recordingFilePath("/media/rec/", 3, 17), "/media/rec/dir00003/file0017.dat");
  EXPECT_EQ(recordingFilePath("/media/rec/", 0, 127), "/media/rec/dir00000/file0127.dat");
  EXPECT_EQ(recordingFilePath("/", 123456, 5), "/dir123456/file0005.dat");
}

}  // namespace
}  // namespace korvex
