// The window's hook for the picking view: where it sits, what a scan feeds
// it, and how a pick becomes the backup's selection in the form.
#include <QBoxLayout>
#include <QToolButton>
#include <utility>

#include "app/job_panel.h"
#include "app/main_dialog.h"
#include "app/segment_browser.h"
#include "lang/language_keys.h"

namespace korvex {

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
  if (auto* outer = qobject_cast<QBoxLayout*>(layout())) {
    outer->addWidget(segmentToggle_, 0, Qt::AlignLeft);
    outer->addWidget(segments_, 1);
  }
  panel_->setScanStarting(
      [this](const JobSettings& settings, ScanOptions& options) { connectScanToSegmentView(settings, options); });
  connect(segmentToggle_, &QToolButton::toggled, this, &MainDialog::showSegmentView);
  connect(segments_, &SegmentBrowser::pickChanged, this, &MainDialog::applyPickToForm);
  connect(segments_, &SegmentBrowser::segmentsShown, this, &MainDialog::markRecordingDays);
  connect(segments_, &SegmentBrowser::backUpSelectionRequested, this, &MainDialog::onBackUpSelection);
  connect(segments_, &SegmentBrowser::problem, this, &MainDialog::showMessage);
  connect(segments_, &SegmentBrowser::logDiskOpened, form_, &SelectionForm::takeDisk);
  connect(form_, &SelectionForm::clockOffsetChanged, this, [this] {
    const char* problem = nullptr;
    segments_->setClockOffset(form_->clockOffset(problem));
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
    resize(std::max(width(), 980), std::max(height(), sizeHint().height() + 360));
  } else if (widthBeforeSegments_ > 0) {
    resize(widthBeforeSegments_, height());  // the form as it was before the view opened
  }
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
  applyPickToForm();
  return panel_->onStartBackup(segments_->pickedWindows());
}

void MainDialog::applyPickToForm() { form_->takePick(segments_->pickSummary()); }

void MainDialog::markRecordingDays() { form_->markRecordingDays(segments_->segments().recordingDays()); }

}  // namespace korvex
