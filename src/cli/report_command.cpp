#include "cli/report_command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/job_source.h"
#include "lang/language.h"
#include "report/examination_report.h"
#include "report/report_thumbnails.h"

namespace korvex::cli {

const char* const REPORT_USAGE =
    "usage: korvex-cli report LOG.json... --out DIR [--disk DISK [--partition N]]\n"
    "                         [--language English|Chinese]\n"
    "\n"
    "Writes an examination report made from the logs of scans, backups and stills:\n"
    "one self-contained HTML page (no scripts, nothing fetched, pictures inside),\n"
    "ExaminationReport_<date and time>.html, and beside it its SHA-256 in\n"
    "ExaminationReport_<date and time>.sha256. Nothing is ever written over.\n"
    "\n"
    "  --out DIR        the folder the report goes to (it must exist)\n"
    "  --disk DISK      the disk the scans read: each segment's first picture is\n"
    "                   shown; without it the report has no pictures and says so\n"
    "  --partition N    the partition of an image or device, as for scan\n"
    "  --language NAME  the report's language (default English)\n";

namespace {

struct ReportOptions {
  std::vector<std::string> logs;
  std::string out;
  std::string disk;
  int partition = 0;
  int language = 0;
  bool help = false;
};

bool parse(const std::vector<std::string>& args, ReportOptions& options, std::string& error) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--out") {
      if (!value(options.out)) return false;
    } else if (arg == "--disk") {
      if (!value(options.disk)) return false;
    } else if (arg == "--partition") {
      if (!value(text)) return false;
      char* end = nullptr;
      errno = 0;
      const long n = std::strtol(text.c_str(), &end, 10);
      if (errno != 0 || end == text.c_str() || *end != '\0' || n < 1 || n > 128) {
        error = "--partition: not a partition number: " + text;
        return false;
      }
      options.partition = static_cast<int>(n);
    } else if (arg == "--language") {
      if (!value(text)) return false;
      options.language = -1;
      for (std::size_t k = 0; k < LANGUAGE_LIST_ENTRIES.size(); ++k)
        if (text == LANGUAGE_LIST_ENTRIES[k]) options.language = static_cast<int>(k);
      if (options.language < 0) {
        error = "--language: no such language: " + text + " (English or Chinese)";
        return false;
      }
    } else if (arg.starts_with("--")) {
      error = "unknown option " + arg;
      return false;
    } else {
      options.logs.push_back(arg);
    }
  }
  if (options.help) return true;
  if (options.logs.empty()) error = "report: no log given";
  else if (options.out.empty()) error = "report: --out DIR is needed";
  else if (options.partition != 0 && options.disk.empty()) error = "--partition needs --disk";
  return error.empty();
}

}  // namespace

int runReportCommand(const std::vector<std::string>& args) {
  ReportOptions options;
  std::string error;
  if (!parse(args, options, error)) {
    std::fprintf(stderr, "korvex-cli: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  if (options.help) {
    std::fputs(REPORT_USAGE, stdout);
    return EXIT_DONE;
  }
  ReportRequest request;
  request.made = std::time(nullptr);
  for (const std::string& path : options.logs) {
    ReportLog log;
    std::string problem;
    if (!readReportLog(path, log, problem)) {
      std::fprintf(stderr, "korvex-cli: %s\n", problem.c_str());
      return EXIT_FAILURE_OTHER;
    }
    request.logs.push_back(std::move(log));
  }
  if (!options.disk.empty()) {
    JobSettings settings;
    settings.diskRoot = options.disk;
    settings.outputFolder = options.out;
    int status = EXIT_FAILURE_OTHER;
    const std::unique_ptr<RecordingSource> source = openJobSource(settings, options.partition, status);
    if (!source) return status;
    // The report goes nowhere near the evidence either.
    OutputFolderLock lock;
    if (!claimOutputFolder(settings, "the report", lock)) return EXIT_FAILURE_OTHER;
    request.thumbnails = reportThumbnails(*source, request.logs);
    request.thumbnailsLooked = true;
  }
  // Nor near any disk the jobs read.
  for (const std::string& disk : reportDisks(request.logs)) {
    JobSettings settings;
    settings.diskRoot = disk;
    settings.outputFolder = options.out;
    OutputFolderLock lock;
    if (!claimOutputFolder(settings, "the report", lock)) return EXIT_FAILURE_OTHER;
  }
  currentLanguage = options.language;
  request.languageCode = languageReportCode();
  const std::string html = examinationReportHtml(request, languageReportTexts());

  DiskFolderOutput output(options.out);
  if (output.openError() != 0) {
    std::fprintf(stderr, "korvex-cli: cannot write the report to %s: %s\n", options.out.c_str(),
                 std::strerror(output.openError()));
    return EXIT_FAILURE_OTHER;
  }
  const WrittenReport written =
      writeExaminationReport(output, examinationReportStem(options.out, request.made), {{".html", html}});
  if (written.failure.code != FailureCode::None) {
    std::fprintf(stderr, "korvex-cli: cannot write the report %s: %s\n", written.failure.path.c_str(),
                 written.failure.reason.c_str());
    return EXIT_FAILURE_OTHER;
  }
  std::printf("report: %s\nits SHA-256: %s (sha256sum -c checks it)\n", written.paths.front().c_str(),
              written.hashListPath.c_str());
  return EXIT_DONE;
}

}  // namespace korvex::cli
