// Where a job's files go. Jobs that write into memory make the very files
// they make on disk, byte for byte; the memory folder behaves as the file
// system does for everything the jobs ask of it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "avi/output_files.h"
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
      EXPECT_EQ(scanWorker(settings, source, state, stop, scanOptions).end, ScanEnd::RangeDone);
      state.reset();
      BackupOptions backupOptions;
      backupOptions.startedAt = NOON;
      backupOptions.output = output;
      EXPECT_EQ(backupWorker(settings, source, state, stop, backupOptions).end, BackupEnd::RangeDone);
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
    int error = 0;
    std::unique_ptr<OutputFile> file = output->createNew(path, error);
    ASSERT_NE(file, nullptr) << std::strerror(error);
    EXPECT_TRUE(output->exists(path));
    EXPECT_EQ(output->createNew(path, error), nullptr);
    EXPECT_EQ(error, EEXIST);

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
    EXPECT_EQ(output->readBack(path, [&](const std::uint8_t* bytes, std::size_t count) {
      read.insert(read.end(), bytes, bytes + count);
      return true;
    }), 0);
    EXPECT_EQ(read, (std::vector<std::uint8_t>{1, 2, 3, 9, 8, 0, 0, 0, 9}));

    output->remove(path);
    EXPECT_FALSE(output->exists(path));
    EXPECT_EQ(output->regularFileSize(path), -1);
    EXPECT_EQ(output->readBack(path, [](const std::uint8_t*, std::size_t) { return true; }), ENOENT);
  }
}

}  // namespace
}  // namespace korvex
