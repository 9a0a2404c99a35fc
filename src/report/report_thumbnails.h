// The pictures of an examination report: each scan segment's first key
// frame, read from the disk the scan read, scaled down and kept as PNG.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "report/examination_report.h"
#include "store/recording_source.h"

namespace korvex {

// A thumbnail's box; the picture keeps its shape inside it.
inline constexpr int REPORT_THUMBNAIL_WIDTH = 120;
inline constexpr int REPORT_THUMBNAIL_HEIGHT = 90;
// A disk of years holds tens of thousands of segments: past this many the
// rest go without, so that a report stays a file one can open.
inline constexpr std::size_t MAX_REPORT_THUMBNAILS = 2000;

// Thumbnails of the segments of every scan log in `logs`, from `source`;
// a segment whose key frame is not found or not decoded has none.
// `cancel`, when given and set, ends the search with what was found.
ReportThumbnails reportThumbnails(const RecordingSource& source, const std::vector<ReportLog>& logs,
                                  const std::atomic<bool>* cancel = nullptr);

}  // namespace korvex
