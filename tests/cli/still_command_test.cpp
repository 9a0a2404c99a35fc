// korvex-cli still: the frame asked for by time, saved as the PNG of the
// picture ffmpeg decodes from the same stream, with a record and hash list
// that are true; and its statuses when there is no such frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "jobs/custody_log.h"
#include "jobs/segment_texts.h"
#include "store/frame_header.h"
#include "cli/cli_run.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::cli;
using testing::ProgramRun;
using testing::T0;
using testing::TempDir;

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Picture {
  testing::SimulatedPlace place;
  RecorderTime time = 0;
  std::vector<std::uint8_t> payload;
};

class StillCommandTest : public ::testing::Test {
 protected:
  StillCommandTest() : zone_("CET-1CEST,M3.5.0,M10.5.0/3") {
    // Channel 3 from T0 for 4 seconds, beside channel 1, over small files.
    testing::SimulationOptions options;
    options.fileBytes = 50000;
    options.onFrame = [this](testing::FrameSpec& frame, const testing::SimulatedPlace& place) {
      if (frame.channel == 2 && frame.frameKind != FRAME_KIND_AUDIO)
        pictures_.push_back({place, frame.timeStamp, frame.payload});
    };
    testing::simulateRecorder(disk_.root(), {{0, 1, T0 - 2, 8, true}, {2, 2, T0, 4, false}}, options);
  }

  std::vector<std::string> still(RecorderTime at, const std::string& channel = "3") {
    return {"still", "--disk", disk_.path(), "--out", out_.path(), "--channel", channel, "--at", segmentTimeText(at)};
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
  std::vector<Picture> pictures_;
};

TEST_F(StillCommandTest, SavesTheFirstFrameOfTheSecondAsFfmpegDecodesIt) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg not on PATH";
  ASSERT_EQ(pictures_.size(), 100u);
  // ffmpeg's picture 50: the first of the third second, a key frame.
  std::vector<std::uint8_t> stream;
  for (const Picture& picture : pictures_) stream.insert(stream.end(), picture.payload.begin(), picture.payload.end());
  const std::string streamPath = disk_.path() + "_stream.h264";
  std::ofstream(streamPath, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                                     static_cast<std::streamsize>(stream.size()));
  const ProgramRun all = testing::runProgram(
      {"ffmpeg", "-v", "error", "-i", streamPath, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  std::filesystem::remove(streamPath);
  ASSERT_EQ(all.exitStatus, 0) << all.err;
  const std::size_t size = std::size_t{testing::SAMPLE_WIDTH} * testing::SAMPLE_HEIGHT * 3;
  const std::string expected = all.out.substr(50 * size, size);

  for (int run = 1; run <= 2; ++run) {
    const ProgramRun saved = cli(still(T0 + 2));
    ASSERT_EQ(saved.exitStatus, 0) << saved.err;
    const std::string stem = out_.path() + "/still_chn3_" + calendarText(T0 + 2) + (run == 2 ? "_2" : "");
    EXPECT_EQ(saved.out, stem + ".png\n");
    const ProgramRun png = testing::runProgram(
        {"ffmpeg", "-v", "error", "-i", stem + ".png", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    ASSERT_EQ(png.exitStatus, 0) << png.err;
    EXPECT_TRUE(png.out == expected);

    const nlohmann::json record = nlohmann::json::parse(readText(stem + ".json"));
    EXPECT_EQ(record["frame"]["channel"], 3);
    EXPECT_EQ(record["frame"]["offset"], pictures_[50].place.offset);
    EXPECT_EQ(record["frame"]["file"], pictures_[50].place.file);
    EXPECT_EQ(record["frame"]["keyFrame"], true);
    EXPECT_EQ(record["recorderTime"]["recorder"], T0 + 2);
    EXPECT_TRUE(record["correctedTime"].is_null());
    const ProgramRun check = testing::runProgram(
        {"sh", "-c", "cd \"$0\" && sha256sum -c \"$1\"", out_.path(), fileNameOf(stem) + ".sha256"});
    EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
  }
}

TEST_F(StillCommandTest, StatusesWithoutAFrame) {
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const std::string d = disk_.path(), o = out_.path();
  const Case cases[] = {
      {still(T0 - 1), 3},          // channel 1 records then, channel 3 not yet
      {still(T0 + 1, "2"), 3},     // a channel without recordings
      {still(T0, "33"), 2},
      {still(T0, "0"), 2},
      {{"still", "--disk", d, "--out", o, "--channel", "3"}, 2},
      {{"still", "--disk", d, "--out", o, "--at", segmentTimeText(T0)}, 2},
      {{"still", "--disk", d, "--out", o, "--channel", "3", "--at", "now"}, 2},
      {{"still", "--disk", d, "--out", o, "--channel", "3", "--at", segmentTimeText(T0), "--folder-start", "1"}, 2},
      {{"still", "--disk", d, "--out", d, "--channel", "3", "--at", segmentTimeText(T0)}, 1},  // into the disk
  };
  for (const Case& c : cases) {
    const ProgramRun run = cli(c.args);
    EXPECT_EQ(run.exitStatus, c.status) << c.args.back() << ": " << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

// korvex-cli starts without the picture decoder's libraries: still and report
// are run by korvex-cli-pictures, found beside it or where it is installed.
TEST(PicturesProgramTest, TheCompanionHandsThePictureCommandsToItsSecondProgram) {
  if (!testing::programOnPath("readelf")) GTEST_SKIP() << "readelf is not on PATH";
  const ProgramRun elf = testing::runProgram({"readelf", "-d", KORVEX_CLI_PATH});
  ASSERT_EQ(elf.exitStatus, 0) << elf.err;
  EXPECT_NE(elf.out.find("libcrypto"), std::string::npos) << elf.out;
  for (const char* library : {"libavcodec", "libswscale", "libavutil"})
    EXPECT_EQ(elf.out.find(library), std::string::npos) << library << " in\n" << elf.out;

  TempDir alone;
  const std::string copy = alone.file("korvex-cli");
  std::filesystem::copy_file(KORVEX_CLI_PATH, copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  for (const char* command : {"still", "report"}) {
    SCOPED_TRACE(command);
    const ProgramRun run = testing::runProgram({copy, command, "--help"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("cannot start " + alone.path() + "/../libexec/korvex/korvex-cli-pictures"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace korvex
