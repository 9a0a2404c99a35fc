// The worker only ever sees JobSettings and JobState; the panel reads the
// state on the runner's ticks and learns of the worker's end from the
// thread itself, so everything the worker wrote is in place when it is read.
#include "app/job_panel.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "app/control_ids.h"
#include "app/job_runner.h"
#include "app/job_texts.h"
#include "app/selection_form.h"
#include "app/window_controls.h"
#include "jobs/job_checks.h"
#include "lang/language_keys.h"
#include "store/disk_source.h"

// The scan's per-folder trace: silent unless enabled, for example with
// QT_LOGGING_RULES="korvex.scan.debug=true".
Q_LOGGING_CATEGORY(korvexScanTrace, "korvex.scan", QtInfoMsg)

namespace korvex {

namespace {

// The scan's per-folder line, without its line end: the log adds one.
void traceToLog(const char* line) {
  const QByteArray text = QByteArray(line).trimmed();
  qCDebug(korvexScanTrace, "%s", text.constData());
}

QString qText(const std::string& text) { return QString::fromStdString(text); }

std::string localPath(const QString& text) { return QFile::encodeName(text).toStdString(); }

}  // namespace

JobPanel::JobPanel(QWidget* window, QWidget* band, SelectionForm& form, ModalRunner runModal)
    : QObject(window), window_(window), form_(form), runModal_(std::move(runModal)) {
  startBackup_ = makeButton(window, ID_START_BACKUP, QStringLiteral("开始备份"));
  stopBackup_ = makeButton(window, ID_STOP_BACKUP, QStringLiteral("停止备份"));
  backupProgress_ = new QProgressBar(window);
  backupProgress_->setObjectName(QStringLiteral("backupProgress"));
  backupProgress_->setRange(0, 100);
  backupProgress_->setValue(0);
  backupProgress_->setTextVisible(false);
  backupPercent_ = new QLabel(QStringLiteral("0%"), window);
  backupPercent_->setObjectName(QStringLiteral("backupPercent"));

  // Shows; never takes typing or drops.
  status_ = makeControl<QPlainTextEdit>(window, ID_STATUS);
  status_->setReadOnly(true);
  status_->setAcceptDrops(false);
  status_->setTabChangesFocus(true);
  status_->setLineWrapMode(QPlainTextEdit::NoWrap);

  scan_ = makeButton(band, ID_SCAN, QStringLiteral("扫描"));
  stopScan_ = makeButton(band, ID_STOP_SCAN, QStringLiteral("停止扫描"));
  progress_ = makeControl<QProgressBar>(band, ID_SCAN_PROGRESS);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  percent_ = makeLabel(band, ID_SCAN_PERCENT, QStringLiteral("0%"));

  const QFontMetrics metrics(window->font());
  // Room for the two status lines.
  status_->setFixedHeight(metrics.lineSpacing() * 2 + 2 * status_->frameWidth() +
                          2 * static_cast<int>(status_->document()->documentMargin()) + 4);
  percent_->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("100%")) + 4);
  backupPercent_->setMinimumWidth(percent_->minimumWidth());

  urlOpener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  runner_ = new JobRunner(JOB_TIMER_INTERVAL_MS, this);
  connect(runner_, &JobRunner::progressed, this, &JobPanel::showJobProgress);
  connect(runner_, &JobRunner::ended, this, &JobPanel::onJobEnded);

  connect(startBackup_, &QPushButton::clicked, this, [this] { onStartBackup(); });
  connect(stopBackup_, &QPushButton::clicked, this, &JobPanel::onStopBackup);
  connect(scan_, &QPushButton::clicked, this, &JobPanel::onScan);
  connect(stopScan_, &QPushButton::clicked, this, &JobPanel::onStopScan);
  // Nothing runs yet: nothing to stop.
  setJobButtonsEnabled(true, false, true, false);
}

JobPanel::~JobPanel() { stopAndWait(); }

void JobPanel::stopAndWait() {
  // Gone some other way than by closing (the program ending): the worker
  // still finishes its files before the results it writes go.
  runner_->requestStop();
  runner_->end();
}

void JobPanel::setBackupOptions(BackupOptions options) { backupOptions_ = std::move(options); }

void JobPanel::setScanOptions(ScanOptions options) { scanOptions_ = std::move(options); }

bool JobPanel::jobWorkerRunning() const { return runner_->workerRunning(); }

bool JobPanel::claimOutputFolder(const JobSettings& settings) {
  const std::string& folder = settings.outputFolder;
  if (folder.empty()) {
    showMessage(qText(failureText(KEY_OUTPUT_UNUSABLE, folder, systemErrorText(ENOENT))));
    return false;
  }
  Failure claim = korvex::claimOutputFolder(folder, settings.diskRoot, outputLock_);
  if (claim.code == FailureCode::OutputFolderMissing) {
    if (!askYesNo(qText(folderText(KEY_CREATE_OUTPUT, folder)))) return false;
    if (!QDir().mkpath(QFile::decodeName(folder.c_str()))) {
      showMessage(qText(outputFailureText(KEY_OUTPUT_UNUSABLE, folder, errno)));
      return false;
    }
    claim = korvex::claimOutputFolder(folder, settings.diskRoot, outputLock_);
  }
  switch (claim.code) {
    case FailureCode::None:
      return true;
    case FailureCode::OutputInsideStore:
    case FailureCode::OutputOnEvidence:
      showMessage(qText(folderText(KEY_OUTPUT_INSIDE_DISK, folder)));
      return false;
    case FailureCode::OutputFolderBusy:
      showMessage(qText(folderText(KEY_OUTPUT_BUSY, folder)));
      return false;
    case FailureCode::OutputNotAFolder:
      showMessage(qText(outputFailureText(KEY_OUTPUT_UNUSABLE, folder, ENOTDIR)));
      return false;
    default:  // OutputFolderMissing, OutputNotWritable
      showMessage(qText(claim.errorNumber != 0 ? outputFailureText(KEY_OUTPUT_UNUSABLE, folder, claim.errorNumber)
                                               : failureText(KEY_OUTPUT_UNUSABLE, folder, claim.reason)));
      return false;
  }
  return false;
}

std::shared_ptr<const RecordingSource> JobPanel::prepareJob(const JobSettings& settings, bool backup) {
  // The disk as typed: a folder's root ends with '/', an image or a device
  // is named as it is.
  const std::string disk = localPath(form_.diskText().trimmed());
  if (disk.empty()) {
    showMessage(languageCaption(KEY_NO_DISK));
    return nullptr;
  }
  DiskOptions diskOptions;
  diskOptions.folderIgnoresPartition = true;
  OpenedDisk opened = openDisk(disk, form_.partitionValue(), diskOptions);
  switch (opened.failure.code) {
    case FailureCode::Missing:
      showMessage(qText(outputFailureText(KEY_DISK_MISSING, disk, opened.failure.errorNumber)));
      return nullptr;
    case FailureCode::StoreFolderPicked:
      showMessage(qText(folderText(KEY_STORE_FOLDER_PICKED, opened.failure.path)));
      return nullptr;
    default:
      break;  // an image or device that cannot be read is named after the checks below
  }
  if (opened.kind == DiskKind::Folder && opened.source->countFolders() == 0) {
    showMessage(qText(folderText(KEY_NO_STORE_FOLDERS, disk)));
    return nullptr;
  }
  if (checkFolderRange(settings) == SelectionProblem::FolderRangeReversed) {
    showMessage(languageCaption(KEY_FOLDER_RANGE_REVERSED));
    return nullptr;
  }
  if (backup) {
    switch (checkBackupSelection(settings)) {
      case SelectionProblem::None:
        break;
      case SelectionProblem::NoChannel:
        showMessage(languageCaption(KEY_NO_CHANNEL));
        return nullptr;
      case SelectionProblem::NoRecordType:
        showMessage(languageCaption(KEY_NO_RECORD_TYPE));
        return nullptr;
      case SelectionProblem::EndBeforeStart:
        showMessage(languageCaption(KEY_END_BEFORE_START));
        return nullptr;
      case SelectionProblem::FolderRangeReversed:
        break;  // told above, for both jobs
    }
  }
  const char* offsetProblem = nullptr;
  form_.clockOffset(offsetProblem);
  if (offsetProblem && (backup || offsetProblem == KEY_BAD_CLOCK_OFFSET)) {
    showMessage(languageCaption(offsetProblem));
    return nullptr;
  }
  if (!claimOutputFolder(settings)) return nullptr;
  std::shared_ptr<const RecordingSource> source = std::move(opened.source);
  if (!source) {
    outputLock_ = OutputFolderLock();
    // A file that no reader takes (a text file, say) is named in the
    // user's words; the reader's own are for disks that are one.
    if (opened.failure.code == FailureCode::DiskUnreadable && opened.kind == DiskKind::Image)
      showMessage(QStringLiteral("\"%1\" %2").arg(QFile::decodeName(disk.c_str()), languageCaption(KEY_NOT_A_DISK)));
    else showMessage(qText(failureText(KEY_CANNOT_OPEN_DISK, disk, opened.failure.reason)));
  }
  return source;
}

bool JobPanel::onStartBackup(std::vector<PickedWindow> picked) {
  // One job at a time: not while a worker, the last one's included, runs.
  if (job_ != RunningJob::None || closing_ || runner_->workerRunning()) return false;
  JobSettings settings;
  form_.captureBackupSettings(settings);
  settings.pickedWindows = std::move(picked);
  std::shared_ptr<const RecordingSource> source = prepareJob(settings, true);
  if (!source) return false;
  emit jobStarting();
  settings_ = settings;
  backupResult_ = BackupResult{};
  setJobButtonsEnabled(false, true, false, false);
  status_->clear();
  lastStatus_.reset();
  setBackupProgress(0);
  setScanProgress(0);  // the last scan's bar is not this job's
  job_ = RunningJob::Backup;
  stopAsked_ = false;
  // The worker gets its own copies; the result is read once it has ended
  // (or, from a job ended while a read hung, handed over on this thread).
  BackupOptions options = backupOptions_;
  options.rescued = [result = &backupResult_](BackupResult rescued) { *result = std::move(rescued); };
  runner_->start([settings, source, options = std::move(options), result = &backupResult_](JobState& progress,
                                                                                     const StopRequest& stop) {
    *result = backupWorker(settings, *source, progress, stop, options);
  });
  return true;
}

bool JobPanel::onScan() {
  if (job_ != RunningJob::None || closing_ || runner_->workerRunning()) return false;
  JobSettings settings = settings_;
  form_.captureScanSettings(settings);
  std::shared_ptr<const RecordingSource> source = prepareJob(settings, false);
  if (!source) return false;
  emit jobStarting();
  settings_ = settings;
  scanResult_ = ScanResult{};
  setJobButtonsEnabled(false, false, false, true);
  status_->clear();
  lastStatus_.reset();
  setScanProgress(0);
  setBackupProgress(0);  // the last backup's bar is not this job's
  job_ = RunningJob::Scan;
  stopAsked_ = false;
  ScanOptions options = scanOptions_;
  if (!options.trace && korvexScanTrace().isDebugEnabled()) options.trace = traceToLog;
  if (scanStarting_) scanStarting_(settings, options);
  options.rescued = [result = &scanResult_](ScanResult rescued) { *result = std::move(rescued); };
  runner_->start([settings, source, options = std::move(options), result = &scanResult_](JobState& progress,
                                                                                        const StopRequest& stop) {
    *result = scanWorker(settings, *source, progress, stop, options);
  });
  return true;
}

void JobPanel::setBackupProgress(int percent) {
  backupProgress_->setValue(std::clamp(percent, 0, 100));
  backupPercent_->setText(qText(scanPercentText(percent)));
}

void JobPanel::onStopBackup() { stopJob(RunningJob::Backup); }

// The scan worker closes its report itself, with the segments still open.
void JobPanel::onStopScan() { stopJob(RunningJob::Scan); }

void JobPanel::stopJob(RunningJob job) {
  if (job_ == job) {
    // A worker that has ended has nothing to stop: its end is shown at the
    // next tick as it ended.
    if (!runner_->workerRunning()) return;
    runner_->requestStop();
    stopAsked_ = true;
    // Nothing starts before the worker has finished its files; the timer
    // sees it end and brings the start buttons back.
    setJobButtonsEnabled(false, false, false, false);
  } else if (job_ == RunningJob::None) {
    setJobButtonsEnabled(true, false, true, false);
  }
}

void JobPanel::showJobProgress() {
  // Not while the window asks whether to close: the answer decides.
  if (held_ || closing_) return;
  if (job_ == RunningJob::Backup) {
    lastStatus_ = readBackupStatus(runner_->progress());
    setStatusText(qText(backupStatusText(*lastStatus_)));
    setBackupProgress(runner_->progress().backupPercent);
  } else if (job_ == RunningJob::Scan && !stopAsked_) {
    setScanProgress(runner_->progress().scanPercent);
  }
}

void JobPanel::onJobEnded() {
  if (held_ || job_ == RunningJob::None) return;
  if (closing_) {
    emit jobEnded();
    return;
  }
  if (job_ == RunningJob::Backup) backupEnded();
  else scanEnded();
  emit jobEnded();
}

void JobPanel::backupEnded() {
  endJob();
  if (backupResult_.end == JobOutcome::Finished) setBackupProgress(100);
  showSummary(qText(backupSummaryText(backupResult_)), QFile::decodeName(settings_.outputFolder.c_str()));
}

void JobPanel::scanEnded() {
  endJob();
  const ScanResult& result = scanResult_;
  form_.spanSegments(result.segments);
  const QString log =
      QString::fromStdString(jobLogText(result.logPath, result.logFailure.path, result.logFailure.errorNumber));
  const std::string text = jobEndText(result, false, result.reportPath);
  if (text.empty()) return;
  if (result.end != JobOutcome::Finished) {
    showMessage(qText(text) + log);
    return;
  }
  // Also a range without folders to visit: its report holds the header.
  setScanProgress(100);
  showSummary(qText(text + log.toStdString()), QFile::decodeName(settings_.outputFolder.c_str()));
}

bool JobPanel::endJob() {
  runner_->end();
  job_ = RunningJob::None;
  outputLock_ = OutputFolderLock();
  closing_ = false;
  setJobButtonsEnabled(true, false, true, false);
  return std::exchange(stopAsked_, false);
}

void JobPanel::finishBeforeClosing() {
  closing_ = true;
  runner_->requestStop();
  runner_->keepTicking();
}

void JobPanel::showMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, window_);
  box.button(QMessageBox::Ok)->setText(languageCaption(KEY_OK));
  runModal_(box);
}

void JobPanel::showSummary(const QString& text, const QString& folder) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, window_);
  box.button(QMessageBox::Ok)->setText(languageCaption(KEY_OK));
  QPushButton* open = box.addButton(languageCaption(KEY_OPEN_OUTPUT_FOLDER), QMessageBox::ActionRole);
  open->setObjectName(QStringLiteral("openOutputFolder"));
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  runModal_(box);
  if (box.clickedButton() != open) return;
  if (!urlOpener_(QUrl::fromLocalFile(QFileInfo(folder).absoluteFilePath())))
    showMessage(qText(folderText(KEY_CANNOT_SHOW_OUTPUT_FOLDER, localPath(folder))));
}

void JobPanel::applyLanguageTexts() {
  // The backup's last status, in the words of the language now chosen.
  if (lastStatus_ && !closing_) setStatusText(qText(backupStatusText(*lastStatus_)));
}

bool JobPanel::askYesNo(const QString& text) {
  QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text,
                  QMessageBox::Yes | QMessageBox::No, window_);
  box.button(QMessageBox::Yes)->setText(languageCaption(KEY_YES));
  box.button(QMessageBox::No)->setText(languageCaption(KEY_NO));
  box.setDefaultButton(QMessageBox::Yes);
  return runModal_(box) == QMessageBox::Yes;
}

void JobPanel::setStatusText(const QString& text) {
  QString lines = text;
  lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  status_->setPlainText(lines);
}

void JobPanel::setScanProgress(int percent) {
  progress_->setValue(std::clamp(percent, 0, 100));
  percent_->setText(QString::fromStdString(scanPercentText(percent)));
}

void JobPanel::setJobButtonsEnabled(bool startBackup, bool stopBackup, bool scan, bool stopScan) {
  startBackup_->setEnabled(startBackup);
  stopBackup_->setEnabled(stopBackup);
  scan_->setEnabled(scan);
  stopScan_->setEnabled(stopScan);
}

void JobPanel::setUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }

void JobPanel::setScanStarting(ScanStarting hook) { scanStarting_ = std::move(hook); }

}  // namespace korvex
