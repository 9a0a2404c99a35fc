// The window's examination report: the page the core writes, and a PDF of
// it drawn by Qt, both written new into the output folder with one hash
// list beside them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>

namespace korvex {

// The PDF of an HTML page: A4, laid out by QTextDocument (tables' heads
// repeated on each page they run onto), "page / pages" at each foot;
// `pages` gets its page count.
QByteArray pdfOfHtml(const QString& html, int& pages);

struct ReportFilesResult {
  bool ok = false;
  QString htmlPath;
  QString pdfPath;
  QString hashListPath;
  int pdfPages = 0;
  QString problem;  // the file and the reason, when !ok
};

// Reads the logs, looks for the segments' pictures on `disk` (none when it
// is empty or cannot be opened), and writes the report and its PDF into
// `folder`, which must not lie on the disk.
ReportFilesResult writeReportFiles(const QStringList& logs, const QString& folder, const std::string& disk,
                                   int partition);

}  // namespace korvex
