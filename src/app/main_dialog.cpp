#include "app/main_dialog.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "app/about_dialog.h"
#include "app/app_language.h"
#include "app/app_icon.h"
#include "app/control_ids.h"
#include "app/job_panel.h"
#include "app/report_files.h"
#include "app/segment_browser.h"
#include "app/window_controls.h"
#include "app/window_settings.h"
#include "lang/language.h"
#include "lang/language_folder.h"
#include "lang/language_keys.h"
#include "report/report_texts.h"

namespace korvex {

namespace {

// The controls whose captions come from the language file, in the order in
// which they are set.
struct CaptionKey {
  const char* key;
  int controlId;
};

constexpr std::array<CaptionKey, 19> CAPTION_KEYS = {{
    {KEY_LANGUAGE, ID_LANGUAGE_LABEL},
    {KEY_BROWSE, ID_BROWSE},
    {KEY_BACKUP_TIME, ID_BACKUP_TIME_LABEL},
    {KEY_BACKUP_CHANNEL, ID_CHANNEL_LABEL},
    {KEY_BACKUP_RECORD_TYPE, ID_RECORD_TYPE_LABEL},
    {KEY_BACKUP_DISK, ID_DISK_LABEL},
    {KEY_OUTPUT_PATH, ID_OUTPUT_LABEL},
    {KEY_START_BACKUP, ID_START_BACKUP},
    {KEY_STOP_BACKUP, ID_STOP_BACKUP},
    {KEY_ADVANCED_SETTING, ID_ADVANCED_SETTING},
    {KEY_BACKUP_MAX_DATA_SIZE, ID_SIZE_LIMIT_LABEL},
    {KEY_FOLDER_RANGE, ID_FOLDER_RANGE_LABEL},
    {KEY_SCAN, ID_SCAN},
    {KEY_STOP_SCAN, ID_STOP_SCAN},
    {KEY_TIME, ID_TYPE_TIME},
    {KEY_MOTION, ID_TYPE_MOTION},
    {KEY_SENSOR, ID_TYPE_SENSOR},
    {KEY_MANUAL, ID_TYPE_MANUAL},
    {KEY_ALL, ID_ALL_CHANNELS},
}};

bool isPlainEnter(const QKeyEvent& event) {
  return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) &&
         (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Room kept for the window manager's frame and title bar until the window is
// shown and its frame is known.
constexpr int FRAME_ALLOWANCE_WIDTH = 16;
constexpr int FRAME_ALLOWANCE_HEIGHT = 48;

}  // namespace

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent),
      modalRunner_([](QDialog& dialog) { return dialog.exec(); }) {
  setWindowTitle(QStringLiteral("Korvex"));
  // A caption with a close box only: no minimise, maximise or help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);

  createControls();
  layOutControls();
  setFocusOrder();

  // No system menu to extend here: the About entry sits in the window's
  // context menu, and F1 opens the box too.
  aboutAction_ = new QAction(this);
  aboutAction_->setObjectName(QStringLiteral("aboutAction"));
  aboutAction_->setShortcut(QKeySequence(Qt::Key_F1));
  connect(aboutAction_, &QAction::triggered, this, &MainDialog::showAbout);
  addAction(aboutAction_);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  setWindowIcon(korvexIcon());
  setInitialStates();

  advancedCollapsed_ = true;
  lowerBand_->hide();

  setUpLanguage();

  connect(advanced_, &QPushButton::clicked, this, &MainDialog::onAdvancedSetting);
  connect(languageList_, &QComboBox::activated, this, &MainDialog::onLanguageChanged);
  connect(panel_, &JobPanel::jobStarting, this, &MainDialog::saveSettings);
  connect(panel_, &JobPanel::jobEnded, this, [this] {
    if (closing_) finishClosing();
  });
  setUpSegmentView();
  // Lists are as wide as their longest entry, in whichever language.
  for (QComboBox* list : findChildren<QComboBox*>())
    if (!list->isEditable()) list->setSizeAdjustPolicy(QComboBox::AdjustToContents);

  fitHeight();
  resizeWithinScreen({content_->layout()->sizeHint().width() + scrollerExtra().width(), height()});
  restoreSettings();
  languageList_->setFocus();
}

// The worker stops before any of the window's parts (the picking view it
// feeds included) goes.
MainDialog::~MainDialog() { panel_->stopAndWait(); }

void MainDialog::createControls() {
  languageLabel_ = makeLabel(this, ID_LANGUAGE_LABEL, QStringLiteral("语言"));
  // A plain list: only choosing an entry changes the language.
  languageList_ = makeControl<QComboBox>(this, ID_LANGUAGE_LIST);
  lowerBand_ = new QWidget(this);
  lowerBand_->setObjectName(QStringLiteral("lowerBand"));
  form_ = new SelectionForm(this, lowerBand_);

  advanced_ = makeButton(this, ID_ADVANCED_SETTING, QStringLiteral("高级选项"));
  panel_ = new JobPanel(this, lowerBand_, *form_, [this](QDialog& dialog) { return runModal(dialog); });
}

void MainDialog::layOutControls() {
  const QFontMetrics metrics(font());
  languageList_->setMinimumWidth(metrics.averageCharWidth() * 14);

  upperGrid_ = new QGridLayout;
  upperGrid_->setColumnStretch(1, 1);
  int row = 0;

  auto* languageRow = new QHBoxLayout;
  languageRow->addWidget(languageList_);
  languageRow->addStretch();
  upperGrid_->addWidget(languageLabel_, row, 0);
  upperGrid_->addLayout(languageRow, row++, 1);

  form_->addUpperRows(upperGrid_, row);

  auto* jobRow = new QHBoxLayout;
  jobRow->addWidget(panel_->startBackupButton());
  jobRow->addWidget(panel_->stopBackupButton());
  jobRow->addWidget(advanced_);
  jobRow->addSpacing(12);
  jobRow->addWidget(panel_->backupProgressBar(), 1);
  jobRow->addWidget(panel_->backupPercentLabel());
  upperGrid_->addLayout(jobRow, row++, 0, 1, 2);
  upperGrid_->addWidget(panel_->statusBox(), row++, 0, 1, 2);

  // The advanced band: rows of label and fields, then the scan's controls.
  auto* band = new QVBoxLayout(lowerBand_);
  band->setContentsMargins(0, 0, 0, 0);
  lowerGrid_ = new QGridLayout;
  lowerGrid_->setColumnStretch(1, 1);
  band->addLayout(lowerGrid_);
  form_->addAdvancedRows([this](QWidget* label, QLayout* fields) { addAdvancedRow(label, fields); });
  auto* scanRow = new QHBoxLayout;
  scanRow->addWidget(panel_->scanButton());
  scanRow->addWidget(panel_->stopScanButton());
  scanRow->addWidget(panel_->scanProgressBar(), 1);
  scanRow->addWidget(panel_->scanPercentLabel());
  band->addLayout(scanRow);

  content_ = new QWidget;
  content_->setObjectName(QStringLiteral("windowContent"));
  auto* outer = new QVBoxLayout(content_);
  outer->addLayout(upperGrid_);
  outer->addWidget(lowerBand_);
  scroller_ = new QScrollArea(this);
  scroller_->setObjectName(QStringLiteral("windowScroller"));
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setWidgetResizable(true);
  scroller_->setWidget(content_);
  auto* window = new QVBoxLayout(this);
  window->setContentsMargins(0, 0, 0, 0);
  window->addWidget(scroller_);
  // fitHeight keeps the height to what is shown; the width is free.
  window->setSizeConstraint(QLayout::SetNoConstraint);
}

void MainDialog::addAdvancedRow(QWidget* label, QLayout* fields) {
  if (auto* row = qobject_cast<QBoxLayout*>(fields)) row->addStretch();
  const int row = lowerGrid_->rowCount();
  lowerGrid_->addWidget(label, row, 0);
  lowerGrid_->addLayout(fields, row, 1);
}

QSize MainDialog::scrollerExtra() const {
  // What the scroll area takes beside its content.
  const QMargins frame = scroller_->contentsMargins();
  return {frame.left() + frame.right(), frame.top() + frame.bottom()};
}

void MainDialog::fitHeight() {
  QLayout* inner = content_->layout();
  inner->invalidate();
  inner->activate();
  const QSize room = roomOnScreen();
  const QSize extra = scrollerExtra();
  const QSize minimum = inner->minimumSize() + extra;
  // Narrower than the form, the window scrolls it sideways.
  setMinimumWidth(std::min(minimum.width(), room.width()));
  if (width() > room.width()) resize(room.width(), height());
  if (segmentToggle_ != nullptr && segmentToggle_->isChecked()) {
    // The picking view is open: the window may grow as tall as the screen.
    setMinimumHeight(std::min(minimum.height(), room.height()));
    setMaximumHeight(std::max(minimumHeight(), room.height()));
    return;
  }
  setFixedHeight(std::min(std::max(minimum.height(), inner->sizeHint().height() + extra.height()), room.height()));
}

QSize MainDialog::roomOnScreen() const {
  const QScreen* shown = screen();
  if (shown == nullptr) return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
  QSize frame = frameGeometry().size() - geometry().size();
  if (!isVisible() || frame.isEmpty()) frame = frame.expandedTo({FRAME_ALLOWANCE_WIDTH, FRAME_ALLOWANCE_HEIGHT});
  const QSize room = shown->availableGeometry().size() - frame;
  return room.expandedTo({1, 1});
}

void MainDialog::resizeWithinScreen(QSize wanted) { resize(wanted.boundedTo(roomOnScreen())); }

void MainDialog::keepOnScreen() {
  fitHeight();
  resizeWithinScreen(size());
  const QScreen* shown = screen();
  if (shown == nullptr) return;
  const QRect available = shown->availableGeometry();
  const QRect frame = frameGeometry();
  // The frame's top left corner moved as little as keeps the frame inside.
  const int lastX = std::max(available.left(), available.right() + 1 - frame.width());
  const int lastY = std::max(available.top(), available.bottom() + 1 - frame.height());
  const int x = std::clamp(frame.x(), available.left(), lastX);
  const int y = std::clamp(frame.y(), available.top(), lastY);
  if (x != frame.x() || y != frame.y()) move(x, y);
}

void MainDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) keepOnScreen();
}

// The form top to bottom, each row left to right.
void MainDialog::setFocusOrder() {
  std::vector<QWidget*> order = {languageList_};
  const std::vector<QWidget*> upper = form_->upperFocusOrder();
  order.insert(order.end(), upper.begin(), upper.end());
  order.insert(order.end(), {panel_->startBackupButton(), panel_->stopBackupButton(), advanced_, panel_->statusBox()});
  const std::vector<QWidget*> advanced = form_->advancedFocusOrder();
  order.insert(order.end(), advanced.begin(), advanced.end());
  order.insert(order.end(), {panel_->scanButton(), panel_->stopScanButton()});
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void MainDialog::setInitialStates() {
  form_->setInitialStates();
}

void MainDialog::setUpLanguage() {
  // Each language named in its own words, as its file names it.
  for (std::size_t i = 0; i < LANGUAGE_LIST_ENTRIES.size(); ++i) {
    const QString name = QString::fromStdString(languageTextOf(static_cast<std::int32_t>(i), KEY_LANGUAGE_NAME));
    languageList_->addItem(name.isEmpty() ? QString::fromUtf8(LANGUAGE_LIST_ENTRIES[i]) : name);
  }
  // The language chosen last time; mainset.ini's until one was chosen.
  const std::optional<int> chosen = WindowSettings::load().language;
  currentLanguage = chosen ? *chosen : readStartupLanguage();
  // An index outside the list leaves it without a selected entry.
  const bool listed = currentLanguage >= 0 && currentLanguage < languageList_->count();
  languageList_->setCurrentIndex(listed ? currentLanguage : -1);
  applyLanguageTexts();
}

void MainDialog::applyLanguageTexts() {
  // The toolkit's dialogs, menus, dates and calendars first: the captions
  // below may be measured in them.
  const QLocale locale = languageLocale();
  followLocale(locale);
  setLocale(locale);
  form_->applyLocale(locale);
  panel_->applyLanguageTexts();
  for (const CaptionKey& caption : CAPTION_KEYS) {
    const QString text = languageCaption(caption.key);
    QWidget* widget = control(caption.controlId);
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(text);
  }
  form_->applyLanguageTexts();
  aboutAction_->setText(languageCaption(KEY_ABOUT_ENTRY));
  // The picking view comes after the first captions, with its own.
  if (segments_ != nullptr) {
    segmentToggle_->setText(languageCaption(KEY_SEGMENTS_AND_TIMELINE));
    report_->setText(QString::fromStdString(languageReportTexts()("report...")));
    segments_->applyLanguageTexts();
  }
  alignLabelColumns();
  fitHeight();
}

void MainDialog::onLanguageChanged() {
  currentLanguage = languageList_->currentIndex();
  applyLanguageTexts();
  // Longer captions widen the window rather than being cut.
  layout()->activate();
  const int wanted = layout()->sizeHint().width();
  if (width() < wanted) resize(wanted, height());
  WindowSettings::saveLanguage(currentLanguage);
}

void MainDialog::alignLabelColumns() {
  // The upper form and the lower band line up their fields.
  const int width = std::max(languageLabel_->sizeHint().width(), form_->labelColumnWidth());
  upperGrid_->setColumnMinimumWidth(0, width);
  lowerGrid_->setColumnMinimumWidth(0, width);
}

void MainDialog::restoreSettings() {
  const WindowSettings remembered = WindowSettings::load();
  if (!remembered.disk.isEmpty()) form_->setDiskText(remembered.disk);
  if (!remembered.outputFolder.isEmpty()) form_->setOutputFolderText(remembered.outputFolder);
  if (remembered.advancedOpen) onAdvancedSetting();
  form_->timeFileBox()->setChecked(remembered.timeFile);
  if (remembered.width > 0) resizeWithinScreen({std::max(remembered.width, minimumWidth()), height()});
}

void MainDialog::saveSettings() const {
  WindowSettings remembered;
  remembered.disk = form_->diskText();
  remembered.outputFolder = form_->outputFolderText();
  remembered.language = currentLanguage;
  remembered.width = width();
  remembered.advancedOpen = !advancedCollapsed_;
  remembered.timeFile = form_->timeFileBox()->isChecked();
  remembered.save();
  WindowSettings::keepClockOffsetForDisk(form_->diskText(),
                                         form_->rememberClockOffset() ? form_->clockOffsetText() : QString());
}

QWidget* MainDialog::control(int id) const { return findChild<QWidget*>(controlName(id)); }

QString MainDialog::languageCaption(const char* key) { return korvex::languageCaption(key); }

void MainDialog::onAdvancedSetting() {
  advancedCollapsed_ = !advancedCollapsed_;
  lowerBand_->setVisible(!advancedCollapsed_);
  fitHeight();
  if (isVisible()) keepOnScreen();
  raise();
}

void MainDialog::showAbout() {
  AboutDialog about(this);
  runModal(about);
}

void MainDialog::showMessage(const QString& text) { panel_->showMessage(text); }

void MainDialog::showSummary(const QString& text, const QString& folder) { panel_->showSummary(text, folder); }

bool MainDialog::askYesNo(const QString& text) { return panel_->askYesNo(text); }

void MainDialog::setStatusText(const QString& text) { panel_->setStatusText(text); }

void MainDialog::setScanProgress(int percent) { panel_->setScanProgress(percent); }

void MainDialog::setJobButtonsEnabled(bool startBackup, bool stopBackup, bool scan, bool stopScan) {
  panel_->setJobButtonsEnabled(startBackup, stopBackup, scan, stopScan);
}

void MainDialog::setBackupOptions(BackupOptions options) { panel_->setBackupOptions(std::move(options)); }

void MainDialog::setScanOptions(ScanOptions options) { panel_->setScanOptions(std::move(options)); }

bool MainDialog::jobWorkerRunning() const { return panel_->jobWorkerRunning(); }

bool MainDialog::onStartBackup() { return panel_->onStartBackup(); }

bool MainDialog::onScan() { return panel_->onScan(); }

void MainDialog::onStopBackup() { panel_->onStopBackup(); }

void MainDialog::onStopScan() { panel_->onStopScan(); }

void MainDialog::setModalRunner(ModalRunner runner) { modalRunner_ = std::move(runner); }

void MainDialog::setFolderChooser(FolderChooser chooser) { form_->setFolderChooser(std::move(chooser)); }

void MainDialog::setFileChooser(FileChooser chooser) { form_->setFileChooser(std::move(chooser)); }

void MainDialog::setUrlOpener(UrlOpener opener) { panel_->setUrlOpener(std::move(opener)); }

int MainDialog::runModal(QDialog& dialog) { return modalRunner_(dialog); }

void MainDialog::keyPressEvent(QKeyEvent* event) {
  // Escape never closes the window: a running job would be cut short.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  if (isPlainEnter(*event)) {
    // Enter presses a push button that has the focus; in an edit box it
    // neither starts a job nor closes the window.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) button->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainDialog::done(int result) {
  if (closing_ || askingToClose_) return;  // already waiting for the worker, or asking
  if (panel_->jobActive() && panel_->jobWorkerRunning()) {
    askingToClose_ = true;
    panel_->setHeld(true);
    const bool stop = askYesNo(languageCaption(KEY_STOP_AND_CLOSE));
    panel_->setHeld(false);
    askingToClose_ = false;
    if (!stop) return;
  }
  saveSettings();
  // A report under way is called off; the window's end waits for it.
  reportWriter_->cancel();
  if (panel_->jobActive() && panel_->jobWorkerRunning()) {
    // Every AVI file is finished and the report completed before the
    // window goes; the event loop goes on meanwhile, and the job's timer
    // sees the worker end.
    closing_ = true;
    closeResult_ = result;
    panel_->finishBeforeClosing();
    showFinishing();
    return;
  }
  // A job that ended before its tick leaves nothing to wait for.
  if (panel_->jobActive()) panel_->endJob();
  QDialog::done(result);
}

void MainDialog::showFinishing() {
  setStatusText(languageCaption(KEY_FINISHING_JOB));
  for (QWidget* widget : findChildren<QWidget*>()) {
    const bool formControl = widget->parentWidget() == content_ || widget->parentWidget() == lowerBand_;
    if (widget == panel_->statusBox() || !formControl || widget == lowerBand_ || !widget->isEnabled()) continue;
    widget->setEnabled(false);
    disabledWhileClosing_.push_back(widget);
  }
}

void MainDialog::finishClosing() {
  for (QWidget* widget : disabledWhileClosing_) widget->setEnabled(true);
  disabledWhileClosing_.clear();
  panel_->endJob();
  closing_ = false;
  QDialog::done(closeResult_);
}

}  // namespace korvex

