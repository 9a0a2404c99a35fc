#include "jobs/time_file.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/backup_worker.h"
#include "jobs/custody_log.h"
#include "jobs/scan_log_reader.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "store/recording_store.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::T0;
using testing::TempDir;

// A table of stamp sequences (one entry per video frame, as offsets from
// T0) and what the tally makes of them.
struct TallyCase {
  const char* name;
  std::vector<int> runs;  // pairs: stamp offset, frames with it
  StampRate expected;
  std::optional<double> drift;
};

TEST(StampRateTally, CountsFramesAgainstTheirStamps) {
  const TallyCase cases[] = {
      {"steady", {0, 25, 1, 25, 2, 25}, {25, 75, 3, 0, 0, 25, 25}, 0.0},
      {"slow, with a gap", {0, 25, 1, 20, 3, 25}, {25, 70, 3, 1, 0, 20, 25}, (70.0 / 25 / 4 - 1) * 100},
      {"backwards", {5, 10, 6, 10, 4, 10}, {25, 30, 3, 0, 1, 10, 10}, (30.0 / 25 / 3 - 1) * 100},
      {"a single frame", {0, 1}, {25, 1, 1, 0, 0, 1, 1}, (1.0 / 25 - 1) * 100},
      {"no nominal rate", {0, 12, 1, 13}, {0, 25, 2, 0, 0, 12, 13}, std::nullopt},
  };
  for (const TallyCase& c : cases) {
    SCOPED_TRACE(c.name);
    StampRateTally tally;
    for (std::size_t i = 0; i + 1 < c.runs.size(); i += 2)
      for (int k = 0; k < c.runs[i + 1]; ++k) tally.add(T0 + c.runs[i], c.expected.nominal);
    const StampRate r = tally.result();
    EXPECT_EQ(r.nominal, c.expected.nominal);
    EXPECT_EQ(r.videoFrames, c.expected.videoFrames);
    EXPECT_EQ(r.secondsWithFrames, c.expected.secondsWithFrames);
    EXPECT_EQ(r.secondsWithoutFrame, c.expected.secondsWithoutFrame);
    EXPECT_EQ(r.stampsBackwards, c.expected.stampsBackwards);
    EXPECT_EQ(r.minPerSecond, c.expected.minPerSecond);
    EXPECT_EQ(r.maxPerSecond, c.expected.maxPerSecond);
    ASSERT_EQ(r.driftPercent().has_value(), c.drift.has_value());
    if (c.drift) {
      EXPECT_NEAR(*r.driftPercent(), *c.drift, 1e-9);
    }
  }
}

TEST(FrameTimeLine, KeepsOnlyTheFramesTheFileHolds) {
  FrameTimeLine line;
  for (int k = 0; k < 30; ++k) line.add(T0 + k / 10);  // 10 frames in each of 3 seconds
  line.keepFrames(20);
  EXPECT_EQ(line.frames(), 20u);
  ASSERT_EQ(line.runs().size(), 2u);
  line.keepFrames(15);
  EXPECT_EQ(line.rate(25).maxPerSecond, 10u);
  EXPECT_EQ(line.rate(25).minPerSecond, 5u);
}

TEST(SubtitleTime, WritesHoursMinutesSecondsAndMilliseconds) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "00:00:00,000"}, {1800, "00:00:01,800"}, {3723004, "01:02:03,004"}, {360000000, "100:00:00,000"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(subtitleTime(ms), text);
}

// The frames of one video second each: 25, 20, none, 25 and 30, with the
// sound after each picture stamped as its picture.
constexpr int SECOND_FRAMES[] = {25, 20, 0, 25, 30};

RecorderTime stampOfFrame(std::uint64_t videoFrame) {
  std::uint64_t first = 0;
  for (int s = 0; s < static_cast<int>(std::size(SECOND_FRAMES)); ++s) {
    first += static_cast<std::uint64_t>(SECOND_FRAMES[s]);
    if (videoFrame < first) return T0 + s;
  }
  return T0 + static_cast<RecorderTime>(std::size(SECOND_FRAMES));
}

class TimeFileJobTest : public ::testing::Test {
 protected:
  TimeFileJobTest() : zone_("UTC0") {
    testing::SimulationOptions simulation;
    std::uint64_t pictures = 0;
    RecorderTime last = T0;
    simulation.onFrame = [&](testing::FrameSpec& frame, const testing::SimulatedPlace&) {
      if (frame.frameKind != FRAME_KIND_AUDIO) last = stampOfFrame(pictures++);
      frame.timeStamp = last;
    };
    // 100 pictures at 25 per second: 4 seconds of the simulator's own.
    simulated_ = testing::simulateRecorder(disk_.root(), {{0, 1, T0, 4, true}}, simulation);
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
    const FolderSource source(disk_.root());
    const StopRequest never;
    options.startedAt = 1700000000;
    return backupWorker(settings(timeFile), source, state, never, options);
  }

  static std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The cues as ffmpeg reads them from the subtitle file: start and end in
  // milliseconds and the text, through its WebVTT output.
  struct Cue {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::string text;
  };
  static std::vector<Cue> cuesByFfmpeg(const std::string& path) {
    const testing::ProgramRun run =
        testing::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "webvtt", "-"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::vector<Cue> cues;
    std::istringstream lines(run.out);
    std::string line;
    const auto ms = [](const std::string& t) {
      unsigned h = 0, m = 0, s = 0, f = 0;
      if (std::sscanf(t.c_str(), "%u:%u:%u.%u", &h, &m, &s, &f) != 4) {
        h = 0;
        std::sscanf(t.c_str(), "%u:%u.%u", &m, &s, &f);
      }
      return ((h * 60ull + m) * 60ull + s) * 1000ull + f;
    };
    while (std::getline(lines, line)) {
      const std::size_t arrow = line.find(" --> ");
      if (arrow == std::string::npos) continue;
      Cue cue{ms(line.substr(0, arrow)), ms(line.substr(arrow + 5)), {}};
      std::getline(lines, cue.text);
      cues.push_back(cue);
    }
    return cues;
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
  testing::SimulationResult simulated_;
};

TEST_F(TimeFileJobTest, CuesGiveTheStampOfTheFrameOnScreen) {
  if (!testing::programOnPath("ffprobe") || !testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const BackupResult result = backup(true);
  ASSERT_EQ(result.end, JobOutcome::Finished);
  ASSERT_EQ(result.files.size(), 1u);
  const ExportedFile& file = result.files[0];
  EXPECT_EQ(file.videoFrames, 100u);
  ASSERT_EQ(file.timeFilePath, timeFilePath(file.path));
  EXPECT_EQ(file.timeFilePath.substr(file.timeFilePath.size() - 4), ".srt");

  // A subtitle stream to ffprobe.
  const testing::MediaProbe probe = testing::probeMedia(file.timeFilePath);
  ASSERT_EQ(probe.streams.size(), 1u) << probe.run.err;
  EXPECT_EQ(probe.streams[0].at("codec_type"), "subtitle");
  EXPECT_EQ(probe.streams[0].at("codec_name"), "subrip");

  // One cue per second with frames, from its first picture to the next
  // second's first picture, at 25 pictures per second.
  struct Expected {
    std::uint64_t start, end;
    const char* text;
  };
  const Expected expected[] = {{0, 1000, "2012. 5. 4  8: 9:10"},
                               {1000, 1800, "2012. 5. 4  8: 9:11"},
                               {1800, 2800, "2012. 5. 4  8: 9:13"},
                               {2800, 4000, "2012. 5. 4  8: 9:14"}};
  const std::vector<Cue> cues = cuesByFfmpeg(file.timeFilePath);
  ASSERT_EQ(cues.size(), std::size(expected));
  EXPECT_EQ(file.timeFileCues, cues.size());
  for (std::size_t i = 0; i < cues.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cues[i].start, expected[i].start);
    EXPECT_EQ(cues[i].end, expected[i].end);
    // Leading blanks are the report's padding; a player may drop them.
    EXPECT_NE(std::string(expected[i].text).find(cues[i].text.substr(cues[i].text.find_first_not_of(' '))),
              std::string::npos)
        << cues[i].text;
  }
  // The AVI plays the same 4 seconds: the last cue ends with its last picture.
  const auto video = testing::probeMedia(file.path).streamsOfType("video");
  ASSERT_EQ(video.size(), 1u);
  EXPECT_EQ(video[0].at("nb_read_frames"), "100");

  // The rate of the file: 100 pictures over 5 seconds of stamps.
  EXPECT_EQ(file.rate.nominal, 25);
  EXPECT_DOUBLE_EQ(file.rate.mean(), 20.0);
  EXPECT_EQ(file.rate.minPerSecond, 20u);
  EXPECT_EQ(file.rate.maxPerSecond, 30u);
  EXPECT_EQ(file.rate.secondsWithoutFrame, 1u);
  EXPECT_EQ(file.rate.stampsBackwards, 0u);
  EXPECT_NEAR(file.rate.driftPercent().value_or(0), -20.0, 1e-9);
}

TEST_F(TimeFileJobTest, TheSideFileIsHashedListedAndLogged) {
  const BackupResult result = backup(true);
  ASSERT_EQ(result.files.size(), 1u);
  const ExportedFile& file = result.files[0];
  const std::string name = fileNameOf(file.timeFilePath);
  const testing::ProgramRun check = testing::runProgram({"sh", "-c", "cd '" + out_.path() + "' && sha256sum -c '" +
                                                                         fileNameOf(result.hashListPath) + "'"});
  EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
  EXPECT_NE(check.out.find(name + ": OK"), std::string::npos) << check.out;
  EXPECT_EQ(result.hashListEntries, 2u);

  const auto log = nlohmann::json::parse(readText(result.logPath));
  EXPECT_EQ(log["settings"]["timeFile"], true);
  const auto& entry = log["files"].at(0);
  EXPECT_EQ(entry["timeFile"]["name"], name);
  EXPECT_EQ(entry["timeFile"]["sha256"], file.timeFileHash.sha256);
  EXPECT_EQ(entry["timeFile"]["bytes"], std::filesystem::file_size(file.timeFilePath));
  EXPECT_EQ(entry["timeFile"]["cues"], 4);
  const auto& rate = entry["rate"];
  EXPECT_EQ(rate["nominal"], 25);
  EXPECT_EQ(rate["mean"], 20.0);
  EXPECT_EQ(rate["min"], 20);
  EXPECT_EQ(rate["max"], 30);
  EXPECT_EQ(rate["secondsWithoutFrame"], 1);
  EXPECT_EQ(rate["stampsBackwards"], 0);
  EXPECT_EQ(rate["driftPercent"], -20.0);
}

TEST_F(TimeFileJobTest, OffTheFolderAndTheLogAreAsWithoutIt) {
  const BackupResult on = backup(true);
  const BackupResult off = backup(false);
  ASSERT_EQ(off.files.size(), 1u);
  EXPECT_TRUE(off.files[0].timeFilePath.empty());
  EXPECT_EQ(readText(on.files[0].path), readText(off.files[0].path));
  EXPECT_EQ(off.hashListEntries, 1u);
  std::size_t subtitles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out_.path()))
    subtitles += entry.path().extension() == ".srt" ? 1 : 0;
  EXPECT_EQ(subtitles, 1u);  // the first job's only
  const auto log = nlohmann::json::parse(readText(off.logPath));
  EXPECT_FALSE(log["settings"].contains("timeFile"));
  EXPECT_FALSE(log["files"].at(0).contains("rate"));
  EXPECT_FALSE(log["files"].at(0).contains("timeFile"));
}

TEST_F(TimeFileJobTest, EachPartOfASplitRecordingHasItsOwnSideFile) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  BackupOptions options;
  options.splitBytes = simulated_.payloadBytes / 3;
  const BackupResult result = backup(true, options);
  ASSERT_GE(result.files.size(), 2u);
  std::uint64_t firstPicture = 0;
  for (const ExportedFile& file : result.files) {
    SCOPED_TRACE(file.path);
    const std::vector<Cue> cues = cuesByFfmpeg(file.timeFilePath);
    ASSERT_FALSE(cues.empty());
    // Its times start at its own first picture, which shows its own stamp.
    EXPECT_EQ(cues.front().start, 0u);
    EXPECT_EQ(cues.back().end, file.videoFrames * 1000 / 25);
    const CalendarTime t = recorderTimeToCalendar(stampOfFrame(firstPicture));
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%2d:%2d", t.hour, t.minute, t.second);
    EXPECT_NE(cues.front().text.find(text), std::string::npos) << cues.front().text;
    firstPicture += file.videoFrames;
  }
  EXPECT_EQ(firstPicture, 100u);
}

TEST_F(TimeFileJobTest, TheScanCountsEverySegmentsRateAndItsLogReadsBack) {
  JobState state;
  const FolderSource source(disk_.root());
  const StopRequest never;
  ScanOptions options;
  options.startedAt = 1700000000;
  const ScanResult scan = scanWorker(settings(true), source, state, never, options);
  ASSERT_EQ(scan.segments.size(), 1u);
  const StampRate& rate = scan.segments[0].rate;
  EXPECT_EQ(rate.nominal, 25);
  EXPECT_EQ(rate.videoFrames, 100u);
  EXPECT_EQ(rate.seconds(), 5u);
  EXPECT_EQ(rate.minPerSecond, 20u);
  EXPECT_EQ(rate.maxPerSecond, 30u);
  EXPECT_EQ(rate.secondsWithoutFrame, 1u);
  EXPECT_NEAR(rate.driftPercent().value_or(0), -20.0, 1e-9);

  const ScanLog log = parseScanLog(readText(scan.logPath), "log");
  ASSERT_EQ(log.problem, "");
  ASSERT_EQ(log.segments.size(), 1u);
  const StampRate& read = log.segments[0].rate;
  EXPECT_EQ(read.videoFrames, rate.videoFrames);
  EXPECT_EQ(read.secondsWithFrames, rate.secondsWithFrames);
  EXPECT_EQ(read.secondsWithoutFrame, rate.secondsWithoutFrame);
  EXPECT_EQ(read.minPerSecond, rate.minPerSecond);
  EXPECT_EQ(read.maxPerSecond, rate.maxPerSecond);
  EXPECT_EQ(read.nominal, rate.nominal);

  // Off: no rate in the log, and none read back.
  const ScanResult plain = scanWorker(settings(false), source, state, never, options);
  const std::string plainLog = readText(plain.logPath);
  EXPECT_EQ(plainLog.find("\"rate\""), std::string::npos);
  EXPECT_EQ(parseScanLog(plainLog, "log").segments.at(0).rate.videoFrames, 0u);
}

}  // namespace
}  // namespace korvex
