#include "jobs/scan_report.h"

#include <gtest/gtest.h>

#include "support/store_writer.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::ScopedTimeZone;
using testing::T0;

SegmentTracker tracker(std::int32_t channel, std::int32_t type, RecorderTime start, RecorderTime end,
                       std::uint64_t bytes, std::int32_t folder) {
  SegmentTracker t;
  t.channel = channel;
  t.recordType = type;
  t.startTime = start;
  t.endTime = end;
  t.byteCount = bytes;
  t.startFolder = folder;
  return t;
}

std::string format(SegmentTracker t, std::int32_t serial) {
  char row[REPORT_ROW_BUFFER_SIZE];
  const std::size_t n = formatSegmentRow(t, serial, row, sizeof row);
  return std::string(row, n);
}

TEST(ScanReport, RowsHaveTheFixedColumns) {
  ScopedTimeZone zone("UTC0");
  struct Case {
    SegmentTracker segment;
    std::int32_t serial;
    const char* row;
  };
  const Case cases[] = {
      {tracker(0, 1, T0, T0 + 3725, 1536, 0), 1,
       "    1 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  9:11:15  |   1: 2: 5  |     1K |   0\r\n"},
      {tracker(15, 8, T0, T0, 1000, 12), 42,
       "   42 |   16    |   Manual  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:10  |   0: 0: 0  |  1000B |   12\r\n"},
      {tracker(31, 2, T0, T0 + 30 * 3600, 5000000, 3), 100000,
       "100000 |   32    |   Motion  |  2012. 5. 4  8: 9:10  |  2012. 5. 5 14: 9:10  |  30: 0: 0  |     4M |   3\r\n"},
      // A code without a name shows the empty name; an end before the
      // start gives a negative duration with the sign in every column.
      {tracker(2, 9, T0 + 65, T0, 1048575, 7), 3,
       "    3 |    3    |           |  2012. 5. 4  8:10:15  |  2012. 5. 4  8: 9:10  |   0:-1:-5  |  1023K |   7\r\n"},
      {tracker(3, 4, T0, T0 + 59, 0, 0), 4,
       "    4 |    4    |   Sensor  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8:10: 9  |   0: 0:59  |     0B |   0\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(format(c.segment, c.serial), c.row);
}

TEST(ScanReport, FormattingFillsDurationAndReplacesTheByteCount) {
  ScopedTimeZone zone("UTC0");
  SegmentTracker t = tracker(0, 1, T0, T0 + 3725, 3 * 1048576 + 5, 0);
  char row[REPORT_ROW_BUFFER_SIZE];
  ASSERT_GT(formatSegmentRow(t, 1, row, sizeof row), 0u);
  EXPECT_EQ(t.durationHours, 1);
  EXPECT_EQ(t.durationMinutes, 2);
  EXPECT_EQ(t.durationSeconds, 5);
  EXPECT_EQ(t.byteCount, 3u);
}

TEST(ScanReport, TimesAreShownInLocalTime) {
  ScopedTimeZone zone(testing::TZ_CENTRAL_EUROPE);
  // Recorder time is local standard time: in summer the shown hour is one later.
  const std::string row = format(tracker(0, 1, T0, T0, 16, 0), 1);
  EXPECT_NE(row.find("2012. 5. 4  9: 9:10"), std::string::npos) << row;
}

TEST(ScanReport, PathGetsASeparatorWhenTheFolderHasNone) {
  CalendarTime started;
  started.year = 2026;
  started.month = 12;
  started.day = 6;
  started.hour = 9;
  started.minute = 5;
  started.second = 3;
  EXPECT_EQ(scanReportPath("/out/", started), "/out/ScanFile_2026_12_6_9_5_3.txt");
  EXPECT_EQ(scanReportPath("/out", started), "/out/ScanFile_2026_12_6_9_5_3.txt");
  EXPECT_EQ(scanReportPath("/", started), "/ScanFile_2026_12_6_9_5_3.txt");
  EXPECT_EQ(scanReportPath("", started), "ScanFile_2026_12_6_9_5_3.txt");
}

}  // namespace
}  // namespace korvex
