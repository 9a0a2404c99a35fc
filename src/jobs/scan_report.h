// The scan's plain-text report: a fixed header, then one row per recording
// segment, every line ending in CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jobs/job_state.h"
#include "store/recorder_time.h"

namespace korvex {

inline constexpr std::size_t REPORT_ROW_BUFFER_SIZE = 512;

// The column titles, CR LF and an empty line.
inline constexpr std::string_view SCAN_REPORT_HEADER =
    "  SN  | CHANNEL |    MODE   |      Start Time       |        End Time       |  Duration  |   Size | folder\r\n"
    "\r\n";

inline constexpr std::string_view SCAN_REPORT_EXTENSION = ".txt";

// "<folder>/ScanFile_<y>_<m>_<d>_<h>_<mi>_<s>.txt" from the local time at
// which the scan started. A '/' is put between the folder and the name when
// the folder does not end with one (an empty folder means the current one).
std::string scanReportPath(const std::string& outputFolder, const CalendarTime& started);

// Formats the row of a tracker with serial number `serial` into `row`
// (zero-filled first) and returns its length, or 0 when it does not fit.
// Fills the tracker's duration fields and replaces its byte count by the
// size shown (in bytes, KiB or MiB, truncated).
std::size_t formatSegmentRow(SegmentTracker& tracker, std::int32_t serial, char* row, std::size_t rowSize);

}  // namespace korvex
