#include "jobs/segment_texts.h"

#include <cstdio>

namespace korvex {

SegmentDuration segmentDuration(RecorderTime start, RecorderTime end) {
  SegmentDuration d;
  d.total = static_cast<std::int32_t>(static_cast<std::uint32_t>(end) - static_cast<std::uint32_t>(start));
  d.hours = d.total / 3600;
  d.minutes = (d.total / 60) % 60;
  d.seconds = d.total % 60;
  return d;
}

std::string segmentDurationText(RecorderTime start, RecorderTime end) {
  const SegmentDuration d = segmentDuration(start, end);
  char text[40];
  const int n = std::snprintf(text, sizeof text, "%d:%02d:%02d", d.hours, d.minutes, d.seconds);
  return n > 0 && static_cast<std::size_t>(n) < sizeof text ? std::string(text) : std::string();
}

SegmentSize segmentSize(std::uint64_t bytes) {
  if (bytes / 1048576 > 0) return {bytes / 1048576, 'M'};
  if (bytes / 1024 > 0) return {bytes / 1024, 'K'};
  return {bytes, 'B'};
}

std::string segmentSizeText(std::uint64_t bytes) {
  const SegmentSize size = segmentSize(bytes);
  return std::to_string(size.shownCount()) + size.unit;
}

std::string segmentSizeTextWhole(std::uint64_t bytes) {
  const SegmentSize size = segmentSize(bytes);
  return std::to_string(size.count) + size.unit;
}

std::string segmentTimeText(RecorderTime t) {
  const CalendarTime c = recorderTimeToCalendar(t);
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                              c.minute, c.second);
  return n > 0 && static_cast<std::size_t>(n) < sizeof text ? std::string(text) : std::string();
}

std::string calendarText(RecorderTime time) {
  const CalendarTime t = recorderTimeToCalendar(time);
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%d_%d_%d_%d_%d_%d", t.year, t.month, t.day, t.hour, t.minute,
                              t.second);
  return n < 0 ? std::string() : std::string(text);
}

}  // namespace korvex
