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
  ASSERT_EQ(writer->lastFailure().code, AviError::WriteIndex);

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

}  // namespace
}  // namespace korvex
