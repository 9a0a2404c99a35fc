#include "jobs/selection.h"

#include <gtest/gtest.h>

#include "store/record_types.h"

namespace korvex {
namespace {

TEST(FolderRange, LimitIsTheCountOrASmallerFolderEnd) {
  struct Case {
    int count;
    std::int32_t start, end;
    std::int32_t first, limit;
  };
  const Case cases[] = {
      {5, 0, 0, 0, 5}, {5, 0, 3, 0, 3}, {5, 0, 9, 0, 5}, {5, 0, 5, 0, 5},
      {5, 2, 2, 2, 2},  // nothing to visit
      {5, 7, 0, 7, 5},  {0, 0, 0, 0, 0}, {5, 0, -1, 0, -1},
  };
  for (const auto& c : cases) {
    JobSettings s;
    s.folderStart = c.start;
    s.folderEnd = c.end;
    const FolderRange r = folderRange(c.count, s);
    EXPECT_EQ(r.first, c.first) << c.count << " " << c.start << " " << c.end;
    EXPECT_EQ(r.limit, c.limit) << c.count << " " << c.start << " " << c.end;
  }
}

TEST(Selection, TimeWindowIncludesBothEnds) {
  JobSettings s;
  s.beginTime = 100;
  s.endTime = 200;
  EXPECT_FALSE(insideTimeWindow(99, s));
  EXPECT_TRUE(insideTimeWindow(100, s));
  EXPECT_TRUE(insideTimeWindow(200, s));
  EXPECT_FALSE(insideTimeWindow(201, s));
  s.beginTime = 300;  // begin after end: nothing passes
  EXPECT_FALSE(insideTimeWindow(250, s));
}

TEST(Selection, ChannelsWithoutACheckBoxNeverPass) {
  JobSettings s;
  s.channelEnabled.fill(1);  // even if the table said so
  EXPECT_TRUE(channelSelected(0, s));
  EXPECT_TRUE(channelSelected(15, s));
  EXPECT_FALSE(channelSelected(16, s));
  EXPECT_FALSE(channelSelected(31, s));
  EXPECT_FALSE(channelSelected(-1, s));
  EXPECT_FALSE(channelSelected(1000, s));
  JobSettings none;
  EXPECT_FALSE(channelSelected(0, none));
}

TEST(Selection, OnlyTheFourNamedRecordTypesPass) {
  JobSettings s;
  s.recordTypeEnabled.fill(1);
  for (std::int32_t code : {-1, 0, 3, 5, 6, 7, 9, 11, 12, 100}) EXPECT_FALSE(recordTypeSelected(code, s)) << code;
  for (std::int32_t code : {1, 2, 4, 8}) EXPECT_TRUE(recordTypeSelected(code, s)) << code;

  JobSettings motionOnly;
  motionOnly.recordTypeEnabled[RECORD_TYPE_MOTION] = 1;
  EXPECT_TRUE(recordTypeSelected(2, motionOnly));
  EXPECT_FALSE(recordTypeSelected(1, motionOnly));
  EXPECT_FALSE(recordTypeSelected(8, motionOnly));
}

TEST(Selection, SizeLimitPassesOnlyAboveTheLimit) {
  JobSettings s;
  EXPECT_EQ(sizeLimitBytes(s), 0u);
  EXPECT_FALSE(sizeLimitPassed(~0ull, s));
  s.maxDataSizeMB = 1;
  EXPECT_FALSE(sizeLimitPassed(1048576, s));
  EXPECT_TRUE(sizeLimitPassed(1048577, s));
  s.maxDataSizeMB = 5000;
  EXPECT_EQ(sizeLimitBytes(s), 5242880000ull);
}

TEST(NumberText, ReadsLikeAtoi) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"0", 0},          {"12", 12},       {"  42", 42},     {"\t-7", -7},    {"+9", 9},
      {"12abc", 12},     {"abc", 0},       {"", 0},          {"- 3", 0},      {"3 4", 3},
      {"2147483647", 2147483647},          {"99999999999", 2147483647},     {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(readIntegerText(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumberText, NegativeSizeLimitBecomes100) {
  EXPECT_EQ(readSizeLimitText("-5"), 100);
  EXPECT_EQ(readSizeLimitText("abc"), 0);
  EXPECT_EQ(readSizeLimitText("12abc"), 12);
  EXPECT_EQ(readSizeLimitText("0"), 0);
  EXPECT_EQ(readSizeLimitText("5000"), 5000);
}

TEST(RecordTypes, NamesForTheNineCodesAndEmptyBeyond) {
  EXPECT_EQ(recordTypeNames.size(), 9u);
  const char* expected[] = {"", "Time", "Motion", "", "Sensor", "", "", "", "Manual"};
  for (int code = 0; code < 9; ++code) EXPECT_STREQ(recordTypeName(code), expected[code]);
  EXPECT_STREQ(recordTypeName(3), "");
  EXPECT_STREQ(recordTypeName(9), "");
  EXPECT_STREQ(recordTypeName(-1), "");
}

TEST(PickedWindows, AFramePassesInAnyWindowOfItsChannelAndRecordType) {
  JobSettings s;
  selectEverything(s);
  // Without picked windows the selection alone decides.
  EXPECT_TRUE(frameSelected(3, RECORD_TYPE_TIME, 5000, s));
  constexpr std::uint32_t TIME = 1u << RECORD_TYPE_TIME;
  constexpr std::uint32_t MOTION = 1u << RECORD_TYPE_MOTION;
  s.pickedWindows = {{0b0001, 100, 200, TIME},
                     {0b1010, 150, 300, TIME | MOTION},
                     {std::uint32_t{1} << 31, 400, 500, TIME},
                     {0b0001, 200, 260, MOTION}};
  struct Case {
    std::int32_t channel;
    std::int32_t type;
    RecorderTime t;
    bool selected;
  };
  const Case cases[] = {
      {0, RECORD_TYPE_TIME, 99, false},  {0, RECORD_TYPE_TIME, 100, true},  // both ends included
      {0, RECORD_TYPE_TIME, 200, true},  {0, RECORD_TYPE_TIME, 201, false},
      {1, RECORD_TYPE_TIME, 149, false}, {1, RECORD_TYPE_TIME, 150, true},
      {3, RECORD_TYPE_MOTION, 300, true}, {3, RECORD_TYPE_TIME, 301, false},
      {2, RECORD_TYPE_TIME, 160, false},                                    // in no window's channel mask
      {31, RECORD_TYPE_TIME, 450, true}, {-1, RECORD_TYPE_TIME, 150, false},
      {32, RECORD_TYPE_TIME, 150, false},                                   // masks hold 32 channels only
      // The second both windows of channel 1 hold: each keeps its own type.
      {0, RECORD_TYPE_MOTION, 200, true}, {0, RECORD_TYPE_MOTION, 199, false},
      {0, RECORD_TYPE_TIME, 230, false},  {0, RECORD_TYPE_SENSOR, 200, false},
      {0, RECORD_TYPE_MANUAL, 150, false}, {1, RECORD_TYPE_SENSOR, 160, false},
      {0, -1, 150, false},  {0, 32, 150, false},  {0, 0, 150, false},        // codes no mask holds
  };
  for (const auto& c : cases)
    EXPECT_EQ(insidePickedWindows(c.channel, c.type, c.t, s), c.selected) << c.channel << " " << c.type << " " << c.t;
  // The windows narrow the selection, never widen it.
  s.channelEnabled[1] = 0;
  EXPECT_FALSE(frameSelected(1, RECORD_TYPE_TIME, 160, s));
  EXPECT_TRUE(frameSelected(3, RECORD_TYPE_TIME, 160, s));
  EXPECT_FALSE(frameSelected(3, 3, 160, s));
  s.recordTypeEnabled[RECORD_TYPE_MOTION] = 0;
  EXPECT_FALSE(frameSelected(3, RECORD_TYPE_MOTION, 160, s));
  s.endTime = 155;
  EXPECT_FALSE(frameSelected(3, RECORD_TYPE_TIME, 160, s));
  EXPECT_FALSE(frameSelected(31, RECORD_TYPE_TIME, 450, s));  // no check box for channel 32
}

}  // namespace
}  // namespace korvex
