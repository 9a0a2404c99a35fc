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
  // The date and the time of day together: on the days daylight saving time
  // begins or ends, only the instant itself tells which offset holds.
  std::tm local{};
  local.tm_year = date.year - 1900;
  local.tm_mon = date.month - 1;
  local.tm_mday = date.day;
  local.tm_hour = timeOfDay.hour;
  local.tm_min = timeOfDay.minute;
  local.tm_sec = timeOfDay.second;
  local.tm_isdst = -1;
  const std::int64_t utc = static_cast<std::int64_t>(std::mktime(&local));
  const std::int64_t value = utc - 60 * bias;
  return static_cast<RecorderTime>(
      std::clamp<std::int64_t>(value, RECORDER_TIME_MIN, RECORDER_TIME_MAX));
}

}  // namespace korvex
