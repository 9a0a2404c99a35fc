#include "app/selection_form.h"

#include <QAction>
#include <QBoxLayout>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTextCharFormat>
#include <QTimeEdit>
#include <QUrl>
#include <algorithm>
#include <utility>

#include "app/case_dialog.h"
#include "app/window_controls.h"
#include "app/window_settings.h"
#include "jobs/job_checks.h"
#include "jobs/selection.h"
#include "lang/language_keys.h"
#include "store/disk_source.h"
#include "store/drive_list.h"
#include "store/record_types.h"
#include "store/recorder_time.h"

namespace korvex {

namespace {

// Whole days whose every second a signed 32-bit recorder time can hold
// (1901-12-13 20:45:52 to 2038-01-19 03:14:07).
QDate firstPickerDate() { return QDate(1901, 12, 14); }
QDate lastPickerDate() { return QDate(2038, 1, 18); }

// The locale's short date format, with the year written in full: the range
// spans two centuries.
QString pickerDateFormat(const QLocale& locale = QLocale()) {
  QString format = locale.dateFormat(QLocale::ShortFormat);
  if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  return format;
}

RecorderTime pickerTime(const QDateEdit* date, const QTimeEdit* time, LocalOccurrence which) {
  const QDate d = date->date();
  const QTime t = time->time();
  return recorderTimeFromPickers(LocalDate{d.year(), d.month(), d.day()},
                                 LocalTimeOfDay{t.hour(), t.minute(), t.second()}, which);
}

std::string localPath(const QString& text) { return QFile::encodeName(text).toStdString(); }

// The disk as a job names it: a folder's root ends with '/'; an image file
// or a device (anything but a folder that exists) is named as it is.
// The disk as a job names it.
std::string diskArgument(const QString& text) { return diskRootOf(localPath(text.trimmed())); }

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

QString withoutTrailingSlash(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

}  // namespace

SelectionForm::SelectionForm(QWidget* window, QWidget* band)
    : QObject(window),
      window_(window),
      band_(band),
      folderChooser_([](QWidget* owner, const QString& title, const QString& startFolder) {
        return QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
      }),
      fileChooser_([](QWidget* owner, const QString& title, const QString& startFolder, const QString& filter) {
        // Devices too: the toolkit's own dialog lists them only when asked.
        QFileDialog dialog(owner, title, startFolder, filter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setFilter(dialog.filter() | QDir::System);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return dialog.selectedFiles().constFirst();
      }) {
  createControls();
  fillDriveList();
  setDefaultOutputFolder();
  connect(browse_, &QPushButton::clicked, this, &SelectionForm::onBrowse);
  connect(diskFolderAction_, &QAction::triggered, this, &SelectionForm::onBrowseDiskFolder);
  connect(diskImageAction_, &QAction::triggered, this, &SelectionForm::onBrowseDiskImage);
  connect(allChannels_, &QCheckBox::clicked, this, &SelectionForm::onAllChannels);
  for (QCheckBox* box : channelBoxes_) connect(box, &QCheckBox::toggled, this, &SelectionForm::updateAllChannels);
}

void SelectionForm::createControls() {
  QWidget* const parent = window_;
  backupTimeLabel_ = makeLabel(parent, ID_BACKUP_TIME_LABEL, QStringLiteral("备份时间段"));
  beginDate_ = makeControl<QDateEdit>(parent, ID_BEGIN_DATE);
  beginTime_ = makeControl<QTimeEdit>(parent, ID_BEGIN_TIME);
  endDate_ = makeControl<QDateEdit>(parent, ID_END_DATE);
  endTime_ = makeControl<QTimeEdit>(parent, ID_END_TIME);
  for (QDateEdit* date : {beginDate_, endDate_}) {
    date->setCalendarPopup(true);
    date->setDisplayFormat(pickerDateFormat());
    date->setDateRange(firstPickerDate(), lastPickerDate());
  }
  for (QTimeEdit* time : {beginTime_, endTime_}) time->setDisplayFormat(QStringLiteral("HH:mm:ss"));

  channelLabel_ = makeLabel(parent, ID_CHANNEL_LABEL, QStringLiteral("备份通道号"));
  for (int k = 0; k < SELECTABLE_CHANNELS; ++k)
    channelBoxes_[static_cast<std::size_t>(k)] =
        makeCheckBox(parent, ID_CHANNEL_FIRST + k, QStringLiteral("%1").arg(k + 1, 2, 10, QLatin1Char('0')));
  allChannels_ = makeCheckBox(parent, ID_ALL_CHANNELS, QStringLiteral("All"));

  recordTypeLabel_ = makeLabel(parent, ID_RECORD_TYPE_LABEL, QStringLiteral("备份录像类型"));
  typeTime_ = makeCheckBox(parent, ID_TYPE_TIME, QStringLiteral("定时"));
  typeMotion_ = makeCheckBox(parent, ID_TYPE_MOTION, QStringLiteral("移动"));
  typeSensor_ = makeCheckBox(parent, ID_TYPE_SENSOR, QStringLiteral("警告"));
  typeManual_ = makeCheckBox(parent, ID_TYPE_MANUAL, QStringLiteral("手动"));

  diskLabel_ = makeLabel(parent, ID_DISK_LABEL, QStringLiteral("备份硬盘"));
  driveList_ = makeControl<QComboBox>(parent, ID_DRIVE_LIST);
  // Editable, so that a copied recorder disk, an image file or a device
  // can be typed, pasted or dropped from a file manager.
  driveList_->setEditable(true);
  driveList_->setInsertPolicy(QComboBox::NoInsert);
  driveList_->lineEdit()->installEventFilter(this);
  diskBrowse_ = new QPushButton(parent);
  diskBrowse_->setObjectName(QStringLiteral("diskBrowse"));
  diskBrowse_->setAutoDefault(false);
  auto* diskMenu = new QMenu(diskBrowse_);
  diskFolderAction_ = diskMenu->addAction(QString());
  diskImageAction_ = diskMenu->addAction(QString());
  diskBrowse_->setMenu(diskMenu);

  outputLabel_ = makeLabel(parent, ID_OUTPUT_LABEL, QStringLiteral("输出路径"));
  outputFolder_ = makeControl<QLineEdit>(parent, ID_OUTPUT_FOLDER);
  outputFolder_->installEventFilter(this);
  browse_ = makeButton(parent, ID_BROWSE, QStringLiteral("浏览"));

  sizeLimitLabel_ = makeLabel(band_, ID_SIZE_LIMIT_LABEL, QStringLiteral("备份最大数据量(M)"));
  sizeLimit_ = makeControl<QLineEdit>(band_, ID_SIZE_LIMIT);
  folderRangeLabel_ = makeLabel(band_, ID_FOLDER_RANGE_LABEL, QStringLiteral("目录范围"));
  folderStart_ = makeControl<QLineEdit>(band_, ID_FOLDER_START);
  folderEnd_ = makeControl<QLineEdit>(band_, ID_FOLDER_END);
  partitionLabel_ = new QLabel(band_);
  partitionLabel_->setObjectName(QStringLiteral("partitionLabel"));
  partition_ = new QSpinBox(band_);
  partition_->setObjectName(QStringLiteral("partition"));
  partition_->setRange(0, 128);
  recover_ = new QCheckBox(QStringLiteral("恢复损坏的录像"), band_);
  recover_->setObjectName(QStringLiteral("recover"));
  timeFile_ = new QCheckBox(QStringLiteral("写入时间文件"), band_);
  timeFile_->setObjectName(QStringLiteral("timeFile"));
  timeFile_->setChecked(true);
  // Whole numbers only: anything else would read as 0, no limit and the
  // first folder.
  const QRegularExpression digits(QStringLiteral("[0-9]{0,10}"));
  for (QLineEdit* edit : {sizeLimit_, folderStart_, folderEnd_})
    edit->setValidator(new QRegularExpressionValidator(digits, edit));
  caseLabel_ = new QLabel(band_);
  caseLabel_->setObjectName(QStringLiteral("caseLabel"));
  caseButton_ = new QPushButton(band_);
  caseButton_->setObjectName(QStringLiteral("editCase"));
  caseButton_->setAutoDefault(false);
  caseEditor_ = editCaseDetails;
  connect(caseButton_, &QPushButton::clicked, this, &SelectionForm::onEditCase);
  // Each output folder has the case details last given for it.
  connect(outputFolder_, &QLineEdit::textChanged, this,
          [this](const QString& folder) { caseDetails_ = WindowSettings::caseFor(folder); });
  clockOffsetLabel_ = new QLabel(band_);
  clockOffsetLabel_->setObjectName(QStringLiteral("clockOffsetLabel"));
  clockOffset_ = new QLineEdit(band_);
  clockOffset_->setObjectName(QStringLiteral("clockOffset"));
  rememberOffset_ = new QCheckBox(band_);
  rememberOffset_->setObjectName(QStringLiteral("rememberClockOffset"));
  windowClock_ = new QComboBox(window_);
  windowClock_->setObjectName(QStringLiteral("windowClock"));
  windowClock_->addItems({QString(), QString()});
  // When it was entered, for the log: the last edit of the text.
  connect(clockOffset_, &QLineEdit::textEdited, this, [this] { offsetEnteredAt_ = std::time(nullptr); });
  connect(driveList_, &QComboBox::currentTextChanged, this, &SelectionForm::onDiskTextChanged);
  connect(clockOffset_, &QLineEdit::textChanged, this, &SelectionForm::clockOffsetChanged);
}

void SelectionForm::addUpperRows(QGridLayout* grid, int& row) {
  const QFontMetrics metrics(window_->font());
  const int numberWidth = metrics.horizontalAdvance(QStringLiteral("0000000")) + 12;
  for (QLineEdit* edit : {sizeLimit_, folderStart_, folderEnd_}) edit->setFixedWidth(numberWidth);
  outputFolder_->setMinimumWidth(metrics.averageCharWidth() * 42);
  driveList_->setMinimumWidth(metrics.averageCharWidth() * 24);

  auto* timeRow = new QHBoxLayout;
  timeRow->addWidget(beginDate_);
  timeRow->addWidget(beginTime_);
  timeRow->addSpacing(12);
  timeRow->addWidget(endDate_);
  timeRow->addWidget(endTime_);
  timeRow->addSpacing(12);
  timeRow->addWidget(windowClock_);
  timeRow->addStretch();
  grid->addWidget(backupTimeLabel_, row, 0);
  grid->addLayout(timeRow, row++, 1);

  auto* channelGrid = new QGridLayout;
  channelGrid->setHorizontalSpacing(6);
  for (int k = 0; k < SELECTABLE_CHANNELS; ++k)
    channelGrid->addWidget(channelBoxes_[static_cast<std::size_t>(k)], k / 8, k % 8);
  channelGrid->addWidget(allChannels_, 1, 8);
  channelGrid->setColumnStretch(9, 1);
  grid->addWidget(channelLabel_, row, 0);
  grid->addLayout(channelGrid, row++, 1);

  auto* typeRow = new QHBoxLayout;
  for (QCheckBox* box : {typeTime_, typeMotion_, typeSensor_, typeManual_}) typeRow->addWidget(box);
  typeRow->addStretch();
  grid->addWidget(recordTypeLabel_, row, 0);
  grid->addLayout(typeRow, row++, 1);

  auto* diskRow = new QHBoxLayout;
  diskRow->addWidget(driveList_, 1);
  diskRow->addWidget(diskBrowse_);
  grid->addWidget(diskLabel_, row, 0);
  grid->addLayout(diskRow, row++, 1);

  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(outputFolder_, 1);
  outputRow->addWidget(browse_);
  grid->addWidget(outputLabel_, row, 0);
  grid->addLayout(outputRow, row++, 1);
}

void SelectionForm::addAdvancedRows(const std::function<void(QWidget* label, QLayout* fields)>& addAdvancedRow) {
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
  addAdvancedRow(new QLabel(band_), recoverRow);
  auto* timeFileRow = new QHBoxLayout;
  timeFileRow->addWidget(timeFile_);
  addAdvancedRow(new QLabel(band_), timeFileRow);
  auto* caseRow = new QHBoxLayout;
  caseRow->addWidget(caseButton_);
  caseRow->addStretch(1);
  addAdvancedRow(caseLabel_, caseRow);
  auto* offsetRow = new QHBoxLayout;
  clockOffset_->setMinimumWidth(QFontMetrics(band_->font()).averageCharWidth() * 42);
  offsetRow->addWidget(clockOffset_, 1);
  offsetRow->addWidget(rememberOffset_);
  addAdvancedRow(clockOffsetLabel_, offsetRow);
}

// The form top to bottom, each row left to right.
std::vector<QWidget*> SelectionForm::upperFocusOrder() const {
  std::vector<QWidget*> order = {beginDate_, beginTime_, endDate_, endTime_, windowClock_};
  order.insert(order.end(), channelBoxes_.begin(), channelBoxes_.begin() + 8);
  order.insert(order.end(), channelBoxes_.begin() + 8, channelBoxes_.end());
  order.insert(order.end(), {allChannels_, typeTime_, typeMotion_, typeSensor_, typeManual_, driveList_,
                             diskBrowse_, outputFolder_, browse_});
  return order;
}

std::vector<QWidget*> SelectionForm::advancedFocusOrder() const {
  return {sizeLimit_, folderStart_, folderEnd_, partition_, recover_, timeFile_, caseButton_, clockOffset_,
          rememberOffset_};
}

int SelectionForm::labelColumnWidth() const {
  int width = 0;
  for (QLabel* label : {backupTimeLabel_, channelLabel_, recordTypeLabel_, diskLabel_, outputLabel_,
                        sizeLimitLabel_, folderRangeLabel_, clockOffsetLabel_})
    width = std::max(width, label->sizeHint().width());
  return width;
}

void SelectionForm::applyLocale(const QLocale& locale) {
  for (QDateEdit* date : {beginDate_, endDate_}) {
    date->setLocale(locale);
    if (QCalendarWidget* calendar = date->calendarWidget()) calendar->setLocale(locale);
    date->setDisplayFormat(pickerDateFormat(locale));
  }
  for (QTimeEdit* time : {beginTime_, endTime_}) time->setLocale(locale);
}

void SelectionForm::applyLanguageTexts() {
  diskBrowse_->setText(languageCaption(KEY_BROWSE));
  diskFolderAction_->setText(languageCaption(KEY_DISK_FOLDER));
  diskImageAction_->setText(languageCaption(KEY_DISK_IMAGE));
  partitionLabel_->setText(languageCaption(KEY_PARTITION));
  recover_->setText(languageCaption(KEY_RECOVER));
  timeFile_->setText(languageCaption(KEY_WRITE_TIME_FILE));
  caseLabel_->setText(languageCaption(KEY_CASE_DETAILS));
  caseButton_->setText(languageCaption(KEY_EDIT_CASE));
  clockOffsetLabel_->setText(languageCaption(KEY_CLOCK_OFFSET));
  clockOffset_->setPlaceholderText(languageCaption(KEY_CLOCK_OFFSET_HINT));
  rememberOffset_->setText(languageCaption(KEY_REMEMBER_FOR_DISK));
  windowClock_->setItemText(0, languageCaption(KEY_RECORDER_TIME));
  windowClock_->setItemText(1, languageCaption(KEY_CORRECTED_TIME));
}

std::optional<ClockOffset> SelectionForm::clockOffset(const char*& problem) const {
  problem = nullptr;
  const bool corrected = windowClock_->currentIndex() == 1;
  const std::string text = clockOffset_->text().trimmed().toStdString();
  if (text.empty()) {
    if (corrected) problem = KEY_CORRECTED_NEEDS_OFFSET;
    return std::nullopt;
  }
  std::string why;
  std::optional<ClockOffset> offset = parseClockOffset(text, why);
  if (!offset) {
    problem = KEY_BAD_CLOCK_OFFSET;
    return std::nullopt;
  }
  offset->givenBy = processUserName() + " (entered in the window)";
  offset->givenAt = offsetEnteredAt_ != 0 ? offsetEnteredAt_ : std::time(nullptr);
  return offset;
}

QString SelectionForm::clockOffsetText() const { return clockOffset_->text().trimmed(); }

bool SelectionForm::rememberClockOffset() const { return rememberOffset_->isChecked(); }

void SelectionForm::takeRememberedClockOffset(const QString& text) {
  if (text.isEmpty()) {
    // An offset remembered for the disk before does not hold for this one.
    if (rememberOffset_->isChecked()) clockOffset_->clear();
    rememberOffset_->setChecked(false);
    return;
  }
  clockOffset_->setText(text);
  rememberOffset_->setChecked(true);
  offsetEnteredAt_ = 0;
}

void SelectionForm::onDiskTextChanged(const QString& disk) {
  takeRememberedClockOffset(WindowSettings::clockOffsetForDisk(disk));
}

void SelectionForm::setInitialStates() {
  for (QCheckBox* box : channelBoxes_) box->setChecked(false);
  for (QCheckBox* box : {typeTime_, typeMotion_, typeSensor_, typeManual_}) box->setChecked(true);
  allChannels_->setChecked(false);
  // The last 24 hours, until a scan shows where the recordings lie.
  const QDateTime now = QDateTime::currentDateTime();
  setPicker(beginDate_, beginTime_, now.addSecs(-24 * 3600));
  setPicker(endDate_, endTime_, now);
  for (QLineEdit* edit : {sizeLimit_, folderStart_, folderEnd_}) edit->setText(QStringLiteral("0"));
}

void SelectionForm::fillDriveList() {
  for (const std::string& root : listDriveRoots()) driveList_->addItem(QFile::decodeName(root.c_str()));
  if (driveList_->count() > 0) driveList_->setCurrentIndex(0);
}

void SelectionForm::setDefaultOutputFolder() {
  // The user's Videos folder where the desktop has one, else the home folder.
  const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
  outputFolder_->setText(!videos.isEmpty() && QFileInfo(videos).isDir() ? videos : QDir::homePath());
}

QString SelectionForm::diskText() const { return driveList_->currentText(); }

QString SelectionForm::outputFolderText() const { return outputFolder_->text(); }

void SelectionForm::setDiskText(const QString& text) { driveList_->setEditText(text); }

void SelectionForm::setOutputFolderText(const QString& text) { outputFolder_->setText(text); }

QString SelectionForm::controlText(int id) const {
  QWidget* widget = window_->findChild<QWidget*>(controlName(id));
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
  return {};
}

JobSettings SelectionForm::settings() const {
  JobSettings settings;
  captureBackupSettings(settings);
  return settings;
}

void SelectionForm::captureBackupSettings(JobSettings& settings) const {
  settings.folderStart = readIntegerText(controlText(ID_FOLDER_START).toStdString());
  settings.folderEnd = readIntegerText(controlText(ID_FOLDER_END).toStdString());
  // A time the clocks pass twice: the window takes in both hours.
  settings.beginTime = pickerTime(beginDate_, beginTime_, LocalOccurrence::First);
  settings.endTime = pickerTime(endDate_, endTime_, LocalOccurrence::Second);
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
  settings.timeFile = timeFile_->isChecked();
  settings.caseDetails = caseDetails_;
  const char* problem = nullptr;
  settings.clockOffset = clockOffset(problem);
  settings.windowClock = WindowClock::Recorder;
  if (windowClock_->currentIndex() == 1) windowFromCorrectedTime(settings);
}

void SelectionForm::captureScanSettings(JobSettings& settings) const {
  settings.folderStart = readIntegerText(controlText(ID_FOLDER_START).toStdString());
  settings.folderEnd = readIntegerText(controlText(ID_FOLDER_END).toStdString());
  settings.diskRoot = diskArgument(controlText(ID_DRIVE_LIST));
  settings.outputFolder = localPath(controlText(ID_OUTPUT_FOLDER));
  settings.recover = recover_->isChecked();
  settings.timeFile = timeFile_->isChecked();
  settings.caseDetails = caseDetails_;
  const char* problem = nullptr;
  settings.clockOffset = clockOffset(problem);
}

int SelectionForm::partitionValue() const { return partition_->value(); }

void SelectionForm::takeDisk(const DiskChoice& disk) {
  driveList_->setEditText(QFile::decodeName(disk.disk.c_str()));
  partition_->setValue(disk.partition);
}

DiskChoice SelectionForm::diskOfForm() const {
  JobSettings settings;
  captureScanSettings(settings);
  return {settings.diskRoot, partition_->value()};  // a folder ignores it
}

void SelectionForm::setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }

void SelectionForm::setCaseEditor(CaseEditor editor) { caseEditor_ = std::move(editor); }

void SelectionForm::onEditCase() {
  CaseDetails details = caseDetails_;
  if (!caseEditor_(window_, details)) return;
  caseDetails_ = details;
  WindowSettings::saveCase(outputFolder_->text(), caseDetails_);
}

void SelectionForm::setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }

void SelectionForm::onBrowse() {
  // The chooser opens at the folder typed in the box.
  const QString start = existingFolderAt(outputFolder_->text(), QDir::homePath());
  const QString chosen = folderChooser_(window_, languageCaption(KEY_CHOOSE_FOLDER), start);
  if (chosen.isEmpty()) return;
  outputFolder_->setText(withoutTrailingSlash(chosen));
}

void SelectionForm::onBrowseDiskFolder() {
  const QString start = existingFolderAt(driveList_->currentText(), QDir::rootPath());
  const QString chosen = folderChooser_(window_, languageCaption(KEY_CHOOSE_FOLDER), start);
  if (chosen.isEmpty()) return;
  driveList_->setEditText(withoutTrailingSlash(chosen));
}

void SelectionForm::onBrowseDiskImage() {
  const QString start = existingFolderAt(driveList_->currentText(), QDir::homePath());
  const QString chosen =
      fileChooser_(window_, languageCaption(KEY_CHOOSE_IMAGE), start, languageCaption(KEY_DISK_IMAGE_FILES));
  if (chosen.isEmpty()) return;
  driveList_->setEditText(chosen);
}

void SelectionForm::onAllChannels() {
  // From a partial or clear state every channel is ticked; from all ticked,
  // none.
  const bool all = std::all_of(channelBoxes_.begin(), channelBoxes_.end(),
                               [](const QCheckBox* box) { return box->isChecked(); });
  for (QCheckBox* box : channelBoxes_) box->setChecked(!all);
  updateAllChannels();
}

void SelectionForm::updateAllChannels() {
  const auto ticked = std::count_if(channelBoxes_.begin(), channelBoxes_.end(),
                                    [](const QCheckBox* box) { return box->isChecked(); });
  if (ticked == 0 || ticked == SELECTABLE_CHANNELS) {
    allChannels_->setTristate(false);
    allChannels_->setCheckState(ticked == 0 ? Qt::Unchecked : Qt::Checked);
  } else {
    allChannels_->setCheckState(Qt::PartiallyChecked);
  }
}

void SelectionForm::spanSegments(const std::vector<SegmentRecord>& segments) {
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
  windowClock_->setCurrentIndex(0);
}

void SelectionForm::takePick(const PickSummary& pick) {
  if (pick.count == 0) return;
  auto setPickers = [](QDateEdit* date, QTimeEdit* time, RecorderTime t) {
    const CalendarTime c = recorderTimeToCalendar(t);
    date->setDate(QDate(c.year, c.month, c.day));
    time->setTime(QTime(c.hour, c.minute, c.second));
  };
  setPickers(beginDate_, beginTime_, pick.begin);
  setPickers(endDate_, endTime_, pick.end);
  windowClock_->setCurrentIndex(0);  // the pick's times are the recorder's
  for (int k = 0; k < SELECTABLE_CHANNELS; ++k)
    channelBoxes_[static_cast<std::size_t>(k)]->setChecked((pick.channelMask >> k & 1u) != 0);
  updateAllChannels();
  const std::pair<QCheckBox*, std::int32_t> types[] = {
      {typeTime_, RECORD_TYPE_TIME}, {typeMotion_, RECORD_TYPE_MOTION},
      {typeSensor_, RECORD_TYPE_SENSOR}, {typeManual_, RECORD_TYPE_MANUAL}};
  for (const auto& [box, code] : types) box->setChecked(pick.recordTypes[static_cast<std::size_t>(code)]);
}

void SelectionForm::markRecordingDays(const std::vector<std::int64_t>& days) {
  QTextCharFormat marked;
  marked.setFontWeight(QFont::Bold);
  marked.setBackground(QColor(0xcf, 0xe3, 0xf7));
  for (QDateEdit* picker : {beginDate_, endDate_}) {
    QCalendarWidget* calendar = picker->calendarWidget();
    if (!calendar) continue;
    calendar->setDateTextFormat(QDate(), QTextCharFormat());  // every mark off
    for (std::int64_t day : days) calendar->setDateTextFormat(QDate(1970, 1, 1).addDays(day), marked);
  }
}

bool SelectionForm::eventFilter(QObject* watched, QEvent* event) {
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
  return QObject::eventFilter(watched, event);
}

}  // namespace korvex
