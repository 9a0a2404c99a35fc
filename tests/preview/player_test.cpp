// The player's frames and the stills: each picture the segment decoder
// gives after a step is the picture ffmpeg decodes from the same stream,
// the index holds every picture with its stamp, and a still's PNG, JSON
// and hash list are true to the frame.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "jobs/segment_texts.h"
#include "jobs/still_export.h"
#include "preview/frame_decoder.h"
#include "preview/frame_index.h"
#include "store/frame_header.h"
#include "store/recording_source.h"
#include "support/disk_images.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::T0;
using testing::TempDir;
using testing::writeBytes;

struct WrittenPicture {
  SegmentFramePlace place;
  RecorderTime timeStamp = 0;
  bool key = false;
  std::vector<std::uint8_t> payload;  // as it lies on the disk
};

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PlayerTest : public ::testing::Test {
 protected:
  PlayerTest() : zone_("UTC0") {}

  // Channel 2's segment of `seconds`, recorded beside channel 1, in files
  // small enough that it runs over several; `damage` spoils payloads of
  // channel 2's pictures by their number.
  void record(int seconds, const std::vector<std::size_t>& damage = {}, const std::string& root = {}) {
    testing::SimulationOptions options;
    options.fileBytes = 60000;
    std::size_t number = 0;
    options.onFrame = [&](testing::FrameSpec& frame, const testing::SimulatedPlace& place) {
      if (frame.channel != 1 || frame.frameKind == FRAME_KIND_AUDIO) return;
      if (std::find(damage.begin(), damage.end(), number) != damage.end())
        std::fill(frame.payload.begin() + 4, frame.payload.end(), std::uint8_t{0x5a});
      pictures_.push_back({{place.folder, place.file, place.offset}, frame.timeStamp,
                           frame.frameKind == FRAME_KIND_KEY, frame.payload});
      ++number;
    };
    testing::simulateRecorder(root.empty() ? disk_.root() : root,
                              {{0, 1, T0, seconds, true}, {1, 2, T0, seconds, true}}, options);
  }

  KeyFrameSearch segment() const {
    KeyFrameSearch search;
    search.channel = 1;
    search.lastFolder = 1000;
    return search;
  }

  // ffmpeg's pictures of the stream the recorded payloads make, in RGB.
  std::vector<std::vector<std::uint8_t>> ffmpegPictures() {
    std::vector<std::uint8_t> stream;
    for (const WrittenPicture& picture : pictures_)
      stream.insert(stream.end(), picture.payload.begin(), picture.payload.end());
    const std::string path = out_.file("stream.h264");
    writeBytes(path, stream);
    const testing::ProgramRun run = testing::runProgram(
        {"ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const std::size_t size = std::size_t{testing::SAMPLE_WIDTH} * testing::SAMPLE_HEIGHT * 3;
    std::vector<std::vector<std::uint8_t>> pictures;
    for (std::size_t at = 0; at + size <= run.out.size(); at += size)
      pictures.emplace_back(run.out.begin() + static_cast<std::ptrdiff_t>(at),
                            run.out.begin() + static_cast<std::ptrdiff_t>(at + size));
    return pictures;
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
  std::vector<WrittenPicture> pictures_;
};

TEST_F(PlayerTest, IndexHoldsEveryPictureWithItsStampAndPlace) {
  record(4);
  const FolderSource source(disk_.root());
  const FrameIndex index = indexSegmentFrames(source, segment());
  EXPECT_TRUE(index.problem.empty()) << index.problem;
  ASSERT_EQ(index.frames.size(), pictures_.size());
  ASSERT_EQ(index.frames.size(), 4u * testing::SAMPLE_FRAME_RATE);
  EXPECT_NE(index.frames.front().file, index.frames.back().file);
  for (std::size_t k = 0; k < pictures_.size(); ++k) {
    const IndexedFrame& frame = index.frames[k];
    EXPECT_EQ(frame.timeStamp, pictures_[k].timeStamp) << k;
    EXPECT_EQ(frame.key, pictures_[k].key) << k;
    EXPECT_EQ(frame.offset, pictures_[k].place.offset) << k;
    EXPECT_EQ(frame.file, pictures_[k].place.file) << k;
    EXPECT_EQ(frame.payloadLength, pictures_[k].payload.size()) << k;
  }
  EXPECT_EQ(index.width, testing::SAMPLE_WIDTH);
}

TEST_F(PlayerTest, KeyFramesAndTimesInTheIndex) {
  record(3);
  const FolderSource source(disk_.root());
  const FrameIndex index = indexSegmentFrames(source, segment());
  ASSERT_EQ(index.frames.size(), 75u);
  struct Case {
    std::size_t from;
    std::size_t atOrBefore, previous, next;
  };
  const Case cases[] = {{0, 0, NO_FRAME, 25},  {1, 0, 0, 25},     {24, 0, 0, 25},       {25, 25, 0, 50},
                        {26, 25, 25, 50},      {50, 50, 25, NO_FRAME}, {74, 50, 50, NO_FRAME}};
  for (const Case& c : cases) {
    EXPECT_EQ(index.keyAtOrBefore(c.from), c.atOrBefore) << c.from;
    EXPECT_EQ(index.previousKey(c.from), c.previous) << c.from;
    EXPECT_EQ(index.nextKey(c.from), c.next) << c.from;
  }
  struct TimeCase {
    RecorderTime t;
    std::size_t frame;
  };
  const TimeCase times[] = {{T0 - 1, NO_FRAME}, {T0, 0}, {T0 + 1, 25}, {T0 + 2, 50}, {T0 + 9, 50}};
  for (const TimeCase& c : times) EXPECT_EQ(index.frameAt(c.t), c.frame) << c.t - T0;
}

TEST_F(PlayerTest, EveryKindOfStepShowsTheFrameFfmpegDecodes) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg not on PATH";
  record(4);
  const auto expected = ffmpegPictures();
  const FolderSource source(disk_.root());
  const FrameIndex index = indexSegmentFrames(source, segment());
  ASSERT_EQ(expected.size(), index.frames.size());
  SegmentDecoder decoder(source, index);
  // Forward steps, a step back across a key frame, key-frame jumps both
  // ways, a jump by time, the last frame, the first, and one frame twice.
  const std::size_t steps[] = {0, 1, 2, 3, 30, 29, 26, 25, 24, 23, 50, 25, 0, 99, 98, 75, 74, 60, 61, 61, 0};
  for (const std::size_t step : steps) {
    const SegmentPicture shown = decoder.picture(step);
    ASSERT_TRUE(shown.decoded) << step << ": " << shown.problem;
    EXPECT_EQ(shown.index, step);
    ASSERT_EQ(shown.picture.width, testing::SAMPLE_WIDTH);
    EXPECT_TRUE(shown.picture.rgb == expected[step]) << "frame " << step;
  }
  EXPECT_FALSE(decoder.picture(index.frames.size()).decoded);
}

TEST_F(PlayerTest, DamagedPayloadShowsTheLastGoodPictureAndPlayOnGoesOn) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg not on PATH";
  record(2);
  const auto good = ffmpegPictures();  // before the damage: the stream as it was meant
  pictures_.clear();
  TempDir damagedDisk;
  record(2, {10, 11, 25}, damagedDisk.root());  // two P frames, then the second key frame
  const FolderSource source(damagedDisk.root());
  const FrameIndex index = indexSegmentFrames(source, segment());
  ASSERT_EQ(index.frames.size(), 50u);
  SegmentDecoder decoder(source, index);
  for (std::size_t k = 0; k < index.frames.size(); ++k) {
    const SegmentPicture shown = decoder.picture(k);
    const bool damaged = k == 10 || k == 11 || k == 25;
    if (damaged) {
      EXPECT_FALSE(shown.decoded) << k;
      EXPECT_FALSE(shown.problem.empty()) << k;
      // The last good picture stays on screen.
      const std::size_t lastGood = k == 25 ? 24 : 9;
      ASSERT_EQ(shown.picture.rgb.size(), good[lastGood].size()) << k;
      EXPECT_TRUE(shown.picture.rgb == good[lastGood] || k == 25) << k;
    }
    if (k < 10) {
      EXPECT_TRUE(shown.decoded && shown.picture.rgb == good[k]) << k;
    }
  }
  // Stepping back onto a damaged key frame gives no picture, but no stop.
  EXPECT_FALSE(decoder.picture(25).decoded);
  EXPECT_TRUE(decoder.picture(9).decoded);
}

TEST_F(PlayerTest, LocatedFrameIsTheFirstOfItsSecondWithTheWalkFromBefore) {
  record(5);
  const FolderSource source(disk_.root());
  struct Case {
    RecorderTime at;
    bool found;
    std::size_t picture;
  };
  const Case cases[] = {{T0 - 1, false, 0}, {T0, true, 0}, {T0 + 2, true, 50}, {T0 + 4, true, 100}, {T0 + 60, false, 0}};
  for (const Case& c : cases) {
    const LocatedFrame located = locateFrame(source, 1, c.at, false);
    ASSERT_EQ(located.found, c.found) << c.at - T0 << located.problem;
    if (!c.found) {
      EXPECT_FALSE(located.problem.empty());
      continue;
    }
    EXPECT_EQ(located.place.offset, pictures_[c.picture].place.offset) << c.at - T0;
    EXPECT_EQ(located.place.file, pictures_[c.picture].place.file) << c.at - T0;
    EXPECT_EQ(located.timeStamp, pictures_[c.picture].timeStamp);
    // The walk reaches the frame from a key frame.
    const FrameIndex index = indexSegmentFrames(source, located.walk);
    ASSERT_FALSE(index.frames.empty());
    EXPECT_TRUE(index.frames.front().key);
    bool reached = false;
    for (const IndexedFrame& frame : index.frames)
      reached = reached || (frame.offset == located.place.offset && frame.file == located.place.file);
    EXPECT_TRUE(reached) << c.at - T0;
  }
}

TEST_F(PlayerTest, StillIsThePictureWithATrueRecordAndHashList) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg not on PATH";
  record(2);
  const FolderSource source(disk_.root());
  const FrameIndex index = indexSegmentFrames(source, segment());
  SegmentDecoder decoder(source, index);
  const SegmentPicture shown = decoder.picture(30);
  ASSERT_TRUE(shown.decoded);
  std::string problem;
  const std::vector<std::uint8_t> png = encodePng(shown.picture, problem);
  ASSERT_FALSE(png.empty()) << problem;

  StillFacts facts;
  facts.disk = source.describeDisk();
  facts.channel = 1;
  facts.recordingFile = source.filePath(index.frames[30].folder, index.frames[30].file);
  facts.folder = index.frames[30].folder;
  facts.file = index.frames[30].file;
  facts.offset = index.frames[30].offset;
  facts.timeStamp = index.frames[30].timeStamp;
  facts.frameInSegment = 30;
  facts.width = shown.picture.width;
  facts.height = shown.picture.height;
  for (const std::optional<std::int64_t> offset : {std::optional<std::int64_t>{}, std::optional<std::int64_t>{3600}}) {
    facts.clockOffsetSeconds = offset;
    const StillFiles files = writeStill(out_.path(), facts, png);
    ASSERT_TRUE(files.ok) << files.failure;
    // Never over the first still: the second gets the next name.
    const std::string stem = out_.path() + "/still_chn2_" + calendarText(T0 + 1) + (offset ? "_2" : "");
    EXPECT_EQ(files.pngPath, stem + ".png");
    EXPECT_EQ(files.jsonPath, stem + ".json");

    const testing::ProgramRun decoded = testing::runProgram(
        {"ffmpeg", "-v", "error", "-i", files.pngPath, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    ASSERT_EQ(decoded.exitStatus, 0) << decoded.err;
    EXPECT_TRUE(std::equal(shown.picture.rgb.begin(), shown.picture.rgb.end(), decoded.out.begin(),
                           decoded.out.end(), [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));

    const nlohmann::json json = nlohmann::json::parse(readText(files.jsonPath));
    EXPECT_EQ(json["frame"]["channel"], 2);
    EXPECT_EQ(json["frame"]["offset"], facts.offset);
    EXPECT_EQ(json["frame"]["recordingFile"], facts.recordingFile);
    EXPECT_EQ(json["frame"]["frameInSegment"], 30);
    EXPECT_EQ(json["recorderTime"]["recorder"], T0 + 1);
    EXPECT_EQ(json["png"]["sha256"], files.pngHash.sha256);
    EXPECT_EQ(json["disk"]["format"], "folder");
    if (offset) {
      EXPECT_EQ(json["correctedTime"]["recorder"], T0 + 1 - 3600);
      EXPECT_EQ(json["correctedTime"]["clockOffsetSeconds"], 3600);  // the recorder an hour ahead
    } else {
      EXPECT_TRUE(json["correctedTime"].is_null());
    }
    const std::size_t slash = files.hashListPath.rfind('/');
    const testing::ProgramRun check = testing::runProgram({"sh", "-c", "cd \"$0\" && sha256sum -c \"$1\"",
                                                           files.hashListPath.substr(0, slash),
                                                           files.hashListPath.substr(slash + 1)});
    EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
    EXPECT_NE(check.out.find(".png: OK"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find(".json: OK"), std::string::npos) << check.out;
  }
}

}  // namespace
}  // namespace korvex
