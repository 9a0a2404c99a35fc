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

// The disk as a job names it: a folder's root ends with '/'; an image file
// or a device (anything but a folder that exists) is named as it is.
std::string diskArgument(const QString& text) {
  const QString trimmed = text.trimmed();
  const QFileInfo info(trimmed);
  const bool file = info.exists() && !info.isDir();
  return file ? localPath(trimmed) : diskRootFromText(localPath(trimmed));
}

bool isPlainEnter(const QKeyEvent& event) {
  return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) &&
         (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

void setPicker(QDateEdit* date, QTimeEdit* time, const QDateTime& moment) {
  date->setDate(moment.date());
  const QTime t = moment.time();
  time->setTime(QTime(t.hour(), t.minute(), t.second()));
}

// The first local file of a drop from a file manager, or the empty text.
QString droppedPath(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return QDir::cleanPath(url.toLocalFile());
  return {};
}

// The folder to open a chooser at: the typed one, or the nearest folder
// above it that exists; `fallback` when none does.
QString existingFolderAt(QString path, const QString& fallback) {
  path = path.trimmed();
  while (!path.isEmpty()) {
    const QFileInfo info(path);
    if (info.isDir()) return QDir::cleanPath(info.absoluteFilePath());
    const QString parent = QDir::cleanPath(info.absolutePath());
    if (parent == QDir::cleanPath(info.absoluteFilePath())) break;
    path = parent;
  }
  return fallback;
}

}  // namespace

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent),
      modalRunner_([](QDialog& dialog) { return dialog.exec(); }),
      folderChooser_([](QWidget* owner, const QString& title, const QString& startFolder) {
        return QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
      }),
      fileChooser_([](QWidget* owner, const QString& title, const QString& startFolder, const QString& filter) {
        return QFileDialog::getOpenFileName(owner, title, startFolder, filter);
      }),
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
  fillDriveList();
  setDefaultOutputFolder();

  connect(browse_, &QPushButton::clicked, this, &MainDialog::onBrowse);
  connect(diskFolderAction_, &QAction::triggered, this, &MainDialog::onBrowseDiskFolder);
  connect(diskImageAction_, &QAction::triggered, this, &MainDialog::onBrowseDiskImage);
  connect(allChannels_, &QCheckBox::clicked, this, &MainDialog::onAllChannels);
  for (QCheckBox* box : channelBoxes_) connect(box, &QCheckBox::toggled, this, &MainDialog::updateAllChannels);
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
  // Editable, so that a copied recorder disk, an image file or a device
  // can be typed, pasted or dropped from a file manager.
  driveList_->setEditable(true);
  driveList_->setInsertPolicy(QComboBox::NoInsert);
  driveList_->lineEdit()->installEventFilter(this);
  diskBrowse_ = new QPushButton(this);
  diskBrowse_->setObjectName(QStringLiteral("diskBrowse"));
  diskBrowse_->setAutoDefault(false);
  auto* diskMenu = new QMenu(diskBrowse_);
  diskFolderAction_ = diskMenu->addAction(QString());
  diskImageAction_ = diskMenu->addAction(QString());
  diskBrowse_->setMenu(diskMenu);

  outputLabel_ = makeLabel(this, ID_OUTPUT_LABEL, QStringLiteral("输出路径"));
  outputFolder_ = makeControl<QLineEdit>(this, ID_OUTPUT_FOLDER);
  outputFolder_->installEventFilter(this);
  browse_ = makeButton(this, ID_BROWSE, QStringLiteral("浏览"));

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

  lowerBand_ = new QWidget(this);
  lowerBand_->setObjectName(QStringLiteral("lowerBand"));
  sizeLimitLabel_ = makeLabel(lowerBand_, ID_SIZE_LIMIT_LABEL, QStringLiteral("备份最大数据量(M)"));
  sizeLimit_ = makeControl<QLineEdit>(lowerBand_, ID_SIZE_LIMIT);
  folderRangeLabel_ = makeLabel(lowerBand_, ID_FOLDER_RANGE_LABEL, QStringLiteral("目录范围"));
  folderStart_ = makeControl<QLineEdit>(lowerBand_, ID_FOLDER_START);
  folderEnd_ = makeControl<QLineEdit>(lowerBand_, ID_FOLDER_END);
  partitionLabel_ = new QLabel(lowerBand_);
  partitionLabel_->setObjectName(QStringLiteral("partitionLabel"));
  partition_ = new QSpinBox(lowerBand_);
  partition_->setObjectName(QStringLiteral("partition"));
  partition_->setRange(0, 128);
  scan_ = makeButton(lowerBand_, ID_SCAN, QStringLiteral("扫描"));
  stopScan_ = makeButton(lowerBand_, ID_STOP_SCAN, QStringLiteral("停止扫描"));
  recover_ = new QCheckBox(QStringLiteral("恢复损坏的录像"), lowerBand_);
  recover_->setObjectName(QStringLiteral("recover"));
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
  backupPercent_->setMinimumWidth(percent_->minimumWidth());

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
  diskRow->addWidget(driveList_, 1);
  diskRow->addWidget(diskBrowse_);
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
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(sizeLimit_);
  addAdvancedRow(sizeLimitLabel_, sizeRow);
  auto* rangeRow = new QHBoxLayout;
  rangeRow->addWidget(folderStart_);
  rangeRow->addWidget(folderEnd_);
  addAdvancedRow(folderRangeLabel_, rangeRow);
  auto* partitionRow = new QHBoxLayout;
  partitionRow->addWidget(partition_);
  addAdvancedRow(partitionLabel_, partitionRow);
  auto* recoverRow = new QHBoxLayout;
  recoverRow->addWidget(recover_);
  addAdvancedRow(new QLabel(lowerBand_), recoverRow);
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
  std::vector<QWidget*> order = {languageList_, beginDate_, beginTime_, endDate_, endTime_};
  order.insert(order.end(), channelBoxes_.begin(), channelBoxes_.begin() + 8);
  order.insert(order.end(), channelBoxes_.begin() + 8, channelBoxes_.end());
  order.insert(order.end(), {allChannels_, typeTime_, typeMotion_, typeSensor_, typeManual_, driveList_,
                             diskBrowse_, outputFolder_, browse_, startBackup_, stopBackup_, advanced_, status_,
                             sizeLimit_, folderStart_, folderEnd_, partition_, recover_, scan_, stopScan_});
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void MainDialog::setInitialStates() {
  for (QCheckBox* box : channelBoxes_) box->setChecked(false);
  for (QCheckBox* box : {typeTime_, typeMotion_, typeSensor_, typeManual_}) box->setChecked(true);
  allChannels_->setChecked(false);
  // The last 24 hours, until a scan shows where the recordings lie.
  const QDateTime now = QDateTime::currentDateTime();
  setPicker(beginDate_, beginTime_, now.addSecs(-24 * 3600));
  setPicker(endDate_, endTime_, now);
  for (QLineEdit* edit : {sizeLimit_, folderStart_, folderEnd_}) edit->setText(QStringLiteral("0"));
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
  diskBrowse_->setText(languageCaption(KEY_BROWSE));
  diskFolderAction_->setText(languageCaption(KEY_DISK_FOLDER));
  diskImageAction_->setText(languageCaption(KEY_DISK_IMAGE));
  partitionLabel_->setText(languageCaption(KEY_PARTITION));
  aboutAction_->setText(languageCaption(KEY_ABOUT_ENTRY));
  recover_->setText(languageCaption(KEY_RECOVER));
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

void MainDialog::setDefaultOutputFolder() {
  // The user's Videos folder where the desktop has one, else the home folder.
  const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
  outputFolder_->setText(!videos.isEmpty() && QFileInfo(videos).isDir() ? videos : QDir::homePath());
}

void MainDialog::restoreSettings() {
  const WindowSettings remembered = WindowSettings::load();
  if (!remembered.disk.isEmpty()) driveList_->setEditText(remembered.disk);
  if (!remembered.outputFolder.isEmpty()) outputFolder_->setText(remembered.outputFolder);
  if (remembered.advancedOpen) onAdvancedSetting();
  if (remembered.width > 0) resize(std::max(remembered.width, minimumWidth()), height());
}

void MainDialog::saveSettings() const {
  WindowSettings remembered;
  remembered.disk = driveList_->currentText();
  remembered.outputFolder = outputFolder_->text();
  remembered.language = currentLanguage;
  remembered.width = width();
  remembered.advancedOpen = !advancedCollapsed_;
  remembered.save();
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
  settings.diskRoot = diskArgument(controlText(ID_DRIVE_LIST));
  settings.outputFolder = localPath(controlText(ID_OUTPUT_FOLDER));
  settings.recover = recover_->isChecked();
}

void MainDialog::captureScanSettings(JobSettings& settings) const {
  settings.folderStart = readIntegerText(controlText(ID_FOLDER_START).toStdString());
  settings.folderEnd = readIntegerText(controlText(ID_FOLDER_END).toStdString());
  settings.diskRoot = diskArgument(controlText(ID_DRIVE_LIST));
  settings.outputFolder = localPath(controlText(ID_OUTPUT_FOLDER));
  settings.recover = recover_->isChecked();
}

namespace {
QString withoutTrailingSlash(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}
}  // namespace

void MainDialog::onBrowse() {
  // The chooser opens at the folder typed in the box.
  const QString start = existingFolderAt(outputFolder_->text(), QDir::homePath());
  const QString chosen = folderChooser_(this, languageCaption(KEY_CHOOSE_FOLDER), start);
  if (chosen.isEmpty()) return;
  outputFolder_->setText(withoutTrailingSlash(chosen));
}

void MainDialog::onBrowseDiskFolder() {
  const QString start = existingFolderAt(driveList_->currentText(), QDir::rootPath());
  const QString chosen = folderChooser_(this, languageCaption(KEY_CHOOSE_FOLDER), start);
  if (chosen.isEmpty()) return;
  driveList_->setEditText(withoutTrailingSlash(chosen));
}

void MainDialog::onBrowseDiskImage() {
  const QString start = existingFolderAt(driveList_->currentText(), QDir::homePath());
  const QString chosen =
      fileChooser_(this, languageCaption(KEY_CHOOSE_IMAGE), start, languageCaption(KEY_DISK_IMAGE_FILES));
  if (chosen.isEmpty()) return;
  driveList_->setEditText(chosen);
}

void MainDialog::onAllChannels() {
  // From a partial or clear state every channel is ticked; from all ticked,
  // none.
  const bool all = std::all_of(channelBoxes_.begin(), channelBoxes_.end(),
                               [](const QCheckBox* box) { return box->isChecked(); });
  for (QCheckBox* box : channelBoxes_) box->setChecked(!all);
  updateAllChannels();
}

void MainDialog::updateAllChannels() {
  const auto ticked = std::count_if(channelBoxes_.begin(), channelBoxes_.end(),
                                    [](const QCheckBox* box) { return box->isChecked(); });
  if (ticked == 0 || ticked == SELECTABLE_CHANNELS) {
    allChannels_->setTristate(false);
    allChannels_->setCheckState(ticked == 0 ? Qt::Unchecked : Qt::Checked);
  } else {
    allChannels_->setCheckState(Qt::PartiallyChecked);
  }
}

void MainDialog::onAdvancedSetting() {
  advancedCollapsed_ = !advancedCollapsed_;
  lowerBand_->setVisible(!advancedCollapsed_);
  fitHeight();
  raise();
}

void MainDialog::spanSegments(const std::vector<SegmentRecord>& segments) {
  if (segments.empty()) return;
  RecorderTime first = segments.front().startTime;
  RecorderTime last = segments.front().endTime;
  for (const SegmentRecord& segment : segments) {
    first = std::min(first, segment.startTime);
    last = std::max(last, segment.endTime);
  }
  // The times as the report shows them.
  const auto moment = [](RecorderTime t) {
    const CalendarTime c = recorderTimeToCalendar(t);
    return QDateTime(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute, c.second));
  };
  setPicker(beginDate_, beginTime_, moment(first));
  setPicker(endDate_, endTime_, moment(last));
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

void MainDialog::setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }

void MainDialog::setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }

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

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  // A folder or an image file dropped from a file manager gives its local
  // path, not its URL.
  auto* edit = qobject_cast<QLineEdit*>(watched);
  const bool pathBox = edit != nullptr && (edit == outputFolder_ || edit == driveList_->lineEdit());
  if (pathBox && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
    auto* drag = static_cast<QDropEvent*>(event);
    if (!droppedPath(drag->mimeData()).isEmpty()) {
      drag->acceptProposedAction();
      return true;
    }
  } else if (pathBox && event->type() == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    const QString path = droppedPath(drop->mimeData());
    if (!path.isEmpty()) {
      if (edit == outputFolder_) edit->setText(path);
      else driveList_->setEditText(path);
      drop->acceptProposedAction();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace korvex

