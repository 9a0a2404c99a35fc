#include "jobs/clock_offset.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace korvex {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The digits of text[from, from + count) as a number; nullopt if any is not one.
std::optional<int> digitsAt(std::string_view text, std::size_t from, std::size_t count) {
  if (from + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (!isDigit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool validDay(int year, int month, int day) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

RecorderTime clampedRecorderTime(std::int64_t value) {
  return static_cast<RecorderTime>(std::clamp<std::int64_t>(value, RECORDER_TIME_MIN, RECORDER_TIME_MAX));
}

}  // namespace

std::optional<std::int64_t> parseOffsetSeconds(std::string_view text, std::string& error) {
  error = "'" + std::string(text) + "' is not an offset +HH:MM:SS or -HH:MM:SS";
  if (text.empty() || (text[0] != '+' && text[0] != '-')) return std::nullopt;
  const std::size_t colon = text.find(':');
  const std::size_t hourDigits = colon == std::string_view::npos ? 0 : colon - 1;
  if (hourDigits < 1 || hourDigits > 5 || text.size() != colon + 6 || text[colon + 3] != ':') return std::nullopt;
  const auto hours = digitsAt(text, 1, hourDigits);
  const auto minutes = digitsAt(text, colon + 1, 2);
  const auto seconds = digitsAt(text, colon + 4, 2);
  if (!hours || !minutes || !seconds) return std::nullopt;
  if (*minutes > 59 || *seconds > 59) {
    error = "'" + std::string(text) + "': minutes and seconds go up to 59";
    return std::nullopt;
  }
  error.clear();
  const std::int64_t total = std::int64_t{*hours} * 3600 + *minutes * 60 + *seconds;
  return text[0] == '-' ? -total : total;
}

std::optional<std::int64_t> parseReading(std::string_view text, std::string& error) {
  error = "'" + std::string(text) + "' is not a reading \"YYYY-MM-DD HH:MM:SS\"";
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':')
    return std::nullopt;
  const auto year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
  const auto hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2), second = digitsAt(text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  if (!validDay(*year, *month, *day) || *hour > 23 || *minute > 59 || *second > 59) {
    error = "'" + std::string(text) + "' is not a date and time of the calendar";
    return std::nullopt;
  }
  error.clear();
  return daysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
}

std::optional<ClockOffset> clockOffsetFromReadings(std::string_view recorderReading,
                                                   std::string_view referenceReading, std::string& error) {
  const std::string_view recorderText = trimmed(recorderReading), referenceText = trimmed(referenceReading);
  const auto recorder = parseReading(recorderText, error);
  if (!recorder) {
    error = "the recorder's reading " + error;
    return std::nullopt;
  }
  const auto reference = parseReading(referenceText, error);
  if (!reference) {
    error = "the reference reading " + error;
    return std::nullopt;
  }
  const std::int64_t seconds = *recorder - *reference;
  if (seconds > CLOCK_OFFSET_MAX_SECONDS || seconds < -CLOCK_OFFSET_MAX_SECONDS) {
    error = "the readings are more than 99999 hours apart";
    return std::nullopt;
  }
  ClockOffset offset;
  offset.seconds = seconds;
  offset.recorderReading = std::string(recorderText);
  offset.referenceReading = std::string(referenceText);
  offset.recorderSeconds = *recorder;
  offset.referenceSeconds = *reference;
  return offset;
}

std::optional<ClockOffset> parseClockOffset(std::string_view text, std::string& error) {
  const std::string_view whole = trimmed(text);
  if (const std::size_t equals = whole.find('='); equals != std::string_view::npos)
    return clockOffsetFromReadings(whole.substr(0, equals), whole.substr(equals + 1), error);
  const auto seconds = parseOffsetSeconds(whole, error);
  if (!seconds) return std::nullopt;
  ClockOffset offset;
  offset.seconds = *seconds;
  return offset;
}

std::string offsetText(std::int64_t seconds) {
  const std::int64_t magnitude = seconds < 0 ? -seconds : seconds;
  char text[40];
  const int n = std::snprintf(text, sizeof text, "%c%02lld:%02lld:%02lld", seconds < 0 ? '-' : '+',
                              static_cast<long long>(magnitude / 3600), static_cast<long long>(magnitude / 60 % 60),
                              static_cast<long long>(magnitude % 60));
  return n > 0 && static_cast<std::size_t>(n) < sizeof text ? std::string(text) : std::string();
}

RecorderTime correctedTime(RecorderTime recorder, std::int64_t offsetSeconds) {
  return clampedRecorderTime(std::int64_t{recorder} - offsetSeconds);
}

RecorderTime correctedTime(RecorderTime recorder, const ClockOffset& offset) {
  return correctedTime(recorder, offset.seconds);
}

RecorderTime recorderTimeOfCorrected(RecorderTime corrected, const ClockOffset& offset) {
  return clampedRecorderTime(std::int64_t{corrected} + offset.seconds);
}

std::string processUserName() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 && size < 65536 ? size : 16384));
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name &&
      found->pw_name[0] != '\0')
    return found->pw_name;
  return "unknown";
}

}  // namespace korvex
