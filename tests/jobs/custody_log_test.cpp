// The log every job leaves: `sha256sum -c` verifies what the job wrote, and
// the JSON record lists exactly the files on disk, with their true sizes,
// hashes, the frame counts players read and the recording files they came
// from, at every way a job ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "jobs/backup_worker.h"
#include "jobs/custody_log.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/scratch_mount.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using Json = nlohmann::json;
using testing::TempDir;

// 2026-12-08 12:00:00 UTC.
constexpr std::time_t NOON = 1796731200;

Json readJson(const std::string& path) {
  std::ifstream in(path);
  return Json::parse(in, nullptr, false);
}

// `sha256sum -c` run in the folder of the list, as an examiner runs it.
testing::ProgramRun checkHashes(const std::string& hashListPath) {
  const std::size_t slash = hashListPath.rfind('/');
  return testing::runProgram({"sh", "-c", "cd \"$0\" && sha256sum -c \"$1\"", hashListPath.substr(0, slash),
                              hashListPath.substr(slash + 1)});
}

std::string sha256sumOf(const std::string& path) {
  const auto run = testing::runProgram({"sha256sum", path});
  return run.out.substr(0, 64);
}

std::uint64_t fileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

class CustodyLogTest : public ::testing::Test {
 protected:
  CustodyLogTest() : zone_("UTC0") {
    settings_.diskRoot = disk_.root();
    settings_.outputFolder = out_.path();
    selectEverything(settings_);
  }

  BackupResult backup(BackupOptions options = {}, const StopRequest* stop = nullptr) {
    state_.reset();
    const FolderSource source(settings_.diskRoot);
    if (!options.startedAt) options.startedAt = NOON;
    return backupWorker(settings_, source, state_, stop ? *stop : stop_, options);
  }

  ScanResult scan() {
    state_.reset();
    const FolderSource source(settings_.diskRoot);
    ScanOptions options;
    options.startedAt = NOON;
    return scanWorker(settings_, source, state_, stop_, options);
  }

  // The backup's log against the folder: the list verifies, and the
  // record lists exactly the AVI files there, as they are.
  Json expectBackupLogMatchesFolder(const BackupResult& result, const std::string& outcome) {
    EXPECT_EQ(result.logFailure.path, "") << std::strerror(result.logFailure.errorNumber);
    EXPECT_EQ(result.logPath, settings_.outputFolder + "/BackupLog_2026_12_8_12_0_0.json");
    EXPECT_EQ(result.hashListPath, settings_.outputFolder + "/BackupLog_2026_12_8_12_0_0.sha256");
    const auto onDisk = testing::listFiles(settings_.outputFolder, "", ".avi");
    const auto check = checkHashes(result.hashListPath);
    if (!onDisk.empty()) {
      EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
    }
    const std::string list = testing::readTextFile(result.hashListPath);
    EXPECT_EQ(static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n')), onDisk.size());

    const Json log = readJson(result.logPath);
    EXPECT_FALSE(log.is_discarded());
    if (log.is_discarded()) return log;
    EXPECT_EQ(log["program"], "Korvex");
    EXPECT_EQ(log["job"], "backup");
    EXPECT_EQ(log["outcome"], outcome);
    EXPECT_EQ(log["started"], "2026-12-08T12:00:00+00:00");
    EXPECT_TRUE(std::regex_match(log["ended"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")));
    EXPECT_EQ(log["disk"]["path"], settings_.diskRoot);
    EXPECT_EQ(log["disk"]["format"], "folder");
    EXPECT_EQ(log["settings"]["outputFolder"], settings_.outputFolder);

    std::set<std::string> listed;
    for (const Json& file : log["files"]) {
      const std::string name = file["name"];
      SCOPED_TRACE(name);
      listed.insert(name);
      const std::string path = settings_.outputFolder + "/" + name;
      EXPECT_EQ(file["bytes"], fileSize(path));
      EXPECT_EQ(file["sha256"], sha256sumOf(path));
      EXPECT_NE(list.find(file["sha256"].get<std::string>() + "  " + name + "\n"), std::string::npos);
      // The name carries the channel, the record type and the first frame's time.
      EXPECT_NE(name.find("_chn" + std::to_string(file["channel"].get<int>()) + "_" +
                          file["recordType"].get<std::string>() + "_"),
                std::string::npos);
      // A file without a frame has neither first nor last frame, nor their places.
      const bool framed = file["videoFrames"].get<std::uint64_t>() + file["audioChunks"].get<std::uint64_t>() > 0;
      for (const char* key : {"firstFrame", "lastFrame", "from", "to"}) EXPECT_EQ(file[key].is_null(), !framed) << key;
      if (!framed) continue;
      EXPECT_NE(name.find("_" + file["firstFrame"]["text"].get<std::string>()), std::string::npos);
      for (const char* end : {"from", "to"}) {
        EXPECT_TRUE(std::ifstream(settings_.diskRoot + file[end].get<std::string>()).good()) << file[end];
      }
      EXPECT_LE(file["firstFrame"]["recorder"], file["lastFrame"]["recorder"]);
      const auto probe = testing::probeMedia(path);
      EXPECT_EQ(probe.run.exitStatus, 0) << probe.run.err;
      const auto video = probe.streamsOfType("video");
      EXPECT_EQ(video.size(), 1u);
      if (video.size() != 1) continue;
      EXPECT_EQ(video[0].at("nb_read_frames"), std::to_string(file["videoFrames"].get<std::uint64_t>()));
      const auto audio = probe.streamsOfType("audio");
      if (file["audio"].is_null()) {
        EXPECT_TRUE(audio.empty());
      } else {
        EXPECT_EQ(audio.size(), 1u);
        if (audio.size() != 1) continue;
        EXPECT_EQ(audio[0].at("nb_read_packets"), std::to_string(file["audioChunks"].get<std::uint64_t>()));
        EXPECT_EQ(file["audio"]["sampleRate"], 8000);
      }
    }
    std::set<std::string> names;
    for (const auto& path : onDisk) names.insert(nameOf(path));
    EXPECT_EQ(listed, names);
    EXPECT_EQ(log["files"].size(), result.files.size());
    return log;
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_, out_;
  JobSettings settings_;
  JobState state_;
  StopRequest stop_;
};

TEST_F(CustodyLogTest, ABackupOfTheSampleDiskIsVerifiedAndAChangedByteIsFound) {
  testing::writeSampleDisk(disk_.root());
  const BackupResult result = backup();
  ASSERT_EQ(result.end, JobOutcome::Finished);
  ASSERT_EQ(result.files.size(), 12u);
  const Json log = expectBackupLogMatchesFolder(result, "finished");
  EXPECT_FALSE(log.contains("reason"));
  EXPECT_EQ(log["unreadable"], Json::array());
  EXPECT_EQ(log["settings"]["channels"].size(), 16u);
  EXPECT_EQ(log["settings"]["recordTypes"][0], (Json{{"code", 1}, {"name", "Time"}}));
  EXPECT_EQ(log["files"][0]["from"], "dir00000/file0000.dat");
  // The folder's file system, as the mount table tells it.
  const Json& disk = log["disk"];
  char* resolved = realpath(disk_.path().c_str(), nullptr);
  ASSERT_NE(resolved, nullptr);
  EXPECT_EQ(disk["resolvedPath"], resolved);
  std::free(resolved);
  ASSERT_TRUE(disk["fileSystem"].is_string());
  EXPECT_FALSE(disk["fileSystem"].get<std::string>().empty());
  ASSERT_TRUE(disk["mountPoint"].is_string());
  EXPECT_EQ(disk["resolvedPath"].get<std::string>().rfind(disk["mountPoint"].get<std::string>(), 0), 0u);
  EXPECT_TRUE(disk["image"].is_null());
  for (std::size_t i = 0; i < result.files.size(); ++i) EXPECT_EQ(result.files[i].hash.sha256, log["files"][i]["sha256"]);

  // One byte changed in the middle of one file: the check fails and names it.
  const std::string changed = result.files[3].path;
  std::fstream file(changed, std::ios::in | std::ios::out | std::ios::binary);
  file.seekg(static_cast<std::streamoff>(fileSize(changed) / 2));
  const char byte = static_cast<char>(file.get());
  file.seekp(static_cast<std::streamoff>(fileSize(changed) / 2));
  file.put(static_cast<char>(byte ^ 0x01));
  file.close();
  const auto check = checkHashes(result.hashListPath);
  EXPECT_NE(check.exitStatus, 0);
  EXPECT_NE(check.out.find(nameOf(changed) + ": FAILED"), std::string::npos) << check.out;
}

TEST_F(CustodyLogTest, AScanOfTheSampleDiskHashesItsReportAndListsItsSegments) {
  testing::writeSampleDisk(disk_.root());
  const ScanResult result = scan();
  ASSERT_EQ(result.end, JobOutcome::Finished);
  EXPECT_EQ(result.logPath, out_.path() + "/ScanFile_2026_12_8_12_0_0.json");
  EXPECT_EQ(result.hashListPath, out_.path() + "/ScanFile_2026_12_8_12_0_0.sha256");
  const auto check = checkHashes(result.hashListPath);
  EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
  EXPECT_EQ(check.out, "ScanFile_2026_12_8_12_0_0.txt: OK\n");

  const Json log = readJson(result.logPath);
  ASSERT_FALSE(log.is_discarded());
  EXPECT_EQ(log["job"], "scan");
  EXPECT_EQ(log["outcome"], "finished");
  EXPECT_EQ(log["report"]["name"], "ScanFile_2026_12_8_12_0_0.txt");
  EXPECT_EQ(log["report"]["sha256"], sha256sumOf(result.reportPath));
  EXPECT_EQ(log["report"]["bytes"], fileSize(result.reportPath));
  EXPECT_FALSE(log["settings"].contains("channels"));
  // The segments are the report's rows.
  const std::string report = testing::readTextFile(result.reportPath);
  ASSERT_EQ(log["segments"].size(), 12u);
  ASSERT_EQ(result.segments.size(), 12u);
  std::size_t rowStart = report.find("\r\n\r\n") + 4;
  for (const Json& segment : log["segments"]) {
    SCOPED_TRACE(segment.dump());
    const std::string row = report.substr(rowStart, report.find("\r\n", rowStart) - rowStart);
    rowStart += row.size() + 2;
    char type[16] = {}, unit = 0;
    int serial = 0, channel = 0, size = 0, folder = 0;
    int y1, m1, d1, h1, i1, s1, y2, m2, d2, h2, i2, s2, dh, dm, ds;
    ASSERT_EQ(std::sscanf(row.c_str(), "%d | %d | %15s | %d.%d.%d %d:%d:%d | %d.%d.%d %d:%d:%d |%d:%d:%d | %d%c | %d",
                          &serial, &channel, type, &y1, &m1, &d1, &h1, &i1, &s1, &y2, &m2, &d2, &h2, &i2, &s2, &dh,
                          &dm, &ds, &size, &unit, &folder),
              21)
        << row;
    EXPECT_EQ(segment["serial"], serial);
    EXPECT_EQ(segment["channel"], channel);
    EXPECT_EQ(segment["recordType"], type);
    EXPECT_EQ(segment["start"]["text"], std::to_string(y1) + "_" + std::to_string(m1) + "_" + std::to_string(d1) +
                                            "_" + std::to_string(h1) + "_" + std::to_string(i1) + "_" +
                                            std::to_string(s1));
    EXPECT_EQ(segment["durationSeconds"], dh * 3600 + dm * 60 + ds);
    EXPECT_EQ(segment["size"], std::to_string(size) + unit);
    EXPECT_EQ(segment["startFolder"], folder);
    EXPECT_EQ(segment["end"]["recorder"].get<std::int64_t>() - segment["start"]["recorder"].get<std::int64_t>(),
              segment["durationSeconds"].get<std::int64_t>());
  }
}

TEST_F(CustodyLogTest, AStoppedAnInterruptedAndASizeLimitedBackupLeaveTheirLogs) {
  testing::writeSampleDisk(disk_.root());
  struct Case {
    const char* outcome;
    bool interrupt;
    std::int32_t maxMB;
  };
  const Case cases[] = {{"stopped", false, 0}, {"interrupted", true, 0}, {"size-limit", false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outcome);
    TempDir out;
    settings_.outputFolder = out.path();
    settings_.maxDataSizeMB = c.maxMB;
    StopRequest stop;
    BackupOptions options;
    // A stop as the third file is created: the walk ends after that
    // recording file.
    int created = 0;
    options.fileCreated = [&](const std::string&) {
      if (c.maxMB == 0 && ++created == 3) c.interrupt ? stop.interrupt() : stop.request();
    };
    const BackupResult result = backup(options, &stop);
    EXPECT_EQ(result.end, c.maxMB != 0 ? JobOutcome::SizeLimit : c.interrupt ? JobOutcome::Interrupted : JobOutcome::Stopped);
    EXPECT_GE(result.files.size(), 2u);
    EXPECT_LT(result.files.size(), 12u);
    expectBackupLogMatchesFolder(result, c.outcome);
  }
}

TEST_F(CustodyLogTest, ABackupThatFilledTheDiskStillLeavesAWholeLog) {
  testing::ScratchMount small(512 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  settings_.outputFolder = small.path();
  std::vector<testing::SimulatedSegment> segments;
  for (int i = 0; i < 24; ++i) segments.push_back({i % 4, 1, testing::T0 + 3 * i, 2, true});
  testing::SimulationOptions options;
  options.fileBytes = 200000;
  testing::simulateRecorder(disk_.root(), segments, options);

  const BackupResult result = backup();
  ASSERT_EQ(result.end, JobOutcome::Failed);
  ASSERT_GE(result.files.size(), 2u);
  const Json log = expectBackupLogMatchesFolder(result, "failed");
  EXPECT_NE(log["reason"].get<std::string>().find("No space left on device"), std::string::npos) << log["reason"];
  bool unfinished = false;
  for (const Json& file : log["files"]) unfinished = unfinished || !file["finished"].get<bool>();
  EXPECT_TRUE(unfinished);
}

TEST_F(CustodyLogTest, JobsWithoutVideoLeaveALogWithNothingToCheck) {
  // No folder at all: no report, no AVI file, but a log of the attempt.
  const ScanResult scanned = scan();
  EXPECT_EQ(scanned.end, JobOutcome::NoVideo);
  EXPECT_EQ(scanned.reportPath, "");
  const Json scanLog = readJson(scanned.logPath);
  ASSERT_FALSE(scanLog.is_discarded());
  EXPECT_EQ(scanLog["outcome"], "no-video");
  EXPECT_TRUE(scanLog["report"].is_null());
  EXPECT_EQ(testing::readTextFile(scanned.hashListPath), "");

  const BackupResult backedUp = backup();
  EXPECT_FALSE(backedUp.videoFound);
  const Json log = expectBackupLogMatchesFolder(backedUp, "no-video");
  EXPECT_EQ(log["files"], Json::array());
  EXPECT_EQ(testing::listFiles(out_.path()).size(), 4u);
}

TEST_F(CustodyLogTest, AnAviFileWithoutAFrameHasNoFirstFrameNorPlace) {
  testing::StoreWriter store(disk_.root());
  // A segment that ends before its first key frame, then one that has it.
  testing::FrameSpec waiting = testing::keyedFrame(0, 1, 1, testing::T0);
  waiting.frameKind = 2;
  store.writeFile(0, 3, testing::RecordingFileBuilder().frame(waiting).frame(
                            testing::keyedFrame(0, 2, 2, testing::T0 + 1)));
  store.fillFolder(0);
  const Json files = readJson(backup().logPath)["files"];
  ASSERT_EQ(files.size(), 2u);
  for (const char* key : {"firstFrame", "lastFrame", "from", "to"}) EXPECT_TRUE(files[0][key].is_null()) << key;
  EXPECT_EQ(files[1]["from"], "dir00000/file0003.dat");
  EXPECT_EQ(files[1]["firstFrame"]["recorder"], testing::T0 + 1);
}

TEST_F(CustodyLogTest, AnUnreadableRecordingFileIsNamedWithItsReason) {
  testing::StoreWriter store(disk_.root());
  store.writeFile(0, 0, testing::RecordingFileBuilder().frame(testing::keyedFrame(0, 1, 1, testing::T0, 64)));
  store.fillFolder(0, 2);
  ASSERT_EQ(mkdir(store.filePath(0, 1).c_str(), 0755), 0);  // a folder where a file should be
  for (const bool isBackup : {false, true}) {
    SCOPED_TRACE(isBackup);
    TempDir out;
    settings_.outputFolder = out.path();
    const std::string logPath = isBackup ? backup().logPath : scan().logPath;
    const Json log = readJson(logPath);
    ASSERT_FALSE(log.is_discarded());
    EXPECT_EQ(log["outcome"], "failed");
    ASSERT_EQ(log["unreadable"].size(), 1u);
    EXPECT_EQ(log["unreadable"][0]["path"], store.filePath(0, 1));
    EXPECT_FALSE(log["unreadable"][0]["reason"].get<std::string>().empty());
    EXPECT_NE(log["reason"].get<std::string>().find(store.filePath(0, 1)), std::string::npos);
  }
}

TEST_F(CustodyLogTest, TakenNamesMoveTheLogAndTheReportTogether) {
  testing::writeSampleDisk(disk_.root());
  // A stray log of a scan at the same second: the report and its log move to "_2".
  std::ofstream(out_.path() + "/ScanFile_2026_12_8_12_0_0.json") << "{}";
  std::ofstream(out_.path() + "/BackupLog_2026_12_8_12_0_0.sha256") << "";
  const ScanResult scanned = scan();
  EXPECT_EQ(nameOf(scanned.reportPath), "ScanFile_2026_12_8_12_0_0_2.txt");
  EXPECT_EQ(nameOf(scanned.logPath), "ScanFile_2026_12_8_12_0_0_2.json");
  EXPECT_EQ(nameOf(scanned.hashListPath), "ScanFile_2026_12_8_12_0_0_2.sha256");
  EXPECT_EQ(testing::readTextFile(out_.path() + "/ScanFile_2026_12_8_12_0_0.json"), "{}");
  settings_.folderEnd = 1;
  const BackupResult backedUp = backup();
  EXPECT_EQ(nameOf(backedUp.logPath), "BackupLog_2026_12_8_12_0_0_2.json");
  EXPECT_EQ(nameOf(backedUp.hashListPath), "BackupLog_2026_12_8_12_0_0_2.sha256");
  EXPECT_EQ(checkHashes(backedUp.hashListPath).exitStatus, 0);
}

TEST_F(CustodyLogTest, ALogThatCannotBeWrittenIsNamedWithTheReason) {
  testing::writeSampleDisk(disk_.root());
  settings_.outputFolder = out_.path() + "/missing";
  const BackupResult result = backup();
  EXPECT_EQ(result.logPath, "");
  EXPECT_EQ(result.hashListPath, "");
  EXPECT_EQ(result.logFailure.path, out_.path() + "/missing/BackupLog_2026_12_8_12_0_0.json");
  EXPECT_EQ(result.logFailure.errorNumber, ENOENT);
}

TEST(CustodyLogTexts, LocalTimesCarryTheirOffset) {
  struct Case {
    const char* zone;
    std::time_t moment;
    const char* text;
  };
  const Case cases[] = {
      {"UTC0", NOON, "2026-12-08T12:00:00+00:00"},
      {testing::TZ_CENTRAL_EUROPE, NOON, "2026-12-08T13:00:00+01:00"},
      {testing::TZ_CENTRAL_EUROPE, NOON - 180 * 86400, "2026-06-11T14:00:00+02:00"},
      {"EST5EDT,M3.2.0,M11.1.0", NOON, "2026-12-08T07:00:00-05:00"},
      {"IST-5:30", NOON, "2026-12-08T17:30:00+05:30"},
  };
  for (const Case& c : cases) {
    testing::ScopedTimeZone zone(c.zone);
    EXPECT_EQ(isoLocalTime(c.moment), c.text) << c.zone;
  }
}

TEST(CustodyLogTexts, AnImageIsDescribedWithItsSegmentsHashesAndPartition) {
  CustodyRecord record;
  record.backup = true;
  record.disk.disk.path = "/evidence/disk.E01";
  record.disk.disk.format = "ewf";
  record.disk.disk.sizeBytes = 64 * 1024 * 1024;
  record.disk.disk.segments = {"/evidence/disk.E01", "/evidence/disk.E02"};
  record.disk.disk.md5 = std::string(32, 'b');
  record.disk.disk.sha1 = std::string(40, 'c');
  record.disk.resolvedPath = "/evidence/disk.E01";
  record.disk.partitioned = true;
  record.disk.partition.index = 2;
  record.disk.partition.startBytes = 1048576;
  record.disk.partition.lengthBytes = 32 * 1048576;
  record.disk.partition.description = "Linux (0x83)";
  record.disk.partition.fileSystem = "ext4";
  record.disk.fileSystem = "ext4";
  // Parsed keeping the order of the keys.
  const nlohmann::ordered_json log = nlohmann::ordered_json::parse(custodyJson(record));
  const nlohmann::ordered_json& disk = log["disk"];
  EXPECT_EQ(disk["format"], "ewf");
  EXPECT_TRUE(disk["device"].is_null());
  EXPECT_TRUE(disk["model"].is_null());
  EXPECT_EQ(disk["image"]["bytes"], 64 * 1024 * 1024);
  EXPECT_EQ(disk["image"]["segments"].size(), 2u);
  EXPECT_EQ(disk["image"]["md5"], std::string(32, 'b'));
  EXPECT_EQ(disk["image"]["sha1"], std::string(40, 'c'));
  EXPECT_EQ(disk["partition"]["index"], 2);
  EXPECT_EQ(disk["partition"]["wholeDisk"], false);
  EXPECT_EQ(disk["partition"]["fileSystem"], "ext4");
  // The keys every log has, in this order.
  std::vector<std::string> keys;
  for (const auto& item : log.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"program", "version", "job", "started", "ended", "outcome", "disk",
                                            "settings", "unreadable", "missing", "files"}));
}

// Paths are bytes: a text that is not UTF-8 keeps every byte beside it, in
// hex, right after it; a UTF-8 text has nothing beside it.
TEST(CustodyLogTexts, TextsThatAreNotUtf8KeepTheirBytesInHex) {
  const std::pair<std::string, const char*> cases[] = {
      {"/out/K\xc3\xa4se \xe2\x82\xac \xf0\x9f\x98\x80", nullptr},
      {"/out/caf\xe9", "2f6f75742f636166e9"},
      {"\xc0\xaf", "c0af"},          // an overlong '/'
      {"\xed\xa0\x80", "eda080"},   // a surrogate
      {"\xf4\x90\x80\x80", "f4908080"},  // past U+10FFFF
      {"\xe2\x82", "e282"},          // cut short
  };
  for (const auto& [text, hex] : cases) {
    SCOPED_TRACE(hex ? hex : "UTF-8");
    CustodyRecord record;
    record.settings.outputFolder = text;
    const nlohmann::ordered_json settings = nlohmann::ordered_json::parse(custodyJson(record))["settings"];
    auto at = settings.find("outputFolder");
    EXPECT_EQ(*at == text, hex == nullptr);
    ++at;
    EXPECT_EQ(at.key(), hex ? "outputFolderHex" : "folderStart");
    EXPECT_EQ(*at, hex ? nlohmann::ordered_json(hex) : settings["folderStart"]);
  }
}

TEST(CustodyLogTexts, OutcomesAndHashLines) {
  const std::pair<JobOutcome, const char*> outcomes[] = {
      {JobOutcome::Finished, "finished"},    {JobOutcome::NoVideo, "no-video"}, {JobOutcome::Stopped, "stopped"},
      {JobOutcome::SizeLimit, "size-limit"}, {JobOutcome::Failed, "failed"},    {JobOutcome::Interrupted, "interrupted"},
  };
  for (const auto& [outcome, name] : outcomes) EXPECT_STREQ(jobOutcomeName(outcome), name);

  const std::string hash(64, 'a');
  FileHash unread;
  unread.failure = {FailureCode::NotHashed, ENOENT, "/out/b.avi", "No such file or directory"};
  EXPECT_EQ(hashList({{"/out/a.avi", {hash, 1, {}}}, {"/out/b.avi", unread}, {"c.avi", {hash, 2, {}}}}),
            hash + "  a.avi\n" + hash + "  c.avi\n");
  EXPECT_EQ(hashList({{"/out/odd\\name", {hash, 1, {}}}}), "\\" + hash + "  odd\\\\name\n");
  testing::ScopedTimeZone zone("UTC0");
  EXPECT_EQ(calendarText(testing::T0), "2012_5_4_8_9_10");
}

}  // namespace
}  // namespace korvex
