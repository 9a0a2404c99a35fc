#include "jobs/scan_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "jobs/output_folder.h"
#include "jobs/segment_texts.h"
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

  const SegmentDuration duration = segmentDuration(tracker.startTime, tracker.endTime);
  tracker.durationHours = duration.hours;
  tracker.durationMinutes = duration.minutes;
  tracker.durationSeconds = duration.seconds;
  const SegmentSize size = segmentSize(tracker.byteCount);
  tracker.byteCount = size.count;

  const int n = std::snprintf(
      row, rowSize,
      "%5d |   %2d    | %8s  |  %4d.%2d.%2d %2d:%2d:%2d  |  %4d.%2d.%2d %2d:%2d:%2d  |%4d:%2d:%2d  |  %4d%c |   %d\r\n",
      serial, tracker.channel + 1, recordTypeName(tracker.recordType), start.year, start.month, start.day, start.hour,
      start.minute, start.second, end.year, end.month, end.day, end.hour, end.minute, end.second,
      tracker.durationHours, tracker.durationMinutes, tracker.durationSeconds, size.shownCount(), size.unit,
      tracker.startFolder);
  if (n < 0 || static_cast<std::size_t>(n) >= rowSize) return 0;
  return static_cast<std::size_t>(n);
}

SegmentTracker segmentTracker(const SegmentRecord& segment) {
  SegmentTracker tracker;
  tracker.channel = segment.channel;
  tracker.recordType = segment.recordType;
  tracker.startTime = segment.startTime;
  tracker.endTime = segment.endTime;
  tracker.byteCount = segment.byteCount;
  tracker.startFolder = segment.startFolder;
  return tracker;
}

namespace {

// The rows gathered before they are written, as a C stream would buffer
// them: a full disk stops the scan within a few dozen rows.
constexpr std::size_t REPORT_WRITE_BLOCK = 4096;

}  // namespace

ScanReportFile::~ScanReportFile() {
  if (file_) close();
}

bool ScanReportFile::create(const std::string& outputFolder, const CalendarTime& started,
                            const std::vector<std::string>& companions) {
  const std::string name = scanReportPath(outputFolder, started);
  const std::string stem = name.substr(0, name.size() - SCAN_REPORT_EXTENSION.size());
  int error = 0;
  OutputNames names;
  const std::string created = names.create(stem, std::string(SCAN_REPORT_EXTENSION), [&](const std::string& candidate) {
    const std::string candidateStem = candidate.substr(0, candidate.size() - SCAN_REPORT_EXTENSION.size());
    for (const std::string& extension : companions)
      if (output_.exists(candidateStem + extension)) return EEXIST;
    CreatedFile made = output_.createNew(candidate);
    file_ = std::move(made.file);
    return file_ ? 0 : made.failure.errorNumber;
  }, error);
  path_ = created.empty() ? name : created;
  if (!file_) failure_ = {FailureCode::ReportNotCreated, error, path_, {}};
  return file_ != nullptr;
}

void ScanReportFile::noteFailure(int errorNumber) {
  if (!failed()) failure_ = {FailureCode::ReportNotWritten, errorNumber, path_, {}};
}

void ScanReportFile::append(const char* bytes, std::size_t count) {
  gathered_.append(bytes, count);
  if (gathered_.size() >= REPORT_WRITE_BLOCK) writeOut();
}

void ScanReportFile::writeOut() {
  if (gathered_.empty() || failed()) return;
  iovec part{gathered_.data(), gathered_.size()};
  const WriteResult written = file_->writeAt(&part, 1, written_);
  written_ += written.written;
  if (!written.ok()) noteFailure(written.failure.errorNumber);
  gathered_.clear();
}

void ScanReportFile::writeHeader() {
  if (!file_ || failed()) return;
  append(SCAN_REPORT_HEADER.data(), SCAN_REPORT_HEADER.size());
}

void ScanReportFile::writeSegment(const SegmentRecord& segment) {
  if (!file_ || failed()) return;
  char row[REPORT_ROW_BUFFER_SIZE];
  SegmentTracker tracker = segmentTracker(segment);
  const std::size_t length = formatSegmentRow(tracker, segment.serial, row, sizeof row);
  append(row, length);
}

void ScanReportFile::writeRecoveryLine(std::size_t recovered, std::size_t segments) {
  if (!file_ || failed()) return;
  char line[128];
  const int n = std::snprintf(line, sizeof line, "Recovery: %zu of %zu segments hold recovered frames\r\n", recovered,
                              segments);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) return;
  append(line, static_cast<std::size_t>(n));
}

bool ScanReportFile::close() {
  if (!file_) return !failed();
  // The gathered rows go out first, so that a full disk is noticed here.
  writeOut();
  if (const int error = file_->close(); error != 0) noteFailure(error);
  file_.reset();
  // A report that did not get even its header is no report.
  if (written_ == 0) output_.remove(path_);
  return !failed();
}

}  // namespace korvex
