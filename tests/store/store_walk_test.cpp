// The store walk both jobs take: where it ends, and why.
#include "store/store_walk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::RecordingFileBuilder;
using testing::StoreWriter;
using testing::TempDir;

struct Walked {
  WalkEnd end;
  std::vector<std::string> visited;  // "folder/file"
  std::vector<std::int32_t> folders;
};

Walked walk(const std::string& root, FolderRange range, const StopRequest& stop,
            const std::function<WalkVerdict(std::int32_t, int)>& verdict = {}) {
  Walked out;
  const FolderSource source(root);
  StoreWalker walker;
  walker.folderStarts = [&](std::int32_t folder) { out.folders.push_back(folder); };
  walker.visitFile = [&](std::int32_t folder, int file, RecordingFileReader&) {
    out.visited.push_back(std::to_string(folder) + "/" + std::to_string(file));
    return verdict ? verdict(folder, file) : WalkVerdict::Continue;
  };
  out.end = walkStore(source, range, ReadPattern::HeadersOnly, stop, walker);
  return out;
}

TEST(StoreWalk, EndsAsTheStoreSays) {
  TempDir disk;
  StoreWriter store(disk.root());
  for (int folder = 0; folder < 4; ++folder) store.fillFolder(folder);
  ASSERT_EQ(unlink(store.filePath(2, 3).c_str()), 0);
  ASSERT_EQ(unlink(store.filePath(1, 5).c_str()), 0);
  ASSERT_EQ(mkdir(store.filePath(1, 5).c_str(), 0755), 0);
  const StopRequest never;

  struct Case {
    const char* name;
    FolderRange range;
    WalkEnd::Kind kind;
    std::int32_t folder;
    int file;
    std::int32_t foldersNotRead;
    std::size_t visited;
  };
  const Case cases[] = {
      {"whole range, a folder in place of a file", {0, 4}, WalkEnd::Kind::SourceFailed, 1, 5, 2, 128 + 5},
      {"from folder 2, a missing file", {2, 4}, WalkEnd::Kind::FileMissing, 2, 3, 1, 3},
      {"folder 3 alone", {3, 4}, WalkEnd::Kind::RangeDone, 0, 0, 0, 128},
      {"nothing to visit", {3, 3}, WalkEnd::Kind::RangeDone, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Walked w = walk(disk.root(), c.range, never);
    EXPECT_EQ(w.end.kind, c.kind);
    EXPECT_EQ(w.visited.size(), c.visited);
    EXPECT_EQ(w.end.filesVisited, static_cast<std::int64_t>(c.visited));
    if (c.kind == WalkEnd::Kind::RangeDone) continue;
    EXPECT_EQ(w.end.folder, c.folder);
    EXPECT_EQ(w.end.file, c.file);
    EXPECT_EQ(w.end.foldersNotRead, c.foldersNotRead);
    EXPECT_EQ(w.end.path, store.filePath(c.folder, c.file));
    EXPECT_FALSE(w.end.reason.empty());
  }
}

TEST(StoreWalk, TheStopRequestAndTheVisitorEndItBetweenFiles) {
  TempDir disk;
  StoreWriter store(disk.root());
  for (int folder = 0; folder < 2; ++folder) store.fillFolder(folder);

  StopRequest stopped;
  stopped.request();
  const Walked before = walk(disk.root(), {0, 2}, stopped);
  EXPECT_EQ(before.end.kind, WalkEnd::Kind::Stopped);
  EXPECT_TRUE(before.visited.empty());
  EXPECT_TRUE(before.folders.empty());

  StopRequest later;
  const Walked mid = walk(disk.root(), {0, 2}, later, [&](std::int32_t folder, int file) {
    if (folder == 1 && file == 9) later.request();
    return WalkVerdict::Continue;
  });
  EXPECT_EQ(mid.end.kind, WalkEnd::Kind::Stopped);
  EXPECT_EQ(mid.visited.back(), "1/9");
  EXPECT_EQ(mid.end.file, 10);
  EXPECT_EQ(mid.folders, (std::vector<std::int32_t>{0, 1}));

  const StopRequest never;
  const Walked visitor = walk(disk.root(), {0, 2}, never, [](std::int32_t folder, int file) {
    return folder == 0 && file == 100 ? WalkVerdict::Stop : WalkVerdict::Continue;
  });
  EXPECT_EQ(visitor.end.kind, WalkEnd::Kind::Visitor);
  EXPECT_EQ(visitor.visited.size(), 101u);
  EXPECT_EQ(visitor.end.foldersNotRead, 1);
}

}  // namespace
}  // namespace korvex
