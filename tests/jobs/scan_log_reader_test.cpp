// The scan's JSON log read back: its segments as the scan had them, and a
// clear reason for anything that is not such a log.
#include "jobs/scan_log_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/temp_dir.h"

namespace korvex {
namespace {

using Json = nlohmann::json;

Json segmentEntry(int serial, int channel, int code, RecorderTime start, RecorderTime end, std::uint64_t bytes,
                  int folder) {
  return Json{{"serial", serial},
              {"channel", channel},
              {"recordType", code == 2 ? "Motion" : "Time"},
              {"recordTypeCode", code},
              {"start", {{"recorder", start}, {"text", "2012-05-04 08:09:10"}}},
              {"end", {{"recorder", end}, {"text", "2012-05-04 08:09:20"}}},
              // As the report counts it: the difference as a signed 32-bit number.
              {"durationSeconds",
               static_cast<std::int32_t>(static_cast<std::uint32_t>(end) - static_cast<std::uint32_t>(start))},
              {"bytes", bytes},
              {"size", "1K"},
              {"startFolder", folder}};
}

Json scanLog(Json segments) { return Json{{"job", "scan"}, {"report", "ScanFile_1.txt"}, {"segments", std::move(segments)}}; }

TEST(ScanLogReader, ReadsTheSegmentsOfAScanLog) {
  testing::TempDir dir;
  const std::string path = dir.file("scan.json");
  std::ofstream(path) << scanLog({segmentEntry(1, 1, 1, 1336118950, 1336118960, 1536, 0),
                                  segmentEntry(2, 16, 2, 1336118955, 1336119000, 5000000, 3),
                                  segmentEntry(3, 32, 7, -5, 2147483647, 0, 9)})
                             .dump(2);
  const ScanLog log = readScanLog(path);
  ASSERT_TRUE(log.ok()) << log.failure.reason;
  ASSERT_EQ(log.segments.size(), 3u);
  const SegmentRecord& second = log.segments[1];
  EXPECT_EQ(second.serial, 2);
  EXPECT_EQ(second.channel, 15);  // the log counts channels from 1
  EXPECT_EQ(second.recordType, 2);
  EXPECT_EQ(second.startTime, 1336118955);
  EXPECT_EQ(second.endTime, 1336119000);
  EXPECT_EQ(second.byteCount, 5000000u);
  EXPECT_EQ(second.startFolder, 3);
  EXPECT_EQ(log.segments[2].channel, 31);
  EXPECT_EQ(log.segments[2].startTime, -5);
  EXPECT_EQ(log.segments[2].endTime, 2147483647);
  const ScanLog absent = readScanLog(dir.file("empty.json"));
  EXPECT_EQ(absent.failure.code, FailureCode::NotOpened);
  EXPECT_EQ(absent.failure.reason, "cannot be opened");
}

TEST(ScanLogReader, AnythingElseIsRefusedWithTheReason) {
  struct Case {
    std::string text;
    std::string reason;
  };
  Json noChannel = segmentEntry(1, 1, 1, 10, 20, 5, 0);
  noChannel.erase("channel");
  Json textTime = segmentEntry(1, 1, 1, 10, 20, 5, 0);
  textTime["start"]["recorder"] = "10";
  const Case cases[] = {
      {"{\"job\": \"scan\", \"segments\": [", "not a JSON record"},
      {"[1, 2]", "not a JSON record"},
      {Json{{"job", "backup"}, {"segments", Json::array()}}.dump(), "not the log of a scan"},
      {Json{{"segments", Json::array()}}.dump(), "not the log of a scan"},
      {Json{{"job", "scan"}}.dump(), "lists no segments"},
      {scanLog({segmentEntry(1, 0, 1, 10, 20, 5, 0)}).dump(), "segment 1: \"channel\" out of range"},
      {scanLog({segmentEntry(1, 1, 1, 10, 20, 5, 0), segmentEntry(2, 33, 1, 10, 20, 5, 0)}).dump(),
       "segment 2: \"channel\" out of range"},
      {scanLog({noChannel}).dump(), "segment 1: no whole number \"channel\""},
      {scanLog({textTime}).dump(), "segment 1: no whole number \"recorder\""},
      {scanLog({segmentEntry(1, 1, 1, 10, 20, 5, -1)}).dump(), "\"startFolder\" out of range"},
      {scanLog({Json{1, 2}}).dump(), "segment 1: not a record"},
  };
  for (const Case& c : cases) {
    const ScanLog log = parseScanLog(c.text, "log.json");
    EXPECT_EQ(log.failure.code, FailureCode::LogNotRead) << c.text;
    EXPECT_TRUE(log.segments.empty());
    EXPECT_EQ(log.failure.path, "log.json");
    EXPECT_NE(log.failure.reason.find(c.reason), std::string::npos) << log.failure.reason;
  }
  const ScanLog none = parseScanLog(scanLog(Json::array()).dump(), "log.json");
  EXPECT_TRUE(none.ok());
  EXPECT_TRUE(none.segments.empty());
}

}  // namespace
}  // namespace korvex
