// The recorder's time stamps: seconds since 1970 in local standard time,
// counted as if that were UTC, and their conversions to and from the
// calendar times people see.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace korvex {

using RecorderTime = std::int32_t;

inline constexpr RecorderTime RECORDER_TIME_MIN = std::numeric_limits<RecorderTime>::min();
inline constexpr RecorderTime RECORDER_TIME_MAX = std::numeric_limits<RecorderTime>::max();

// A local calendar date and time. Compact, so that a worker can publish it
// whole through one lock-free atomic.
struct alignas(8) CalendarTime {
  std::int16_t year = 0;
  std::int8_t month = 0;  // 1 to 12
  std::int8_t day = 0;
  std::int8_t hour = 0;  // 0 to 23
  std::int8_t minute = 0;
  std::int8_t second = 0;
  std::int8_t reserved = 0;

  friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

struct LocalDate {
  int year = 1970;
  int month = 1;
  int day = 1;
};

struct LocalTimeOfDay {
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// UTC minus local standard time, in minutes (-60 one hour east of UTC),
// without any daylight-saving part; read from the C library afresh.
int timeZoneBiasMinutes();

// The local calendar time of a true UTC count, with daylight saving time
// where it is in force at that instant.
CalendarTime localCalendarTime(std::int64_t utcSeconds);

// The local calendar time of the true UTC count t + 60 x bias.
CalendarTime recorderTimeToCalendar(RecorderTime t);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, int month, int day);

// Which instant a local time names when the clocks are put back and it
// occurs twice: the first for a window's begin, the second for its end.
enum class LocalOccurrence : std::uint8_t { First, Second };

// The true UTC count of a local date and time of day, decided by the time
// zone's rules alone (never by what earlier calls asked): a time that
// occurs twice is the occurrence asked for; a time the clocks skip is the
// instant they jumped. Nullopt for a date the C library cannot place.
std::optional<std::int64_t> utcOfLocalTime(const LocalDate& date, const LocalTimeOfDay& timeOfDay,
                                           LocalOccurrence which);

// That UTC count less 60 x bias, so that recorderTimeToCalendar gives the
// date and time back (the jump's instant for a skipped time). Results
// outside the signed 32-bit range are clamped to it.
RecorderTime recorderTimeFromPickers(const LocalDate& date, const LocalTimeOfDay& timeOfDay,
                                     LocalOccurrence which = LocalOccurrence::First);

}  // namespace korvex
