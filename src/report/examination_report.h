// The examination report: one self-contained HTML page, made from the logs
// of the jobs that examined a disk (scans, backups, stills), for whoever
// must read what was examined, how, what was found and what was exported.
// No scripts and nothing fetched: its pictures are inside it. It prints
// with each part on a new page under a running header.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "base/output_files.h"
#include "report/report_texts.h"

namespace korvex {

// One job's log as it was read.
struct ReportLog {
  std::string path;    // as given
  std::string text;    // the JSON record
  std::string sha256;  // of `text`
};

// Reads a log file (never through a symbolic link, at most
// MAX_REPORT_LOG_BYTES). False, with `problem` naming the file and the
// reason, when it cannot be read.
bool readReportLog(const std::string& path, ReportLog& log, std::string& problem);
inline constexpr std::uint64_t MAX_REPORT_LOG_BYTES = 512ull * 1024 * 1024;

// The disks the logs name (each once, as the jobs were given them), so
// that a report is refused a folder on any of them as a job is.
std::vector<std::string> reportDisks(const std::vector<ReportLog>& logs);

// A segment's picture as PNG bytes, by log index and segment index.
using ReportThumbnails = std::map<std::pair<std::size_t, std::size_t>, std::vector<std::uint8_t>>;

struct ReportRequest {
  std::vector<ReportLog> logs;
  ReportThumbnails thumbnails;
  // Why segments have no picture when none was looked for (no disk given).
  bool thumbnailsLooked = false;
  std::time_t made = 0;
  // The language's code for the page ("en", "zh").
  std::string languageCode = "en";
};

// The page, UTF-8. A log that is not a JSON object is listed with that
// said, and its sections left out.
std::string examinationReportHtml(const ReportRequest& request, const ReportTexts& texts);

// A written report: the HTML, any companions (the PDF), and the hash list
// that names them all.
struct ReportFile {
  std::string extension;  // ".html", ".pdf"
  std::string bytes;
};
struct WrittenReport {
  std::vector<std::string> paths;  // in the order given
  std::string hashListPath;
  Failure failure;                 // code None when all were written
};

// "<folder>/ExaminationReport_<y>_<m>_<d>_<h>_<mi>_<s>" from the local time.
std::string examinationReportStem(const std::string& folder, std::time_t made);

// Writes the files under one stem, each made new (never over an existing
// name, never through a link; "_2", ... while a name is taken), then the
// hash list "<stem>.sha256" of their SHA-256, as `sha256sum -c` reads it.
// On a failure what was made is removed.
WrittenReport writeExaminationReport(OutputFiles& output, const std::string& stem,
                                     const std::vector<ReportFile>& files);

// The SHA-256 of bytes, as 64 lower-case hex digits.
std::string sha256Hex(const std::string& bytes);

}  // namespace korvex
