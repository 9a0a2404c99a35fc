#include "store/recorder_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::ScopedTimeZone;

CalendarTime calendar(int y, int mo, int d, int h, int mi, int s) {
  CalendarTime c;
  c.year = static_cast<std::int16_t>(y);
  c.month = static_cast<std::int8_t>(mo);
  c.day = static_cast<std::int8_t>(d);
  c.hour = static_cast<std::int8_t>(h);
  c.minute = static_cast<std::int8_t>(mi);
  c.second = static_cast<std::int8_t>(s);
  return c;
}

TEST(RecorderTime, UtcWithoutDaylightSaving) {
  ScopedTimeZone zone("UTC0");
  EXPECT_EQ(timeZoneBiasMinutes(), 0);
  EXPECT_EQ(recorderTimeToCalendar(0), calendar(1970, 1, 1, 0, 0, 0));
  EXPECT_EQ(recorderTimeFromPickers({1970, 1, 2}, {0, 0, 1}), 86401);
  EXPECT_EQ(recorderTimeFromPickers({1970, 1, 2}, {23, 59, 59}) - recorderTimeFromPickers({1970, 1, 2}, {0, 0, 0}),
            86399);
}

TEST(RecorderTime, CentralEuropeWinterAndSummer) {
  ScopedTimeZone zone(testing::TZ_CENTRAL_EUROPE);
  EXPECT_EQ(timeZoneBiasMinutes(), -60);  // standard time only, never the summer hour

  // Winter: local midnight is 23:00 UTC the day before; the result is the
  // count of 2012-01-10 08:00:00 read as UTC.
  const RecorderTime winter = recorderTimeFromPickers({2012, 1, 10}, {8, 0, 0});
  EXPECT_EQ(winter, 1326182400);
  EXPECT_EQ(recorderTimeToCalendar(winter), calendar(2012, 1, 10, 8, 0, 0));

  // Summer: one hour less, and the conversion back adds the summer hour.
  const RecorderTime summer = recorderTimeFromPickers({2012, 7, 10}, {8, 0, 0});
  EXPECT_EQ(summer, 1341903600);
  EXPECT_EQ(recorderTimeToCalendar(summer), calendar(2012, 7, 10, 8, 0, 0));
}

TEST(RecorderTime, BiasFollowsTheZoneAtEveryCall) {
  {
    ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(timeZoneBiasMinutes(), 300);
    EXPECT_EQ(recorderTimeToCalendar(1326182400), calendar(2012, 1, 10, 8, 0, 0));
  }
  {
    ScopedTimeZone zone("UTC0");
    EXPECT_EQ(recorderTimeToCalendar(1326182400), calendar(2012, 1, 10, 8, 0, 0));
  }
  {
    ScopedTimeZone zone("<+0530>-5:30");
    EXPECT_EQ(timeZoneBiasMinutes(), -330);
    EXPECT_EQ(recorderTimeFromPickers({2012, 1, 10}, {8, 0, 0}), 1326182400);
  }
}

TEST(RecorderTime, PickersOutsideThe32BitRangeAreClamped) {
  ScopedTimeZone zone("UTC0");
  EXPECT_EQ(recorderTimeFromPickers({2100, 1, 1}, {0, 0, 0}), RECORDER_TIME_MAX);
  EXPECT_EQ(recorderTimeFromPickers({1800, 1, 1}, {0, 0, 0}), RECORDER_TIME_MIN);
  EXPECT_EQ(recorderTimeFromPickers({2038, 1, 19}, {3, 14, 7}), RECORDER_TIME_MAX);
}

// Local times around a change of the clocks, in zones that move them by an
// hour and by half an hour. Each row: the local time, the UTC instant of its
// first and of its second occurrence (the same when it occurs once; the
// jump's instant when the clocks skip it).
TEST(RecorderTime, LocalTimesThatOccurTwiceOrNever) {
  struct Case {
    const char* zone;
    LocalDate date;
    LocalTimeOfDay time;
    std::int64_t first;
    std::int64_t second;
  };
  const char* lordHowe = "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0";
  const Case cases[] = {
      // Central Europe, 2012-10-28: 02:00 to 02:59 twice (CEST, then CET).
      {testing::TZ_CENTRAL_EUROPE, {2012, 10, 28}, {2, 30, 0}, 1351384200, 1351387800},
      {testing::TZ_CENTRAL_EUROPE, {2012, 10, 28}, {1, 59, 59}, 1351382399, 1351382399},
      {testing::TZ_CENTRAL_EUROPE, {2012, 10, 28}, {3, 0, 0}, 1351389600, 1351389600},
      // 2012-03-25: 02:00 to 02:59 never; the clocks jumped at 01:00 UTC.
      {testing::TZ_CENTRAL_EUROPE, {2012, 3, 25}, {2, 30, 0}, 1332637200, 1332637200},
      {testing::TZ_CENTRAL_EUROPE, {2012, 3, 25}, {2, 0, 0}, 1332637200, 1332637200},
      {testing::TZ_CENTRAL_EUROPE, {2012, 3, 25}, {3, 0, 0}, 1332637200, 1332637200},
      // Half an hour: 2013-04-07 01:30 to 01:59 twice (+11, then +10:30);
      // 2013-10-06 02:00 to 02:29 never (jump at 15:30 UTC the day before).
      {lordHowe, {2013, 4, 7}, {1, 45, 0}, 1365259500, 1365261300},
      {lordHowe, {2013, 10, 6}, {2, 15, 0}, 1380987000, 1380987000},
      {lordHowe, {2013, 10, 6}, {2, 30, 0}, 1380987000, 1380987000},
  };
  for (const Case& c : cases) {
    ScopedTimeZone zone(c.zone);
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.time.hour) + ":" +
                 std::to_string(c.time.minute));
    EXPECT_EQ(utcOfLocalTime(c.date, c.time, LocalOccurrence::First), c.first);
    EXPECT_EQ(utcOfLocalTime(c.date, c.time, LocalOccurrence::Second), c.second);
    // The recorder's count of the picked time shows that time again, unless
    // the clocks skipped it.
    const RecorderTime picked = recorderTimeFromPickers(c.date, c.time, LocalOccurrence::Second);
    EXPECT_EQ(picked, c.second - 60 * std::int64_t{timeZoneBiasMinutes()});
  }
}

// The answer depends on the zone's rules alone, not on what was asked
// before: an ambiguous time asked after a summer time and after a winter time.
TEST(RecorderTime, AnswersDoNotDependOnEarlierCalls) {
  ScopedTimeZone zone(testing::TZ_CENTRAL_EUROPE);
  const LocalDate day{2012, 10, 28};
  const LocalTimeOfDay twice{2, 30, 0};
  std::vector<std::int64_t> answers;
  for (const LocalDate& before : {LocalDate{2012, 7, 1}, LocalDate{2012, 1, 1}}) {
    (void)recorderTimeFromPickers(before, {12, 0, 0});
    for (const LocalOccurrence which : {LocalOccurrence::First, LocalOccurrence::Second})
      answers.push_back(recorderTimeFromPickers(day, twice, which));
  }
  EXPECT_EQ(answers, (std::vector<std::int64_t>{answers[0], answers[1], answers[0], answers[1]}));
  EXPECT_EQ(answers[1] - answers[0], 3600);
}

}  // namespace
}  // namespace korvex
