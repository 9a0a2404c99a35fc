#include "jobs/scan_report.h"

#include <cstdio>
#include <cstring>

#include "store/record_types.h"

namespace korvex {

std::string scanReportPath(const std::string& outputFolder, const CalendarTime& started) {
  char name[96];
  const int n = std::snprintf(name, sizeof name, "ScanFile_%d_%d_%d_%d_%d_%d.txt", started.year, started.month,
                              started.day, started.hour, started.minute, started.second);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return {};
  if (outputFolder.empty()) return name;
  return outputFolder.back() == '/' ? outputFolder + name : outputFolder + "/" + name;
}

std::size_t formatSegmentRow(SegmentTracker& tracker, std::int32_t serial, char* row, std::size_t rowSize) {
  std::memset(row, 0, rowSize);
  const CalendarTime start = recorderTimeToCalendar(tracker.startTime);
  const CalendarTime end = recorderTimeToCalendar(tracker.endTime);

  // Hours are not folded into days; remainders keep the sign of the duration.
  const std::int32_t duration =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(tracker.endTime) - static_cast<std::uint32_t>(tracker.startTime));
  tracker.durationHours = duration / 3600;
  tracker.durationMinutes = (duration / 60) % 60;
  tracker.durationSeconds = duration % 60;

  char unit = 'B';
  std::uint64_t shown = tracker.byteCount;
  if (tracker.byteCount / 1048576 > 0) {
    shown = tracker.byteCount / 1048576;
    unit = 'M';
  } else if (tracker.byteCount / 1024 > 0) {
    shown = tracker.byteCount / 1024;
    unit = 'K';
  }
  tracker.byteCount = shown;

  const int n = std::snprintf(
      row, rowSize,
      "%5d |   %2d    | %8s  |  %4d.%2d.%2d %2d:%2d:%2d  |  %4d.%2d.%2d %2d:%2d:%2d  |%4d:%2d:%2d  |  %4d%c |   %d\r\n",
      serial, tracker.channel + 1, recordTypeName(tracker.recordType), start.year, start.month, start.day, start.hour,
      start.minute, start.second, end.year, end.month, end.day, end.hour, end.minute, end.second,
      tracker.durationHours, tracker.durationMinutes, tracker.durationSeconds, static_cast<std::int32_t>(shown), unit,
      tracker.startFolder);
  if (n < 0 || static_cast<std::size_t>(n) >= rowSize) return 0;
  return static_cast<std::size_t>(n);
}

}  // namespace korvex
