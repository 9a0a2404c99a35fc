// The window's hook for the picking view: where it sits, what a scan feeds
// it, and how a pick becomes the backup's selection in the form.
#include <QBoxLayout>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QSpinBox>
#include <QTextCharFormat>
#include <QTimeEdit>
#include <QToolButton>
#include <utility>

#include "app/main_dialog.h"
#include "app/segment_browser.h"
#include "lang/language_keys.h"
#include "store/record_types.h"

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
  segments_->setDiskOfForm([this] { return diskOfForm(); });
  if (auto* outer = qobject_cast<QBoxLayout*>(layout())) {
    outer->addWidget(segmentToggle_, 0, Qt::AlignLeft);
    outer->addWidget(segments_, 1);
  }
  connect(segmentToggle_, &QToolButton::toggled, this, &MainDialog::showSegmentView);
  connect(segments_, &SegmentBrowser::pickChanged, this, &MainDialog::applyPickToForm);
  connect(segments_, &SegmentBrowser::segmentsShown, this, &MainDialog::markRecordingDays);
  connect(segments_, &SegmentBrowser::backUpSelectionRequested, this, &MainDialog::onBackUpSelection);
  connect(segments_, &SegmentBrowser::problem, this, &MainDialog::showMessage);
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
  auto feed = segments_->startScan({settings.diskRoot, diskOfForm().partition});
  auto earlier = std::move(options.segmentEnded);
  options.segmentEnded = [feed = std::move(feed), earlier = std::move(earlier)](const SegmentRecord& segment) {
    if (earlier) earlier(segment);
    feed(segment);
  };
  showSegmentView(true);
}

DiskChoice MainDialog::diskOfForm() const {
  JobSettings settings;
  captureScanSettings(settings);
  return {settings.diskRoot, partition_->value()};  // a folder ignores it
}

std::vector<PickedWindow> MainDialog::takePickedWindows() { return std::exchange(pickedWindowsForBackup_, {}); }

bool MainDialog::onBackUpSelection() {
  if (segments_->pickSummary().count == 0) return false;
  applyPickToForm();
  pickedWindowsForBackup_ = segments_->pickedWindows();
  const bool started = onStartBackup();
  pickedWindowsForBackup_.clear();
  return started;
}

void MainDialog::applyPickToForm() {
  const PickSummary pick = segments_->pickSummary();
  if (pick.count == 0) return;
  auto setPickers = [](QDateEdit* date, QTimeEdit* time, RecorderTime t) {
    const CalendarTime c = recorderTimeToCalendar(t);
    date->setDate(QDate(c.year, c.month, c.day));
    time->setTime(QTime(c.hour, c.minute, c.second));
  };
  setPickers(beginDate_, beginTime_, pick.begin);
  setPickers(endDate_, endTime_, pick.end);
  for (int k = 0; k < SELECTABLE_CHANNELS; ++k)
    channelBoxes_[static_cast<std::size_t>(k)]->setChecked((pick.channelMask >> k & 1u) != 0);
  allChannels_->setChecked(false);
  const std::pair<QCheckBox*, std::int32_t> types[] = {
      {typeTime_, RECORD_TYPE_TIME}, {typeMotion_, RECORD_TYPE_MOTION},
      {typeSensor_, RECORD_TYPE_SENSOR}, {typeManual_, RECORD_TYPE_MANUAL}};
  for (const auto& [box, code] : types) box->setChecked(pick.recordTypes[static_cast<std::size_t>(code)]);
}

void MainDialog::markRecordingDays() {
  QTextCharFormat marked;
  marked.setFontWeight(QFont::Bold);
  marked.setBackground(QColor(0xcf, 0xe3, 0xf7));
  const std::vector<std::int64_t> days = segments_->segments().recordingDays();
  for (QDateEdit* picker : {beginDate_, endDate_}) {
    QCalendarWidget* calendar = picker->calendarWidget();
    if (!calendar) continue;
    calendar->setDateTextFormat(QDate(), QTextCharFormat());  // every mark off
    for (std::int64_t day : days) calendar->setDateTextFormat(QDate(1970, 1, 1).addDays(day), marked);
  }
}

}  // namespace korvex
