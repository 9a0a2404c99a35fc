#include "jobs/segment_texts.h"

#include <gtest/gtest.h>

#include "support/store_writer.h"

namespace korvex {
namespace {

using testing::T0;

TEST(SegmentTexts, DurationsAndSizesAreTheReportsNumbers) {
  struct Case {
    const char* what;
    RecorderTime start, end;
    std::uint64_t bytes;
    std::int32_t seconds;
    const char* duration;
    const char* size;
    const char* wholeSize;
  };
  const Case cases[] = {
      {"normal", T0, T0 + 3725, 1536, 3725, "1:02:05", "1K", "1K"},
      {"zero length", T0, T0, 0, 0, "0:00:00", "0B", "0B"},
      {"end before start", T0 + 65, T0, 1048575, -65, "0:-1:-5", "1023K", "1023K"},
      // 3336118950 s apart: the difference wraps to 32 bits, as the report's.
      {"garbled start", -2000000000, T0, 1000, -958848346, "-266346:-45:-46", "1000B", "1000B"},
      {"5 TiB", T0, T0 + 1, std::uint64_t{5} << 40, 1, "0:00:01", "5242880M", "5242880M"},
      // Past 2^31 MiB only the log keeps the whole count.
      {"2^51 bytes", T0, T0 + 1, std::uint64_t{1} << 51, 1, "0:00:01", "-2147483648M", "2147483648M"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SegmentDuration d = segmentDuration(c.start, c.end);
    EXPECT_EQ(d.total, c.seconds);
    EXPECT_EQ(d.hours * 3600 + d.minutes * 60 + d.seconds, d.total);
    EXPECT_EQ(segmentDurationText(c.start, c.end), c.duration);
    EXPECT_EQ(segmentSizeText(c.bytes), c.size);
    EXPECT_EQ(segmentSizeTextWhole(c.bytes), c.wholeSize);
  }
}

}  // namespace
}  // namespace korvex
