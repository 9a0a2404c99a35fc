// The window's hook for the picking view: where it sits, what a scan feeds
// it, and how a pick becomes the backup's selection in the form.
#include <QBoxLayout>
#include <QFileDialog>
#include <QPushButton>
#include <QToolButton>
#include <utility>

#include "app/job_panel.h"
#include "app/main_dialog.h"
#include "app/report_files.h"
#include "app/segment_browser.h"
#include "lang/language.h"
#include "lang/language_keys.h"
#include "report/report_texts.h"

namespace korvex {

namespace {

QString reportCaption(const char* key) { return QString::fromStdString(languageReportTexts()(key)); }

}  // namespace

bool MainDialog::onReport() {
  if (reportWriter_->busy()) return false;  // one at a time
  const QString folder = form_->outputFolderText();
  const QStringList logs = logsChooser_(this, reportCaption("choose the jobs' logs for the report"), folder,
                                        languageCaption(KEY_SCAN_LOG_FILES));
  if (logs.isEmpty()) return false;
  const DiskChoice disk = form_->diskOfForm();
  reportFolder_ = folder;
  report_->setEnabled(false);
  setStatusText(reportCaption("writing the report..."));
  return reportWriter_->start(reportFilesRequest(logs, folder, disk.disk, disk.partition));
}

void MainDialog::onReportWritten(const ReportFilesResult& written) {
  report_->setEnabled(true);
  if (written.cancelled) return;  // the window is closing
  setStatusText({});
  if (!written.ok) {
    showMessage(reportCaption("can't write the report") + QStringLiteral("\n") + written.problem);
  } else {
    showSummary(reportCaption("the examination report") + QStringLiteral(":\n") + written.htmlPath +
                    QStringLiteral("\n") + written.pdfPath + QStringLiteral("\n") + written.hashListPath,
                reportFolder_);
  }
  emit reportWritten(written.ok);
}

void MainDialog::setUpSegmentView() {
  segmentToggle_ = new QToolButton(this);
  segmentToggle_->setObjectName(QStringLiteral("segmentViewToggle"));
  segmentToggle_->setText(languageCaption(KEY_SEGMENTS_AND_TIMELINE));
  segmentToggle_->setCheckable(true);
  segmentToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  segmentToggle_->setArrowType(Qt::RightArrow);
  segmentToggle_->setAutoRaise(true);
  segments_ = new SegmentBrowser(this);
  segments_->hide();
  segments_->setDiskOfForm([this] { return form_->diskOfForm(); });
  segments_->player()->setOutputFolderOfForm([this] { return form_->settings().outputFolder; });
  report_ = new QPushButton(this);
  report_->setObjectName(QStringLiteral("reportButton"));
  report_->setAutoDefault(false);
  report_->setText(reportCaption("report..."));
  reportWriter_ = new ReportWriter(this);
  connect(reportWriter_, &ReportWriter::written, this, &MainDialog::onReportWritten);
  logsChooser_ = [](QWidget* parent, const QString& title, const QString& startFolder, const QString& filter) {
    return QFileDialog::getOpenFileNames(parent, title, startFolder, filter);
  };
  if (auto* outer = qobject_cast<QBoxLayout*>(content_->layout())) {
    auto* row = new QHBoxLayout;
    row->addWidget(segmentToggle_, 0, Qt::AlignLeft);
    row->addStretch(1);
    row->addWidget(report_);
    outer->addLayout(row);
    outer->addWidget(segments_, 1);
  }
  panel_->setScanStarting(
      [this](const JobSettings& settings, ScanOptions& options) { connectScanToSegmentView(settings, options); });
  connect(segmentToggle_, &QToolButton::toggled, this, &MainDialog::showSegmentView);
  connect(report_, &QPushButton::clicked, this, &MainDialog::onReport);
  connect(segments_, &SegmentBrowser::pickChanged, this, &MainDialog::applyPickToForm);
  connect(segments_, &SegmentBrowser::segmentsShown, this, &MainDialog::markRecordingDays);
  connect(segments_, &SegmentBrowser::backUpSelectionRequested, this, &MainDialog::onBackUpSelection);
  connect(segments_, &SegmentBrowser::problem, this, &MainDialog::showMessage);
  connect(segments_, &SegmentBrowser::verified, this, &MainDialog::showMessage);
  connect(segments_, &SegmentBrowser::logDiskOpened, form_, &SelectionForm::takeDisk);
  connect(form_, &SelectionForm::clockOffsetChanged, this, [this] {
    const char* problem = nullptr;
    const std::optional<ClockOffset> offset = form_->clockOffset(problem);
    segments_->setClockOffset(offset);
    segments_->player()->setClockOffset(offset ? std::optional<std::int64_t>(offset->seconds) : std::nullopt);
  });
}

void MainDialog::showSegmentView(bool shown) {
  if (segments_->isVisible() == shown && segmentToggle_->isChecked() == shown) return;
  const QSignalBlocker quiet(segmentToggle_);
  segmentToggle_->setChecked(shown);
  segmentToggle_->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
  segments_->setVisible(shown);
  // The plain form keeps its fixed height; with the view open the window can
  // be made as large as the segments need.
  if (shown) widthBeforeSegments_ = width();
  fitHeight();
  if (shown) {
    const int formHeight = content_->layout()->sizeHint().height() + scrollerExtra().height();
    resizeWithinScreen({std::max(width(), 980), std::max(height(), formHeight + 360)});
  } else if (widthBeforeSegments_ > 0) {
    resizeWithinScreen({widthBeforeSegments_, height()});  // the form as it was before the view opened
  }
  if (isVisible()) keepOnScreen();
}

void MainDialog::connectScanToSegmentView(const JobSettings& settings, ScanOptions& options) {
  auto feed = segments_->startScan({settings.diskRoot, form_->diskOfForm().partition});
  auto earlier = std::move(options.segmentEnded);
  options.segmentEnded = [feed = std::move(feed), earlier = std::move(earlier)](const SegmentRecord& segment) {
    if (earlier) earlier(segment);
    feed(segment);
  };
  showSegmentView(true);
}

bool MainDialog::onBackUpSelection() {
  if (segments_->pickSummary().count == 0) return false;
  // A pick is backed up whole or not at all: what the backup cannot take is
  // named, and nothing starts.
  const QStringList refused = segments_->pickedNotBackedUp();
  if (!refused.isEmpty()) {
    const QString lineEnd = QStringLiteral("\r\n");
    showMessage(languageCaption(KEY_PICK_NOT_BACKED_UP) + lineEnd + refused.join(lineEnd));
    return false;
  }
  applyPickToForm();
  return panel_->onStartBackup(segments_->pickedWindows());
}

void MainDialog::applyPickToForm() { form_->takePick(segments_->pickSummary()); }

void MainDialog::markRecordingDays() { form_->markRecordingDays(segments_->segments().recordingDays()); }

}  // namespace korvex
