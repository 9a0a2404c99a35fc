// Recovery in both jobs: damage planted in stores, and the segments, AVI
// files and recovery log checked against the frames planted.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "jobs/backup_worker.h"
#include "jobs/recovery_log.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "store/memory_source.h"
#include "support/avi_contents.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::FrameSpec;
using testing::RecordingFileBuilder;
using testing::T0;

// A picture of the sample video: decodable, key frames where the sample has them.
FrameSpec picture(std::size_t index, std::int32_t keys, RecorderTime t, std::int32_t channel = 0) {
  const testing::VideoAccessUnit& unit = testing::sampleVideo()[index % testing::sampleVideo().size()];
  FrameSpec f;
  f.channel = channel;
  f.segmentKeyA = f.segmentKeyB = keys;
  f.timeStamp = t;
  f.frameKind = unit.key ? FRAME_KIND_KEY : 2;
  f.videoWidth = testing::SAMPLE_WIDTH;
  f.videoHeight = testing::SAMPLE_HEIGHT;
  f.frameRate = testing::SAMPLE_FRAME_RATE;
  f.payload = unit.bytes;
  return f;
}

std::vector<std::uint8_t> randomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

class RecoveryTest : public ::testing::Test {
 protected:
  RecoveryTest() : zone_("UTC0") {
    settings_.outputFolder = out_.path();
    selectEverything(settings_);
  }

  ScanResult scan(const RecordingSource& source, bool recover) {
    settings_.recover = recover;
    state_.reset();
    return scanWorker(settings_, source, state_, stop_);
  }

  BackupResult backup(const RecordingSource& source, bool recover) {
    settings_.recover = recover;
    state_.reset();
    BackupOptions options;
    options.fileCreated = [&](const std::string& path) { created_.push_back(path); };
    return backupWorker(settings_, source, state_, stop_, options);
  }

  // The report's lines after the header, without their CR LF.
  static std::vector<std::string> reportLines(const std::string& path) {
    const std::string text = testing::readTextFile(path);
    std::vector<std::string> lines;
    std::size_t at = SCAN_REPORT_HEADER.size();
    EXPECT_EQ(text.compare(0, at, SCAN_REPORT_HEADER), 0);
    while (at < text.size()) {
      const std::size_t end = text.find("\r\n", at);
      EXPECT_NE(end, std::string::npos);
      if (end == std::string::npos) break;
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }

  testing::ScopedTimeZone zone_;
  testing::TempDir out_;
  JobSettings settings_;
  JobState state_;
  StopRequest stop_;
  std::vector<std::string> created_;
};

// A file of one segment (keys 5, from T0 + 100) behind which the recorder
// left older frames of another segment (keys 3, from T0 + 10) after a zero
// length, and a garbage region in the middle of the newer one.
RecordingFileBuilder damagedFile(std::size_t newer, std::size_t older) {
  RecordingFileBuilder b;
  for (std::size_t i = 0; i < newer; ++i) {
    if (i == newer / 2) b.raw(randomBytes(3000, 5));
    b.frame(picture(i, 5, T0 + 100 + static_cast<RecorderTime>(i / 25)));
  }
  b.frame(testing::keyedFrame(0, 5, 5, T0 + 200, 0));
  for (std::size_t i = 0; i < older; ++i) b.frame(picture(i, 3, T0 + 10 + static_cast<RecorderTime>(i / 25)));
  return b.times(T0 + 100, T0 + 200);
}

TEST_F(RecoveryTest, TheScanListsRecoveredSegmentsAndSaysHowMany) {
  MemorySource source;
  source.setFile(0, 0, damagedFile(50, 30).bytes());

  const ScanResult plain = scan(source, false);
  ASSERT_EQ(plain.end, JobOutcome::Finished);
  ASSERT_EQ(plain.segments.size(), 1u);
  EXPECT_FALSE(plain.segments[0].recovered);
  const std::vector<std::string> plainLines = reportLines(plain.reportPath);
  ASSERT_EQ(plainLines.size(), 1u);

  const ScanResult recovered = scan(source, true);
  ASSERT_EQ(recovered.end, JobOutcome::Finished);
  // The newer segment goes on past the garbage; the older frames are a
  // segment of their own.
  ASSERT_EQ(recovered.segments.size(), 2u);
  EXPECT_TRUE(recovered.segments[0].recovered);
  EXPECT_EQ(recovered.segments[0].startTime, T0 + 100);
  EXPECT_EQ(recovered.segments[0].endTime, T0 + 101);
  EXPECT_TRUE(recovered.segments[1].recovered);
  EXPECT_EQ(recovered.segments[1].startTime, T0 + 10);
  EXPECT_EQ(recovered.segments[1].endTime, T0 + 11);
  EXPECT_EQ(recovered.recovery.recoveredFrames, 25u + 30u);
  ASSERT_EQ(recovered.recovery.resyncs.size(), 2u);
  const Resync& garbage = recovered.recovery.resyncs[0];
  EXPECT_EQ(garbage.file, "dir00000/file0000.dat");
  // Nothing confirms the length of the frame before the garbage: it is
  // passed over with it, and listed.
  ASSERT_EQ(recovered.recovery.damaged.size(), 1u);
  const DamagedFrameEntry& cut = recovered.recovery.damaged[0];
  EXPECT_EQ(cut.offset, garbage.endedAt);
  EXPECT_EQ(cut.reason, frameFaultText(FrameFault::NoHeaderAfter));
  const std::uint64_t passed = FRAME_HEADER_SIZE + cut.payloadLength + 3000;
  EXPECT_EQ(garbage.bytesPassed, passed);
  EXPECT_EQ(garbage.resumedAt, garbage.endedAt + passed);
  EXPECT_EQ(recovered.recovery.resyncs[1].bytesPassed, FRAME_HEADER_SIZE);
  EXPECT_TRUE(recovered.recovery.unreadable.empty());
  // The rest of the folder, as one run.
  ASSERT_EQ(recovered.recovery.skipped.size(), 1u);
  EXPECT_EQ(recovered.recovery.skipped[0].file, "dir00000/file0001.dat");
  EXPECT_EQ(recovered.recovery.skipped[0].lastFile(), "dir00000/file0127.dat");
  EXPECT_EQ(skippedFileCount(recovered.recovery), 127u);

  // Rows in the same format, then the one line.
  const std::vector<std::string> lines = reportLines(recovered.reportPath);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 40), plainLines[0].substr(0, 40));
  EXPECT_EQ(lines[2], "Recovery: 2 of 2 segments hold recovered frames");

  // The job's log lists every resync and marks the segments.
  const auto log = nlohmann::json::parse(testing::readTextFile(recovered.logPath));
  EXPECT_EQ(log.at("settings").at("recover"), true);
  const auto& recovery = log.at("recovery");
  EXPECT_EQ(recovery.at("recoveredFrames"), 55);
  ASSERT_EQ(recovery.at("resyncs").size(), 2u);
  EXPECT_EQ(recovery.at("resyncs")[0].at("file"), "dir00000/file0000.dat");
  EXPECT_EQ(recovery.at("resyncs")[0].at("endedAt"), garbage.endedAt);
  EXPECT_EQ(recovery.at("resyncs")[0].at("resumedAt"), garbage.resumedAt);
  EXPECT_EQ(recovery.at("resyncs")[0].at("bytesPassed"), passed);
  ASSERT_EQ(recovery.at("damagedFrames").size(), 1u);
  EXPECT_EQ(recovery.at("damagedFrames")[0].at("offset"), cut.offset);
  EXPECT_EQ(recovery.at("damagedFrames")[0].at("time").at("recorder"), cut.time);
  ASSERT_EQ(recovery.at("passedOver").size(), 1u);
  EXPECT_EQ(recovery.at("passedOver")[0].at("file"), "dir00000/file0001.dat");
  EXPECT_EQ(recovery.at("passedOver")[0].at("through"), "dir00000/file0127.dat");
  EXPECT_EQ(recovery.at("passedOver")[0].at("files"), 127);
  EXPECT_EQ(recovery.at("passedOver")[0].at("reason"), std::strerror(ENOENT));
  ASSERT_EQ(log.at("segments").size(), 2u);
  for (const auto& segment : log.at("segments")) EXPECT_EQ(segment.at("recovered"), true);
  // Without recovery the log holds no recovery fields at all.
  const auto plainLog = nlohmann::json::parse(testing::readTextFile(plain.logPath));
  EXPECT_EQ(plainLog.at("settings").at("recover"), false);
  EXPECT_FALSE(plainLog.contains("recovery"));
  EXPECT_FALSE(plainLog.at("segments")[0].contains("recovered"));
}

TEST_F(RecoveryTest, AnUndamagedStoreGivesTheSameRowsAndNothingRecovered) {
  MemorySource source;
  for (int file = 0; file < 3; ++file) {
    RecordingFileBuilder b;
    for (int i = 0; i < 40; ++i) {
      const std::int32_t keys = 10 + file * 4 + i % 4;
      b.frame(testing::keyedFrame(i % 4, keys, keys, T0 + file * 100 + i, 500));
    }
    b.raw(std::vector<std::uint8_t>(700, 0));
    source.setFile(0, file, b.timesFromFrames().bytes());
  }
  const ScanResult plain = scan(source, false);
  const ScanResult recovered = scan(source, true);
  EXPECT_EQ(plain.end, JobOutcome::Finished);
  EXPECT_EQ(recovered.end, JobOutcome::Finished);
  std::vector<std::string> plainLines = reportLines(plain.reportPath);
  std::vector<std::string> lines = reportLines(recovered.reportPath);
  ASSERT_EQ(plainLines.size(), 12u);
  ASSERT_EQ(lines.size(), plainLines.size() + 1);
  EXPECT_EQ(lines.back(), "Recovery: 0 of 12 segments hold recovered frames");
  lines.pop_back();
  EXPECT_EQ(lines, plainLines);
  EXPECT_EQ(recovered.recovery.recoveredFrames, 0u);
  EXPECT_TRUE(recovered.recovery.resyncs.empty());
  // Files 3 to 127 of the one folder do not exist: listed, passed over.
  ASSERT_EQ(recovered.recovery.skipped.size(), 1u);
  EXPECT_EQ(recovered.recovery.skipped[0].count(), 125);
}

TEST_F(RecoveryTest, AReadErrorIsReadThroughAndListed) {
  RecordingFileBuilder b;
  for (int i = 0; i < 20; ++i) b.frame(testing::keyedFrame(0, 1, 1, T0 + i, 1000));
  MemorySource source;
  source.setFile(0, 0, b.timesFromFrames().bytes());
  const std::uint64_t frame8 = FILE_HEADER_SIZE + 8 * 1128;
  source.setDamage(0, 0, frame8 + 10, frame8 + 20);

  const ScanResult plain = scan(source, false);
  EXPECT_EQ(plain.end, JobOutcome::Failed);
  EXPECT_EQ(plain.source.unread.reason, std::strerror(EIO));
  ASSERT_EQ(plain.segments.size(), 1u);
  EXPECT_EQ(plain.segments[0].endTime, T0 + 7);

  const ScanResult recovered = scan(source, true);
  EXPECT_EQ(recovered.end, JobOutcome::Finished);
  ASSERT_EQ(recovered.segments.size(), 1u);
  EXPECT_EQ(recovered.segments[0].endTime, T0 + 19);
  // Frame 8's header is unreadable, and so is the end of frame 7's payload.
  EXPECT_EQ(recovered.segments[0].byteCount, 18u * 1000);
  EXPECT_EQ(recovered.recovery.recoveredFrames, 11u);
  ASSERT_EQ(recovered.recovery.unreadable.size(), 1u);
  EXPECT_EQ(recovered.recovery.unreadable[0].file, "dir00000/file0000.dat");
  EXPECT_EQ(recovered.recovery.unreadable[0].offset, frame8 / 512 * 512);
  EXPECT_EQ(recovered.recovery.unreadable[0].length, 512u);

  // The backup exports what the scan counted, and both list frame 7.
  const BackupResult saved = backup(source, true);
  EXPECT_EQ(saved.end, JobOutcome::Finished);
  ASSERT_EQ(saved.files.size(), 1u);
  EXPECT_EQ(saved.files[0].videoFrames, 18u);
  EXPECT_EQ(saved.files[0].mediaBytes, recovered.segments[0].byteCount);
  for (const RecoveryLog* log : {&recovered.recovery, &saved.recovery}) {
    ASSERT_EQ(log->damaged.size(), 1u);
    EXPECT_EQ(log->damaged[0].offset, frame8 - 1128);
    EXPECT_EQ(log->damaged[0].time, T0 + 7);
    EXPECT_EQ(log->damaged[0].reason, frameFaultText(FrameFault::PayloadUnreadable));
    ASSERT_EQ(log->resyncs.size(), 1u);
    EXPECT_EQ(log->resyncs[0].endedAt, frame8);
    EXPECT_EQ(log->resyncs[0].resumedAt, frame8 + 1128);
  }
  EXPECT_TRUE(saved.files[0].recovered);
  EXPECT_FALSE(saved.files[0].residual);
  EXPECT_EQ(saved.recovery.unreadable.size(), 1u);
}

TEST_F(RecoveryTest, MissingAndUnopenableFilesMidRangeArePassedOver) {
  testing::TempDir disk;
  testing::StoreWriter store(disk.root());
  store.writeFile(0, 0, RecordingFileBuilder().frame(testing::keyedFrame(0, 1, 1, T0)).timesFromFrames());
  // file0001.dat is missing, file0002.dat is a folder.
  store.makeFolder(0);
  ASSERT_EQ(mkdir(store.filePath(0, 2).c_str(), 0755), 0);
  store.writeFile(0, 3, RecordingFileBuilder().frame(testing::keyedFrame(0, 1, 1, T0 + 5)).timesFromFrames());
  store.fillFolder(0, 4);
  store.writeFile(1, 0, RecordingFileBuilder().frame(testing::keyedFrame(0, 1, 1, T0 + 9)).timesFromFrames());
  store.fillFolder(1, 1);
  const FolderSource source(disk.root());

  const ScanResult plain = scan(source, false);
  EXPECT_EQ(plain.end, JobOutcome::NoVideo);
  ASSERT_EQ(plain.segments.size(), 1u);
  EXPECT_EQ(plain.segments[0].endTime, T0);

  const ScanResult recovered = scan(source, true);
  EXPECT_EQ(recovered.end, JobOutcome::Finished);
  ASSERT_EQ(recovered.segments.size(), 1u);
  EXPECT_EQ(recovered.segments[0].endTime, T0 + 9);
  EXPECT_FALSE(recovered.segments[0].recovered);
  ASSERT_EQ(recovered.recovery.skipped.size(), 2u);
  EXPECT_EQ(recovered.recovery.skipped[0].file, "dir00000/file0001.dat");
  EXPECT_EQ(recovered.recovery.skipped[0].reason, std::strerror(ENOENT));
  EXPECT_EQ(recovered.recovery.skipped[1].file, "dir00000/file0002.dat");
  EXPECT_EQ(recovered.recovery.skipped[1].reason, "a folder, not a recording file");

  const BackupResult saved = backup(source, true);
  EXPECT_EQ(saved.end, JobOutcome::Finished);
  ASSERT_EQ(saved.files.size(), 1u);
  EXPECT_EQ(saved.files[0].videoFrames, 3u);
  EXPECT_EQ(saved.recovery.skipped.size(), 2u);
}

TEST_F(RecoveryTest, FileHeadersWithWrongTimesAreIgnored) {
  MemorySource source;
  // Header times that would have the backup pass over file 0 (it ends
  // before the window) and stop at file 2 (it starts after the window).
  RecordingFileBuilder first, second, third;
  for (int i = 0; i < 5; ++i) first.frame(testing::keyedFrame(0, 1, 1, T0 + i));
  for (int i = 5; i < 10; ++i) second.frame(testing::keyedFrame(0, 1, 1, T0 + i));
  for (int i = 10; i < 15; ++i) third.frame(testing::keyedFrame(0, 1, 1, T0 + i));
  source.setFile(0, 0, first.times(T0 - 1000, T0 - 900).bytes());
  source.setFile(0, 1, second.timesFromFrames().bytes());
  source.setFile(0, 2, third.times(T0 + 5000, T0 + 6000).bytes());
  settings_.beginTime = T0;
  settings_.endTime = T0 + 100;

  struct Case {
    bool recover;
    JobOutcome end;
    std::uint64_t frames;
  };
  for (const Case c : {Case{false, JobOutcome::Finished, 5}, Case{true, JobOutcome::Finished, 15}}) {
    SCOPED_TRACE(c.recover);
    const BackupResult saved = backup(source, c.recover);
    EXPECT_EQ(saved.end, c.end);
    ASSERT_EQ(saved.files.size(), 1u);
    EXPECT_EQ(saved.files[0].videoFrames, c.frames);
    EXPECT_FALSE(saved.files[0].recovered);
    EXPECT_EQ(saved.recovery.recoveredFrames, 0u);
  }
}

TEST_F(RecoveryTest, ResidualFramesGoIntoTheirOwnAviFileMarkedRecovered) {
  MemorySource source;
  source.setFile(0, 0, damagedFile(50, 50).bytes());

  EXPECT_EQ(backup(source, false).files.size(), 1u);
  created_.clear();

  const BackupResult saved = backup(source, true);
  EXPECT_EQ(saved.end, JobOutcome::Finished);
  ASSERT_EQ(saved.files.size(), 2u);
  const ExportedFile& newer = saved.files[0];
  const ExportedFile& older = saved.files[1];
  EXPECT_EQ(newer.videoFrames, 49u);  // less the frame before the garbage
  EXPECT_TRUE(newer.recovered);
  EXPECT_FALSE(newer.residual);
  EXPECT_EQ(newer.path.find("_recovered"), std::string::npos);
  EXPECT_EQ(older.videoFrames, 50u);
  EXPECT_TRUE(older.recovered);
  EXPECT_TRUE(older.residual);
  EXPECT_EQ(older.firstFrame, T0 + 10);
  const std::string suffix = "_chn1_Time_2012_5_4_8_9_20_recovered.avi";
  ASSERT_GE(older.path.size(), suffix.size());
  EXPECT_EQ(older.path.substr(older.path.size() - suffix.size()), suffix);
  EXPECT_EQ(created_, (std::vector<std::string>{newer.path, older.path}));
  EXPECT_EQ(saved.recovery.recoveredFrames, 25u + 50u);
  const auto log = nlohmann::json::parse(testing::readTextFile(saved.logPath));
  ASSERT_EQ(log.at("files").size(), 2u);
  EXPECT_EQ(log.at("files")[0].at("recovered"), true);
  EXPECT_EQ(log.at("files")[0].at("residual"), false);
  EXPECT_EQ(log.at("files")[1].at("residual"), true);
  EXPECT_EQ(log.at("files")[1].at("name"), older.path.substr(older.path.rfind('/') + 1));

  for (const ExportedFile& file : saved.files) {
    SCOPED_TRACE(file.path);
    const testing::AviContents avi = testing::readAviContents(file.path);
    EXPECT_TRUE(avi.valid);
    EXPECT_EQ(avi.count("00db"), file.videoFrames);
    if (testing::programOnPath("ffmpeg")) {
      const testing::ProgramRun decoded = testing::decodeMedia(file.path);
      EXPECT_EQ(decoded.exitStatus, 0);
      EXPECT_EQ(decoded.err, "");
    }
  }
}

// The pictures of an AVI file, in order.
std::vector<std::vector<std::uint8_t>> aviPictures(const std::string& path) {
  std::vector<std::vector<std::uint8_t>> pictures;
  for (const testing::AviChunk& chunk : testing::readAviContents(path).ofId("00db")) pictures.push_back(chunk.data);
  return pictures;
}

// A wrapped disk: the newest recording (keys 7) runs through every file;
// behind its end in the first file, or in every file, lie frames of the
// older recording it overwrote (keys 3), cut where the newer frames ended.
TEST_F(RecoveryTest, OlderFramesBehindTheNewestRecordingNeitherSplitItNorLoseAFrame) {
  for (const bool tailInEvery : {false, true}) {
    SCOPED_TRACE(tailInEvery);
    MemorySource source;
    std::vector<std::vector<std::uint8_t>> newer, older;
    for (int file = 0; file < 3; ++file) {
      RecordingFileBuilder b;
      for (int i = 0; i < 60; ++i, newer.push_back(picture(newer.size(), 7, 0).payload))
        b.frame(picture(newer.size(), 7, T0 + 1000 + static_cast<RecorderTime>(newer.size() / 25)));
      if (file == 0 || tailInEvery) {
        b.frame(testing::keyedFrame(0, 7, 7, T0 + 1000, 0)).raw(randomBytes(300, 7));
        for (int i = 0; i < 40; ++i, older.push_back(picture(older.size(), 3, 0).payload))
          b.frame(picture(older.size(), 3, T0 + 10 + static_cast<RecorderTime>(older.size() / 25)));
      }
      source.setFile(0, file, b.times(T0 + 1000, T0 + 1010).bytes());
    }
    const BackupResult plain = backup(source, false);
    ASSERT_EQ(plain.files.size(), 1u);
    EXPECT_EQ(aviPictures(plain.files[0].path), newer);
    const BackupResult saved = backup(source, true);
    ASSERT_EQ(saved.files.size(), 2u);
    EXPECT_FALSE(saved.files[0].residual);
    EXPECT_EQ(aviPictures(saved.files[0].path), newer);
    EXPECT_TRUE(saved.files[1].residual);
    EXPECT_NE(saved.files[1].path.find("_recovered"), std::string::npos);
    EXPECT_EQ(aviPictures(saved.files[1].path), older);

    const ScanResult scanned = scan(source, true);
    const std::vector<std::string> plainRows = reportLines(scan(source, false).reportPath);
    ASSERT_EQ(plainRows.size(), 1u);
    ASSERT_EQ(scanned.segments.size(), 2u);
    EXPECT_EQ(reportLines(scanned.reportPath)[0], plainRows[0]);
    EXPECT_EQ(scanned.segments[1].startTime, T0 + 10);
    EXPECT_EQ(scanned.segments[1].endTime, T0 + 10 + static_cast<RecorderTime>((older.size() - 1) / 25));
  }
}

// Channel 2 stamped a second behind channel 1, and mid-file a damaged
// frame (its length field too small) with garbage after it.
TEST_F(RecoveryTest, AChannelASecondBehindAnotherAfterAResyncIsNotResidual) {
  RecordingFileBuilder b;
  for (std::size_t i = 0; i < 100; ++i) {
    if (i == 50) {
      FrameSpec damaged = picture(i, 5, T0 + 3, 0);
      damaged.payloadLength = static_cast<std::uint32_t>(damaged.payload.size() / 2);
      b.frame(damaged).raw(randomBytes(3000, 9));
    }
    const auto t = T0 + static_cast<RecorderTime>(i / 25);
    b.frame(picture(i, 5, t + 1, 0)).frame(picture(i, 6, t, 1));
  }
  MemorySource source;
  source.setFile(0, 0, b.timesFromFrames().bytes());
  const BackupResult saved = backup(source, true);
  ASSERT_EQ(saved.files.size(), 2u);
  for (const ExportedFile& file : saved.files) {
    EXPECT_FALSE(file.residual);
    EXPECT_EQ(file.videoFrames, 100u);
  }
  EXPECT_EQ(scan(source, true).segments.size(), 2u);
}

// One file of pictures (keys 5) with damage planted after the first 6, and
// what both jobs must make of it.
struct PlantedDamage {
  const char* name;
  std::uint32_t shortBy;   // the sixth picture's length field is this much too small
  std::size_t resetFrames; // a zero length, then this many pictures stamped 2000-01-01
};

TEST_F(RecoveryTest, BothJobsTakeTheSameFramesAndListTheSameOnesPassedOver) {
  for (const PlantedDamage c : {PlantedDamage{"a clock reset to 2000-01-01 mid-file", 0, 6},
                                PlantedDamage{"a length field too small", 10, 0}}) {
    SCOPED_TRACE(c.name);
    RecordingFileBuilder b;
    std::uint64_t taken = 0, passed = c.resetFrames > 0 ? FRAME_HEADER_SIZE : 0;
    for (std::size_t i = 0; i < 12; ++i) {
      FrameSpec f = picture(i, 5, T0);
      if (i == 6 && c.resetFrames > 0) b.frame(testing::keyedFrame(0, 5, 5, T0, 0));
      for (std::size_t k = 0; i == 6 && k < c.resetFrames; ++k) {
        b.frame(picture(k, 9, 946684800 + static_cast<RecorderTime>(k)));
        passed += FRAME_HEADER_SIZE + picture(k, 9, 0).payload.size();
      }
      if (i == 5 && c.shortBy > 0) f.payloadLength = static_cast<std::uint32_t>(f.payload.size() - c.shortBy);
      if (f.payloadLength) {
        passed += FRAME_HEADER_SIZE + f.payload.size();
      } else {
        taken += f.payload.size();
      }
      b.frame(f);
    }
    MemorySource source;
    source.setFile(0, 0, b.bytes());
    const ScanResult scanned = scan(source, true);
    const BackupResult saved = backup(source, true);
    ASSERT_EQ(scanned.segments.size(), 1u);
    ASSERT_EQ(saved.files.size(), 1u);
    // The scan's row holds the payloads the backup's file holds.
    EXPECT_EQ(scanned.segments[0].byteCount, taken);
    EXPECT_EQ(saved.files[0].mediaBytes, taken);
    for (const RecoveryLog* log : {&scanned.recovery, &saved.recovery}) {
      // The one resync passed over what the log lists: the damaged frame
      // where it begins, or the zero length and the frames of 2000.
      ASSERT_EQ(log->resyncs.size(), 1u);
      EXPECT_EQ(log->resyncs[0].bytesPassed, passed);
      ASSERT_EQ(log->damaged.size(), c.shortBy > 0 ? 1u : 0u);
      for (const DamagedFrameEntry& d : log->damaged) EXPECT_EQ(d.offset, log->resyncs[0].endedAt);
      EXPECT_EQ(framesOutsideWindowCount(*log), c.resetFrames);
      for (const FramesOutsideWindowEntry& o : log->outsideWindow) EXPECT_EQ(FRAME_HEADER_SIZE + o.bytes, passed);
    }
    const auto json = nlohmann::json::parse(testing::readTextFile(scanned.logPath)).at("recovery");
    EXPECT_EQ(json.at("framesOutsideTimeWindow"), c.resetFrames);
    if (c.resetFrames > 0) {
      EXPECT_EQ(json.at("outsideTimeWindow")[0].at("time").at("text"), "2000_1_1_0_0_0");
      EXPECT_EQ(json.at("outsideTimeWindow")[0].at("lastTime").at("text"), "2000_1_1_0_0_5");
    }
  }
}

TEST_F(RecoveryTest, AStoreOfRandomBytesRecoversNothing) {
  MemorySource source;
  for (int file = 0; file < 4; ++file)
    source.setFile(0, file, randomBytes(FILE_HEADER_SIZE + 512 * 1024, static_cast<std::uint32_t>(100 + file)));
  const ScanResult scanned = scan(source, true);
  EXPECT_EQ(scanned.end, JobOutcome::Finished);
  EXPECT_TRUE(scanned.segments.empty());
  EXPECT_EQ(scanned.recovery.recoveredFrames, 0u);
  EXPECT_TRUE(scanned.recovery.resyncs.empty());
  const BackupResult saved = backup(source, true);
  EXPECT_TRUE(saved.files.empty());
  EXPECT_FALSE(saved.videoFound);
  EXPECT_EQ(saved.recovery.recoveredFrames, 0u);
}


TEST(RecoveryLogTest, FilesPassedOverForOneReasonInARowAreOneRun) {
  struct Skip {
    std::int32_t folder;
    int file;
    const char* reason;
  };
  struct Case {
    const char* name;
    std::vector<Skip> skips;
    std::vector<std::string> runs;  // "first..last reason"
  };
  const auto missing = [] {
    Failure f;
    f.code = FailureCode::Missing;
    f.reason = "missing";
    return f;
  };
  const std::vector<Case> cases = {
      {"one file", {{0, 5, "missing"}}, {"dir00000/file0005.dat..dir00000/file0005.dat missing"}},
      {"a run", {{0, 5, "missing"}, {0, 6, "missing"}, {0, 7, "missing"}},
       {"dir00000/file0005.dat..dir00000/file0007.dat missing"}},
      {"a gap starts a new run", {{0, 5, "missing"}, {0, 7, "missing"}},
       {"dir00000/file0005.dat..dir00000/file0005.dat missing", "dir00000/file0007.dat..dir00000/file0007.dat missing"}},
      {"another reason starts a new run", {{0, 5, "missing"}, {0, 6, ""}, {0, 7, ""}},
       {"dir00000/file0005.dat..dir00000/file0005.dat missing",
        "dir00000/file0006.dat..dir00000/file0007.dat cannot be opened"}},
      {"another folder starts a new run", {{0, 127, "missing"}, {1, 0, "missing"}, {1, 1, "missing"}},
       {"dir00000/file0127.dat..dir00000/file0127.dat missing", "dir00001/file0000.dat..dir00001/file0001.dat missing"}},
  };
  for (const Case& c : cases) {
    RecoveryLog log;
    std::size_t files = 0;
    for (const Skip& skip : c.skips) {
      Failure failure = missing();
      failure.reason = skip.reason;
      noteSkippedFile(log, skip.folder, skip.file, failure);
      ++files;
    }
    std::vector<std::string> runs;
    for (const SkippedFile& s : log.skipped)
      runs.push_back(s.file + ".." + (s.count() > 1 ? s.lastFile() : s.file) + " " + s.reason);
    EXPECT_EQ(runs, c.runs) << c.name;
    EXPECT_EQ(skippedFileCount(log), files) << c.name;
  }
}

}  // namespace
}  // namespace korvex
