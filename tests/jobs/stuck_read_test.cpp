// A read of the store that never returns (a failing disk, a hung network
// share): once a stop is asked for, the job's owner ends the job without
// the read. Its AVI files are finished, its report closed, and its log names
// the read; when the read comes back at last, nothing is touched.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "jobs/backup_worker.h"
#include "jobs/job_thread.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "support/avi_contents.h"
#include "support/disk_images.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using testing::AviContents;
using testing::TempDir;

// One read (or the opening of one file) that waits until released.
struct Hold {
  int file = 0;
  bool opening = false;
  std::uint64_t at = 0;  // a read from this byte on waits

  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool released = false;

  void wait() {
    std::unique_lock lock(mutex);
    entered = true;
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
  }
  bool waitEntered() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 20s, [&] { return entered; });
  }
  void release() {
    const std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  }
};

class HeldFile final : public SourceFile {
 public:
  HeldFile(std::unique_ptr<SourceFile> file, std::shared_ptr<Hold> hold) : file_(std::move(file)), hold_(std::move(hold)) {}
  std::uint64_t size() const override { return file_->size(); }
  std::int64_t readAt(std::uint64_t offset, const iovec* parts, int count) override {
    if (offset == hold_->at) hold_->wait();
    return file_->readAt(offset, parts, count);
  }

 private:
  std::unique_ptr<SourceFile> file_;
  std::shared_ptr<Hold> hold_;
};

// The store of a folder, with the hold in file `hold->file` of folder 0.
class HoldingSource final : public RecordingSource {
 public:
  HoldingSource(std::string root, std::shared_ptr<Hold> hold) : folder_(std::move(root)), hold_(std::move(hold)) {}
  int countFolders() const override { return folder_.countFolders(); }
  std::string filePath(int folder, int file) const override { return folder_.filePath(folder, file); }
  OpenedFile openFile(int folder, int file, ReadPattern pattern) const override {
    const bool held = folder == 0 && file == hold_->file;
    if (held && hold_->opening) hold_->wait();
    OpenedFile opened = folder_.openFile(folder, file, pattern);
    if (held && !hold_->opening && opened.file) opened.file = std::make_unique<HeldFile>(std::move(opened.file), hold_);
    return opened;
  }

 private:
  FolderSource folder_;
  std::shared_ptr<Hold> hold_;
};

// Where the payload of a picture of file 0 begins that the backup reads
// straight into its AVI file (one after the channel's first key frame).
std::uint64_t inPlacePictureAt(const std::string& path) {
  RecordingFileReader reader;
  EXPECT_TRUE(reader.open(path));
  RecordingFileHeader header;
  FrameHeader frame;
  int pictures = 0;
  if (reader.readFileHeader(header)) {
    while (reader.nextFrame(frame)) {
      if (frame.channel == 0 && frame.frameKind != FRAME_KIND_AUDIO && ++pictures > 2)
        return reader.frameOffset() + FRAME_HEADER_SIZE;
    }
  }
  ADD_FAILURE() << "no picture to hold in " << path;
  return 0;
}

struct StuckCase {
  const char* name;
  bool backup;
  int file;
  bool opening;
  bool inPicture;          // else the first header of the file
  const char* readWords;   // what the log says of the read
};

class StuckReadTest : public ::testing::TestWithParam<StuckCase> {
 protected:
  StuckReadTest() : zone_("UTC0") {
    testing::SimulationOptions options;
    options.fileBytes = 60000;
    testing::simulateRecorder(disk_.root(), {{0, 1, testing::T0, 8, true}, {1, 2, testing::T0, 8, false}}, options);
    selectEverything(settings_);
    settings_.diskRoot = disk_.root();
    settings_.outputFolder = out_.path();
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
  JobSettings settings_;
};

TEST_P(StuckReadTest, AStopEndsTheJobWithoutTheReadAndItsFilesAreFinished) {
  const StuckCase& c = GetParam();
  auto hold = std::make_shared<Hold>();
  hold->file = c.file;
  hold->opening = c.opening;
  const std::string held = FolderSource(disk_.root()).filePath(0, c.file);
  std::uint64_t readAt = FILE_HEADER_SIZE;
  if (c.inPicture) readAt = inPlacePictureAt(held);
  hold->at = readAt;
  const std::shared_ptr<const RecordingSource> source = std::make_shared<HoldingSource>(disk_.root(), hold);

  // Filled by the rescue on this thread; the job's thread never returns.
  JobState state;
  StopRequest stop;
  BackupResult backup;
  ScanResult scan;
  JobThread thread;
  if (c.backup) {
    BackupOptions options;
    options.rescued = [&](BackupResult r) { backup = std::move(r); };
    thread.start([&, source, options] { backup = backupWorker(settings_, *source, state, stop, options); });
  } else {
    ScanOptions options;
    options.rescued = [&](ScanResult r) { scan = std::move(r); };
    thread.start([&, source, options] { scan = scanWorker(settings_, *source, state, stop, options); });
  }
  ASSERT_TRUE(hold->waitEntered());
  // Not before a stop, and not before the patience has run out.
  EXPECT_FALSE(thread.waitFor(300ms));
  stop.request();
  const auto stopped = std::chrono::steady_clock::now();
  EXPECT_FALSE(thread.rescueIfStuck(200ms));
  while (!thread.waitFor(50ms)) thread.rescueIfStuck(200ms);
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 5s);
  EXPECT_TRUE(thread.abandoned());
  thread.join();

  const std::string logPath = c.backup ? backup.logPath : scan.logPath;
  ASSERT_FALSE(logPath.empty());
  const auto log = nlohmann::json::parse(testing::readTextFile(logPath));
  EXPECT_EQ(log.at("outcome"), "stopped");
  ASSERT_EQ(log.at("unreadable").size(), 1u);
  EXPECT_EQ(log["unreadable"][0].at("path"), held);
  const std::string reason = log["unreadable"][0].at("reason");
  EXPECT_NE(reason.find(c.readWords), std::string::npos) << reason;
  if (!c.opening) {
    EXPECT_NE(reason.find("at byte " + std::to_string(readAt)), std::string::npos) << reason;
  }

  std::vector<std::string> outputs;
  if (c.backup) {
    EXPECT_EQ(backup.end, JobOutcome::Stopped);
    ASSERT_FALSE(backup.files.empty());
    for (const ExportedFile& file : backup.files) {
      SCOPED_TRACE(file.path);
      outputs.push_back(file.path);
      EXPECT_TRUE(file.finished);
      EXPECT_FALSE(testing::openInThisProcess(file.path));
      const AviContents avi = testing::readAviContents(file.path);
      EXPECT_TRUE(avi.valid);
      EXPECT_GT(avi.indexEntries, 0u);
      EXPECT_EQ(avi.indexMismatch(), "");
      EXPECT_EQ(avi.count("00db"), file.videoFrames);
      if (testing::programOnPath("ffprobe")) {
        const auto video = testing::probeMedia(file.path).streamsOfType("video");
        ASSERT_EQ(video.size(), 1u);
        EXPECT_EQ(video[0].at("nb_read_frames"), std::to_string(file.videoFrames));
      }
    }
  } else {
    EXPECT_EQ(scan.end, JobOutcome::Stopped);
    EXPECT_FALSE(scan.segments.empty());
    outputs.push_back(scan.reportPath);
  }
  outputs.push_back(logPath);

  // The read comes back at last: the job's thread waits for ever and
  // touches nothing it wrote.
  std::vector<std::vector<std::uint8_t>> before;
  for (const std::string& path : outputs) before.push_back(testing::readBytes(path));
  hold->release();
  std::this_thread::sleep_for(300ms);
  for (std::size_t i = 0; i < outputs.size(); ++i) EXPECT_TRUE(testing::readBytes(outputs[i]) == before[i]) << outputs[i];
}

INSTANTIATE_TEST_SUITE_P(
    Reads, StuckReadTest,
    ::testing::Values(StuckCase{"BackupReadingAPictureIntoItsFile", true, 0, false, true, "a read of"},
                      StuckCase{"BackupOpeningAFile", true, 2, true, false, "opening it"},
                      StuckCase{"ScanReadingAHeader", false, 2, false, false, "a read of"}),
    [](const ::testing::TestParamInfo<StuckCase>& param) { return std::string(param.param.name); });

TEST(JobThreadTest, AJobThatIsNotInsideAReadIsNeverEndedFromOutside) {
  JobThread thread;
  std::atomic<bool> go{false};
  thread.start([&] {
    while (!go.load()) std::this_thread::sleep_for(1ms);
  });
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(thread.rescueIfStuck(0ms));
    std::this_thread::sleep_for(10ms);
  }
  go = true;
  thread.join();
  EXPECT_FALSE(thread.abandoned());
  EXPECT_FALSE(thread.running());
}

}  // namespace
}  // namespace korvex
