// Reads back the segments of a scan from the JSON record the scan left
// beside its report, so that a scan made earlier (or elsewhere) can be
// browsed and picked from without scanning again.
#pragma once

#include <string>
#include <vector>

#include "jobs/job_result.h"

namespace korvex {

struct ScanLog {
  std::vector<SegmentRecord> segments;  // in the log's order; firstFrame and lastFrame unknown (0)
  // Why it could not be read: NotOpened, or LogNotRead with the reason.
  Failure failure;
  bool ok() const { return !failure.failed(); }
  // The disk the scan read, as it was given (empty when the log names none),
  // and on an image or device the partition it read.
  std::string disk;
  int partition = 0;
};

// Segment entries are read from "segments": serial, channel (1 to 32),
// recordTypeCode, start.recorder, end.recorder, bytes and startFolder; the
// record's "job" must be "scan".
ScanLog readScanLog(const std::string& path);
// The same from the record's text; `name` is the failure's path.
ScanLog parseScanLog(const std::string& text, const std::string& name);

}  // namespace korvex
