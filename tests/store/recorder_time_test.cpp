#include "store/recorder_time.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace korvex
