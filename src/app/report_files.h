// The window's examination report: the page the core writes, and a PDF of
// it drawn by Qt, both written new into the output folder with one hash
// list beside them.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "report/report_texts.h"

class QTimer;

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
  bool cancelled = false;  // nothing written: the report was called off
};

// What a report is made of, with the words of the language it is made in,
// looked up beforehand (the language is the window's thread's).
struct ReportFilesRequest {
  QStringList logs;
  QString folder;
  std::string disk;
  int partition = 0;
  ReportTexts texts;
  std::string languageCode;
  std::string folderBusy, folderOnDisk, folderUnusable;
};
ReportFilesRequest reportFilesRequest(const QStringList& logs, const QString& folder, const std::string& disk,
                                      int partition);

// Reads the logs, looks for the segments' pictures on the disk (none when
// it is empty or cannot be opened), and writes the report and its PDF into
// the folder, which must not lie on the disk. `cancel`, once set, ends the
// search for pictures and leaves the report unwritten.
ReportFilesResult writeReportFiles(const ReportFilesRequest& request, const std::atomic<bool>* cancel = nullptr);

// Writes reports on a thread of its own, one at a time, so that the window
// goes on while the pictures are read and the pages laid out; `written`
// follows on the owner's thread.
class ReportWriter : public QObject {
  Q_OBJECT

 public:
  explicit ReportWriter(QObject* parent = nullptr);
  // Calls off the report under way and waits for it.
  ~ReportWriter() override;

  // False while a report is under way: then nothing starts.
  bool start(ReportFilesRequest request);
  bool busy() const { return busy_; }
  // The report under way ends unwritten; `written` still follows.
  void cancel() { cancel_ = true; }

 signals:
  void written(const korvex::ReportFilesResult& result);

 private:
  // Takes the worker's result, on the owner's thread.
  void takeResult();

  std::thread thread_;
  std::mutex mutex_;
  std::optional<ReportFilesResult> result_;  // under mutex_
  QTimer* poll_ = nullptr;
  std::atomic<bool> cancel_{false};
  bool busy_ = false;  // the owner's thread's
};

}  // namespace korvex
