// How a segment's duration, size and times are counted and written, for
// every view of it: the report's row, the job's JSON log, the window's
// table. The report's arithmetic is the rule; the others show its numbers.
#pragma once

#include <cstdint>
#include <string>

#include "store/recorder_time.h"

namespace korvex {

// A duration as the report counts it: the end minus the start as a signed
// 32-bit number (a garbled start time wraps, it is not widened), hours not
// folded into days, every part keeping the sign of the whole.
struct SegmentDuration {
  std::int32_t total = 0;  // seconds
  std::int32_t hours = 0;
  std::int32_t minutes = 0;
  std::int32_t seconds = 0;
};

SegmentDuration segmentDuration(RecorderTime start, RecorderTime end);

// "1:02:05", "0:-1:-5": the report's numbers, minutes and seconds in two
// digits at least.
std::string segmentDurationText(RecorderTime start, RecorderTime end);

// A size in whole mebibytes, else whole kibibytes, else bytes (truncated).
struct SegmentSize {
  std::uint64_t count = 0;
  char unit = 'B';  // 'M', 'K' or 'B'
  // The count as the report's column prints it: a signed 32-bit number.
  std::int32_t shownCount() const { return static_cast<std::int32_t>(count); }
};

SegmentSize segmentSize(std::uint64_t bytes);

// "4M", "1K", "1000B", as the report's column shows it.
std::string segmentSizeText(std::uint64_t bytes);

// The same with the whole count, as the JSON log writes it; it differs from
// the report's only past 2^31 MiB.
std::string segmentSizeTextWhole(std::uint64_t bytes);

// "2012-05-04 08:09:10" in local time, for the window's views.
std::string segmentTimeText(RecorderTime t);

// The calendar text of a recorder time as the JSON log and the AVI names
// show it: "2026_12_6_9_5_3".
std::string calendarText(RecorderTime time);

}  // namespace korvex
