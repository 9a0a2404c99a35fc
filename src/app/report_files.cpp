#include "app/report_files.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFont>
#include <QPainter>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTimer>
#include <ctime>

#include "base/output_files.h"
#include "jobs/output_folder.h"
#include "lang/language.h"
#include "lang/language_keys.h"
#include "report/examination_report.h"
#include "report/report_thumbnails.h"
#include "store/disk_source.h"

namespace korvex {

QByteArray pdfOfHtml(const QString& html, int& pages) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(12, 12, 12, 10), QPageLayout::Millimeter);
    // The document's own unit: a pixel at 96 per inch, as it lays out text.
    writer.setResolution(96);
    writer.setCreator(QStringLiteral("Korvex"));
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setHtml(html);
    const QRect area = writer.pageLayout().paintRectPixels(writer.resolution());
    // The foot of each page holds its number.
    const qreal foot = 24;
    const QSizeF body(area.width(), area.height() - foot);
    document.setPageSize(body);
    pages = document.pageCount();
    QPainter painter(&writer);
    QFont small = painter.font();
    small.setPointSizeF(7.5);
    for (int page = 0; page < pages; ++page) {
      if (page > 0) writer.newPage();
      painter.save();
      painter.translate(0, -page * body.height());
      QAbstractTextDocumentLayout::PaintContext context;
      context.clip = QRectF(QPointF(0, page * body.height()), body);
      // The layout draws whole frames that cross the page's edge.
      painter.setClipRect(context.clip);
      document.documentLayout()->draw(&painter, context);
      painter.restore();
      painter.setFont(small);
      painter.drawText(QRectF(0, body.height(), body.width(), foot), Qt::AlignRight | Qt::AlignBottom,
                       QStringLiteral("%1 / %2").arg(page + 1).arg(pages));
    }
  }
  buffer.close();
  return bytes;
}

ReportFilesRequest reportFilesRequest(const QStringList& logs, const QString& folder, const std::string& disk,
                                      int partition) {
  return {logs,
          folder,
          disk,
          partition,
          languageReportTexts(),
          languageReportCode(),
          languageText(KEY_OUTPUT_BUSY),
          languageText(KEY_OUTPUT_INSIDE_DISK),
          languageText(KEY_OUTPUT_UNUSABLE)};
}

ReportFilesResult writeReportFiles(const ReportFilesRequest& asked, const std::atomic<bool>* cancel) {
  ReportFilesResult result;
  const QString& folder = asked.folder;
  const std::string& disk = asked.disk;
  ReportRequest request;
  request.made = std::time(nullptr);
  for (const QString& path : asked.logs) {
    ReportLog log;
    std::string problem;
    if (!readReportLog(path.toStdString(), log, problem)) {
      result.problem = QString::fromStdString(problem);
      return result;
    }
    request.logs.push_back(std::move(log));
  }
  const std::string out = folder.toStdString();
  OutputFolderLock lock;
  Failure claim = claimOutputFolder(out, disk, lock);
  // Nor on any disk the jobs read.
  for (const std::string& logged : reportDisks(request.logs))
    if (!claim.failed()) claim = checkOutputFolder(out, logged);
  if (claim.failed()) {
    const std::string& said =
        claim.code == FailureCode::OutputFolderBusy ? asked.folderBusy
        : claim.code == FailureCode::OutputInsideStore || claim.code == FailureCode::OutputOnEvidence
            ? asked.folderOnDisk
            : asked.folderUnusable;
    result.problem = QString::fromStdString(said) + QStringLiteral("\n") + folder;
    if (!claim.reason.empty()) result.problem += QStringLiteral(" (") + QString::fromStdString(claim.reason) + ")";
    return result;
  }
  if (!disk.empty()) {
    if (const OpenedDisk opened = openDisk(disk, asked.partition)) {
      request.thumbnails = reportThumbnails(*opened.source, request.logs, cancel);
      request.thumbnailsLooked = true;
    }
  }
  request.languageCode = asked.languageCode;
  const std::string html = examinationReportHtml(request, asked.texts);
  // A document made on this thread holds its pictures as images, which
  // any thread may draw.
  const QByteArray pdf = pdfOfHtml(QString::fromStdString(html), result.pdfPages);
  if (cancel && cancel->load()) {
    result.cancelled = true;
    return result;
  }

  DiskFolderOutput output(out);
  const WrittenReport written = writeExaminationReport(
      output, examinationReportStem(out, request.made),
      {{".html", html}, {".pdf", std::string(pdf.constData(), static_cast<std::size_t>(pdf.size()))}});
  if (written.failure.code != FailureCode::None) {
    result.problem = QString::fromStdString(written.failure.path + ": " + written.failure.reason);
    return result;
  }
  result.ok = true;
  result.htmlPath = QString::fromStdString(written.paths[0]);
  result.pdfPath = QString::fromStdString(written.paths[1]);
  result.hashListPath = QString::fromStdString(written.hashListPath);
  return result;
}

ReportWriter::ReportWriter(QObject* parent) : QObject(parent), poll_(new QTimer(this)) {
  poll_->setInterval(20);
  connect(poll_, &QTimer::timeout, this, &ReportWriter::takeResult);
}

ReportWriter::~ReportWriter() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

bool ReportWriter::start(ReportFilesRequest request) {
  if (busy_) return false;
  busy_ = true;
  cancel_ = false;
  if (thread_.joinable()) thread_.join();
  // The request goes to the thread with its start; the result comes back
  // under the lock.
  thread_ = std::thread([this, request = std::move(request)] {
    ReportFilesResult result = writeReportFiles(request, &cancel_);
    const std::lock_guard lock(mutex_);
    result_ = std::move(result);
  });
  poll_->start();
  return true;
}

void ReportWriter::takeResult() {
  std::optional<ReportFilesResult> result;
  {
    const std::lock_guard lock(mutex_);
    result.swap(result_);
  }
  if (!result) return;
  poll_->stop();
  thread_.join();
  busy_ = false;
  emit written(*result);
}

}  // namespace korvex
