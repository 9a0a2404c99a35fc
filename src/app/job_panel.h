// The window's side of the two jobs: the start and stop buttons, the
// progress bars, the status box, the job runner and the messages that end a
// job. It reads the job's selection from the form and tells the window when
// a job has ended. Its controls sit in the window's grid and band, where
// the window lays them out.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "jobs/backup_worker.h"
#include "jobs/job_result.h"
#include "jobs/job_settings.h"
#include "jobs/job_status.h"
#include "jobs/output_folder.h"
#include "jobs/scan_worker.h"
#include "store/recording_source.h"

class QDialog;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QUrl;
class QWidget;

namespace korvex {

class JobRunner;
class SelectionForm;

class JobPanel : public QObject {
  Q_OBJECT

 public:
  // Runs a modal dialog and returns its result (the window's seam).
  using ModalRunner = std::function<int(QDialog& dialog)>;
  // Opens a folder in the desktop's file manager; false when none did.
  using UrlOpener = std::function<bool(const QUrl& url)>;
  // Told as a scan starts, with the options its worker gets.
  using ScanStarting = std::function<void(const JobSettings& settings, ScanOptions& options)>;

  // Makes the backup's controls and the status box in `window`, the scan's
  // in `band`.
  JobPanel(QWidget* window, QWidget* band, SelectionForm& form, ModalRunner runModal);
  // Asks a job still running to stop and waits for its worker.
  ~JobPanel() override;
  void stopAndWait();

  QPushButton* startBackupButton() const { return startBackup_; }
  QPushButton* stopBackupButton() const { return stopBackup_; }
  QPushButton* scanButton() const { return scan_; }
  QPushButton* stopScanButton() const { return stopScan_; }
  QProgressBar* backupProgressBar() const { return backupProgress_; }
  QLabel* backupPercentLabel() const { return backupPercent_; }
  QProgressBar* scanProgressBar() const { return progress_; }
  QLabel* scanPercentLabel() const { return percent_; }
  QPlainTextEdit* statusBox() const { return status_; }
  JobRunner* runner() const { return runner_; }

  // Shows `text` in a modal box with an OK button and the application's name
  // as caption.
  void showMessage(const QString& text);
  // The end of a job: `text`, OK (Escape's too), and a button that opens
  // `folder` (or says that nothing could).
  void showSummary(const QString& text, const QString& folder);
  // A question with Yes and No; true for Yes.
  bool askYesNo(const QString& text);
  // The running backup's status; "\r\n" breaks the line.
  void setStatusText(const QString& text);
  // The scan's progress bar and its percent label.
  void setScanProgress(int percent);
  // Enables or disables the four job buttons.
  void setJobButtonsEnabled(bool startBackup, bool stopBackup, bool scan, bool stopScan);

  void setUrlOpener(UrlOpener opener);
  // The status box's last backup status again, in the current language.
  void applyLanguageTexts();
  void setScanStarting(ScanStarting hook);
  // What the next jobs pass their workers (tests watch the files created).
  // A scan without a trace of its own traces to qDebug().
  void setBackupOptions(BackupOptions options);
  void setScanOptions(ScanOptions options);

  // The job buttons. A start is refused (false) while a worker still runs,
  // the last one's included after a stop. A backup of picked segments keeps
  // only their frames.
  bool onStartBackup(std::vector<PickedWindow> picked = {});
  bool onScan();
  // Ask the running worker to end; its files are finished before the start
  // buttons come back.
  void onStopBackup();
  void onStopScan();

  // True from a job's start until its worker has ended.
  bool jobWorkerRunning() const;
  // True from a job's start until its end has been taken in.
  bool jobActive() const { return job_ != RunningJob::None; }
  // While held (the window asks whether to close), ticks change nothing.
  void setHeld(bool held) { held_ = held; }
  // The window closes once the job has ended: the job is asked to stop, its
  // progress and end messages no longer shown.
  void finishBeforeClosing();
  // After the worker has ended: the runner's timer off, the idle buttons. True when the
  // user had asked the job to stop (its end shows no message).
  bool endJob();

 signals:
  // A job passed its checks and is about to start.
  void jobStarting();
  // A job's worker has ended and its end is shown (while the window waits
  // to close, nothing is shown and the job is not yet taken in: endJob).
  void jobEnded();

 private:
  enum class RunningJob { None, Backup, Scan };
  // The checks before a job, each failure with its own message: the disk,
  // the backup's selection, the output folder (a missing one offered to be
  // created; its lock held until the job ends), then the disk opened as the
  // job's source. Null when the job may not start.
  std::shared_ptr<const RecordingSource> prepareJob(const JobSettings& settings, bool backup);
  bool claimOutputFolder(const JobSettings& settings);
  void setBackupProgress(int percent);
  // The runner's progress and end, for the job that runs.
  void showJobProgress();
  void onJobEnded();
  void backupEnded();
  void scanEnded();
  // Asks the job to stop; the worker sees it between two recording files.
  void stopJob(RunningJob job);

  QWidget* window_;
  SelectionForm& form_;
  ModalRunner runModal_;
  UrlOpener urlOpener_;
  ScanStarting scanStarting_;
  QProgressBar* backupProgress_ = nullptr;
  QLabel* backupPercent_ = nullptr;
  QPushButton* startBackup_ = nullptr;
  QPushButton* stopBackup_ = nullptr;
  QPlainTextEdit* status_ = nullptr;
  QPushButton* scan_ = nullptr;
  QPushButton* stopScan_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* percent_ = nullptr;

  // The last job's selection, and its options and results. A result is
  // the worker's until the runner says it has ended.
  JobSettings settings_;
  BackupOptions backupOptions_;
  ScanOptions scanOptions_;
  BackupResult backupResult_;
  // The status the box shows, kept to be shown again in another language.
  std::optional<BackupStatus> lastStatus_;
  ScanResult scanResult_;
  JobRunner* runner_ = nullptr;
  RunningJob job_ = RunningJob::None;
  bool stopAsked_ = false;
  bool held_ = false;
  bool closing_ = false;
  OutputFolderLock outputLock_;
};

}  // namespace korvex
