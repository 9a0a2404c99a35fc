// How far the recorder's clock was from real time, as the examiner found
// it: the seconds it ran ahead (corrected = recorder - offset), given as an
// offset or as the two clocks' readings at one moment, with who gave it and
// when. The recorder's own times stay what the report and file names show;
// the corrected time is shown beside them.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "store/recorder_time.h"

namespace korvex {

// Offsets up to 99999 hours either way.
inline constexpr std::int64_t CLOCK_OFFSET_MAX_SECONDS = 99999LL * 3600 + 59 * 60 + 59;

struct ClockOffset {
  std::int64_t seconds = 0;  // the recorder's clock ahead of real time (negative: behind)
  // Given as two readings: the texts as entered and their times (calendar
  // fields counted as seconds since 1970, zone free). Empty texts: given
  // as an offset.
  std::string recorderReading;
  std::string referenceReading;
  std::int64_t recorderSeconds = 0;
  std::int64_t referenceSeconds = 0;
  std::string givenBy;   // "<user> (given with --clock-offset)", ...
  std::time_t givenAt = 0;
  bool fromReadings() const { return !recorderReading.empty(); }
  friend bool operator==(const ClockOffset&, const ClockOffset&) = default;
};

// Which clock a time window was entered in.
enum class WindowClock : std::uint8_t { Recorder, Corrected };

// "+00:02:13", "-1:00:00", "+99999:59:59": a sign, hours (1 to 5 digits),
// two-digit minutes and seconds. Nullopt, with the reason, for anything else.
std::optional<std::int64_t> parseOffsetSeconds(std::string_view text, std::string& error);

// "2026-12-08 10:02:13": seconds since 1970 of the calendar fields, as if
// they were UTC (both readings are taken the same way, so the zone cancels).
std::optional<std::int64_t> parseReading(std::string_view text, std::string& error);

// The offset from the two readings taken at one moment.
std::optional<ClockOffset> clockOffsetFromReadings(std::string_view recorderReading,
                                                   std::string_view referenceReading, std::string& error);

// Either form: "+HH:MM:SS" or "RECORDER=REFERENCE" (two readings).
std::optional<ClockOffset> parseClockOffset(std::string_view text, std::string& error);

// "+00:02:13", "-01:00:00".
std::string offsetText(std::int64_t seconds);

// The real time of a recorder time, and back; clamped to the recorder's range.
RecorderTime correctedTime(RecorderTime recorder, std::int64_t offsetSeconds);
RecorderTime correctedTime(RecorderTime recorder, const ClockOffset& offset);
RecorderTime recorderTimeOfCorrected(RecorderTime corrected, const ClockOffset& offset);

// The login name of the user running this process; "unknown" without one.
std::string processUserName();

}  // namespace korvex
