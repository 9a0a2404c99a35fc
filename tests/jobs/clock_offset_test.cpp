#include "jobs/clock_offset.h"

#include <gtest/gtest.h>

#include "jobs/job_settings.h"

namespace korvex {
namespace {

TEST(ClockOffset, ParsesAnOffsetOrTwoReadings) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> seconds;
    const char* recorderReading;  // kept as given, without surrounding blanks
  };
  const Case cases[] = {
      {"+00:02:13", 133, ""},
      {"-00:02:13", -133, ""},
      {"+1:00:00", 3600, ""},
      {" -0:00:01 ", -1, ""},
      {"+99999:59:59", CLOCK_OFFSET_MAX_SECONDS, ""},
      {"2026-12-08 10:02:13=2026-12-08 10:00:00", 133, "2026-12-08 10:02:13"},
      {"2026-12-08 09:00:00 = 2026-12-08 10:00:00", -3600, "2026-12-08 09:00:00"},
      {"2024-03-01 00:00:00=2024-02-28 23:00:00", 25 * 3600, "2024-03-01 00:00:00"},  // a leap day between
      {"2027-01-01 00:00:05=2026-12-31 23:59:59", 6, "2027-01-01 00:00:05"},
      {"00:02:13", std::nullopt, ""},       // no sign
      {"+00:2:13", std::nullopt, ""},
      {"+00:60:00", std::nullopt, ""},
      {"+00:00:60", std::nullopt, ""},
      {"+100000:00:00", std::nullopt, ""},  // six digits of hours
      {"+:00:00", std::nullopt, ""},
      {"+00:02:13x", std::nullopt, ""},
      {"+1d 02:00:00", std::nullopt, ""},
      {"", std::nullopt, ""},
      {"2026-12-08 10:02:13", std::nullopt, ""},  // one reading
      {"2026-12-08 10:02:13=", std::nullopt, ""},
      {"2026-02-29 10:00:00=2026-02-28 10:00:00", std::nullopt, ""},  // no such day
      {"2026-12-08 24:00:00=2026-12-08 10:00:00", std::nullopt, ""},
      {"2026-12-08T10:02:13=2026-12-08 10:00:00", std::nullopt, ""},
      {"9999-12-31 23:59:59=1970-01-01 00:00:00", std::nullopt, ""},  // too far apart
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const std::optional<ClockOffset> offset = parseClockOffset(c.text, error);
    ASSERT_EQ(offset.has_value(), c.seconds.has_value()) << error;
    EXPECT_EQ(error.empty(), c.seconds.has_value());
    if (!offset) continue;
    EXPECT_EQ(offset->seconds, *c.seconds);
    EXPECT_EQ(offset->recorderReading, c.recorderReading);
    EXPECT_EQ(offset->fromReadings(), offset->referenceReading.size() == 19);
    if (offset->fromReadings()) {
      EXPECT_EQ(offset->recorderSeconds - offset->referenceSeconds, offset->seconds);
    }
  }
}

TEST(ClockOffset, TextsAndCorrectedTimes) {
  EXPECT_EQ(offsetText(133), "+00:02:13");
  EXPECT_EQ(offsetText(-3600), "-01:00:00");
  EXPECT_EQ(offsetText(CLOCK_OFFSET_MAX_SECONDS), "+99999:59:59");
  ClockOffset ahead;
  ahead.seconds = 133;
  EXPECT_EQ(correctedTime(1000, ahead), 867);
  EXPECT_EQ(recorderTimeOfCorrected(867, ahead), 1000);
  EXPECT_EQ(correctedTime(RECORDER_TIME_MIN + 5, ahead), RECORDER_TIME_MIN);
}

TEST(ClockOffset, AWindowInCorrectedTimeBecomesTheRecordersKeepingOpenEnds) {
  struct Case {
    RecorderTime begin, end, usedBegin, usedEnd;
  };
  const Case cases[] = {
      {1000, 2000, 1133, 2133},
      {RECORDER_TIME_MIN, 2000, RECORDER_TIME_MIN, 2133},
      {1000, RECORDER_TIME_MAX, 1133, RECORDER_TIME_MAX},
  };
  for (const Case& c : cases) {
    JobSettings s;
    s.beginTime = c.begin;
    s.endTime = c.end;
    windowFromCorrectedTime(s);
    EXPECT_EQ(s.windowClock, WindowClock::Recorder);  // no offset: as entered
    s.clockOffset = ClockOffset{};
    s.clockOffset->seconds = 133;
    windowFromCorrectedTime(s);
    EXPECT_EQ(s.windowClock, WindowClock::Corrected);
    EXPECT_EQ(std::vector<RecorderTime>({s.enteredBeginTime, s.enteredEndTime, s.beginTime, s.endTime}),
              std::vector<RecorderTime>({c.begin, c.end, c.usedBegin, c.usedEnd}));
  }
}

}  // namespace
}  // namespace korvex
