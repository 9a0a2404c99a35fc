#include "jobs/backup_worker.h"
#include "jobs/selection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <numeric>
#include <string>
#include <vector>

#include "store/record_types.h"
#include "store/recording_store.h"
#include "support/avi_contents.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::AviContents;
using testing::FrameSpec;
using testing::RecordingFileBuilder;
using testing::StoreWriter;
using testing::T0;
using testing::TempDir;

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t first) {
  std::vector<std::uint8_t> b(n);
  std::iota(b.begin(), b.end(), first);
  return b;
}

FrameSpec video(std::int32_t channel, std::int32_t keyA, std::int32_t keyB, RecorderTime t, bool key = true,
                std::size_t size = 100, std::int32_t type = 1) {
  FrameSpec f;
  f.channel = channel;
  f.segmentKeyA = keyA;
  f.segmentKeyB = keyB;
  f.timeStamp = t;
  f.recordType = type;
  f.frameKind = key ? FRAME_KIND_KEY : 2;
  f.videoWidth = 352;
  f.videoHeight = 288;
  f.frameRate = 25;
  f.payload = bytes(size, static_cast<std::uint8_t>(t));
  return f;
}

FrameSpec audio(std::int32_t channel, std::int32_t keyA, std::int32_t keyB, RecorderTime t, std::size_t size = 324) {
  FrameSpec f = video(channel, keyA, keyB, t, false, size);
  f.frameKind = FRAME_KIND_AUDIO;
  f.videoWidth = f.videoHeight = f.frameRate = 0;
  f.audioSampleRate = 8000;
  f.audioBits = 8;
  return f;
}

struct BackupRun {
  JobState state;
  BackupResult result;
  StopRequest stop;
  std::vector<std::string> created;
};

class BackupWorkerTest : public ::testing::Test {
 protected:
  BackupWorkerTest() : zone_("UTC0"), store_(disk_.root()) {}

  // Every channel and record type, the whole time range.
  JobSettings everything() const {
    JobSettings s;
    selectEverything(s);
    s.diskRoot = disk_.root();
    s.outputFolder = out_.path();
    return s;
  }

  void run(BackupRun& out, const JobSettings& settings, BackupOptions options = {}) {
    out.state.reset();
    auto told = options.fileCreated;
    options.fileCreated = [&out, told](const std::string& path) {
      out.created.push_back(path);
      if (told) told(path);
    };
    const FolderSource source(settings.diskRoot);
    out.result = backupWorker(settings, source, out.state, out.stop, options);
    // At every end of the job every AVI file is finished: no file stays
    // open, and each file carries its index.
    for (const auto& path : out.created) {
      EXPECT_FALSE(testing::openInThisProcess(path)) << path;
      const AviContents avi = testing::readAviContents(path);
      EXPECT_TRUE(avi.valid) << path;
      EXPECT_EQ(avi.indexEntries, avi.chunks.size()) << path;
      EXPECT_EQ(avi.indexMismatch(), "") << path;
    }
  }

  std::string out(const std::string& name) const { return out_.path() + "/" + name; }

  // One recording file in folder 0 with these frames, and the rest of the
  // folder empty, so that the job reads the folder to its end.
  void onlyFile(const RecordingFileBuilder& file) {
    store_.writeFile(0, 0, file);
    store_.fillFolder(0);
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
  StoreWriter store_;
};

TEST_F(BackupWorkerTest, FileNamesTellFolderFileChannelTypeAndTime) {
  for (int folder = 0; folder < 3; ++folder) store_.fillFolder(folder);
  store_.writeFile(3, 17, RecordingFileBuilder().frame(video(0, 5, 6, T0)).frame(video(7, 5, 6, T0 + 3600, true, 10, 8)));
  store_.fillFolder(3);
  BackupRun r;
  run(r, everything());
  EXPECT_EQ(r.created, (std::vector<std::string>{out("folder=3_file=17_chn1_Time_2012_5_4_8_9_10.avi"),
                                                 out("folder=3_file=17_chn8_Manual_2012_5_4_9_9_10.avi")}));
  EXPECT_EQ(r.result.end, JobOutcome::Finished);
  EXPECT_TRUE(r.state.videoFound);

  // A folder that ends with '/' gets a second one; the path still works,
  // and the earlier run's files get numbers instead of being replaced.
  JobSettings slash = everything();
  slash.outputFolder += "/";
  BackupRun again;
  run(again, slash);
  ASSERT_EQ(again.created.size(), 2u);
  EXPECT_EQ(again.created[0], out_.path() + "//folder=3_file=17_chn1_Time_2012_5_4_8_9_10_2.avi");
}

TEST_F(BackupWorkerTest, ATakenNameGetsTheNextFreeNumberAndOldFilesAreKept) {
  onlyFile(RecordingFileBuilder()
               .frame(video(0, 1, 1, T0))
               .frame(video(0, 2, 2, T0))
               .frame(video(0, 3, 3, T0)));
  // Left by an earlier run, and a link: neither is written.
  RecordingFileBuilder earlier;
  earlier.raw(std::vector<std::uint8_t>(100000, 0xee)).writeTo(out("folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi"));
  ASSERT_EQ(symlink(store_.filePath(0, 0).c_str(), out("folder=0_file=0_chn1_Time_2012_5_4_8_9_10_3.avi").c_str()), 0);
  const std::string storeBefore = testing::readTextFile(store_.filePath(0, 0));
  BackupRun r;
  run(r, everything());
  EXPECT_EQ(r.created, (std::vector<std::string>{out("folder=0_file=0_chn1_Time_2012_5_4_8_9_10_2.avi"),
                                                 out("folder=0_file=0_chn1_Time_2012_5_4_8_9_10_4.avi"),
                                                 out("folder=0_file=0_chn1_Time_2012_5_4_8_9_10_5.avi")}));
  for (const auto& path : r.created) EXPECT_EQ(testing::readAviContents(path).count("00db"), 1u) << path;
  EXPECT_TRUE(testing::readTextFile(out("folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi")) ==
              std::string(earlier.bytes().begin(), earlier.bytes().end()));
  EXPECT_TRUE(testing::readTextFile(store_.filePath(0, 0)) == storeBefore);
}

TEST_F(BackupWorkerTest, PickedWindowsKeepOnlyTheirChannelsSpans) {
  // Channel 1: two segments; channel 2: one beside the first. Picked: the
  // first segment of channel 1 and channel 2's, in one job.
  onlyFile(RecordingFileBuilder()
               .frame(video(0, 1, 1, T0))
               .frame(video(1, 3, 3, T0))
               .frame(video(0, 1, 1, T0 + 1, false))
               .frame(video(1, 3, 3, T0 + 2, false))
               .frame(video(0, 2, 2, T0 + 5))
               .frame(video(0, 2, 2, T0 + 6, false))
               .timesFromFrames());
  JobSettings settings = everything();
  constexpr std::uint32_t TIME = 1u << RECORD_TYPE_TIME;
  settings.pickedWindows = {{0b01, T0, T0 + 1, TIME}, {0b10, T0, T0 + 2, TIME}};
  BackupRun r;
  run(r, settings);
  EXPECT_EQ(r.created, (std::vector<std::string>{out("folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi"),
                                                 out("folder=0_file=0_chn2_Time_2012_5_4_8_9_10.avi")}));
  for (const auto& path : r.created) EXPECT_EQ(testing::readAviContents(path).count("00db"), 2u) << path;
  // The job's log records the picks.
  const auto log = nlohmann::json::parse(testing::readTextFile(r.result.logPath));
  const auto& picked = log.at("settings").at("pickedWindows");
  ASSERT_EQ(picked.size(), 2u);
  EXPECT_EQ(picked[0].at("channels"), nlohmann::json::array({1}));
  EXPECT_EQ(picked[0].at("recordTypes"), nlohmann::json::parse(R"([{"code": 1, "name": "Time"}])"));
  EXPECT_EQ(picked[0].at("begin").at("recorder"), T0);
  EXPECT_EQ(picked[0].at("end").at("recorder"), T0 + 1);
  EXPECT_EQ(picked[1].at("channels"), nlohmann::json::array({2}));
  EXPECT_EQ(picked[1].at("end").at("recorder"), T0 + 2);
  // Without them the same selection takes channel 1's second segment too.
  settings.pickedWindows.clear();
  BackupRun all;
  run(all, settings);
  EXPECT_EQ(all.created.size(), 3u);
}

// Channel 1 records Time, then Motion from within the Time segment's last
// second: the two segments share that second. Each picked window keeps the
// frames of its own record type only.
TEST_F(BackupWorkerTest, PickedWindowsKeepTheirRecordTypesInASharedSecond) {
  onlyFile(RecordingFileBuilder()
               .frame(video(0, 1, 1, T0, true, 100, RECORD_TYPE_TIME))
               .frame(video(0, 1, 1, T0 + 1, true, 100, RECORD_TYPE_TIME))
               .frame(video(0, 2, 2, T0 + 1, true, 100, RECORD_TYPE_MOTION))
               .frame(video(0, 2, 2, T0 + 2, true, 100, RECORD_TYPE_MOTION))
               .frame(video(0, 2, 2, T0 + 3, true, 100, RECORD_TYPE_MOTION))
               .timesFromFrames());
  constexpr std::uint32_t TIME = 1u << RECORD_TYPE_TIME;
  constexpr std::uint32_t MOTION = 1u << RECORD_TYPE_MOTION;
  const PickedWindow timeSegment{0b1, T0, T0 + 1, TIME};
  const PickedWindow motionSegment{0b1, T0 + 1, T0 + 3, MOTION};
  const std::string timeFile = "folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi";
  const std::string motionFile = "folder=0_file=0_chn1_Motion_2012_5_4_8_9_11.avi";
  struct Case {
    const char* name;
    std::vector<PickedWindow> windows;
    std::vector<std::pair<std::string, std::size_t>> files;  // name, video chunks
  };
  const Case cases[] = {
      {"the Time segment", {timeSegment}, {{timeFile, 2}}},
      {"the Motion segment", {motionSegment}, {{motionFile, 3}}},
      {"both", {timeSegment, motionSegment}, {{timeFile, 2}, {motionFile, 3}}},
      // One window for both types would again take both in the shared second.
      {"both in one window", {{0b1, T0, T0 + 3, TIME | MOTION}}, {{timeFile, 2}, {motionFile, 3}}},
      {"a type neither segment has", {{0b1, T0, T0 + 3, 1u << RECORD_TYPE_SENSOR}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir out;
    JobSettings settings = everything();
    settings.outputFolder = out.path();
    settings.pickedWindows = c.windows;
    BackupRun r;
    run(r, settings);
    std::vector<std::string> expected;
    for (const auto& [name, chunks] : c.files) expected.push_back(out.path() + "/" + name);
    ASSERT_EQ(r.created, expected);
    for (std::size_t k = 0; k < c.files.size(); ++k)
      EXPECT_EQ(testing::readAviContents(r.created[k]).count("00db"), c.files[k].second) << r.created[k];
  }
}

TEST_F(BackupWorkerTest, AFileWaitsForItsKeyFrame) {
  onlyFile(RecordingFileBuilder()
               .frame(audio(0, 1, 1, T0))              // opens the file, dropped
               .frame(video(0, 1, 1, T0, false))       // not a key frame: dropped
               .frame(video(0, 1, 1, T0 + 1, true, 50))
               .frame(audio(0, 1, 1, T0 + 1))
               .frame(video(0, 1, 1, T0 + 1, false, 60)));
  BackupRun r;
  run(r, everything());
  ASSERT_EQ(r.created.size(), 1u);
  const AviContents avi = testing::readAviContents(r.created[0]);
  ASSERT_EQ(avi.chunks.size(), 3u);
  EXPECT_EQ(avi.chunks[0].id, "00db");
  EXPECT_EQ(avi.chunks[0].data.size(), 50u);
  EXPECT_EQ(avi.chunks[1].id, "01wb");
  EXPECT_EQ(avi.chunks[2].id, "00db");
  EXPECT_EQ(avi.totalFrames, 2u);
  EXPECT_EQ(avi.streams, 2u);
  EXPECT_EQ(avi.width, 352);
  EXPECT_EQ(avi.videoHandler, "X264");
  // Dropped frames are not counted.
  EXPECT_EQ(r.state.totalBytesWritten, 50u + 324 + 60);
}

// A player seeks to an entry marked as a key frame and starts decoding
// there: only frames of kind 1 may be marked, and every sound chunk is.
TEST_F(BackupWorkerTest, IndexMarksOnlyKeyFramesAndEverySoundChunk) {
  FrameSpec kind3 = video(0, 1, 1, T0, false, 30);
  kind3.frameKind = 3;
  FrameSpec kindMinus1 = video(0, 1, 1, T0, false, 31);
  kindMinus1.frameKind = -1;
  const std::vector<FrameSpec> frames = {video(0, 1, 1, T0, true, 50),    audio(0, 1, 1, T0),
                                         video(0, 1, 1, T0, false, 20),  // kind 2
                                         kind3,                          kindMinus1,
                                         video(0, 1, 1, T0 + 1, true, 41), audio(0, 1, 1, T0 + 1, 100)};
  RecordingFileBuilder file;
  for (const FrameSpec& frame : frames) file.frame(frame);
  onlyFile(file);
  BackupRun r;
  run(r, everything());
  ASSERT_EQ(r.created.size(), 1u);
  const AviContents avi = testing::readAviContents(r.created[0]);
  struct Entry {
    const char* id;
    std::uint32_t flags;
    std::uint32_t length;
  };
  const Entry want[] = {{"00db", 0x10, 50}, {"01wb", 0x10, 320}, {"00db", 0, 20}, {"00db", 0, 30},
                        {"00db", 0, 31},    {"00db", 0x10, 41},  {"01wb", 0x10, 100}};
  ASSERT_EQ(avi.index.size(), std::size(want));
  std::uint32_t offset = 2048;
  for (std::size_t i = 0; i < avi.index.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(avi.index[i].id, want[i].id);
    EXPECT_EQ(avi.index[i].flags, want[i].flags);
    EXPECT_EQ(avi.index[i].length, want[i].length);
    EXPECT_EQ(avi.index[i].offset, offset);
    offset += 8 + want[i].length + want[i].length % 2;
    // The bytes of the frame, whichever way they were read into the file;
    // a 324-byte sound chunk without its 4-byte prefix.
    const auto& payload = frames[i].payload;
    const std::size_t skip = payload.size() == 324 ? 4 : 0;
    ASSERT_LT(i, avi.chunks.size());
    EXPECT_EQ(avi.chunks[i].data, std::vector<std::uint8_t>(payload.begin() + static_cast<std::ptrdiff_t>(skip), payload.end()));
  }
}

TEST_F(BackupWorkerTest, SoundStampedBeforeTheKeyFrameIsCountedButNotWritten) {
  onlyFile(RecordingFileBuilder()
               .frame(video(0, 1, 1, T0 + 5))
               .frame(audio(0, 1, 1, T0 + 4))
               .frame(audio(0, 1, 1, T0 + 5)));
  BackupRun r;
  run(r, everything());
  ASSERT_EQ(r.created.size(), 1u);
  const AviContents avi = testing::readAviContents(r.created[0]);
  EXPECT_EQ(avi.count("01wb"), 1u);
  // The early chunk still declared the track.
  EXPECT_EQ(avi.streams, 2u);
  EXPECT_EQ(r.state.totalBytesWritten, 100u + 324 + 324);
  ASSERT_EQ(r.result.files.size(), 1u);
  EXPECT_EQ(r.result.files[0].mediaBytes, 100u + 324 + 324);
}

TEST_F(BackupWorkerTest, OnlyA324ByteChunkLosesItsFirstFourBytes) {
  onlyFile(RecordingFileBuilder()
               .frame(video(0, 1, 1, T0))
               .frame(audio(0, 1, 1, T0, 324))
               .frame(audio(0, 1, 1, T0, 323))
               .frame(audio(0, 1, 1, T0, 325)));
  BackupRun r;
  run(r, everything());
  ASSERT_EQ(r.created.size(), 1u);
  const auto sound = testing::readAviContents(r.created[0]).ofId("01wb");
  ASSERT_EQ(sound.size(), 3u);
  const auto full = bytes(325, static_cast<std::uint8_t>(T0));
  EXPECT_EQ(sound[0].data, std::vector<std::uint8_t>(full.begin() + 4, full.begin() + 324));
  EXPECT_EQ(sound[1].data, std::vector<std::uint8_t>(full.begin(), full.begin() + 323));
  EXPECT_EQ(sound[2].data, full);
  EXPECT_EQ(r.state.totalBytesWritten, 100u + 324 + 323 + 325);
}

TEST_F(BackupWorkerTest, AFullFileTakesFramesOnUntilTheNextKeyFrameWhichStartsTheNext) {
  RecordingFileBuilder file;
  file.frame(video(0, 1, 1, T0, true, 1000))
      .frame(video(0, 1, 1, T0 + 1, false, 1000))
      .frame(video(0, 1, 1, T0 + 2, false, 1000))  // 3000 bytes: full
      .frame(video(0, 1, 1, T0 + 3, false, 1000))  // still in the full file
      .frame(video(0, 1, 1, T0 + 4, true, 1000))   // opens the next file
      .frame(audio(0, 1, 1, T0 + 3));              // the recording runs on: written
  // Without a key frame a file is cut at three times the bound all the same.
  for (int i = 0; i < 9; ++i) file.frame(video(0, 1, 1, T0 + 5, false, 1000));
  onlyFile(file);
  BackupOptions options;
  options.splitBytes = 3000;
  BackupRun r;
  run(r, everything(), options);
  EXPECT_EQ(r.created, (std::vector<std::string>{out("folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi"),
                                                 out("folder=0_file=0_chn1_Time_2012_5_4_8_9_14.avi"),
                                                 out("folder=0_file=0_chn1_Time_2012_5_4_8_9_15.avi")}));
  const std::size_t pictures[] = {4, 9, 0}, sounds[] = {0, 1, 0};
  for (std::size_t i = 0; i < r.created.size(); ++i) {
    const AviContents avi = testing::readAviContents(r.created[i]);
    EXPECT_EQ(avi.count("00db"), pictures[i]) << i;
    EXPECT_EQ(avi.count("01wb"), sounds[i]) << i;
    EXPECT_TRUE(i == 2 || avi.index.at(0).flags == AVI_KEYFRAME_FLAG) << i;  // starts with its key frame
  }
}

// A continuous recording with sound, cut at the bound several times in
// the middle of a group of pictures: every picture and every block of sound
// is in exactly one file, in order, and each file starts with a key frame
// and is named after it.
TEST_F(BackupWorkerTest, AContinuousRecordingCutAtTheBoundLosesNoFrame) {
  if (!testing::programOnPath("ffprobe") || !testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  testing::SimulationOptions simulation;
  simulation.fileBytes = 40000;  // the key frames lie in different recording files
  const auto simulated = testing::simulateRecorder(disk_.root(), {{0, 1, T0, 8, true}}, simulation);
  BackupOptions options;
  options.splitBytes = simulated.payloadBytes / 4 + 777;
  BackupRun r;
  run(r, everything(), options);
  ASSERT_GE(r.created.size(), 3u);

  const auto& units = testing::sampleVideo();
  const std::size_t period = units.size() / testing::SAMPLE_FRAME_RATE * testing::SAMPLE_FRAME_RATE;
  std::size_t picture = 0, sound = 0;
  for (std::size_t i = 0; i < r.created.size(); ++i) {
    const std::string& path = r.created[i];
    SCOPED_TRACE(path);
    const AviContents avi = testing::readAviContents(path);
    ASSERT_EQ(avi.chunks.at(0).id, "00db");
    EXPECT_TRUE(units[picture % period].key);
    const std::string time = "_chn1_Time_" + calendarText(T0 + static_cast<RecorderTime>(picture) / 25) + ".avi";
    EXPECT_EQ(path.substr(path.size() - time.size()), time);
    for (const auto& chunk : avi.chunks) {
      const bool isPicture = chunk.id == "00db";
      EXPECT_EQ(chunk.data, isPicture ? units[picture++ % period].bytes : testing::sampleAudioBlock(sound++));
    }
    // Cut past the bound, not before it.
    EXPECT_TRUE(i + 1 == r.created.size() || r.result.files[i].mediaBytes > options.splitBytes);
    // Players read every picture, from the first one on.
    EXPECT_EQ(testing::probeMedia(path).streamsOfType("video").at(0).at("nb_read_frames"),
              std::to_string(avi.count("00db")));
    EXPECT_EQ(testing::decodeMedia(path).err, "");
  }
  EXPECT_EQ(picture, simulated.videoFrames);
  EXPECT_EQ(picture + sound, simulated.frames);
}

TEST_F(BackupWorkerTest, SizeLimitStopsOnlyOnceThePassedTotalIsSeen) {
  const std::size_t half = 524288;  // larger than the first payload buffer
  store_.writeFile(0, 0, RecordingFileBuilder()
                             .frame(video(0, 1, 1, T0, true, half))
                             .frame(video(0, 1, 1, T0, false, half))    // exactly 1 MiB: goes on
                             .frame(video(0, 1, 1, T0, false, half))    // passes the limit
                             .frame(video(0, 1, 1, T0, false, half)));  // the job ends before it
  store_.writeFile(0, 1, RecordingFileBuilder().frame(video(1, 2, 2, T0)));
  store_.fillFolder(0);
  JobSettings s = everything();
  s.maxDataSizeMB = 1;
  BackupRun r;
  run(r, s);
  ASSERT_EQ(r.created.size(), 1u);
  EXPECT_EQ(testing::readAviContents(r.created[0]).count("00db"), 3u);
  EXPECT_EQ(r.state.totalBytesWritten, 3 * half);
  EXPECT_EQ(r.result.end, JobOutcome::SizeLimit);
}

TEST_F(BackupWorkerTest, FileHeaderTimesSkipAFileOrEndTheJob) {
  JobSettings s = everything();
  s.beginTime = T0;
  s.endTime = T0 + 100;
  // Wholly before the window by its header: skipped unread, although its
  // frames would pass.
  store_.writeFile(0, 0, RecordingFileBuilder().times(T0 - 50, T0 - 1).frame(video(0, 1, 1, T0 + 10)));
  // Starts after the window while nothing was found yet: read through.
  store_.writeFile(0, 1, RecordingFileBuilder().times(T0 + 101, T0 + 200).frame(video(1, 2, 2, T0 + 150)));
  store_.writeFile(0, 2, RecordingFileBuilder().times(T0, T0 + 100).frame(video(2, 3, 3, T0 + 20)));
  // Starts after the window once a file was attempted: the job ends here.
  store_.writeFile(0, 3, RecordingFileBuilder().times(T0 + 101, T0 + 200).frame(video(3, 4, 4, T0 + 30)));
  store_.writeFile(0, 4, RecordingFileBuilder().times(T0, T0 + 100).frame(video(4, 5, 5, T0 + 40)));
  store_.fillFolder(0);
  BackupRun r;
  run(r, s);
  EXPECT_EQ(r.created, (std::vector<std::string>{out("folder=0_file=2_chn3_Time_2012_5_4_8_9_30.avi")}));
  EXPECT_EQ(r.result.end, JobOutcome::Finished);
  EXPECT_EQ(r.state.currentBackupFile, 3);
}

TEST_F(BackupWorkerTest, TimeWindowIncludesBothEndsPerFrame) {
  onlyFile(RecordingFileBuilder()
               .frame(video(0, 1, 1, T0 - 1, true, 11))
               .frame(video(0, 1, 1, T0, true, 12))
               .frame(video(0, 1, 1, T0 + 10, true, 13))
               .frame(video(0, 1, 1, T0 + 11, true, 14))
               .times(T0 - 1, T0 + 11));
  JobSettings s = everything();
  s.beginTime = T0;
  s.endTime = T0 + 10;
  BackupRun r;
  run(r, s);
  ASSERT_EQ(r.created.size(), 1u);
  const auto pictures = testing::readAviContents(r.created[0]).ofId("00db");
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_EQ(pictures[0].data.size(), 12u);
  EXPECT_EQ(pictures[1].data.size(), 13u);
}

TEST_F(BackupWorkerTest, FramesWithAZeroKeyAtTheStartFindNoFile) {
  onlyFile(RecordingFileBuilder()
               .frame(video(0, 0, 9, T0))
               .frame(video(0, 9, 0, T0))
               .frame(video(0, 4, 5, T0 + 1, true, 33)));
  BackupRun r;
  run(r, everything());
  ASSERT_EQ(r.created.size(), 1u);
  EXPECT_EQ(r.created[0], out("folder=0_file=0_chn1_Time_2012_5_4_8_9_11.avi"));
  EXPECT_EQ(r.state.totalBytesWritten, 33u);
}

TEST_F(BackupWorkerTest, OnlySelectedChannelsAndRecordTypesAreExported) {
  onlyFile(RecordingFileBuilder()
               .frame(video(0, 1, 1, T0, true, 10, 2))
               .frame(video(1, 2, 2, T0, true, 11, 1))
               .frame(video(1, 3, 3, T0, true, 12, 2))
               .frame(video(1, 4, 4, T0, true, 13, 3))    // no check box for code 3
               .frame(video(1, 5, 5, T0, true, 14, 0))    // nor for 0
               .frame(video(16, 6, 6, T0, true, 15, 2))   // channel 17: no check box
               .frame(video(1, 7, 7, T0, true, 16, 12)));  // beyond the table
  JobSettings s = everything();
  s.channelEnabled.fill(0);
  s.channelEnabled[1] = 1;
  s.recordTypeEnabled.fill(1);  // even entries without a check box
  s.recordTypeEnabled[1] = 0;
  s.recordTypeEnabled[4] = 0;
  s.recordTypeEnabled[8] = 0;
  BackupRun r;
  run(r, s);
  EXPECT_EQ(r.created, (std::vector<std::string>{out("folder=0_file=0_chn2_Motion_2012_5_4_8_9_10.avi")}));
  EXPECT_EQ(r.state.totalBytesWritten, 12u);

  JobSettings none = everything();
  none.channelEnabled.fill(0);
  BackupRun nothing;
  run(nothing, none);
  EXPECT_TRUE(nothing.created.empty());
  EXPECT_FALSE(nothing.state.videoFound);
  EXPECT_EQ(nothing.result.end, JobOutcome::NoVideo);
}

TEST_F(BackupWorkerTest, AStopTakesEffectAfterTheFileBeingRead) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(video(0, 1, 1, T0)).frame(video(1, 2, 2, T0)).frame(video(0, 1, 1, T0 + 1, false)));
  store_.writeFile(0, 1, RecordingFileBuilder().frame(video(2, 3, 3, T0)));
  store_.fillFolder(0);
  BackupRun r;
  BackupOptions options;
  options.fileCreated = [&r](const std::string&) { r.stop.request(); };
  run(r, everything(), options);
  // The file being read is read to its end; the next one is not opened.
  ASSERT_EQ(r.created.size(), 2u);
  EXPECT_EQ(testing::readAviContents(r.created[0]).count("00db"), 2u);
  EXPECT_EQ(r.result.end, JobOutcome::Stopped);
  EXPECT_EQ(r.state.currentBackupFile, 0);
}

TEST_F(BackupWorkerTest, AMissingRecordingFileEndsTheJobWithItsFilesFinished) {
  store_.writeFile(0, 0, RecordingFileBuilder().frame(video(0, 1, 1, T0)).frame(audio(0, 1, 1, T0)));
  BackupRun r;
  run(r, everything());
  EXPECT_EQ(r.created.size(), 1u);
  EXPECT_EQ(r.result.end, JobOutcome::Finished);
  EXPECT_EQ(r.state.currentBackupFile, 1);
}

TEST_F(BackupWorkerTest, AnAviFileThatCannotBeCreatedEndsTheJobWithItsReason) {
  onlyFile(RecordingFileBuilder().frame(video(0, 1, 1, T0)).frame(video(0, 1, 1, T0 + 1)));
  JobSettings s = everything();
  s.outputFolder = out_.path() + "/missing";
  BackupRun r;
  run(r, s);
  EXPECT_TRUE(r.created.empty());
  EXPECT_TRUE(r.state.videoFound);
  EXPECT_EQ(r.result.end, JobOutcome::Failed);
  EXPECT_EQ(r.result.failure.errorNumber, ENOENT);
  EXPECT_EQ(r.result.failure.path, s.outputFolder + "/folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi");
  EXPECT_EQ(r.state.totalBytesWritten, 0u);
  EXPECT_EQ(r.state.currentBackupFile, 0);
}

TEST_F(BackupWorkerTest, RealRecordingsPlayInPlayers) {
  if (!testing::programOnPath("ffprobe") || !testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  using testing::SimulatedSegment;
  const std::vector<SimulatedSegment> segments = {
      {0, 1, T0, 3, true}, {1, 2, T0 + 1, 2, false}, {0, 8, T0 + 4, 2, true}};
  testing::SimulationOptions options;
  options.fileBytes = 20000;
  testing::simulateRecorder(disk_.root(), segments, options);
  BackupRun r;
  run(r, everything());
  ASSERT_EQ(r.created.size(), 3u);
  for (const auto& path : r.created) {
    SCOPED_TRACE(path);
    const AviContents avi = testing::readAviContents(path);
    const auto probe = testing::probeMedia(path);
    const auto video = probe.streamsOfType("video");
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].at("codec_name"), "h264");
    EXPECT_EQ(video[0].at("width"), "176");
    EXPECT_EQ(video[0].at("nb_read_frames"), std::to_string(avi.count("00db")));
    EXPECT_EQ(probe.streamsOfType("audio").size(), avi.count("01wb") > 0 ? 1u : 0u);
    const auto decoded = testing::decodeMedia(path);
    EXPECT_EQ(decoded.exitStatus, 0);
    EXPECT_EQ(decoded.err, "");
  }
  // 25 pictures a second, every one written: each file starts at a key frame.
  EXPECT_EQ(testing::readAviContents(r.created[0]).count("00db"), 75u);
  // Only the key frames are indexed as such, so a seek between two of them
  // shows the picture of that time.
  const auto fromStart = testing::pictureHashes(r.created[0], {}, 75);
  ASSERT_EQ(fromStart.hashes.size(), 75u) << fromStart.run.err;
  const auto sought = testing::pictureHashes(r.created[0], {"-ss", "1.6"}, 1);
  EXPECT_EQ(sought.run.err, "");
  ASSERT_EQ(sought.hashes.size(), 1u);
  EXPECT_EQ(sought.hashes[0], fromStart.hashes[40]);
  EXPECT_EQ(testing::readAviContents(r.created[1]).count("00db"), 50u);
  EXPECT_EQ(testing::readAviContents(r.created[2]).count("00db"), 50u);
}

}  // namespace
}  // namespace korvex
