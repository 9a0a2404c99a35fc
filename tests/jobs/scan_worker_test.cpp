#include "jobs/scan_worker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "jobs/scan_report.h"
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

constexpr std::time_t STARTED = 1796112000;  // names the report ScanFile_2026_12_1_8_0_0.txt in UTC

FrameSpec frame(std::int32_t channel, std::int32_t keyA, std::int32_t keyB, RecorderTime t, std::size_t bytes = 16,
                std::int32_t type = 1) {
  return testing::keyedFrame(channel, keyA, keyB, t, bytes, type);
}

struct ScanRun {
  JobState state;
  ScanResult result;
  StopRequest stop;
  std::string report;
};

class ScanWorkerTest : public ::testing::Test {
 protected:
  ScanWorkerTest() : zone_("UTC0"), store_(disk_.root()) {}

  void run(ScanRun& out, JobSettings settings = {}, std::function<void(const char*)> trace = {}) {
    settings.diskRoot = disk_.root();
    if (settings.outputFolder.empty()) settings.outputFolder = out_.path();
    out.state.reset();
    ScanOptions options;
    options.startedAt = STARTED;
    options.trace = std::move(trace);
    const FolderSource source(settings.diskRoot);
    out.result = scanWorker(settings, source, out.state, out.stop, options);
    if (!out.result.reportPath.empty()) {
      EXPECT_FALSE(testing::openInThisProcess(out.result.reportPath));
    }
    // (A report that failed may be a device that never ends: not read.)
    if (!out.result.reportPath.empty() && out.result.end != JobOutcome::Failed)
      out.report = testing::readTextFile(out.result.reportPath);
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
  StoreWriter store_;
};

std::string header() { return std::string(SCAN_REPORT_HEADER); }

TEST_F(ScanWorkerTest, OneSegmentAcrossFilesAndFoldersAndTheLastSegmentsInAFinalPass) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(frame(0, 5, 6, T0)).frame(frame(0, 5, 6, T0 + 1)));
  store_.writeFile(0, 1, RecordingFileBuilder().frame(frame(0, 5, 99, T0 + 2)));
  store_.fillFolder(0);
  store_.writeFile(1, 0, RecordingFileBuilder().frame(frame(0, 98, 6, T0 + 3)).frame(frame(0, 7, 8, T0 + 10, 2000)));
  store_.fillFolder(1);

  ScanRun run_;
  run(run_);
  EXPECT_EQ(run_.result.reportPath, out_.path() + "/ScanFile_2026_12_1_8_0_0.txt");
  EXPECT_EQ(run_.report,
            header() +
                "    1 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:13  |   0: 0: 3  |    64B |   0\r\n"
                "    2 |    1    |     Time  |  2012. 5. 4  8: 9:20  |  2012. 5. 4  8: 9:20  |   0: 0: 0  |     1K |   1\r\n");
  EXPECT_EQ(run_.result.end, JobOutcome::Finished);
  EXPECT_EQ(run_.state.scanPercent, 100);
  EXPECT_EQ(run_.state.segmentCount, 2);
  EXPECT_FALSE(run_.result.aborted);
}

TEST_F(ScanWorkerTest, InterleavedChannelsListSegmentsInTheOrderTheyEnd) {
  store_.writeFile(0, 0, RecordingFileBuilder()
                             .frame(frame(0, 11, 12, T0))
                             .frame(frame(1, 21, 22, T0, 16, 2))
                             .frame(frame(0, 11, 12, T0 + 1))
                             .frame(frame(1, 21, 22, T0 + 1, 16, 2))
                             .frame(frame(1, 23, 24, T0 + 5, 16, 4))  // ends channel 2's first segment
                             .frame(frame(0, 13, 14, T0 + 6, 16, 8))  // ends channel 1's first segment
                             .frame(frame(40, 1, 1, T0 + 7))          // no such channel: ignored
                             .frame(frame(2, 31, 32, T0 + 7, 16, 9)));
  store_.fillFolder(0);

  ScanRun run_;
  run(run_);
  EXPECT_EQ(run_.report,
            header() +
                "    1 |    2    |   Motion  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:11  |   0: 0: 1  |    32B |   0\r\n"
                "    2 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:11  |   0: 0: 1  |    32B |   0\r\n"
                "    3 |    1    |   Manual  |  2012. 5. 4  8: 9:16  |  2012. 5. 4  8: 9:16  |   0: 0: 0  |    16B |   0\r\n"
                "    4 |    2    |   Sensor  |  2012. 5. 4  8: 9:15  |  2012. 5. 4  8: 9:15  |   0: 0: 0  |    16B |   0\r\n"
                "    5 |    3    |           |  2012. 5. 4  8: 9:17  |  2012. 5. 4  8: 9:17  |   0: 0: 0  |    16B |   0\r\n");
}

TEST_F(ScanWorkerTest, FramesWithAZeroKeyAtTheStartNeverMakeARow) {
  store_.writeFile(0, 0, RecordingFileBuilder()
                             .frame(frame(0, 0, 7, T0))
                             .frame(frame(0, 8, 0, T0 + 1))
                             .frame(frame(0, 3, 4, T0 + 2))
                             .frame(frame(0, 3, 5, T0 + 3)));
  store_.fillFolder(0);
  ScanRun run_;
  run(run_);
  EXPECT_EQ(run_.report,
            header() +
                "    1 |    1    |     Time  |  2012. 5. 4  8: 9:12  |  2012. 5. 4  8: 9:13  |   0: 0: 1  |    32B |   0\r\n");
}

TEST_F(ScanWorkerTest, FolderRangeLimitsTheFoldersVisited) {
  for (int folder = 0; folder < 4; ++folder) {
    store_.writeFile(folder, 0, RecordingFileBuilder().frame(frame(folder, 1 + folder, 1 + folder, T0 + folder)));
    store_.fillFolder(folder);
  }
  JobSettings settings;
  settings.folderStart = 1;
  settings.folderEnd = 3;
  std::vector<std::string> trace;
  ScanRun run_;
  run(run_, settings, [&](const char* line) { trace.emplace_back(line); });
  EXPECT_EQ(run_.report,
            header() +
                "    1 |    2    |     Time  |  2012. 5. 4  8: 9:11  |  2012. 5. 4  8: 9:11  |   0: 0: 0  |    16B |   1\r\n"
                "    2 |    3    |     Time  |  2012. 5. 4  8: 9:12  |  2012. 5. 4  8: 9:12  |   0: 0: 0  |    16B |   2\r\n");
  EXPECT_EQ(trace, (std::vector<std::string>{"i = 1  folder_count = 3  progressbar = 66\r\n",
                                             "i = 2  folder_count = 3  progressbar = 100\r\n"}));
  EXPECT_EQ(run_.result.end, JobOutcome::Finished);
}

TEST_F(ScanWorkerTest, ARangeWithoutFoldersGivesTheHeaderAlone) {
  store_.fillFolder(0);
  JobSettings settings;
  settings.folderStart = 5;
  ScanRun run_;
  run(run_, settings);
  EXPECT_EQ(run_.report, header());
  EXPECT_EQ(run_.result.end, JobOutcome::Finished);
  EXPECT_EQ(run_.state.scanPercent, 0);
}

TEST_F(ScanWorkerTest, AMissingFileMidRangeAbortsAndKeepsTheRowsFound) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(frame(0, 1, 1, T0)));
  store_.writeFile(0, 1, RecordingFileBuilder().frame(frame(0, 2, 2, T0 + 1)));
  store_.fillFolder(0);
  ASSERT_EQ(unlink(store_.filePath(0, 2).c_str()), 0);
  store_.writeFile(1, 0, RecordingFileBuilder().frame(frame(0, 3, 3, T0 + 2)));
  store_.fillFolder(1);

  ScanRun run_;
  run(run_);
  EXPECT_EQ(run_.report,
            header() +
                "    1 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:10  |   0: 0: 0  |    16B |   0\r\n"
                "    2 |    1    |     Time  |  2012. 5. 4  8: 9:11  |  2012. 5. 4  8: 9:11  |   0: 0: 0  |    16B |   0\r\n");
  EXPECT_EQ(run_.result.end, JobOutcome::NoVideo);
  EXPECT_TRUE(run_.result.aborted);
  EXPECT_EQ(run_.state.currentScanFolder, 0);
  EXPECT_EQ(run_.state.currentScanFile, 2);
  EXPECT_EQ(run_.state.scanPercent, 50);
}

TEST_F(ScanWorkerTest, AFolderNotFilledToTheEndStillCompletesTheLastFolder) {
  store_.fillFolder(0);
  store_.writeFile(1, 0, RecordingFileBuilder().frame(frame(0, 3, 3, T0)));
  ScanRun run_;
  run(run_);
  EXPECT_EQ(run_.result.end, JobOutcome::Finished);
  EXPECT_TRUE(run_.result.aborted);
  EXPECT_EQ(run_.state.scanPercent, 100);
  EXPECT_EQ(run_.state.segmentCount, 1);
}

TEST_F(ScanWorkerTest, TwoScansSharingOneStateEachNumberTheirRowsFromOne) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(frame(0, 1, 1, T0)).frame(frame(1, 2, 2, T0 + 1)));
  store_.fillFolder(0);
  // The state is what others see of a job; nothing resets it between these two.
  JobState shared;
  const FolderSource source(disk_.root());
  ScanOptions options;
  options.startedAt = STARTED;
  for (int scan = 0; scan < 2; ++scan) {
    SCOPED_TRACE(scan);
    const TempDir out;
    JobSettings settings;
    settings.diskRoot = disk_.root();
    settings.outputFolder = out.path();
    const ScanResult result = scanWorker(settings, source, shared, StopRequest{}, options);
    EXPECT_EQ(testing::readTextFile(result.reportPath),
              header() +
                  "    1 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:10  |   0: 0: 0  |    16B |   0\r\n"
                  "    2 |    2    |     Time  |  2012. 5. 4  8: 9:11  |  2012. 5. 4  8: 9:11  |   0: 0: 0  |    16B |   0\r\n");
    EXPECT_EQ(shared.segmentCount, 2);
  }
}

TEST_F(ScanWorkerTest, AStopTakesEffectBetweenFilesAndTheOpenSegmentsAreStillWritten) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(frame(0, 1, 1, T0)));
  store_.fillFolder(0);
  store_.writeFile(1, 0, RecordingFileBuilder().frame(frame(1, 2, 2, T0)));
  store_.fillFolder(1);

  ScanRun run_;
  run(run_, {}, [&](const char* line) {
    if (std::string(line).rfind("i = 1 ", 0) == 0) run_.stop.request();
  });
  EXPECT_EQ(run_.report,
            header() +
                "    1 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:10  |   0: 0: 0  |    16B |   0\r\n");
  EXPECT_EQ(run_.result.end, JobOutcome::Stopped);
}

TEST_F(ScanWorkerTest, NoFolderMakesNoReport) {
  ScanRun run_;
  run(run_);
  EXPECT_EQ(run_.result.end, JobOutcome::NoVideo);
  EXPECT_TRUE(run_.result.aborted);
  EXPECT_TRUE(run_.result.reportPath.empty());
  // Only the log of the attempt.
  EXPECT_EQ(testing::listFiles(out_.path()), (std::vector<std::string>{run_.result.logPath, run_.result.hashListPath}));
}

TEST_F(ScanWorkerTest, AReportThatCannotBeCreatedEndsTheScanWithItsReason) {
  store_.fillFolder(0);
  JobSettings settings;
  settings.outputFolder = out_.path() + "/missing";
  ScanRun run_;
  run(run_, settings);
  EXPECT_EQ(run_.result.end, JobOutcome::Failed);
  EXPECT_EQ(run_.result.failure.errorNumber, ENOENT);
  EXPECT_FALSE(run_.result.aborted);
  EXPECT_EQ(run_.result.reportPath, out_.path() + "/missing/ScanFile_2026_12_1_8_0_0.txt");
}

TEST_F(ScanWorkerTest, ALinkAtTheReportsNameIsNeverWrittenThrough) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  store_.writeFile(0, 0, RecordingFileBuilder().frame(frame(0, 1, 1, T0)).frame(frame(0, 2, 2, T0 + 1)));
  store_.fillFolder(0);
  // A link under the report's name, to a device that is always full.
  const std::string reportPath = out_.path() + "/ScanFile_2026_12_1_8_0_0.txt";
  ASSERT_EQ(symlink("/dev/full", reportPath.c_str()), 0);
  ScanRun run_;
  run(run_);
  EXPECT_EQ(run_.result.end, JobOutcome::Finished);
  EXPECT_EQ(run_.result.reportPath, out_.path() + "/ScanFile_2026_12_1_8_0_0_2.txt");
  EXPECT_EQ(testing::readTextFile(run_.result.reportPath).rfind(SCAN_REPORT_HEADER, 0), 0u);
  char target[64] = {};
  ASSERT_GT(readlink(reportPath.c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "/dev/full");
}

TEST_F(ScanWorkerTest, TheSegmentsComeAsValuesThatTheReportIsOneViewOf) {
  store_.writeFile(0, 0, RecordingFileBuilder()
                             .frame(frame(0, 11, 12, T0))
                             .frame(frame(1, 21, 22, T0, 16, 2))
                             .frame(frame(0, 11, 12, T0 + 1, 40)));
  store_.writeFile(0, 1, RecordingFileBuilder().frame(frame(0, 11, 12, T0 + 2)).frame(frame(1, 23, 24, T0 + 5)));
  store_.fillFolder(0);
  store_.writeFile(1, 0, RecordingFileBuilder().frame(frame(1, 23, 24, T0 + 6, 100)));
  store_.fillFolder(1);

  std::vector<SegmentRecord> told;
  JobSettings settings;
  settings.diskRoot = disk_.root();
  settings.outputFolder = out_.path();
  ScanOptions options;
  options.startedAt = STARTED;
  options.segmentEnded = [&](const SegmentRecord& segment) { told.push_back(segment); };
  JobState state;
  const ScanResult result = scanWorker(settings, state, options);
  ASSERT_EQ(result.end, JobOutcome::Finished);

  // The report is the rows of the values, in their order.
  std::string rows = header();
  for (const SegmentRecord& segment : result.segments) {
    char row[REPORT_ROW_BUFFER_SIZE];
    SegmentTracker tracker = segmentTracker(segment);
    rows.append(row, formatSegmentRow(tracker, segment.serial, row, sizeof row));
  }
  EXPECT_EQ(testing::readTextFile(result.reportPath), rows);
  ASSERT_EQ(told.size(), result.segments.size());
  ASSERT_EQ(result.segments.size(), 3u);

  struct Expected {
    std::int32_t serial, channel;
    RecorderTime start, end;
    std::uint64_t bytes;
    std::int32_t firstFolder, firstFile, lastFolder, lastFile;
  };
  const Expected expected[] = {
      {1, 1, T0, T0, 16, 0, 0, 0, 0},           // ended by channel 2's second segment
      {2, 0, T0, T0 + 2, 16 + 40 + 16, 0, 0, 0, 1},
      {3, 1, T0 + 5, T0 + 6, 16 + 100, 0, 1, 1, 0},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const SegmentRecord& s = result.segments[i];
    EXPECT_EQ(s.serial, expected[i].serial);
    EXPECT_EQ(s.channel, expected[i].channel);
    EXPECT_EQ(s.startTime, expected[i].start);
    EXPECT_EQ(s.endTime, expected[i].end);
    EXPECT_EQ(s.byteCount, expected[i].bytes);
    EXPECT_EQ(told[i].serial, s.serial);
    EXPECT_EQ(s.firstFrame.folder, expected[i].firstFolder);
    EXPECT_EQ(s.firstFrame.file, expected[i].firstFile);
    EXPECT_EQ(s.lastFrame.folder, expected[i].lastFolder);
    EXPECT_EQ(s.lastFrame.file, expected[i].lastFile);
    // The places are the frames' own headers.
    for (const auto& [place, time] : {std::pair{s.firstFrame, s.startTime}, std::pair{s.lastFrame, s.endTime}}) {
      const std::string bytes = testing::readTextFile(store_.filePath(place.folder, place.file));
      ASSERT_LE(place.offset + FRAME_HEADER_SIZE, bytes.size());
      const FrameHeader decoded =
          decodeFrameHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()) + place.offset);
      EXPECT_EQ(decoded.magicHead, FRAME_MAGIC_HEAD);
      EXPECT_EQ(decoded.timeStamp, time);
      EXPECT_EQ(decoded.channel, s.channel);
    }
  }
}

}  // namespace
}  // namespace korvex
