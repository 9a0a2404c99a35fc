// The window's side of the two jobs: the start and stop buttons, the one
// worker thread, the progress timers and the messages that end a job. The
// worker only ever sees JobSettings and JobState; the window polls the state
// on its timers and learns of the worker's end from the thread itself, so
// everything the worker wrote is in place when it is read.
#include <QDebug>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "app/control_ids.h"
#include "app/job_texts.h"
#include "app/main_dialog.h"
#include "lang/language_keys.h"

namespace korvex {

namespace {

// The scan's per-folder line, without its line end: the debug output adds one.
void traceToDebugOutput(const char* line) {
  const QByteArray text = QByteArray(line).trimmed();
  qDebug("%s", text.constData());
}

}  // namespace

void MainDialog::setUpJobControl() {
  backupTimer_ = new QTimer(this);
  backupTimer_->setObjectName(QStringLiteral("backupTimer"));
  backupTimer_->setInterval(JOB_TIMER_INTERVAL_MS);
  connect(backupTimer_, &QTimer::timeout, this, [this] { timerTick(BACKUP_TIMER_ID); });
  scanTimer_ = new QTimer(this);
  scanTimer_->setObjectName(QStringLiteral("scanTimer"));
  scanTimer_->setInterval(JOB_TIMER_INTERVAL_MS);
  connect(scanTimer_, &QTimer::timeout, this, [this] { timerTick(SCAN_TIMER_ID); });

  connect(startBackup_, &QPushButton::clicked, this, &MainDialog::onStartBackup);
  connect(stopBackup_, &QPushButton::clicked, this, &MainDialog::onStopBackup);
  connect(scan_, &QPushButton::clicked, this, &MainDialog::onScan);
  connect(stopScan_, &QPushButton::clicked, this, &MainDialog::onStopScan);
}

void MainDialog::setBackupOptions(BackupOptions options) { backupOptions_ = std::move(options); }

void MainDialog::setScanOptions(ScanOptions options) { scanOptions_ = std::move(options); }

bool MainDialog::claimOutputFolder(const JobSettings& settings) {
  const std::string folder = settings.outputFolder.empty() ? "." : settings.outputFolder;
  if (folderInsideStore(folder, settings.diskRoot)) {
    showMessage(QString::fromStdString(folderText(KEY_OUTPUT_INSIDE_DISK, folder)));
    return false;
  }
  bool busy = false;
  std::string reason;
  outputLock_ = OutputFolderLock::acquire(folder, busy, reason);
  if (busy) {
    showMessage(QString::fromStdString(folderText(KEY_OUTPUT_BUSY, folder)));
    return false;
  }
  // A folder that cannot be locked (missing, unreadable) is left to the
  // job, whose files then fail with the reason.
  return true;
}

bool MainDialog::onStartBackup() {
  // The records are the running worker's until it has ended.
  if (job_ != RunningJob::None || closing_ || worker_.running()) return false;
  JobSettings settings;
  captureBackupSettings(settings);
  if (!claimOutputFolder(settings)) return false;
  settings_ = settings;
  state_.reset();
  state_.backupRunning = true;
  setJobButtonsEnabled(false, true, false, false);
  job_ = RunningJob::Backup;
  stopAsked_ = false;
  worker_.start([this, options = backupOptions_] { backupWorker(settings_, state_, options); });
  backupTimer_->start();
  return true;
}

bool MainDialog::onScan() {
  if (job_ != RunningJob::None || closing_ || worker_.running()) return false;
  JobSettings settings = settings_;
  captureScanSettings(settings);
  if (!claimOutputFolder(settings)) return false;
  settings_ = settings;
  state_.reset();
  state_.scanRunning = true;
  setJobButtonsEnabled(false, false, false, true);
  setScanProgress(state_.scanPercent);
  job_ = RunningJob::Scan;
  stopAsked_ = false;
  ScanOptions options = scanOptions_;
  if (!options.trace) options.trace = traceToDebugOutput;
  worker_.start([this, options = std::move(options)] { scanWorker(settings_, state_, options); });
  scanTimer_->start();
  return true;
}

void MainDialog::onStopBackup() { stopJob(RunningJob::Backup, state_.backupRunning); }

// The scan worker closes its report itself, with the segments still open.
void MainDialog::onStopScan() { stopJob(RunningJob::Scan, state_.scanRunning); }

void MainDialog::stopJob(RunningJob job, std::atomic<bool>& runFlag) {
  runFlag = false;
  if (job_ == job) {
    stopAsked_ = true;
    // Nothing starts before the worker has finished its files; the timer
    // sees it end and brings the start buttons back.
    if (worker_.running()) setJobButtonsEnabled(false, false, false, false);
    else endJob();
  } else if (job_ == RunningJob::None) {
    setJobButtonsEnabled(true, false, true, false);
  }
}

void MainDialog::timerTick(int timerId) {
  if (timerId == BACKUP_TIMER_ID && job_ == RunningJob::Backup) backupTick();
  else if (timerId == SCAN_TIMER_ID && job_ == RunningJob::Scan) scanTick();
}

void MainDialog::backupTick() {
  // Read first: once the worker has ended, the status below is its last.
  const bool ended = !worker_.running();
  // After a stop the status keeps the text it had.
  if (!stopAsked_ && !closing_)
    setStatusText(QString::fromStdString(backupStatusText(readBackupStatus(state_))));
  if (!ended) return;
  if (closing_) {
    finishClosing();
    return;
  }
  if (endJob()) return;
  if (state_.backupEnd == BackupEnd::OutputFailed) {
    showMessage(QString::fromStdString(
        outputFailureText(KEY_CANNOT_WRITE_AVI, state_.backupFailedPath, state_.backupErrorNumber)));
  } else if (state_.backupEnd == BackupEnd::SourceFailed) {
    showMessage(QString::fromStdString(
        failureText(KEY_CANNOT_READ_RECORDING, state_.sourceFailedPath, state_.sourceFailureReason)));
  } else {
    showMessage(languageCaption(state_.videoFound ? KEY_FINISH : KEY_NO_VIDEO_DATA) +
                QString::fromStdString(missingFileText(state_.missingFilePath, state_.foldersNotRead)));
  }
}

void MainDialog::scanTick() {
  const bool ended = !worker_.running();
  if (!stopAsked_ && !closing_) setScanProgress(state_.scanPercent);
  if (!ended) return;
  if (closing_) {
    finishClosing();
    return;
  }
  if (endJob()) return;
  switch (state_.scanEnd.load()) {
    case ScanEnd::RangeDone:
      // Also a range without folders to visit: its report holds the header.
      setScanProgress(100);
      showMessage(QString::fromStdString(scanFinishedText(state_.reportPath)));
      break;
    case ScanEnd::NoFolders:
      showMessage(languageCaption(KEY_NO_VIDEO_DATA));
      break;
    case ScanEnd::FileMissing:
      showMessage(languageCaption(KEY_NO_VIDEO_DATA) +
                  QString::fromStdString(missingFileText(state_.missingFilePath, state_.foldersNotRead)));
      break;
    case ScanEnd::SourceFailed:
      showMessage(QString::fromStdString(
          failureText(KEY_CANNOT_READ_RECORDING, state_.sourceFailedPath, state_.sourceFailureReason)));
      break;
    case ScanEnd::ReportNotCreated:
      showMessage(QString::fromStdString(
          outputFailureText(KEY_CANNOT_CREATE_REPORT, state_.reportPath, state_.scanErrorNumber)));
      break;
    case ScanEnd::ReportWriteFailed:
      showMessage(QString::fromStdString(
          outputFailureText(KEY_CANNOT_WRITE_REPORT, state_.reportPath, state_.scanErrorNumber)));
      break;
    case ScanEnd::Stopped:
    case ScanEnd::NotEnded:
      break;
  }
}

bool MainDialog::endJob() {
  worker_.join();
  backupTimer_->stop();
  scanTimer_->stop();
  job_ = RunningJob::None;
  outputLock_ = OutputFolderLock();
  setJobButtonsEnabled(true, false, true, false);
  return std::exchange(stopAsked_, false);
}

void MainDialog::done(int result) {
  if (closing_) return;  // already waiting for the worker
  if (job_ != RunningJob::None && worker_.running()) {
    // Every AVI file is finished and the report completed before the
    // window goes; the event loop goes on meanwhile, and the job's timer
    // sees the worker end.
    closing_ = true;
    closeResult_ = result;
    state_.backupRunning = false;
    state_.scanRunning = false;
    showFinishing();
    QTimer* timer = job_ == RunningJob::Backup ? backupTimer_ : scanTimer_;
    if (!timer->isActive()) timer->start();
    return;
  }
  // A job that ended before its tick leaves nothing to wait for.
  if (job_ != RunningJob::None) endJob();
  QDialog::done(result);
}

void MainDialog::showFinishing() {
  setStatusText(languageCaption(KEY_FINISHING_JOB));
  for (QWidget* widget : findChildren<QWidget*>()) {
    if (widget == status_ || !widget->property(CONTROL_ID_PROPERTY).isValid() || !widget->isEnabled()) continue;
    widget->setEnabled(false);
    disabledWhileClosing_.push_back(widget);
  }
}

void MainDialog::finishClosing() {
  for (QWidget* widget : disabledWhileClosing_) widget->setEnabled(true);
  disabledWhileClosing_.clear();
  endJob();
  closing_ = false;
  QDialog::done(closeResult_);
}

}  // namespace korvex
