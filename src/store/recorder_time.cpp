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

namespace {

// Seconds east of UTC in force at the instant t, or nullopt.
std::optional<std::int64_t> offsetAt(std::int64_t t) {
  const std::time_t at = static_cast<std::time_t>(t);
  std::tm local{};
  if (localtime_r(&at, &local) == nullptr) return std::nullopt;
  return static_cast<std::int64_t>(local.tm_gmtoff);
}

}  // namespace

std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::optional<std::int64_t> utcOfLocalTime(const LocalDate& date, const LocalTimeOfDay& timeOfDay,
                                           LocalOccurrence which) {
  tzset();
  // The local time read as if it were UTC; the instant wanted is that less
  // the offset in force at it. A day either side holds the offsets before
  // and after any change of the clocks near it.
  const std::int64_t wall = daysFromCivil(date.year, date.month, date.day) * 86400 +
                            std::int64_t{timeOfDay.hour} * 3600 + timeOfDay.minute * 60 + timeOfDay.second;
  const auto before = offsetAt(wall - 86400);
  const auto after = offsetAt(wall + 86400);
  if (!before || !after) return std::nullopt;
  std::optional<std::int64_t> first;
  std::optional<std::int64_t> second;
  for (const std::int64_t offset : {*before, *after}) {
    const std::int64_t candidate = wall - offset;
    const auto at = offsetAt(candidate);
    if (!at || *at != offset) continue;
    if (!first || candidate < *first) first = candidate;
    if (!second || candidate > *second) second = candidate;
  }
  if (first) return which == LocalOccurrence::First ? *first : *second;
  // Skipped: the clocks jumped over it. The jump lies between the two
  // candidates; the first instant with the new offset is it.
  std::int64_t low = std::min(wall - *before, wall - *after);
  std::int64_t high = std::max(wall - *before, wall - *after);
  while (high - low > 1) {
    const std::int64_t middle = low + (high - low) / 2;
    const auto at = offsetAt(middle);
    if (!at) return std::nullopt;
    (*at == *before ? low : high) = middle;
  }
  return high;
}

RecorderTime recorderTimeFromPickers(const LocalDate& date, const LocalTimeOfDay& timeOfDay,
                                     LocalOccurrence which) {
  const std::int64_t bias = timeZoneBiasMinutes();
  const auto utc = utcOfLocalTime(date, timeOfDay, which);
  if (!utc) return date.year < 1970 ? RECORDER_TIME_MIN : RECORDER_TIME_MAX;
  const std::int64_t value = *utc - 60 * bias;
  return static_cast<RecorderTime>(
      std::clamp<std::int64_t>(value, RECORDER_TIME_MIN, RECORDER_TIME_MAX));
}

}  // namespace korvex
