// The window's side of the two jobs: the start and stop buttons, the one
// worker thread, the progress timers and the messages that end a job. The
// worker only ever sees JobSettings and JobState; the window polls the state
// on its timers and learns of the worker's end from the thread itself, so
// everything the worker wrote is in place when it is read.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "app/control_ids.h"
#include "app/job_runner.h"
#include "app/job_texts.h"
#include "app/main_dialog.h"
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

void MainDialog::setUpJobControl() {
  runner_ = new JobRunner(JOB_TIMER_INTERVAL_MS, this);
  connect(runner_, &JobRunner::tick, this,
          [this] { timerTick(job_ == RunningJob::Scan ? SCAN_TIMER_ID : BACKUP_TIMER_ID); });

  connect(startBackup_, &QPushButton::clicked, this, &MainDialog::onStartBackup);
  connect(stopBackup_, &QPushButton::clicked, this, &MainDialog::onStopBackup);
  connect(scan_, &QPushButton::clicked, this, &MainDialog::onScan);
  connect(stopScan_, &QPushButton::clicked, this, &MainDialog::onStopScan);
}

void MainDialog::setBackupOptions(BackupOptions options) { backupOptions_ = std::move(options); }

void MainDialog::setScanOptions(ScanOptions options) { scanOptions_ = std::move(options); }

bool MainDialog::jobWorkerRunning() const { return runner_->workerRunning(); }

bool MainDialog::claimOutputFolder(const JobSettings& settings) {
  const std::string& folder = settings.outputFolder;
  if (folder.empty()) {
    showMessage(qText(failureText(KEY_OUTPUT_UNUSABLE, folder, std::strerror(ENOENT))));
    return false;
  }
  OutputFolderCheck claim = korvex::claimOutputFolder(folder, settings.diskRoot, outputLock_);
  if (claim.problem == OutputFolderProblem::Missing) {
    if (!askYesNo(qText(folderText(KEY_CREATE_OUTPUT, folder)))) return false;
    if (!QDir().mkpath(QFile::decodeName(folder.c_str()))) {
      showMessage(qText(failureText(KEY_OUTPUT_UNUSABLE, folder, std::strerror(errno))));
      return false;
    }
    claim = korvex::claimOutputFolder(folder, settings.diskRoot, outputLock_);
  }
  switch (claim.problem) {
    case OutputFolderProblem::None:
      return true;
    case OutputFolderProblem::InsideStore:
    case OutputFolderProblem::OnEvidence:
      showMessage(qText(folderText(KEY_OUTPUT_INSIDE_DISK, folder)));
      return false;
    case OutputFolderProblem::Busy:
      showMessage(qText(folderText(KEY_OUTPUT_BUSY, folder)));
      return false;
    case OutputFolderProblem::NotAFolder:
      showMessage(qText(failureText(KEY_OUTPUT_UNUSABLE, folder, std::strerror(ENOTDIR))));
      return false;
    case OutputFolderProblem::Missing:
    case OutputFolderProblem::NotWritable:
      showMessage(qText(failureText(KEY_OUTPUT_UNUSABLE, folder, claim.reason)));
      return false;
  }
  return false;
}

std::shared_ptr<const RecordingSource> MainDialog::prepareJob(const JobSettings& settings, bool backup) {
  // The disk as typed: a folder's root ends with '/', an image or a device
  // is named as it is.
  const std::string disk = localPath(driveList_->currentText().trimmed());
  const DiskCheck diskCheck = checkDisk(disk);
  switch (diskCheck.problem) {
    case DiskProblem::None:
      break;
    case DiskProblem::Missing:
      showMessage(qText(failureText(KEY_DISK_MISSING, disk, diskCheck.reason)));
      return nullptr;
    case DiskProblem::NoStoreFolders:
      showMessage(qText(folderText(KEY_NO_STORE_FOLDERS, disk)));
      return nullptr;
    case DiskProblem::StoreFolderPicked:
      showMessage(qText(folderText(KEY_STORE_FOLDER_PICKED, diskCheck.parent)));
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
    }
  }
  if (!claimOutputFolder(settings)) return nullptr;
  std::string error;
  std::shared_ptr<const RecordingSource> source =
      openDiskSource(settings.diskRoot, partitionOf(diskCheck), error);
  if (!source) {
    outputLock_ = OutputFolderLock();
    showMessage(qText(failureText(KEY_CANNOT_OPEN_DISK, disk, error)));
  }
  return source;
}

bool MainDialog::onStartBackup() {
  // One job at a time: not while a worker, the last one's included, runs.
  if (job_ != RunningJob::None || closing_ || runner_->workerRunning()) return false;
  JobSettings settings;
  captureBackupSettings(settings);
  settings.pickedWindows = takePickedWindows();
  std::shared_ptr<const RecordingSource> source = prepareJob(settings, true);
  if (!source) return false;
  saveSettings();
  settings_ = settings;
  backupResult_ = BackupResult{};
  setJobButtonsEnabled(false, true, false, false);
  status_->clear();
  setBackupProgress(0);
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

bool MainDialog::onScan() {
  if (job_ != RunningJob::None || closing_ || runner_->workerRunning()) return false;
  JobSettings settings = settings_;
  captureScanSettings(settings);
  std::shared_ptr<const RecordingSource> source = prepareJob(settings, false);
  if (!source) return false;
  saveSettings();
  settings_ = settings;
  scanResult_ = ScanResult{};
  setJobButtonsEnabled(false, false, false, true);
  status_->clear();
  setScanProgress(0);
  job_ = RunningJob::Scan;
  stopAsked_ = false;
  ScanOptions options = scanOptions_;
  if (!options.trace && korvexScanTrace().isDebugEnabled()) options.trace = traceToLog;
  connectScanToSegmentView(settings, options);
  options.rescued = [result = &scanResult_](ScanResult rescued) { *result = std::move(rescued); };
  runner_->start([settings, source, options = std::move(options), result = &scanResult_](JobState& progress,
                                                                                        const StopRequest& stop) {
    *result = scanWorker(settings, *source, progress, stop, options);
  });
  return true;
}

void MainDialog::setBackupProgress(int percent) {
  backupProgress_->setValue(std::clamp(percent, 0, 100));
  backupPercent_->setText(qText(scanPercentText(percent)));
}

void MainDialog::onStopBackup() { stopJob(RunningJob::Backup); }

// The scan worker closes its report itself, with the segments still open.
void MainDialog::onStopScan() { stopJob(RunningJob::Scan); }

void MainDialog::stopJob(RunningJob job) {
  if (job_ == job) {
    runner_->requestStop();
    stopAsked_ = true;
    // Nothing starts before the worker has finished its files; the timer
    // sees it end and brings the start buttons back.
    if (runner_->workerRunning()) setJobButtonsEnabled(false, false, false, false);
    else endJob();
  } else if (job_ == RunningJob::None) {
    setJobButtonsEnabled(true, false, true, false);
  }
}

void MainDialog::timerTick(int timerId) {
  // Not while the window asks whether to close: the answer decides.
  if (askingToClose_) return;
  if (timerId == BACKUP_TIMER_ID && job_ == RunningJob::Backup) backupTick();
  else if (timerId == SCAN_TIMER_ID && job_ == RunningJob::Scan) scanTick();
}

void MainDialog::backupTick() {
  // Read first: once the worker has ended, the status below is its last.
  const bool ended = !runner_->workerRunning();
  if (!closing_) {
    setStatusText(qText(backupStatusText(readBackupStatus(runner_->progress()))));
    setBackupProgress(runner_->progress().backupPercent);
  }
  if (!ended) return;
  if (closing_) {
    finishClosing();
    return;
  }
  endJob();
  showSummary(qText(backupSummaryText(backupResult_)), QFile::decodeName(settings_.outputFolder.c_str()));
}

void MainDialog::scanTick() {
  const bool ended = !runner_->workerRunning();
  if (!stopAsked_ && !closing_) setScanProgress(runner_->progress().scanPercent);
  if (!ended) return;
  if (closing_) {
    finishClosing();
    return;
  }
  if (endJob()) return;
  const ScanResult& result = scanResult_;
  spanSegments(result.segments);
  const QString log =
      QString::fromStdString(jobLogText(result.logPath, result.logFailedPath, result.logErrorNumber));
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

bool MainDialog::endJob() {
  runner_->end();
  job_ = RunningJob::None;
  outputLock_ = OutputFolderLock();
  setJobButtonsEnabled(true, false, true, false);
  return std::exchange(stopAsked_, false);
}

void MainDialog::done(int result) {
  if (closing_ || askingToClose_) return;  // already waiting for the worker, or asking
  if (job_ != RunningJob::None && runner_->workerRunning()) {
    askingToClose_ = true;
    const bool stop = askYesNo(languageCaption(KEY_STOP_AND_CLOSE));
    askingToClose_ = false;
    if (!stop) return;
  }
  saveSettings();
  if (job_ != RunningJob::None && runner_->workerRunning()) {
    // Every AVI file is finished and the report completed before the
    // window goes; the event loop goes on meanwhile, and the job's timer
    // sees the worker end.
    closing_ = true;
    closeResult_ = result;
    runner_->requestStop();
    showFinishing();
    runner_->keepTicking();
    return;
  }
  // A job that ended before its tick leaves nothing to wait for.
  if (job_ != RunningJob::None) endJob();
  QDialog::done(result);
}

void MainDialog::showFinishing() {
  setStatusText(languageCaption(KEY_FINISHING_JOB));
  for (QWidget* widget : findChildren<QWidget*>()) {
    const bool formControl = widget->parentWidget() == this || widget->parentWidget() == lowerBand_;
    if (widget == status_ || !formControl || widget == lowerBand_ || !widget->isEnabled()) continue;
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
