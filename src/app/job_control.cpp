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
#include "app/job_runner.h"
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
  const std::string folder = settings.outputFolder.empty() ? "." : settings.outputFolder;
  const OutputFolderCheck claim = korvex::claimOutputFolder(folder, settings.diskRoot, outputLock_);
  if (claim.problem == OutputFolderProblem::InsideStore) {
    showMessage(QString::fromStdString(folderText(KEY_OUTPUT_INSIDE_DISK, folder)));
    return false;
  }
  if (claim.problem == OutputFolderProblem::Busy) {
    showMessage(QString::fromStdString(folderText(KEY_OUTPUT_BUSY, folder)));
    return false;
  }
  // A folder that is missing or cannot be written is left to the job,
  // whose files then fail with the reason.
  return true;
}

bool MainDialog::onStartBackup() {
  // One job at a time: not while a worker, the last one's included, runs.
  if (job_ != RunningJob::None || closing_ || runner_->workerRunning()) return false;
  JobSettings settings;
  captureBackupSettings(settings);
  settings.pickedWindows = takePickedWindows();
  if (!claimOutputFolder(settings)) return false;
  settings_ = settings;
  backupResult_ = BackupResult{};
  setJobButtonsEnabled(false, true, false, false);
  job_ = RunningJob::Backup;
  stopAsked_ = false;
  // The worker gets its own copies; the result is read once it has ended.
  runner_->start([settings, options = backupOptions_, result = &backupResult_](JobState& progress,
                                                                             const StopRequest& stop) {
    const FolderSource source(settings.diskRoot);
    *result = backupWorker(settings, source, progress, stop, options);
  });
  return true;
}

bool MainDialog::onScan() {
  if (job_ != RunningJob::None || closing_ || runner_->workerRunning()) return false;
  JobSettings settings = settings_;
  captureScanSettings(settings);
  if (!claimOutputFolder(settings)) return false;
  settings_ = settings;
  scanResult_ = ScanResult{};
  setJobButtonsEnabled(false, false, false, true);
  setScanProgress(0);
  job_ = RunningJob::Scan;
  stopAsked_ = false;
  ScanOptions options = scanOptions_;
  if (!options.trace) options.trace = traceToDebugOutput;
  connectScanToSegmentView(settings, options);
  runner_->start([settings, options = std::move(options), result = &scanResult_](JobState& progress,
                                                                               const StopRequest& stop) {
    const FolderSource source(settings.diskRoot);
    *result = scanWorker(settings, source, progress, stop, options);
  });
  return true;
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
  if (timerId == BACKUP_TIMER_ID && job_ == RunningJob::Backup) backupTick();
  else if (timerId == SCAN_TIMER_ID && job_ == RunningJob::Scan) scanTick();
}

void MainDialog::backupTick() {
  // Read first: once the worker has ended, the status below is its last.
  const bool ended = !runner_->workerRunning();
  // After a stop the status keeps the text it had.
  if (!stopAsked_ && !closing_)
    setStatusText(QString::fromStdString(backupStatusText(readBackupStatus(runner_->progress()))));
  if (!ended) return;
  if (closing_) {
    finishClosing();
    return;
  }
  if (endJob()) return;
  const BackupResult& result = backupResult_;
  if (result.end == BackupEnd::OutputFailed) {
    showMessage(QString::fromStdString(outputFailureText(KEY_CANNOT_WRITE_AVI, result.failedPath, result.errorNumber)));
  } else if (result.end == BackupEnd::SourceFailed) {
    showMessage(QString::fromStdString(
        failureText(KEY_CANNOT_READ_RECORDING, result.source.failedPath, result.source.failureReason)));
  } else {
    showMessage(languageCaption(result.videoFound ? KEY_FINISH : KEY_NO_VIDEO_DATA) +
                QString::fromStdString(missingFileText(result.source.missingPath, result.source.foldersNotRead)));
  }
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
  switch (result.end) {
    case ScanEnd::RangeDone:
      // Also a range without folders to visit: its report holds the header.
      setScanProgress(100);
      showMessage(QString::fromStdString(scanFinishedText(result.reportPath)));
      break;
    case ScanEnd::NoFolders:
      showMessage(languageCaption(KEY_NO_VIDEO_DATA));
      break;
    case ScanEnd::FileMissing:
      showMessage(languageCaption(KEY_NO_VIDEO_DATA) +
                  QString::fromStdString(missingFileText(result.source.missingPath, result.source.foldersNotRead)));
      break;
    case ScanEnd::SourceFailed:
      showMessage(QString::fromStdString(
          failureText(KEY_CANNOT_READ_RECORDING, result.source.failedPath, result.source.failureReason)));
      break;
    case ScanEnd::ReportNotCreated:
      showMessage(
          QString::fromStdString(outputFailureText(KEY_CANNOT_CREATE_REPORT, result.reportPath, result.errorNumber)));
      break;
    case ScanEnd::ReportWriteFailed:
      showMessage(
          QString::fromStdString(outputFailureText(KEY_CANNOT_WRITE_REPORT, result.reportPath, result.errorNumber)));
      break;
    case ScanEnd::Stopped:
    case ScanEnd::NotEnded:
      break;
  }
}

bool MainDialog::endJob() {
  runner_->end();
  job_ = RunningJob::None;
  outputLock_ = OutputFolderLock();
  setJobButtonsEnabled(true, false, true, false);
  return std::exchange(stopAsked_, false);
}

void MainDialog::done(int result) {
  if (closing_) return;  // already waiting for the worker
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
