// Where a job's files go. Jobs that write into memory make the very files
// they make on disk, byte for byte; the memory folder behaves as the file
// system does for everything the jobs ask of it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/output_files.h"
#include "jobs/backup_worker.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "store/recording_store.h"
#include "support/disk_images.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::TempDir;

// 2026-12-08 12:00:00 UTC.
constexpr std::time_t NOON = 1796731200;

// A log's record with the moment the job ended taken out: the one thing
// that differs from run to run.
nlohmann::json recordWithoutItsEnd(const std::vector<std::uint8_t>& bytes) {
  nlohmann::json record = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (record.is_object()) record.erase("ended");
  return record;
}

TEST(OutputFilesTest, JobsWriteIntoMemoryTheFilesTheyWriteOnDisk) {
  const testing::ScopedTimeZone zone("UTC0");
  TempDir disk;
  testing::writeSampleDisk(disk.root());
  for (const bool recover : {false, true}) {
    SCOPED_TRACE(recover ? "with recovery" : "without recovery");
    TempDir out;
    JobSettings settings;
    settings.diskRoot = disk.root();
    settings.outputFolder = out.path();
    settings.recover = recover;
    selectEverything(settings);
    const FolderSource source(settings.diskRoot);
    const StopRequest stop;
    MemoryOutputFiles memory;
    for (OutputFiles* output : {static_cast<OutputFiles*>(nullptr), static_cast<OutputFiles*>(&memory)}) {
      JobState state;
      ScanOptions scanOptions;
      scanOptions.startedAt = NOON;
      scanOptions.output = output;
      EXPECT_EQ(scanWorker(settings, source, state, stop, scanOptions).end, JobOutcome::Finished);
      state.reset();
      BackupOptions backupOptions;
      backupOptions.startedAt = NOON;
      backupOptions.output = output;
      EXPECT_EQ(backupWorker(settings, source, state, stop, backupOptions).end, JobOutcome::Finished);
    }

    const std::vector<std::string> onDisk = testing::listFiles(out.path());
    EXPECT_EQ(memory.paths(), onDisk);
    ASSERT_GT(onDisk.size(), 4u);  // the report, AVI files and both logs
    for (const std::string& path : onDisk) {
      SCOPED_TRACE(path);
      const std::vector<std::uint8_t> written = testing::readBytes(path);
      ASSERT_FALSE(written.empty());
      if (path.size() > 5 && path.compare(path.size() - 5, 5, ".json") == 0) {
        EXPECT_EQ(recordWithoutItsEnd(memory.bytes(path)), recordWithoutItsEnd(written));
      } else {
        EXPECT_EQ(memory.bytes(path), written);
      }
      EXPECT_EQ(memory.regularFileSize(path), static_cast<std::int64_t>(written.size()));
    }
  }
}

TEST(OutputFilesTest, TheMemoryFolderActsAsTheFileSystem) {
  TempDir dir;
  MemoryOutputFiles memory;
  for (OutputFiles* output : {&diskOutput(), static_cast<OutputFiles*>(&memory)}) {
    SCOPED_TRACE(output == &memory ? "memory" : "disk");
    const std::string path = dir.file("a.bin");
    CreatedFile created = output->createNew(path);
    ASSERT_NE(created.file, nullptr) << std::strerror(created.failure.errorNumber);
    EXPECT_FALSE(created.failure.failed());
    std::unique_ptr<OutputFile> file = std::move(created.file);
    EXPECT_TRUE(output->exists(path));
    const CreatedFile taken = output->createNew(path);
    EXPECT_EQ(taken.file, nullptr);
    EXPECT_EQ(taken.failure.code, FailureCode::NotCreated);
    EXPECT_EQ(taken.failure.errorNumber, EEXIST);
    EXPECT_EQ(taken.failure.path, path);

    // Writes at an offset past the end leave zeros between; a cut shortens.
    std::uint8_t head[] = {1, 2, 3};
    std::uint8_t tail[] = {9, 8};
    iovec parts[2] = {{head, sizeof head}, {tail, sizeof tail}};
    EXPECT_TRUE(file->writeAt(parts, 2, 0).ok());
    iovec again{tail, sizeof tail};
    const WriteResult far = file->writeAt(&again, 1, 8);
    EXPECT_TRUE(far.ok());
    EXPECT_EQ(far.written, 2u);
    EXPECT_EQ(output->regularFileSize(path), 10);
    EXPECT_EQ(file->truncate(9), 0);
    EXPECT_EQ(file->reserve(64 * 1024), 0);
    EXPECT_EQ(file->sync(), 0);
    EXPECT_EQ(file->close(), 0);
    EXPECT_NE(file->close(), 0);

    std::vector<std::uint8_t> read;
    EXPECT_FALSE(output->readBack(path, [&](const std::uint8_t* bytes, std::size_t count) {
      read.insert(read.end(), bytes, bytes + count);
      return true;
    }).failed());
    EXPECT_EQ(read, (std::vector<std::uint8_t>{1, 2, 3, 9, 8, 0, 0, 0, 9}));

    output->remove(path);
    EXPECT_FALSE(output->exists(path));
    EXPECT_EQ(output->regularFileSize(path), -1);
    const Failure gone = output->readBack(path, [](const std::uint8_t*, std::size_t) { return true; });
    EXPECT_EQ(gone.code, FailureCode::NotOpened);
    EXPECT_EQ(gone.errorNumber, ENOENT);
  }
}

// A folder opened once vouches only for what it wrote: a file that took its
// name since, or that was changed once it was closed, is neither read back
// nor removed.
TEST(OutputFilesTest, AFolderReadsBackAndRemovesOnlyTheFilesItWrote) {
  constexpr const char* REPLACED_FILE_WORDS =
      "the file at that name is no longer the one this job wrote (replaced or changed by something else while the "
      "job ran)";
  struct Case {
    const char* what;
    void (*meanwhile)(const std::string& path);
    bool vouched;
    bool kept;  // removing leaves it: the name holds a file other than the one left closed
  };
  const Case cases[] = {
      {"left alone", [](const std::string&) {}, true, false},
      {"another file renamed over it",
       [](const std::string& path) {
         testing::writeBytes(path + ".other", {1, 2, 3});
         ASSERT_EQ(std::rename((path + ".other").c_str(), path.c_str()), 0);
       },
       false, true},
      {"written to after it was closed", [](const std::string& path) { testing::writeBytes(path, {9, 9, 9, 9, 9}); },
       false, true},
      {"removed and made again by another",
       [](const std::string& path) {
         std::remove(path.c_str());
         testing::writeBytes(path, {1, 2, 3, 4});
       },
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir out;
    DiskFolderOutput folder(out.path());
    const std::string path = out.path() + "/made.bin";
    CreatedFile created = folder.createNew(path);
    ASSERT_NE(created.file, nullptr) << std::strerror(created.failure.errorNumber);
    std::unique_ptr<OutputFile> file = std::move(created.file);
    std::uint8_t bytes[] = {1, 2, 3, 4};
    iovec part{bytes, sizeof bytes};
    ASSERT_TRUE(file->writeAt(&part, 1, 0).ok());
    ASSERT_EQ(file->close(), 0);
    c.meanwhile(path);
    std::size_t read = 0;
    const Failure result = folder.readBack(path, [&](const std::uint8_t*, std::size_t count) {
      read += count;
      return true;
    });
    // Not the system's failure: no errno, the words say what happened.
    EXPECT_EQ(result.code, c.vouched ? FailureCode::None : FailureCode::OutputFileReplaced);
    EXPECT_EQ(result.errorNumber, 0);
    EXPECT_EQ(result.reason, c.vouched ? "" : REPLACED_FILE_WORDS);
    EXPECT_EQ(read, c.vouched ? sizeof bytes : 0u);
    folder.remove(path);
    EXPECT_EQ(folder.exists(path), c.kept);
  }
}

TEST(OutputFilesTest, AFolderKeepsItsFilesWhereItWasOpenedAndTellsItWasReplaced) {
  TempDir work;
  const std::string given = work.path() + "/out";
  const std::string other = work.path() + "/elsewhere";
  ASSERT_EQ(mkdir(given.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
  DiskFolderOutput folder(given);
  EXPECT_FALSE(folder.checkFolder().failed());
  ASSERT_EQ(std::rename(given.c_str(), (given + ".moved").c_str()), 0);
  ASSERT_EQ(symlink(other.c_str(), given.c_str()), 0);
  EXPECT_NE(folder.createNew(given + "/late.bin").file, nullptr);
  EXPECT_TRUE(testing::listFiles(other).empty());
  EXPECT_EQ(testing::listFiles(given + ".moved").size(), 1u);
  const Failure replaced = folder.checkFolder();
  EXPECT_EQ(replaced.code, FailureCode::OutputFolderReplaced);
  EXPECT_EQ(replaced.errorNumber, 0);
  EXPECT_EQ(replaced.reason, "the folder's name leads to another folder than the one the job wrote into (replaced "
                             "while the job ran)");
  EXPECT_EQ(folder.currentPath(), given + ".moved");
  const CreatedFile missing = DiskFolderOutput(work.path() + "/missing").createNew(work.path() + "/missing/x");
  EXPECT_EQ(missing.file, nullptr);
  EXPECT_EQ(missing.failure.code, FailureCode::NotCreated);
  EXPECT_EQ(missing.failure.errorNumber, ENOENT);
}

}  // namespace
}  // namespace korvex
