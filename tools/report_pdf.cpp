// Writes the window's examination report (page, PDF and hash list) of the
// logs given, with the pictures of the disk given, as the Report... button
// does: for the report's screenshot (tools/screenshot-report).
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>

#include "app/report_files.h"

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: korvex-report-pdf OUT-FOLDER DISK LOG.json...\n");
    return 2;
  }
  QStringList logs;
  for (int i = 3; i < argc; ++i) logs << QString::fromLocal8Bit(argv[i]);
  const korvex::ReportFilesResult written =
      korvex::writeReportFiles(korvex::reportFilesRequest(logs, QString::fromLocal8Bit(argv[1]), argv[2], 0));
  if (!written.ok) {
    std::fprintf(stderr, "korvex-report-pdf: %s\n", written.problem.toLocal8Bit().constData());
    return 1;
  }
  std::printf("%s\n%d pages\n", written.pdfPath.toLocal8Bit().constData(), written.pdfPages);
  return 0;
}
