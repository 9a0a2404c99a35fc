#include "store/recorder_time.h"

#include <algorithm>
#include <ctime>

namespace korvex {

int timeZoneBiasMinutes() {
  tzset();
  // `timezone` is seconds west of UTC for standard time: the bias itself.
  return static_cast<int>(timezone / 60);
}

CalendarTime localCalendarTime(std::int64_t utcSeconds) {
  tzset();
  const std::time_t utc = static_cast<std::time_t>(utcSeconds);
  std::tm local{};
  CalendarTime out;
  if (localtime_r(&utc, &local) == nullptr) return out;
  out.year = static_cast<std::int16_t>(local.tm_year + 1900);
  out.month = static_cast<std::int8_t>(local.tm_mon + 1);
  out.day = static_cast<std::int8_t>(local.tm_mday);
  out.hour = static_cast<std::int8_t>(local.tm_hour);
  out.minute = static_cast<std::int8_t>(local.tm_min);
  out.second = static_cast<std::int8_t>(local.tm_sec);
  return out;
}

CalendarTime recorderTimeToCalendar(RecorderTime t) {
  return localCalendarTime(std::int64_t{t} + 60 * std::int64_t{timeZoneBiasMinutes()});
}

RecorderTime recorderTimeFromPickers(const LocalDate& date, const LocalTimeOfDay& timeOfDay) {
  const std::int64_t bias = timeZoneBiasMinutes();
  std::tm midnight{};
  midnight.tm_year = date.year - 1900;
  midnight.tm_mon = date.month - 1;
  midnight.tm_mday = date.day;
  midnight.tm_isdst = -1;  // let the C library decide for that date
  const std::int64_t m = static_cast<std::int64_t>(std::mktime(&midnight));
  const std::int64_t value =
      m - 60 * bias + 3600 * std::int64_t{timeOfDay.hour} + 60 * std::int64_t{timeOfDay.minute} + timeOfDay.second;
  return static_cast<RecorderTime>(
      std::clamp<std::int64_t>(value, RECORDER_TIME_MIN, RECORDER_TIME_MAX));
}

}  // namespace korvex
