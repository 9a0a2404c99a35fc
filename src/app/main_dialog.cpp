#include "app/main_dialog.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QTimeEdit>
#include <algorithm>
#include <vector>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/control_ids.h"
#include "app/job_runner.h"
#include "app/job_texts.h"
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

// Whole days whose every second a signed 32-bit recorder time can hold
// (1901-12-13 20:45:52 to 2038-01-19 03:14:07).
QDate firstPickerDate() { return QDate(1901, 12, 14); }
QDate lastPickerDate() { return QDate(2038, 1, 18); }

QString controlName(int id) { return QStringLiteral("control%1").arg(id); }

template <class Widget>
Widget* makeControl(QWidget* parent, int id) {
  auto* widget = new Widget(parent);
  widget->setObjectName(controlName(id));
  widget->setProperty(CONTROL_ID_PROPERTY, id);
  return widget;
}

QLabel* makeLabel(QWidget* parent, int id, const QString& caption) {
  auto* label = makeControl<QLabel>(parent, id);
  label->setText(caption);
  return label;
}

// Push buttons never act as the dialog's default button: Enter in an edit
// box must not press one.
QPushButton* makeButton(QWidget* parent, int id, const QString& caption) {
  auto* button = makeControl<QPushButton>(parent, id);
  button->setText(caption);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QCheckBox* makeCheckBox(QWidget* parent, int id, const QString& caption) {
  auto* box = makeControl<QCheckBox>(parent, id);
  box->setText(caption);
  return box;
}

// The locale's short date format, with the year written in full: the range
// spans two centuries.
QString pickerDateFormat() {
  QString format = QLocale().dateFormat(QLocale::ShortFormat);
  if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  return format;
}

RecorderTime pickerTime(const QDateEdit* date, const QTimeEdit* time) {
  const QDate d = date->date();
  const QTime t = time->time();
  return recorderTimeFromPickers(LocalDate{d.year(), d.month(), d.day()},
                                 LocalTimeOfDay{t.hour(), t.minute(), t.second()});
}

std::string localPath(const QString& text) { return QFile::encodeName(text).toStdString(); }

bool isPlainEnter(const QKeyEvent& event) {
  return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) &&
         (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent),
      modalRunner_([](QDialog& dialog) { return dialog.exec(); }),
      folderChooser_([](QWidget* owner, const QString& title, const QString& startFolder) {
        return QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
      }) {
  setWindowTitle(QStringLiteral("Korvex"));
  // A caption with a close box only: no minimise, maximise or help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);

  createControls();
  layOutControls();
  setFocusOrder();

  // No system menu to extend here: the About entry sits in the window's
  // context menu, and F1 opens the box too.
  aboutAction_ = new QAction(QStringLiteral("关于 Korvex(&A)..."), this);
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
  fillDriveList();
  setOutputFolderToProgramFolder();

  connect(browse_, &QPushButton::clicked, this, &MainDialog::onBrowse);
  connect(allChannels_, &QCheckBox::clicked, this, &MainDialog::onAllChannels);
  connect(advanced_, &QPushButton::clicked, this, &MainDialog::onAdvancedSetting);
  connect(languageList_, &QComboBox::activated, this, &MainDialog::onLanguageChanged);
  setUpJobControl();
  setUpSegmentView();

  startBackup_->setFocus();
  layout()->activate();
}

MainDialog::~MainDialog() {
  // Gone some other way than by closing (the program ending): the worker
  // still finishes its files before the results it writes go.
  runner_->requestStop();
  runner_->end();
}

void MainDialog::createControls() {
  languageLabel_ = makeLabel(this, ID_LANGUAGE_LABEL, QStringLiteral("语言"));
  languageList_ = makeControl<QComboBox>(this, ID_LANGUAGE_LIST);
  languageList_->setEditable(true);
  // Typing into the field changes nothing; only choosing an entry does.
  languageList_->setInsertPolicy(QComboBox::NoInsert);
  languageList_->setCompleter(nullptr);
  languageList_->installEventFilter(this);
  languageList_->lineEdit()->installEventFilter(this);

  backupTimeLabel_ = makeLabel(this, ID_BACKUP_TIME_LABEL, QStringLiteral("备份时间段"));
  beginDate_ = makeControl<QDateEdit>(this, ID_BEGIN_DATE);
  beginTime_ = makeControl<QTimeEdit>(this, ID_BEGIN_TIME);
  endDate_ = makeControl<QDateEdit>(this, ID_END_DATE);
  endTime_ = makeControl<QTimeEdit>(this, ID_END_TIME);
  for (QDateEdit* date : {beginDate_, endDate_}) {
    date->setCalendarPopup(true);
    date->setDisplayFormat(pickerDateFormat());
    date->setDateRange(firstPickerDate(), lastPickerDate());
  }
  for (QTimeEdit* time : {beginTime_, endTime_}) time->setDisplayFormat(QStringLiteral("HH:mm:ss"));

  channelLabel_ = makeLabel(this, ID_CHANNEL_LABEL, QStringLiteral("备份通道号"));
  for (int k = 0; k < SELECTABLE_CHANNELS; ++k)
    channelBoxes_[static_cast<std::size_t>(k)] =
        makeCheckBox(this, ID_CHANNEL_FIRST + k, QStringLiteral("%1").arg(k + 1, 2, 10, QLatin1Char('0')));
  allChannels_ = makeCheckBox(this, ID_ALL_CHANNELS, QStringLiteral("All"));

  recordTypeLabel_ = makeLabel(this, ID_RECORD_TYPE_LABEL, QStringLiteral("备份录像类型"));
  typeTime_ = makeCheckBox(this, ID_TYPE_TIME, QStringLiteral("定时"));
  typeMotion_ = makeCheckBox(this, ID_TYPE_MOTION, QStringLiteral("移动"));
  typeSensor_ = makeCheckBox(this, ID_TYPE_SENSOR, QStringLiteral("警告"));
  typeManual_ = makeCheckBox(this, ID_TYPE_MANUAL, QStringLiteral("手动"));

  diskLabel_ = makeLabel(this, ID_DISK_LABEL, QStringLiteral("备份硬盘"));
  driveList_ = makeControl<QComboBox>(this, ID_DRIVE_LIST);
  // Editable, so that a copied recorder disk or a mounted image folder can
  // be typed or pasted.
  driveList_->setEditable(true);
  driveList_->setInsertPolicy(QComboBox::NoInsert);

  outputLabel_ = makeLabel(this, ID_OUTPUT_LABEL, QStringLiteral("输出路径"));
  outputFolder_ = makeControl<QLineEdit>(this, ID_OUTPUT_FOLDER);
  browse_ = makeButton(this, ID_BROWSE, QStringLiteral("浏览"));

  startBackup_ = makeButton(this, ID_START_BACKUP, QStringLiteral("开始备份"));
  stopBackup_ = makeButton(this, ID_STOP_BACKUP, QStringLiteral("停止备份"));
  advanced_ = makeButton(this, ID_ADVANCED_SETTING, QStringLiteral("高级选项"));

  status_ = makeControl<QPlainTextEdit>(this, ID_STATUS);
  status_->setTabChangesFocus(true);
  status_->setLineWrapMode(QPlainTextEdit::NoWrap);

  lowerBand_ = new QWidget(this);
  lowerBand_->setObjectName(QStringLiteral("lowerBand"));
  sizeLimitLabel_ = makeLabel(lowerBand_, ID_SIZE_LIMIT_LABEL, QStringLiteral("备份最大数据量(M)"));
  sizeLimit_ = makeControl<QLineEdit>(lowerBand_, ID_SIZE_LIMIT);
  folderRangeLabel_ = makeLabel(lowerBand_, ID_FOLDER_RANGE_LABEL, QStringLiteral("目录范围"));
  folderStart_ = makeControl<QLineEdit>(lowerBand_, ID_FOLDER_START);
  folderEnd_ = makeControl<QLineEdit>(lowerBand_, ID_FOLDER_END);
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
  const int numberWidth = metrics.horizontalAdvance(QStringLiteral("0000000")) + 12;
  for (QLineEdit* edit : {sizeLimit_, folderStart_, folderEnd_}) edit->setFixedWidth(numberWidth);
  outputFolder_->setMinimumWidth(metrics.averageCharWidth() * 42);
  driveList_->setMinimumWidth(metrics.averageCharWidth() * 24);
  languageList_->setMinimumWidth(metrics.averageCharWidth() * 14);
  // Room for the two status lines.
  status_->setFixedHeight(metrics.lineSpacing() * 2 + 2 * status_->frameWidth() +
                          2 * static_cast<int>(status_->document()->documentMargin()) + 4);
  percent_->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("100%")) + 4);

  upperGrid_ = new QGridLayout;
  upperGrid_->setColumnStretch(1, 1);
  int row = 0;

  auto* languageRow = new QHBoxLayout;
  languageRow->addWidget(languageList_);
  languageRow->addStretch();
  upperGrid_->addWidget(languageLabel_, row, 0);
  upperGrid_->addLayout(languageRow, row++, 1);

  auto* timeRow = new QHBoxLayout;
  timeRow->addWidget(beginDate_);
  timeRow->addWidget(beginTime_);
  timeRow->addSpacing(12);
  timeRow->addWidget(endDate_);
  timeRow->addWidget(endTime_);
  timeRow->addStretch();
  upperGrid_->addWidget(backupTimeLabel_, row, 0);
  upperGrid_->addLayout(timeRow, row++, 1);

  auto* channelGrid = new QGridLayout;
  channelGrid->setHorizontalSpacing(6);
  for (int k = 0; k < SELECTABLE_CHANNELS; ++k)
    channelGrid->addWidget(channelBoxes_[static_cast<std::size_t>(k)], k / 8, k % 8);
  channelGrid->addWidget(allChannels_, 1, 8);
  channelGrid->setColumnStretch(9, 1);
  upperGrid_->addWidget(channelLabel_, row, 0);
  upperGrid_->addLayout(channelGrid, row++, 1);

  auto* typeRow = new QHBoxLayout;
  for (QCheckBox* box : {typeTime_, typeMotion_, typeSensor_, typeManual_}) typeRow->addWidget(box);
  typeRow->addStretch();
  upperGrid_->addWidget(recordTypeLabel_, row, 0);
  upperGrid_->addLayout(typeRow, row++, 1);

  auto* diskRow = new QHBoxLayout;
  diskRow->addWidget(driveList_);
  diskRow->addStretch();
  upperGrid_->addWidget(diskLabel_, row, 0);
  upperGrid_->addLayout(diskRow, row++, 1);

  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(outputFolder_, 1);
  outputRow->addWidget(browse_);
  upperGrid_->addWidget(outputLabel_, row, 0);
  upperGrid_->addLayout(outputRow, row++, 1);

  auto* jobRow = new QHBoxLayout;
  jobRow->addWidget(startBackup_);
  jobRow->addWidget(stopBackup_);
  jobRow->addWidget(advanced_);
  jobRow->addStretch();
  upperGrid_->addLayout(jobRow, row++, 0, 1, 2);
  upperGrid_->addWidget(status_, row++, 0, 1, 2);

  lowerGrid_ = new QGridLayout(lowerBand_);
  lowerGrid_->setContentsMargins(0, 0, 0, 0);
  lowerGrid_->setColumnStretch(1, 1);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(sizeLimit_);
  sizeRow->addStretch();
  lowerGrid_->addWidget(sizeLimitLabel_, 0, 0);
  lowerGrid_->addLayout(sizeRow, 0, 1);
  auto* rangeRow = new QHBoxLayout;
  rangeRow->addWidget(folderStart_);
  rangeRow->addWidget(folderEnd_);
  rangeRow->addStretch();
  lowerGrid_->addWidget(folderRangeLabel_, 1, 0);
  lowerGrid_->addLayout(rangeRow, 1, 1);
  auto* scanRow = new QHBoxLayout;
  scanRow->addWidget(scan_);
  scanRow->addWidget(stopScan_);
  scanRow->addWidget(progress_, 1);
  scanRow->addWidget(percent_);
  lowerGrid_->addLayout(scanRow, 2, 0, 1, 2);

  auto* outer = new QVBoxLayout(this);
  outer->addLayout(upperGrid_);
  outer->addWidget(lowerBand_);
  // The window takes the size of what it shows: the height follows the
  // lower band, and the user cannot resize it.
  outer->setSizeConstraint(QLayout::SetFixedSize);
}

void MainDialog::setFocusOrder() {
  std::vector<QWidget*> order = {startBackup_, driveList_, outputFolder_, typeTime_, typeMotion_, typeSensor_,
                                 typeManual_};
  order.insert(order.end(), channelBoxes_.begin(), channelBoxes_.end());
  order.insert(order.end(), {sizeLimit_, beginDate_, beginTime_, endDate_, endTime_, browse_, status_, folderStart_,
                             folderEnd_, stopBackup_, scan_, advanced_, allChannels_, languageList_, stopScan_});
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void MainDialog::setInitialStates() {
  for (QCheckBox* box : channelBoxes_) box->setChecked(false);
  for (QCheckBox* box : {typeTime_, typeMotion_, typeSensor_, typeManual_}) box->setChecked(true);
  allChannels_->setChecked(false);
  // All four pickers start at the moment the window opens.
  const QDateTime now = QDateTime::currentDateTime();
  for (QDateEdit* date : {beginDate_, endDate_}) date->setDate(now.date());
  for (QTimeEdit* time : {beginTime_, endTime_}) time->setTime(QTime(now.time().hour(), now.time().minute(),
                                                                      now.time().second()));
  for (QLineEdit* edit : {sizeLimit_, folderStart_, folderEnd_}) edit->setText(QStringLiteral("0"));
}

void MainDialog::setUpLanguage() {
  for (const char* entry : LANGUAGE_LIST_ENTRIES) languageList_->addItem(QString::fromUtf8(entry));
  currentLanguage = readStartupLanguage();
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
  alignLabelColumns();
}

void MainDialog::onLanguageChanged() {
  currentLanguage = languageList_->currentIndex();
  applyLanguageTexts();
}

void MainDialog::alignLabelColumns() {
  // The upper form and the lower band line up their fields.
  int width = 0;
  for (QLabel* label : {languageLabel_, backupTimeLabel_, channelLabel_, recordTypeLabel_, diskLabel_, outputLabel_,
                        sizeLimitLabel_, folderRangeLabel_})
    width = std::max(width, label->sizeHint().width());
  upperGrid_->setColumnMinimumWidth(0, width);
  lowerGrid_->setColumnMinimumWidth(0, width);
}

void MainDialog::fillDriveList() {
  for (const std::string& root : listDriveRoots()) driveList_->addItem(QFile::decodeName(root.c_str()));
  if (driveList_->count() > 0) driveList_->setCurrentIndex(0);
}

void MainDialog::setOutputFolderToProgramFolder() {
  outputFolder_->setText(QFile::decodeName(defaultOutputFolder().c_str()));
}

QWidget* MainDialog::control(int id) const { return findChild<QWidget*>(controlName(id)); }

QString MainDialog::languageCaption(const char* key) { return QString::fromStdString(languageText(key)); }

QString MainDialog::controlText(int id) const {
  QWidget* widget = control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
  return {};
}

void MainDialog::captureBackupSettings(JobSettings& settings) const {
  settings.folderStart = readIntegerText(controlText(ID_FOLDER_START).toStdString());
  settings.folderEnd = readIntegerText(controlText(ID_FOLDER_END).toStdString());
  settings.beginTime = pickerTime(beginDate_, beginTime_);
  settings.endTime = pickerTime(endDate_, endTime_);
  settings.maxDataSizeMB = readSizeLimitText(controlText(ID_SIZE_LIMIT).toStdString());
  settings.channelEnabled.fill(0);
  for (int k = 0; k < SELECTABLE_CHANNELS; ++k)
    settings.channelEnabled[static_cast<std::size_t>(k)] = channelBoxes_[static_cast<std::size_t>(k)]->isChecked();
  settings.recordTypeEnabled.fill(0);
  settings.recordTypeEnabled[RECORD_TYPE_TIME] = typeTime_->isChecked();
  settings.recordTypeEnabled[RECORD_TYPE_MOTION] = typeMotion_->isChecked();
  settings.recordTypeEnabled[RECORD_TYPE_SENSOR] = typeSensor_->isChecked();
  settings.recordTypeEnabled[RECORD_TYPE_MANUAL] = typeManual_->isChecked();
  settings.diskRoot = diskRootFromText(localPath(controlText(ID_DRIVE_LIST)));
  settings.outputFolder = localPath(controlText(ID_OUTPUT_FOLDER));
}

void MainDialog::captureScanSettings(JobSettings& settings) const {
  settings.folderStart = readIntegerText(controlText(ID_FOLDER_START).toStdString());
  settings.folderEnd = readIntegerText(controlText(ID_FOLDER_END).toStdString());
  settings.diskRoot = diskRootFromText(localPath(controlText(ID_DRIVE_LIST)));
  settings.outputFolder = localPath(controlText(ID_OUTPUT_FOLDER));
}

void MainDialog::onBrowse() {
  // The chooser opens where the output goes by default: the folder that
  // holds the program, or the home folder of an installed one.
  QString start = QFile::decodeName(defaultOutputFolder().c_str());
  while (start.size() > 1 && start.endsWith(QLatin1Char('/'))) start.chop(1);
  QString chosen = folderChooser_(this, QStringLiteral("请选择路径: "), start);
  if (chosen.isEmpty()) return;
  while (chosen.size() > 1 && chosen.endsWith(QLatin1Char('/'))) chosen.chop(1);
  outputFolder_->setText(chosen);
}

void MainDialog::onAllChannels() {
  const bool checked = allChannels_->isChecked();
  for (QCheckBox* box : channelBoxes_) box->setChecked(checked);
}

void MainDialog::onAdvancedSetting() {
  advancedCollapsed_ = !advancedCollapsed_;
  lowerBand_->setVisible(!advancedCollapsed_);
  layout()->activate();
  raise();
}

void MainDialog::showAbout() {
  AboutDialog about(this);
  runModal(about);
}

void MainDialog::showMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, this);
  runModal(box);
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

void MainDialog::setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }

int MainDialog::runModal(QDialog& dialog) { return modalRunner_(dialog); }

void MainDialog::keyPressEvent(QKeyEvent* event) {
  if (isPlainEnter(*event)) {
    // Enter presses a push button that has the focus; in an edit box it
    // neither starts a job nor closes the window.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) button->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  // An editable combo box picks the entry whose text was typed when editing
  // finishes (Enter, or the focus leaving it). In the language list only a
  // chosen entry may change the language, so the field gets back the
  // selected entry's text first.
  if (watched == languageList_ || watched == languageList_->lineEdit()) {
    const bool finishing = event->type() == QEvent::FocusOut ||
                           (event->type() == QEvent::KeyPress && isPlainEnter(*static_cast<QKeyEvent*>(event)));
    if (finishing) restoreLanguageField();
  }
  return QDialog::eventFilter(watched, event);
}

void MainDialog::restoreLanguageField() {
  const int selected = languageList_->currentIndex();
  const QString text = selected >= 0 ? languageList_->itemText(selected) : QString();
  if (languageList_->lineEdit()->text() != text) languageList_->lineEdit()->setText(text);
}

}  // namespace korvex

