// The scan's plain-text report: a fixed header, then one row per recording
// segment, every line ending in CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "base/output_files.h"
#include "jobs/job_result.h"
#include "store/recorder_time.h"

namespace korvex {

// A segment as its report row shows it.
struct SegmentTracker {
  std::int32_t channel = 0;
  std::int32_t recordType = 0;
  RecorderTime startTime = 0;  // 0: the tracker holds no segment
  RecorderTime endTime = 0;
  std::int32_t durationHours = 0;
  std::int32_t durationMinutes = 0;
  std::int32_t durationSeconds = 0;
  std::uint64_t byteCount = 0;
  std::int32_t startFolder = 0;
};

SegmentTracker segmentTracker(const SegmentRecord& segment);

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

// The report as a file in the output folder: created new (never an existing
// file, never through a link: a taken name gets "_2", ...), then one row
// per segment as it ends. Rows are gathered and written in large pieces.
class ScanReportFile {
 public:
  explicit ScanReportFile(OutputFiles& output = diskOutput()) : output_(output) {}
  ~ScanReportFile();
  ScanReportFile(const ScanReportFile&) = delete;
  ScanReportFile& operator=(const ScanReportFile&) = delete;

  // Creates the report named from `started`; false (failure() set) when
  // it cannot be, and path() is the name it was to have. A name is taken
  // too when one of `companions` (extensions in place of ".txt") is.
  bool create(const std::string& outputFolder, const CalendarTime& started,
              const std::vector<std::string>& companions = {});
  // The header, once.
  void writeHeader();
  void writeSegment(const SegmentRecord& segment);
  // With recovery, the one line after the rows: "Recovery: <n> of <rows>
  // segments hold recovered frames", n counting the rows whose segment
  // holds frames found past a file's end of frames.
  void writeRecoveryLine(std::size_t recovered, std::size_t segments);
  // Writes out what is buffered and closes; a report left without even its
  // header is removed. False once any write failed.
  bool close();

  bool isOpen() const { return file_ != nullptr; }
  // Whether a write failed (not the create).
  bool failed() const { return failure_.code == FailureCode::ReportNotWritten; }
  const std::string& path() const { return path_; }
  // ReportNotCreated or ReportNotWritten, with the errno and path().
  const Failure& failure() const { return failure_; }

 private:
  void noteFailure(int errorNumber);
  void append(const char* bytes, std::size_t count);
  // Writes out the gathered bytes.
  void writeOut();

  OutputFiles& output_;
  std::unique_ptr<OutputFile> file_;
  std::string gathered_;
  std::uint64_t written_ = 0;  // bytes of the file already written
  std::string path_;
  Failure failure_;
};

}  // namespace korvex
