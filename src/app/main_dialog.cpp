#include "app/main_dialog.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTimeEdit>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/control_ids.h"
#include "app/window_controls.h"
#include "app/job_runner.h"
#include "app/job_texts.h"
#include "app/segment_browser.h"
#include "app/window_settings.h"
#include "jobs/selection.h"
#include "lang/language.h"
#include "lang/language_folder.h"
#include "lang/language_keys.h"
#include "store/drive_list.h"
#include "store/record_types.h"
#include "store/recorder_time.h"

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

}  // namespace

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent),
      modalRunner_([](QDialog& dialog) { return dialog.exec(); }),
      urlOpener_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
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
  setUpJobControl();
  setUpSegmentView();

  fitHeight();
  resize(layout()->sizeHint().width(), height());
  restoreSettings();
  languageList_->setFocus();
}

MainDialog::~MainDialog() {
  // Gone some other way than by closing (the program ending): the worker
  // still finishes its files before the results it writes go.
  runner_->requestStop();
  runner_->end();
}

void MainDialog::createControls() {
  languageLabel_ = makeLabel(this, ID_LANGUAGE_LABEL, QStringLiteral("语言"));
  // A plain list: only choosing an entry changes the language.
  languageList_ = makeControl<QComboBox>(this, ID_LANGUAGE_LIST);
  lowerBand_ = new QWidget(this);
  lowerBand_->setObjectName(QStringLiteral("lowerBand"));
  form_ = new SelectionForm(this, lowerBand_);

  startBackup_ = makeButton(this, ID_START_BACKUP, QStringLiteral("开始备份"));
  stopBackup_ = makeButton(this, ID_STOP_BACKUP, QStringLiteral("停止备份"));
  advanced_ = makeButton(this, ID_ADVANCED_SETTING, QStringLiteral("高级选项"));
  backupProgress_ = new QProgressBar(this);
  backupProgress_->setObjectName(QStringLiteral("backupProgress"));
  backupProgress_->setRange(0, 100);
  backupProgress_->setValue(0);
  backupProgress_->setTextVisible(false);
  backupPercent_ = new QLabel(QStringLiteral("0%"), this);
  backupPercent_->setObjectName(QStringLiteral("backupPercent"));

  // Shows; never takes typing or drops.
  status_ = makeControl<QPlainTextEdit>(this, ID_STATUS);
  status_->setReadOnly(true);
  status_->setAcceptDrops(false);
  status_->setTabChangesFocus(true);
  status_->setLineWrapMode(QPlainTextEdit::NoWrap);

  scan_ = makeButton(lowerBand_, ID_SCAN, QStringLiteral("扫描"));
  stopScan_ = makeButton(lowerBand_, ID_STOP_SCAN, QStringLiteral("停止扫描"));
  progress_ = makeControl<QProgressBar>(lowerBand_, ID_SCAN_PROGRESS);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  percent_ = makeLabel(lowerBand_, ID_SCAN_PERCENT, QStringLiteral("0%"));
}

void MainDialog::layOutControls() {
  const QFontMetrics metrics(font());
  languageList_->setMinimumWidth(metrics.averageCharWidth() * 14);
  // Room for the two status lines.
  status_->setFixedHeight(metrics.lineSpacing() * 2 + 2 * status_->frameWidth() +
                          2 * static_cast<int>(status_->document()->documentMargin()) + 4);
  percent_->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("100%")) + 4);
  backupPercent_->setMinimumWidth(percent_->minimumWidth());

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
  jobRow->addWidget(startBackup_);
  jobRow->addWidget(stopBackup_);
  jobRow->addWidget(advanced_);
  jobRow->addSpacing(12);
  jobRow->addWidget(backupProgress_, 1);
  jobRow->addWidget(backupPercent_);
  upperGrid_->addLayout(jobRow, row++, 0, 1, 2);
  upperGrid_->addWidget(status_, row++, 0, 1, 2);

  // The advanced band: rows of label and fields, then the scan's controls.
  auto* band = new QVBoxLayout(lowerBand_);
  band->setContentsMargins(0, 0, 0, 0);
  lowerGrid_ = new QGridLayout;
  lowerGrid_->setColumnStretch(1, 1);
  band->addLayout(lowerGrid_);
  form_->addAdvancedRows([this](QWidget* label, QLayout* fields) { addAdvancedRow(label, fields); });
  auto* scanRow = new QHBoxLayout;
  scanRow->addWidget(scan_);
  scanRow->addWidget(stopScan_);
  scanRow->addWidget(progress_, 1);
  scanRow->addWidget(percent_);
  band->addLayout(scanRow);

  auto* outer = new QVBoxLayout(this);
  outer->addLayout(upperGrid_);
  outer->addWidget(lowerBand_);
  // fitHeight keeps the height to what is shown; the width is free.
  outer->setSizeConstraint(QLayout::SetNoConstraint);
}

void MainDialog::addAdvancedRow(QWidget* label, QLayout* fields) {
  if (auto* row = qobject_cast<QBoxLayout*>(fields)) row->addStretch();
  const int row = lowerGrid_->rowCount();
  lowerGrid_->addWidget(label, row, 0);
  lowerGrid_->addLayout(fields, row, 1);
}

void MainDialog::fitHeight() {
  layout()->invalidate();
  layout()->activate();
  const QSize minimum = layout()->minimumSize();
  setMinimumWidth(minimum.width());
  if (segmentToggle_ != nullptr && segmentToggle_->isChecked()) {
    // The picking view is open: the window may grow as tall as it likes.
    setMinimumHeight(minimum.height());
    setMaximumHeight(QWIDGETSIZE_MAX);
    return;
  }
  setFixedHeight(std::max(minimum.height(), layout()->sizeHint().height()));
}

// The form top to bottom, each row left to right.
void MainDialog::setFocusOrder() {
  std::vector<QWidget*> order = {languageList_};
  const std::vector<QWidget*> upper = form_->upperFocusOrder();
  order.insert(order.end(), upper.begin(), upper.end());
  order.insert(order.end(), {startBackup_, stopBackup_, advanced_, status_});
  const std::vector<QWidget*> advanced = form_->advancedFocusOrder();
  order.insert(order.end(), advanced.begin(), advanced.end());
  order.insert(order.end(), {scan_, stopScan_});
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void MainDialog::setInitialStates() {
  form_->setInitialStates();
  // Nothing runs yet: nothing to stop.
  setJobButtonsEnabled(true, false, true, false);
}

void MainDialog::setUpLanguage() {
  for (const char* entry : LANGUAGE_LIST_ENTRIES) languageList_->addItem(QString::fromUtf8(entry));
  // The language chosen last time; mainset.ini's until one was chosen.
  const std::optional<int> chosen = WindowSettings::load().language;
  currentLanguage = chosen ? *chosen : readStartupLanguage();
  // An index outside the list leaves it without a selected entry.
  const bool listed = currentLanguage >= 0 && currentLanguage < languageList_->count();
  languageList_->setCurrentIndex(listed ? currentLanguage : -1);
  applyLanguageTexts();
}

void MainDialog::applyLanguageTexts() {
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
    segments_->applyLanguageTexts();
  }
  alignLabelColumns();
  fitHeight();
}

void MainDialog::onLanguageChanged() {
  currentLanguage = languageList_->currentIndex();
  applyLanguageTexts();
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
  if (remembered.width > 0) resize(std::max(remembered.width, minimumWidth()), height());
}

void MainDialog::saveSettings() const {
  WindowSettings remembered;
  remembered.disk = form_->diskText();
  remembered.outputFolder = form_->outputFolderText();
  remembered.language = currentLanguage;
  remembered.width = width();
  remembered.advancedOpen = !advancedCollapsed_;
  remembered.save();
}

QWidget* MainDialog::control(int id) const { return findChild<QWidget*>(controlName(id)); }

QString MainDialog::languageCaption(const char* key) { return korvex::languageCaption(key); }

void MainDialog::onAdvancedSetting() {
  advancedCollapsed_ = !advancedCollapsed_;
  lowerBand_->setVisible(!advancedCollapsed_);
  fitHeight();
  raise();
}

void MainDialog::showAbout() {
  AboutDialog about(this);
  runModal(about);
}

void MainDialog::showMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, this);
  box.button(QMessageBox::Ok)->setText(languageCaption(KEY_OK));
  runModal(box);
}

void MainDialog::showSummary(const QString& text, const QString& folder) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, this);
  box.button(QMessageBox::Ok)->setText(languageCaption(KEY_OK));
  QPushButton* open = box.addButton(languageCaption(KEY_OPEN_OUTPUT_FOLDER), QMessageBox::ActionRole);
  open->setObjectName(QStringLiteral("openOutputFolder"));
  box.setDefaultButton(QMessageBox::Ok);
  runModal(box);
  if (box.clickedButton() == open) urlOpener_(QUrl::fromLocalFile(QFileInfo(folder).absoluteFilePath()));
}

bool MainDialog::askYesNo(const QString& text) {
  QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text,
                  QMessageBox::Yes | QMessageBox::No, this);
  box.button(QMessageBox::Yes)->setText(languageCaption(KEY_YES));
  box.button(QMessageBox::No)->setText(languageCaption(KEY_NO));
  box.setDefaultButton(QMessageBox::Yes);
  return runModal(box) == QMessageBox::Yes;
}

void MainDialog::setStatusText(const QString& text) {
  QString lines = text;
  lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  status_->setPlainText(lines);
}

void MainDialog::setScanProgress(int percent) {
  progress_->setValue(std::clamp(percent, 0, 100));
  percent_->setText(QString::fromStdString(scanPercentText(percent)));
}

void MainDialog::setJobButtonsEnabled(bool startBackup, bool stopBackup, bool scan, bool stopScan) {
  startBackup_->setEnabled(startBackup);
  stopBackup_->setEnabled(stopBackup);
  scan_->setEnabled(scan);
  stopScan_->setEnabled(stopScan);
}

void MainDialog::setModalRunner(ModalRunner runner) { modalRunner_ = std::move(runner); }

void MainDialog::setFolderChooser(FolderChooser chooser) { form_->setFolderChooser(std::move(chooser)); }

void MainDialog::setFileChooser(FileChooser chooser) { form_->setFileChooser(std::move(chooser)); }

void MainDialog::setUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }

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

}  // namespace korvex

