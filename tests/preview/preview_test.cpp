// Pictures of segments: the key frame a segment shows is found in a store
// of real media, and its decoded picture is the one ffmpeg decodes.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "jobs/scan_worker.h"
#include "preview/key_frame.h"
#include "preview/picture_decoder.h"
#include "support/disk_images.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::T0;
using testing::TempDir;
using testing::writeBytes;

KeyFrameSearch searchOf(const SegmentRecord& segment, RecorderTime near = RECORDER_TIME_MIN) {
  KeyFrameSearch search;
  search.channel = segment.channel;
  search.folder = segment.firstFrame.folder;
  search.file = segment.firstFrame.file;
  search.offset = segment.firstFrame.offset;
  search.lastFolder = segment.lastFrame.folder;
  search.lastFile = segment.lastFrame.file;
  search.near = near;
  return search;
}

class PreviewTest : public ::testing::Test {
 protected:
  PreviewTest() : zone_("UTC0") {}

  // Two channels of real media, recorded at the same time, and the scan's
  // segments of them.
  std::vector<SegmentRecord> recordAndScan(const std::vector<testing::SimulatedSegment>& segments,
                                           testing::SimulationOptions options = {}) {
    testing::simulateRecorder(disk_.root(), segments, options);
    JobSettings settings;
    settings.diskRoot = disk_.root();
    settings.outputFolder = out_.path();
    JobState state;
    const FolderSource source(settings.diskRoot);
    const StopRequest stop;
    return scanWorker(settings, source, state, stop).segments;
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
};

TEST_F(PreviewTest, FirstKeyFrameDecodesAsFfmpegDecodesIt) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg not on PATH";
  const auto segments = recordAndScan({{0, 1, T0, 3, true}, {2, 2, T0 + 1, 2, true}});
  ASSERT_EQ(segments.size(), 2u);
  const FolderSource source(disk_.root());
  for (const SegmentRecord& segment : segments) {
    const KeyFrame key = findKeyFrame(source, searchOf(segment));
    ASSERT_TRUE(key.found) << key.failure.reason;
    EXPECT_EQ(key.timeStamp, segment.startTime);
    EXPECT_EQ(key.width, testing::SAMPLE_WIDTH);
    // The segment's first key frame is the sample's first access unit.
    EXPECT_EQ(key.payload, testing::sampleVideo().front().bytes);

    const DecodedPicture ours = decodeH264Picture(key.payload.data(), key.payload.size());
    ASSERT_TRUE(ours.ok()) << ours.failure.reason;
    ASSERT_EQ(ours.picture.width, testing::SAMPLE_WIDTH);
    ASSERT_EQ(ours.picture.height, testing::SAMPLE_HEIGHT);

    const std::string unit = out_.file("key.h264");
    writeBytes(unit, key.payload);
    const testing::ProgramRun ffmpeg = testing::runProgram(
        {"ffmpeg", "-v", "error", "-i", unit, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    ASSERT_EQ(ffmpeg.exitStatus, 0) << ffmpeg.err;
    ASSERT_EQ(ffmpeg.out.size(), ours.picture.rgb.size());
    EXPECT_TRUE(std::equal(ours.picture.rgb.begin(), ours.picture.rgb.end(),
                           reinterpret_cast<const std::uint8_t*>(ffmpeg.out.data())));
  }
}

TEST_F(PreviewTest, KeyFrameNearestAMomentInsideTheSegment) {
  // One key frame a second (every 25th picture at 25 a second); small
  // files, so that the segment runs over several.
  testing::SimulationOptions options;
  options.fileBytes = 40000;
  const auto segments = recordAndScan({{1, 1, T0, 6, true}}, options);
  ASSERT_EQ(segments.size(), 1u);
  ASSERT_NE(segments[0].firstFrame.file, segments[0].lastFrame.file);
  const FolderSource source(disk_.root());
  struct Case {
    RecorderTime near;
    RecorderTime found;
  };
  const Case cases[] = {{T0 - 100, T0}, {T0, T0}, {T0 + 3, T0 + 3}, {T0 + 4, T0 + 4}, {T0 + 100, T0 + 5}};
  for (const Case& c : cases) {
    const KeyFrame key = findKeyFrame(source, searchOf(segments[0], c.near));
    ASSERT_TRUE(key.found) << key.failure.reason;
    EXPECT_EQ(key.timeStamp, c.found) << c.near - T0;
    const DecodedPicture picture = decodeH264Picture(key.payload.data(), key.payload.size(), 88, 88);
    ASSERT_TRUE(picture.ok()) << picture.failure.reason;
    EXPECT_EQ(picture.picture.width, 88);  // fitted in the box, its shape kept
    EXPECT_EQ(picture.picture.height, 72);
  }
}

TEST_F(PreviewTest, SegmentFromALogIsFoundByItsTimes) {
  // Two segments of one channel in one file; a log gives the start folder
  // and the times only.
  const auto segments = recordAndScan({{0, 1, T0, 2, false}, {0, 2, T0 + 5, 2, false}});
  ASSERT_EQ(segments.size(), 2u);
  const FolderSource source(disk_.root());
  for (const SegmentRecord& segment : segments) {
    KeyFrameSearch search;
    search.channel = segment.channel;
    search.folder = segment.startFolder;
    search.lastFolder = std::numeric_limits<std::int32_t>::max();
    search.from = segment.startTime;
    search.until = segment.endTime;
    for (RecorderTime near : {RECORDER_TIME_MIN, segment.endTime + 1}) {
      search.near = near;
      const KeyFrame key = findKeyFrame(source, search);
      ASSERT_TRUE(key.found) << key.failure.reason;
      EXPECT_EQ(key.timeStamp, near == RECORDER_TIME_MIN ? segment.startTime : segment.endTime);
    }
  }
}

TEST_F(PreviewTest, PayloadThatIsNoPictureSaysSo) {
  const std::vector<std::vector<std::uint8_t>> payloads = {
      std::vector<std::uint8_t>(16, 0xab), {0, 0, 0, 1, 0x65, 0x88}, {0}, {}};
  for (const auto& payload : payloads) {
    const DecodedPicture picture = decodeH264Picture(payload.data(), payload.size());
    EXPECT_FALSE(picture.ok()) << payload.size();
    EXPECT_FALSE(picture.failure.reason.empty());
    EXPECT_TRUE(picture.picture.rgb.empty());
  }
}

TEST_F(PreviewTest, SegmentWithoutKeyFrameOrFileFindsNone) {
  testing::StoreWriter store(disk_.root());
  testing::RecordingFileBuilder builder;
  testing::FrameSpec audio = testing::keyedFrame(0, 5, 5, T0);
  audio.frameKind = FRAME_KIND_AUDIO;
  builder.frame(audio).frame(testing::keyedFrame(0, 6, 6, T0 + 1)).timesFromFrames();
  store.writeFile(0, 0, builder);
  const FolderSource source(disk_.root());
  KeyFrameSearch search;
  search.offset = FILE_HEADER_SIZE;
  // The key frame after the audio chunk begins the next segment.
  KeyFrame key = findKeyFrame(source, search);
  EXPECT_FALSE(key.found);
  EXPECT_NE(key.failure.reason.find("no key frame"), std::string::npos) << key.failure.reason;
  EXPECT_EQ(key.failure.code, FailureCode::NoKeyFrame);
  search.file = 3;
  search.lastFile = 3;
  key = findKeyFrame(source, search);
  EXPECT_FALSE(key.found);
  EXPECT_NE(key.failure.path.find("file0003.dat"), std::string::npos) << key.failure.path;
  EXPECT_EQ(key.failure.code, FailureCode::Missing);  // a file missing is the disk's problem
}

TEST_F(PreviewTest, ASegmentOnlyRecoveryFoundShowsItsPicture) {
  // A key frame, garbage where the frames end, then a key frame of another
  // segment that only a reader searching past the end of frames finds.
  testing::StoreWriter store(disk_.root());
  const std::vector<std::uint8_t> picture = testing::sampleVideo()[0].bytes;
  testing::FrameSpec first = testing::keyedFrame(0, 1, 1, T0);
  testing::FrameSpec later = testing::keyedFrame(0, 2, 2, T0 + 5);
  first.payload = later.payload = picture;
  store.writeFile(0, 0,
                  testing::RecordingFileBuilder().frame(first).raw(std::vector<std::uint8_t>(700, 0x5a)).frame(later)
                      .timesFromFrames());
  store.fillFolder(0, 1);
  JobSettings settings;
  settings.diskRoot = disk_.root();
  settings.outputFolder = out_.path();
  settings.recover = true;
  JobState state;
  const FolderSource source(settings.diskRoot);
  const StopRequest stop;
  const std::vector<SegmentRecord> segments = scanWorker(settings, source, state, stop).segments;
  // The first frame goes with the garbage: nothing confirms its length.
  ASSERT_EQ(segments.size(), 1u);
  ASSERT_TRUE(segments.back().recovered);
  KeyFrameSearch search = searchOf(segments.back());
  search.recover = segments.back().recovered;
  const KeyFrame key = findKeyFrame(source, search);
  ASSERT_TRUE(key.found) << key.failure.reason;
  EXPECT_EQ(key.timeStamp, T0 + 5);
  EXPECT_TRUE(key.payload == picture);
  search.recover = false;
  EXPECT_FALSE(findKeyFrame(source, search).found);
}

}  // namespace
}  // namespace korvex
