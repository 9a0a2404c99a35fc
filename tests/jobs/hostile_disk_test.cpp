// A hostile disk and a hostile output folder: links planted under the
// names a job will create, FIFOs and folders in place of recording files,
// output folders inside the evidence, two jobs in one folder, the days
// daylight saving time changes. The evidence is never written, no job
// hangs, and no failure ends as a success.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "jobs/backup_worker.h"
#include "jobs/job_thread.h"
#include "jobs/output_folder.h"
#include "jobs/scan_report.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "support/avi_contents.h"
#include "support/disk_images.h"
#include "support/scratch_mount.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::FrameSpec;
using testing::RecordingFileBuilder;
using testing::StoreWriter;
using testing::T0;
using testing::TempDir;

FrameSpec key(std::int32_t channel, std::int32_t keys, RecorderTime t) {
  FrameSpec f = testing::keyedFrame(channel, keys, keys, t, 64);
  f.videoWidth = 176;
  f.videoHeight = 144;
  f.frameRate = 25;
  return f;
}

class HostileDiskTest : public ::testing::Test {
 protected:
  HostileDiskTest() : zone_("UTC0"), store_(disk_.root()) {
    settings_.diskRoot = disk_.root();
    settings_.outputFolder = out_.path();
    selectEverything(settings_);
  }

  // Runs a job on its own thread and waits at most `bound` for it: a job
  // that blocks fails the test instead of hanging it.
  bool runBounded(const std::function<void()>& job, std::chrono::seconds bound = std::chrono::seconds(20)) {
    JobThread thread;
    thread.start(job);
    const bool ended = thread.waitFor(bound);
    if (!ended) {
      stop_.request();
      thread.join();
    }
    return ended;
  }

  bool scan(ScanOptions options = {}) {
    state_.reset();
    return runBounded([&] {
      const FolderSource source(settings_.diskRoot);
      scan_ = scanWorker(settings_, source, state_, stop_, options);
    });
  }

  bool backup() {
    created_.clear();
    state_.reset();
    BackupOptions options;
    options.fileCreated = [&](const std::string& path) {
      created_.push_back(path);
      if (onCreated_) onCreated_(path);
    };
    return runBounded([&] {
      const FolderSource source(settings_.diskRoot);
      backup_ = backupWorker(settings_, source, state_, stop_, options);
    });
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_, out_;
  StoreWriter store_;
  JobSettings settings_;
  JobState state_;
  ScanResult scan_;
  BackupResult backup_;
  StopRequest stop_;
  std::vector<std::string> created_;
  std::function<void(const std::string&)> onCreated_;  // what another process does meanwhile
};

TEST_F(HostileDiskTest, LinksUnderTheNamesABackupCreatesAreNeverWrittenThrough) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(key(0, 1, T0)).frame(key(1, 2, T0)).timesFromFrames());
  store_.fillFolder(0);
  // Learn the names a backup makes, then plant links under them in a fresh
  // folder, pointing at the recording files.
  ASSERT_TRUE(backup());
  ASSERT_EQ(created_.size(), 2u);
  TempDir planted;
  const std::string evidence = store_.filePath(0, 0);
  const std::string before = testing::readTextFile(evidence);
  for (const auto& path : created_) {
    const std::string name = path.substr(path.rfind('/') + 1);
    ASSERT_EQ(symlink(evidence.c_str(), (planted.path() + "/" + name).c_str()), 0);
  }
  settings_.outputFolder = planted.path();
  ASSERT_TRUE(backup());
  EXPECT_EQ(backup_.end, JobOutcome::Finished);
  ASSERT_EQ(created_.size(), 2u);
  for (const auto& path : created_) {
    EXPECT_EQ(path.substr(path.size() - 6), "_2.avi") << path;
    EXPECT_TRUE(testing::readAviContents(path).valid) << path;
  }
  EXPECT_TRUE(testing::readTextFile(evidence) == before);
}

TEST_F(HostileDiskTest, AnOutputFolderOnTheDiskIsRefused) {
  store_.makeFolder(0);
  ASSERT_EQ(mkdir((disk_.path() + "/dir00000/deeper").c_str(), 0755), 0);
  TempDir links;
  const std::string toRoot = links.path() + "/root-link";
  ASSERT_EQ(symlink(disk_.path().c_str(), toRoot.c_str()), 0);
  struct Case {
    std::string folder;
    bool inside;
  };
  const Case cases[] = {
      {disk_.path(), true},
      {disk_.root(), true},
      {disk_.path() + "/dir00000", true},
      {disk_.path() + "/dir00000/deeper/", true},
      {disk_.path() + "/dir00000/../dir00000", true},
      {toRoot, true},
      {toRoot + "/dir00000", true},
      {out_.path(), false},
      {disk_.path() + "-sibling", false},
  };
  ASSERT_EQ(mkdir((disk_.path() + "-sibling").c_str(), 0755), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(folderInsideStore(c.folder, disk_.root()), c.inside);
    const Failure check = checkOutputFolder(c.folder, disk_.root());
    EXPECT_EQ(check.code == FailureCode::OutputInsideStore, c.inside);
  }
  rmdir((disk_.path() + "-sibling").c_str());
  // A missing folder is judged by where it would be made.
  for (const std::string& missing : {disk_.path() + "/newout", disk_.path() + "/new/er/", toRoot + "/newout",
                                     disk_.path() + "/dir00000/deeper/newout"}) {
    SCOPED_TRACE(missing);
    EXPECT_EQ(checkOutputFolder(missing, disk_.root()).code, FailureCode::OutputInsideStore);
  }
  EXPECT_EQ(checkOutputFolder(out_.path() + "/missing", disk_.root()).code, FailureCode::OutputFolderMissing);
  EXPECT_EQ(checkOutputFolder(out_.path() + "/missing/deeper", disk_.root()).code, FailureCode::OutputFolderMissing);
  RecordingFileBuilder().writeTo(out_.file("plain"));
  EXPECT_EQ(checkOutputFolder(out_.file("plain"), disk_.root()).code, FailureCode::OutputNotAFolder);
}

TEST_F(HostileDiskTest, NonRegularRecordingFilesNeverBlockAndFailTheJob) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> plant;
  };
  const Case cases[] = {
      {"fifo", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
      {"folder", [](const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0755), 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir disk;
    StoreWriter store(disk.root());
    settings_.diskRoot = disk.root();
    store.writeFile(0, 0, RecordingFileBuilder().frame(key(0, 1, T0)).timesFromFrames());
    c.plant(store.filePath(0, 1));
    store.fillFolder(0, 2);
    store.fillFolder(1);

    ASSERT_TRUE(scan()) << "the scan blocked";
    EXPECT_EQ(scan_.end, JobOutcome::Failed);
    EXPECT_EQ(scan_.source.unread.path, store.filePath(0, 1));
    EXPECT_EQ(scan_.source.unread.code, FailureCode::SourceUnreadable);  // a file, not the store's root
    EXPECT_FALSE(scan_.source.unread.reason.empty());
    EXPECT_EQ(state_.segmentCount, 1);

    ASSERT_TRUE(backup()) << "the backup blocked";
    EXPECT_EQ(backup_.end, JobOutcome::Failed);
    EXPECT_EQ(backup_.source.unread.path, store.filePath(0, 1));
    ASSERT_EQ(created_.size(), 1u);
    EXPECT_TRUE(testing::readAviContents(created_[0]).valid);
  }
}

TEST_F(HostileDiskTest, AMissingFileWithFoldersLeftSaysSo) {
  for (int folder = 0; folder < 4; ++folder) store_.fillFolder(folder);
  store_.writeFile(0, 0, RecordingFileBuilder().frame(key(0, 1, T0)).timesFromFrames());
  ASSERT_EQ(unlink(store_.filePath(1, 9).c_str()), 0);
  ASSERT_TRUE(scan());
  EXPECT_EQ(scan_.end, JobOutcome::NoVideo);
  EXPECT_EQ(scan_.source.missingPath, store_.filePath(1, 9));
  EXPECT_EQ(scan_.source.foldersNotRead, 2);
  ASSERT_TRUE(backup());
  EXPECT_EQ(backup_.end, JobOutcome::Finished);
  EXPECT_EQ(backup_.source.missingPath, store_.filePath(1, 9));
  EXPECT_EQ(backup_.source.foldersNotRead, 2);
}

TEST_F(HostileDiskTest, TwoScansInOneSecondGiveTwoReports) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(key(0, 1, T0)));
  store_.fillFolder(0);
  ScanOptions options;
  options.startedAt = 1764576000;  // one moment for both
  ASSERT_TRUE(scan(options));
  const std::string first = scan_.reportPath;
  ASSERT_TRUE(scan(options));
  const std::string second = scan_.reportPath;
  EXPECT_NE(first, second);
  EXPECT_EQ(second, first.substr(0, first.size() - 4) + "_2.txt");
  EXPECT_EQ(testing::readTextFile(first), testing::readTextFile(second));
  struct stat info {};
  ASSERT_EQ(stat(second.c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(HostileDiskTest, AReportThatGetsNoHeaderIsRemoved) {
  testing::ScratchMount small(64 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  {
    // Every block taken: the report can be created, but holds nothing.
    const int filler = open((small.path() + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(filler, 0);
    const std::vector<char> block(4096, 'f');
    while (write(filler, block.data(), block.size()) > 0) {
    }
    close(filler);
  }
  store_.writeFile(0, 0, RecordingFileBuilder().frame(key(0, 1, T0)));
  store_.fillFolder(0);
  settings_.outputFolder = small.path();
  ASSERT_TRUE(scan());
  EXPECT_EQ(scan_.end, JobOutcome::Failed);
  EXPECT_EQ(scan_.failure.errorNumber, ENOSPC);
  EXPECT_EQ(testing::listFiles(small.path(), "ScanFile_"), std::vector<std::string>{});
}

TEST_F(HostileDiskTest, OneJobAtATimePerOutputFolder) {
  LockedOutputFolder first = OutputFolderLock::acquire(out_.path());
  ASSERT_TRUE(first) << first.failure.reason;
  EXPECT_FALSE(first.failure.failed());
  const LockedOutputFolder second = OutputFolderLock::acquire(out_.path() + "/");
  EXPECT_FALSE(second.lock.held());
  EXPECT_EQ(second.failure.code, FailureCode::OutputFolderBusy);
  EXPECT_EQ(second.failure.errorNumber, EWOULDBLOCK);
  EXPECT_EQ(second.failure.path, out_.path() + "/");
  // Another folder is free; the first one is once its lock goes.
  TempDir other;
  EXPECT_TRUE(OutputFolderLock::acquire(other.path()).lock.held());
  first.lock = OutputFolderLock();
  EXPECT_TRUE(OutputFolderLock::acquire(out_.path()).lock.held());
  // Nothing is left behind in the folder.
  EXPECT_EQ(testing::listFiles(out_.path()), std::vector<std::string>{});
}

TEST(OutputNames, ManyFilesUnderOneNameCostOneTryEach) {
  // What the old check did in quadratic time: every new file of a name
  // tried every number already given.
  OutputNames names;
  std::size_t tries = 0;
  const auto create = [&](const std::string&) {
    ++tries;
    return 0;
  };
  int error = 0;
  constexpr int COUNT = 8000;
  std::string last;
  for (int i = 0; i < COUNT; ++i) last = names.create("/out/x", ".avi", create, error);
  EXPECT_EQ(tries, static_cast<std::size_t>(COUNT));
  EXPECT_EQ(last, "/out/x_8000.avi");

  // Names taken in the folder cost one try each, once.
  OutputNames fresh;
  tries = 0;
  const auto takenBelow5 = [&](const std::string& path) {
    ++tries;
    return path == "/out/y.avi" || path.find("_2.") != std::string::npos || path.find("_3.") != std::string::npos
               ? EEXIST
               : 0;
  };
  EXPECT_EQ(fresh.create("/out/y", ".avi", takenBelow5, error), "/out/y_4.avi");
  EXPECT_EQ(fresh.create("/out/y", ".avi", takenBelow5, error), "/out/y_5.avi");
  EXPECT_EQ(tries, 5u);
  // Another failure ends the search and says why.
  EXPECT_EQ(fresh.create("/out/z", ".avi", [](const std::string&) { return ENOSPC; }, error), "");
  EXPECT_EQ(error, ENOSPC);
}

// Frames at every second of 11:59:58 to 12:01:01 local time on `day`, one
// channel; returns the store's root.
void storeAroundNoon(const StoreWriter& store, const LocalDate& day) {
  const RecorderTime first = recorderTimeFromPickers(day, {11, 59, 58});
  RecordingFileBuilder file;
  for (int s = 0; s < 64; ++s) file.frame(testing::keyedFrame(0, 1, 1, first + s, 32));
  store.writeFile(0, 0, file.timesFromFrames());
  store.fillFolder(0);
}

TEST(DaylightSavingDays, TheTimeWindowMatchesTheNamesAndTheReport) {
  testing::ScopedTimeZone zone(testing::TZ_CENTRAL_EUROPE);
  for (const LocalDate day : {LocalDate{2026, 3, 29}, LocalDate{2026, 10, 25}, LocalDate{2026, 7, 1}}) {
    SCOPED_TRACE(std::to_string(day.month) + "-" + std::to_string(day.day));
    TempDir disk, out;
    StoreWriter store(disk.root());
    storeAroundNoon(store, day);
    JobSettings settings;
    selectEverything(settings);
    settings.diskRoot = disk.root();
    settings.outputFolder = out.path();
    settings.beginTime = recorderTimeFromPickers(day, {12, 0, 0});
    settings.endTime = recorderTimeFromPickers(day, {12, 0, 59});
    EXPECT_EQ(recorderTimeToCalendar(settings.beginTime).hour, 12);
    EXPECT_EQ(recorderTimeToCalendar(settings.endTime).minute, 0);

    JobState state;
    std::vector<std::string> created;
    BackupOptions options;
    options.fileCreated = [&](const std::string& path) { created.push_back(path); };
    backupWorker(settings, state, options);
    ASSERT_EQ(created.size(), 1u);
    const std::string expected = "_chn1_Time_2026_" + std::to_string(day.month) + "_" + std::to_string(day.day) +
                                 "_12_0_0.avi";
    EXPECT_NE(created[0].find(expected), std::string::npos) << created[0];
    EXPECT_EQ(testing::readAviContents(created[0]).count("00db"), 60u);

    // The report's row of the whole recording starts at 11:59:58 local.
    JobState scanState;
    const std::string report = testing::readTextFile(scanWorker(settings, scanState).reportPath);
    char start[32];
    std::snprintf(start, sizeof start, "%4d.%2d.%2d 11:59:58", day.year, day.month, day.day);
    EXPECT_NE(report.find(start), std::string::npos) << report;
  }
}

// Every file under `folder` with its bytes, by path.
std::map<std::string, std::string> filesUnder(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    files[entry.path().string()] = entry.is_symlink() ? "link" : testing::readTextFile(entry.path().string());
  return files;
}

// Another process renames or links something over a job's output while the
// job writes it: the files still go where the job opened its folder, the job
// fails naming what it cannot vouch for, the store is untouched, and the
// hash list lists only files that are as the job wrote them.
TEST_F(HostileDiskTest, OutputSwappedDuringAJobFailsItAndIsNeverVouchedFor) {
  for (int file = 0; file < 3; ++file)
    store_.writeFile(0, file, RecordingFileBuilder()
                                  .frame(key(0, 1 + file, T0 + 10 * file))
                                  .frame(key(1, 11 + file, T0 + 10 * file))
                                  .timesFromFrames());
  store_.fillFolder(0, 3);
  const std::string real = out_.path();
  const std::string moved = real + "-moved";
  const std::string planted = out_.path() + "-planted";
  const auto swapFolder = [&] {
    ASSERT_EQ(rename(real.c_str(), moved.c_str()), 0);
    ASSERT_EQ(symlink((disk_.path() + "/dir00000").c_str(), real.c_str()), 0);
  };
  const auto plantFile = [&](const std::string& path) {
    testing::writeBytes(planted, {'n', 'o', 't', ' ', 'o', 'u', 'r', 's'});
    ASSERT_EQ(rename(planted.c_str(), path.c_str()), 0);
  };
  const auto plantLink = [&](const std::string& path) {
    ASSERT_EQ(symlink(store_.filePath(0, 0).c_str(), planted.c_str()), 0);
    ASSERT_EQ(rename(planted.c_str(), path.c_str()), 0);
  };
  struct Case {
    const char* what;
    bool backupJob;
    bool folderSwapped;
    std::function<void(const std::string& path)> meanwhile;  // given the first file made
  };
  const Case cases[] = {
      {"backup, folder swapped for a link into the store", true, true, [&](const std::string&) { swapFolder(); }},
      {"backup, a file renamed over an AVI file", true, false, plantFile},
      {"backup, a link renamed over an AVI file", true, false, plantLink},
      {"scan, folder swapped for a link into the store", false, true, [&](const std::string&) { swapFolder(); }},
      {"scan, a file renamed over the report", false, false, plantFile},
  };
  const std::map<std::string, std::string> store = filesUnder(disk_.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(real);
    std::filesystem::remove_all(moved);
    ASSERT_EQ(mkdir(real.c_str(), 0755), 0);
    bool done = false;
    const auto once = [&](const std::string& path) {
      if (!std::exchange(done, true)) c.meanwhile(path);
    };
    std::string listPath, jsonPath;
    if (c.backupJob) {
      onCreated_ = once;
      ASSERT_TRUE(backup());
      onCreated_ = nullptr;
      EXPECT_EQ(backup_.end, JobOutcome::Failed);
      EXPECT_EQ(backup_.failure.errorNumber, 0);
      EXPECT_EQ(backup_.failure.cause,
                c.folderSwapped ? FailureCode::OutputFolderReplaced : FailureCode::OutputFileReplaced);
      EXPECT_EQ(created_.size(), 6u);  // some after the swap
      listPath = backup_.hashListPath;
      jsonPath = backup_.logPath;
    } else {
      ScanOptions options;
      options.segmentEnded = [&](const SegmentRecord&) {
        const std::vector<std::string> reports = testing::listFiles(real, "ScanFile_", ".txt");
        if (!done) once(reports.empty() ? std::string() : reports[0]);
      };
      ASSERT_TRUE(scan(options));
      EXPECT_EQ(scan_.end, JobOutcome::Failed);
      EXPECT_EQ(scan_.failure.errorNumber, 0);
      EXPECT_EQ(scan_.failure.cause,
                c.folderSwapped ? FailureCode::OutputFolderReplaced : FailureCode::OutputFileReplaced);
      listPath = scan_.hashListPath;
      jsonPath = scan_.logPath;
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(filesUnder(disk_.path()), store) << "the store was written";
    // The log lies where the job's files went.
    const std::string folder = c.folderSwapped ? moved : real;
    const std::string name = listPath.substr(listPath.rfind('/') + 1);
    const std::string json = testing::readTextFile(folder + "/" + jsonPath.substr(jsonPath.rfind('/') + 1));
    EXPECT_NE(json.find("\"outcome\": \"failed\""), std::string::npos) << json;
    const std::string list = testing::readTextFile(folder + "/" + name);
    EXPECT_EQ(list.find("not ours"), std::string::npos);
    if (!list.empty()) {
      std::string output;
      EXPECT_EQ(testing::runShell("cd " + testing::shellQuoted(folder) + " && sha256sum --quiet -c " + name, &output), 0)
          << output;
    }
    // The planted name is never listed.
    if (!c.folderSwapped && c.backupJob) {
      EXPECT_EQ(list.find(created_[0].substr(created_[0].rfind('/') + 1)), std::string::npos) << list;
    }
    if (!c.folderSwapped && !c.backupJob) {
      EXPECT_TRUE(list.empty()) << list;
    }
    std::filesystem::remove_all(real);
  }
  std::filesystem::remove_all(moved);
}

}  // namespace
}  // namespace korvex
