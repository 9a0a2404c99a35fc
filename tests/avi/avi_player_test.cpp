// Files written from real H.264 and A-law samples, judged by ffprobe and
// ffmpeg.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "avi/avi_file.h"
#include "avi_test_support.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::TempDir;

void requireTools() {
  ASSERT_TRUE(testing::programOnPath("ffprobe")) << "ffprobe is not on PATH (tools/install-deps installs it)";
  ASSERT_TRUE(testing::programOnPath("ffmpeg")) << "ffmpeg is not on PATH (tools/install-deps installs it)";
}

std::string field(const testing::ProbeFields& fields, const std::string& name) {
  const auto it = fields.find(name);
  return it == fields.end() ? "<missing " + name + ">" : it->second;
}

// Writes `frames` sample access units the way the backup does: the video is
// defined at the first frame, the audio track at the first sound block, one
// 320-byte block (40 ms of 8000 Hz A-law) after each picture.
// Leaves the writer open for the caller to finish.
std::unique_ptr<AviFile> writeSampleMedia(const std::string& path, std::size_t frames, bool withAudio) {
  const auto& video = testing::sampleVideo();
  EXPECT_GE(video.size(), frames);
  auto writer = avitest::createAvi(path);
  if (writer == nullptr) return nullptr;
  for (std::size_t i = 0; i < frames; ++i) {
    if (i == 0) writer->defineVideo(testing::SAMPLE_WIDTH, testing::SAMPLE_HEIGHT, testing::SAMPLE_FRAME_RATE, "X264");
    const auto& unit = video[i];
    EXPECT_TRUE(writer->putVideoFrame(unit.bytes.data(), static_cast<std::int32_t>(unit.bytes.size()), unit.key));
    if (!withAudio) continue;
    if (i == 0) writer->addAudioTrack(1, 8000, 8, 6, 64);
    const auto block = testing::sampleAudioBlock(i);
    EXPECT_TRUE(writer->putAudio(block.data(), static_cast<std::int32_t>(block.size())));
  }
  return writer;
}

void writeSampleAvi(const std::string& path, std::size_t frames, bool withAudio) {
  auto writer = writeSampleMedia(path, frames, withAudio);
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(writer->finish()) << aviErrorMessage(writer->lastFailure().code);
}

TEST(AviPlayers, ReadAndDecodeVideoWithAlawSound) {
  requireTools();
  TempDir dir;
  const std::string path = dir.file("sample.avi");
  const std::size_t frames = testing::sampleVideo().size();
  writeSampleAvi(path, frames, true);

  const auto probe = testing::probeMedia(path);
  ASSERT_TRUE(probe.run.started);
  ASSERT_EQ(probe.run.exitStatus, 0) << probe.run.err;
  EXPECT_EQ(probe.run.err, "");
  EXPECT_EQ(field(probe.format, "format_name"), "avi");
  EXPECT_EQ(field(probe.format, "nb_streams"), "2");

  const auto video = probe.streamsOfType("video");
  ASSERT_EQ(video.size(), 1u);
  EXPECT_EQ(field(video[0], "codec_name"), "h264");
  EXPECT_EQ(field(video[0], "codec_tag_string"), "X264");
  EXPECT_EQ(field(video[0], "width"), "176");
  EXPECT_EQ(field(video[0], "height"), "144");
  EXPECT_EQ(field(video[0], "nb_frames"), std::to_string(frames));
  EXPECT_EQ(field(video[0], "nb_read_packets"), std::to_string(frames));
  EXPECT_EQ(field(video[0], "nb_read_frames"), std::to_string(frames));

  const auto audio = probe.streamsOfType("audio");
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(field(audio[0], "codec_name"), "pcm_alaw");
  EXPECT_EQ(field(audio[0], "sample_rate"), "8000");
  EXPECT_EQ(field(audio[0], "channels"), "1");
  EXPECT_EQ(field(audio[0], "nb_read_packets"), std::to_string(frames));

  const auto decoded = testing::decodeMedia(path);
  ASSERT_TRUE(decoded.started);
  EXPECT_EQ(decoded.exitStatus, 0);
  EXPECT_EQ(decoded.err, "");
}

TEST(AviPlayers, ReadAndDecodeVideoOnly) {
  requireTools();
  TempDir dir;
  const std::string path = dir.file("silent.avi");
  writeSampleAvi(path, 30, false);

  const auto probe = testing::probeMedia(path);
  ASSERT_EQ(probe.run.exitStatus, 0) << probe.run.err;
  EXPECT_EQ(field(probe.format, "nb_streams"), "1");
  const auto video = probe.streamsOfType("video");
  ASSERT_EQ(video.size(), 1u);
  EXPECT_EQ(field(video[0], "codec_name"), "h264");
  EXPECT_EQ(field(video[0], "nb_read_frames"), "30");
  EXPECT_TRUE(probe.streamsOfType("audio").empty());

  const auto decoded = testing::decodeMedia(path);
  EXPECT_EQ(decoded.exitStatus, 0);
  EXPECT_EQ(decoded.err, "");
}

// When idx1 cannot be written the file is finalised without it, and players
// still read every chunk from the movi list.
TEST(AviPlayers, FileWithoutIndexStillPlays) {
  requireTools();
  TempDir dir;
  const std::string path = dir.file("noindex.avi");
  auto writer = writeSampleMedia(path, 50, true);
  ASSERT_NE(writer, nullptr);
  bool result = true;
  {
    avitest::FileSizeLimit limit(writer->writePosition() + 20);
    ASSERT_TRUE(limit.ok());
    result = writer->finish();
  }
  ASSERT_FALSE(result);
  ASSERT_EQ(writer->lastFailure().code, FailureCode::AviIndexNotWritten);

  const auto probe = testing::probeMedia(path);
  ASSERT_EQ(probe.run.exitStatus, 0) << probe.run.err;
  const auto video = probe.streamsOfType("video");
  ASSERT_EQ(video.size(), 1u);
  EXPECT_EQ(field(video[0], "codec_name"), "h264");
  EXPECT_EQ(field(video[0], "nb_read_frames"), "50");
  const auto audio = probe.streamsOfType("audio");
  ASSERT_EQ(audio.size(), 1u);
  EXPECT_EQ(field(audio[0], "nb_read_packets"), "50");

  const auto decoded = testing::decodeMedia(path);
  EXPECT_EQ(decoded.exitStatus, 0);
  EXPECT_EQ(decoded.err, "");
}

// A player that seeks to a time between two key frames starts decoding at
// the key frame before it (the one the index marks) and shows the picture a
// decoding from the start shows at that time. The sample has a key frame
// with its parameter sets every 25 pictures (one a second), as a recorder
// writes them.
TEST(AviPlayers, SeekBetweenKeyFramesShowsThePictureOfThatTime) {
  requireTools();
  TempDir dir;
  const std::string path = dir.file("seek.avi");
  writeSampleAvi(path, testing::sampleVideo().size(), true);

  const auto fromStart = testing::pictureHashes(path, {}, 1000);
  ASSERT_EQ(fromStart.run.exitStatus, 0) << fromStart.run.err;
  EXPECT_EQ(fromStart.run.err, "");
  ASSERT_EQ(fromStart.hashes.size(), testing::sampleVideo().size());
  struct Case {
    const char* time;
    std::size_t picture;  // the one shown at that time, 25 a second
  };
  const Case cases[] = {{"0.52", 13}, {"1.52", 38}, {"2.04", 51}, {"2.96", 74}, {"3.84", 96}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    ASSERT_FALSE(testing::sampleVideo()[c.picture].key);  // between two key frames
    const auto sought = testing::pictureHashes(path, {"-ss", c.time}, 1);
    EXPECT_EQ(sought.run.exitStatus, 0);
    EXPECT_EQ(sought.run.err, "");
    ASSERT_EQ(sought.hashes.size(), 1u);
    EXPECT_EQ(sought.hashes[0], fromStart.hashes[c.picture]);
  }
}

}  // namespace
}  // namespace korvex
