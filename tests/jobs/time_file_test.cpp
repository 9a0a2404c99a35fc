#include "jobs/time_file.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "jobs/backup_worker.h"
#include "jobs/scan_log_reader.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::T0;

TEST(StampRateTally, CountsFramesAgainstTheirStamps) {
  struct Case {
    std::vector<std::pair<int, int>> seconds;  // stamp offset, frames with it
    StampRate expected;                        // nominal 25 unless 0
    double drift;
  };
  const Case cases[] = {
      {{{0, 25}, {1, 25}}, {25, 50, 2, 0, 0, 25, 25}, 0.0},
      {{{0, 25}, {1, 20}, {3, 25}}, {25, 70, 3, 1, 0, 20, 25}, (70.0 / 25 / 4 - 1) * 100},
      {{{5, 10}, {6, 10}, {4, 10}}, {25, 30, 3, 0, 1, 10, 10}, (30.0 / 25 / 3 - 1) * 100},
      {{{0, 12}, {1, 13}}, {0, 25, 2, 0, 0, 12, 13}, 0.0},
  };
  for (const Case& c : cases) {
    StampRateTally tally;
    for (const auto& [second, frames] : c.seconds)
      for (int k = 0; k < frames; ++k) tally.add(T0 + second, c.expected.nominal);
    const StampRate r = tally.result();
    const StampRate& e = c.expected;
    EXPECT_EQ(std::vector<std::uint64_t>({r.videoFrames, r.secondsWithFrames, r.secondsWithoutFrame,
                                          r.stampsBackwards, r.minPerSecond, r.maxPerSecond}),
              std::vector<std::uint64_t>({e.videoFrames, e.secondsWithFrames, e.secondsWithoutFrame,
                                          e.stampsBackwards, e.minPerSecond, e.maxPerSecond}));
    // No nominal rate, no drift.
    EXPECT_EQ(r.driftPercent().has_value(), e.nominal != 0);
    EXPECT_NEAR(r.driftPercent().value_or(0.0), c.drift, 1e-9);
  }
}

// Pictures per second of recorder time: 25, 20, none, 25 and 30; the sound
// after a picture is stamped as the picture.
RecorderTime stampOfPicture(std::uint64_t picture) {
  const std::uint64_t ends[] = {25, 45, 45, 70, 100};
  for (int s = 0; s < 5; ++s)
    if (picture < ends[s]) return T0 + s;
  return T0 + 5;
}

class TimeFileJobTest : public ::testing::Test {
 protected:
  TimeFileJobTest() : zone_("UTC0") {
    testing::SimulationOptions simulation;
    std::uint64_t pictures = 0;
    RecorderTime last = T0;
    simulation.onFrame = [&](testing::FrameSpec& frame, const testing::SimulatedPlace&) {
      if (frame.frameKind != FRAME_KIND_AUDIO) last = stampOfPicture(pictures++);
      frame.timeStamp = last;
    };
    payloadBytes_ = testing::simulateRecorder(disk_.root(), {{0, 1, T0, 4, true}}, simulation).payloadBytes;
  }

  JobSettings settings(bool timeFile) const {
    JobSettings s;
    selectEverything(s);
    s.diskRoot = disk_.root();
    s.outputFolder = out_.path();
    s.timeFile = timeFile;
    return s;
  }
  BackupResult backup(bool timeFile, BackupOptions options = {}) {
    JobState state;
    return backupWorker(settings(timeFile), state, options);
  }
  static std::string readText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
  }
  // ffmpeg's reading of a subtitle file, as WebVTT (under an hour): per cue
  // its start and end in milliseconds and its text.
  static std::vector<std::tuple<unsigned, unsigned, std::string>> cues(const std::string& path) {
    const auto run = testing::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "webvtt", "-"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::vector<std::tuple<unsigned, unsigned, std::string>> found;
    std::istringstream lines(run.out);
    for (std::string line, text; std::getline(lines, line);) {
      unsigned t[6] = {};
      if (std::sscanf(line.c_str(), "%u:%u.%u --> %u:%u.%u", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5]) != 6) continue;
      std::getline(lines, text);
      found.emplace_back((t[0] * 60 + t[1]) * 1000 + t[2], (t[3] * 60 + t[4]) * 1000 + t[5], text);
    }
    return found;
  }

  testing::ScopedTimeZone zone_;
  testing::TempDir disk_, out_;
  std::uint64_t payloadBytes_ = 0;
};

TEST_F(TimeFileJobTest, CuesGiveTheStampOfThePictureOnScreen) {
  if (!testing::programOnPath("ffprobe")) GTEST_SKIP() << "ffmpeg is not installed";
  const BackupResult result = backup(true);
  ASSERT_EQ(result.files.size(), 1u);
  const ExportedFile& file = result.files[0];
  ASSERT_EQ(file.timeFilePath, file.path.substr(0, file.path.size() - 4) + ".srt");
  const testing::MediaProbe probe = testing::probeMedia(file.timeFilePath);
  ASSERT_EQ(probe.streams.size(), 1u) << probe.run.err;
  EXPECT_EQ(probe.streams[0].at("codec_name"), "subrip");
  // One cue per second of pictures, up to the next second's first picture.
  using Cue = std::tuple<unsigned, unsigned, std::string>;
  EXPECT_EQ(cues(file.timeFilePath), (std::vector<Cue>{{0, 1000, "2012. 5. 4  8: 9:10"},
                                                       {1000, 1800, "2012. 5. 4  8: 9:11"},
                                                       {1800, 2800, "2012. 5. 4  8: 9:13"},
                                                       {2800, 4000, "2012. 5. 4  8: 9:14"}}));
  // 100 pictures over 5 seconds of stamps play in 4 seconds.
  EXPECT_EQ(testing::probeMedia(file.path).streamsOfType("video").at(0).at("nb_read_frames"), "100");
  EXPECT_EQ(std::vector<std::uint64_t>({file.rate.minPerSecond, file.rate.maxPerSecond, file.rate.secondsWithoutFrame,
                                        file.rate.stampsBackwards}),
            std::vector<std::uint64_t>({20, 30, 1, 0}));

  // The log: the side file with its hash, the rate; the hash list checks both.
  const auto log = nlohmann::ordered_json::parse(readText(result.logPath));
  const auto& entry = log["files"].at(0);
  EXPECT_EQ(entry["timeFile"]["sha256"], file.timeFileHash.sha256);
  EXPECT_EQ(entry["timeFile"]["cues"], 4);
  EXPECT_EQ(entry["rate"].dump(), R"({"nominal":25,"mean":20.0,"min":20,"max":30,"videoFrames":100,)"
                                  R"("stampSeconds":5,"secondsWithoutFrame":1,"stampsBackwards":0,"driftPercent":-20.0})");
  const auto check = testing::runProgram({"sh", "-c", "cd \"$0\" && sha256sum -c \"$1\"", out_.path(),
                                          fileNameOf(result.hashListPath)});
  EXPECT_EQ(check.exitStatus, 0) << check.err;
  EXPECT_NE(check.out.find(fileNameOf(file.timeFilePath) + ": OK"), std::string::npos) << check.out;
}

TEST_F(TimeFileJobTest, OffEveryFileIsAsWithoutIt) {
  const BackupResult on = backup(true), off = backup(false);
  ASSERT_EQ(off.files.size(), 1u);
  EXPECT_TRUE(off.files[0].timeFilePath.empty());
  EXPECT_EQ(readText(on.files[0].path), readText(off.files[0].path));
  EXPECT_EQ(testing::listFiles(out_.path(), "", ".srt").size(), 1u);
  EXPECT_EQ(std::vector<std::size_t>({on.hashListEntries, off.hashListEntries}), std::vector<std::size_t>({2, 1}));
  const std::string log = readText(off.logPath);
  for (const char* key : {"\"rate\"", "\"timeFile\""}) EXPECT_EQ(log.find(key), std::string::npos) << key;
}

TEST_F(TimeFileJobTest, EachPartOfASplitRecordingHasItsOwnTimes) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  BackupOptions options;
  options.splitBytes = payloadBytes_ / 3;
  const BackupResult result = backup(true, options);
  ASSERT_GE(result.files.size(), 2u);
  std::uint64_t first = 0;
  for (const ExportedFile& file : result.files) {
    const auto found = cues(file.timeFilePath);
    ASSERT_FALSE(found.empty()) << file.path;
    EXPECT_EQ(std::get<0>(found.front()), 0u);
    EXPECT_EQ(std::get<1>(found.back()), file.videoFrames * 40);
    EXPECT_EQ(std::get<2>(found.front()).back() - '0', (stampOfPicture(first) - T0 + 10) % 10);
    first += file.videoFrames;
  }
}

TEST_F(TimeFileJobTest, TheScanCountsEachSegmentsRateAndItsLogReadsBack) {
  JobState state;
  const ScanResult scan = scanWorker(settings(true), state);
  ASSERT_EQ(scan.segments.size(), 1u);
  EXPECT_NEAR(scan.segments[0].rate.driftPercent().value_or(0.0), -20.0, 1e-9);
  const ScanLog log = parseScanLog(readText(scan.logPath), "log");
  ASSERT_EQ(log.segments.size(), 1u) << log.failure.reason;
  const StampRate& read = log.segments[0].rate;
  EXPECT_EQ(std::vector<std::uint64_t>({read.videoFrames, read.secondsWithFrames, read.secondsWithoutFrame,
                                        read.minPerSecond, read.maxPerSecond, std::uint64_t(read.nominal)}),
            std::vector<std::uint64_t>({100, 4, 1, 20, 30, 25}));
}

TEST_F(TimeFileJobTest, AClockOffsetGoesIntoTheSideFileAndBothLogs) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  struct Case {
    const char* given;
    const char* referenceReading;  // null: none
  };
  const Case cases[] = {{"+00:02:13", nullptr}, {"2012-05-04 08:11:00=2012-05-04 08:08:47", "2012-05-04 08:08:47"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    std::string error;
    JobSettings s = settings(true);
    s.clockOffset = parseClockOffset(c.given, error);
    ASSERT_TRUE(s.clockOffset) << error;
    s.clockOffset->givenBy = "examiner (entered in the window)";
    s.clockOffset->givenAt = 1354957200;
    JobState backupState, scanState;
    const BackupResult backup = backupWorker(s, backupState);
    const ScanResult scan = scanWorker(s, scanState);
    ASSERT_EQ(backup.files.size(), 1u);
    // ffmpeg reads both lines of each cue; its timing is as without an offset.
    const auto run = testing::runProgram(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", backup.files[0].timeFilePath, "-f", "webvtt", "-"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("00:00.000 --> 00:01.000\nRecorder  2012. 5. 4  8: 9:10\nCorrected 2012. 5. 4  8: 6:57\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(cues(backup.files[0].timeFilePath).size(), 4u);
    for (const std::string& path : {backup.logPath, scan.logPath}) {
      const auto offset = nlohmann::ordered_json::parse(readText(path))["clockOffset"];
      EXPECT_EQ(offset["seconds"], 133);
      EXPECT_EQ(offset["text"], "+00:02:13");
      EXPECT_EQ(offset["referenceReading"].dump(),
                c.referenceReading ? "\"" + std::string(c.referenceReading) + "\"" : "null");
      EXPECT_EQ(offset["givenBy"], "examiner (entered in the window)");
      EXPECT_EQ(offset["givenAt"], "2012-12-08T09:00:00+00:00");
      // The backup's window as entered and as used; a scan has none.
      EXPECT_EQ(offset.contains("timeWindow"), path == backup.logPath);
    }
  }
  // Without an offset the side file has one line per cue and the logs no key.
  const BackupResult plain = backup(true);
  EXPECT_EQ(readText(plain.files[0].timeFilePath).find("Recorder"), std::string::npos);
  EXPECT_EQ(readText(plain.logPath).find("clockOffset"), std::string::npos);
}

}  // namespace
}  // namespace korvex
