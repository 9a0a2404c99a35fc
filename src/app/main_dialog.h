// The program's one window: the selection of a job, the job buttons, their
// progress, the output folder, the language and the About box.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "app/selection_form.h"
#include "jobs/backup_worker.h"
#include "jobs/job_result.h"
#include "jobs/job_settings.h"
#include "jobs/output_folder.h"
#include "jobs/scan_worker.h"
#include "store/recording_source.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGridLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QTimer;
class QUrl;
class QToolButton;

namespace korvex {

class JobRunner;
class SegmentBrowser;
struct DiskCheck;
struct DiskChoice;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // Runs a modal dialog (the About box, a message box) and returns its
  // result. Tests answer the dialog here instead of running it.
  using ModalRunner = std::function<int(QDialog& dialog)>;
  using FolderChooser = SelectionForm::FolderChooser;
  using FileChooser = SelectionForm::FileChooser;
  // Opens a folder in the desktop's file manager.
  using UrlOpener = std::function<void(const QUrl& url)>;

  // Builds the window in its start-up state: controls at their defaults,
  // compact size, start-up language and captions, drive list, output folder.
  explicit MainDialog(QWidget* parent = nullptr);
  // Asks a job still running to stop and waits for its worker.
  ~MainDialog() override;

  // The control with this id (1000 to 1054), or nullptr.
  QWidget* control(int id) const;

  QPushButton* startBackupButton() const { return startBackup_; }
  QPushButton* stopBackupButton() const { return stopBackup_; }
  QPushButton* scanButton() const { return scan_; }
  QPushButton* stopScanButton() const { return stopScan_; }
  QAction* aboutAction() const { return aboutAction_; }
  // The disk box's Browse menu: a folder, or an image file or device.
  QAction* diskFolderAction() const { return form_->diskFolderAction(); }
  QAction* diskImageAction() const { return form_->diskImageAction(); }

  // True while the lower band (size limit, folder range, scan controls,
  // progress) is out of view.
  bool advancedCollapsed() const { return advancedCollapsed_; }
  QCheckBox* recoverBox() const { return form_->recoverBox(); }

  // The selection of a job (SelectionForm).
  SelectionForm* selectionForm() const { return form_; }
  void captureBackupSettings(JobSettings& settings) const { form_->captureBackupSettings(settings); }
  void captureScanSettings(JobSettings& settings) const { form_->captureScanSettings(settings); }

  // Shows `text` in a modal box with an OK button and the application's name
  // as caption.
  void showMessage(const QString& text);
  // The end of a job: `text`, OK, and a button that opens `folder`.
  void showSummary(const QString& text, const QString& folder);
  // A question with Yes and No; true for Yes.
  bool askYesNo(const QString& text);
  // The running backup's status; "\r\n" breaks the line.
  void setStatusText(const QString& text);
  // The scan's progress bar and its percent label.
  void setScanProgress(int percent);
  // Enables or disables the four job buttons.
  void setJobButtonsEnabled(bool startBackup, bool stopBackup, bool scan, bool stopScan);

  void setModalRunner(ModalRunner runner);
  void setFolderChooser(FolderChooser chooser);
  void setFileChooser(FileChooser chooser);
  void setUrlOpener(UrlOpener opener);
  // What the next jobs pass their workers (tests watch the files created).
  // A scan without a trace of its own traces to qDebug().
  void setBackupOptions(BackupOptions options);
  void setScanOptions(ScanOptions options);
  int runModal(QDialog& dialog);

  // The text of a key of section "language" in the current language.
  static QString languageCaption(const char* key);

  // True from a job's start until its worker has ended.
  bool jobWorkerRunning() const;
  JobRunner* jobRunner() const { return runner_; }
  // True while the window waits for a job to end before it closes.
  bool closing() const { return closing_; }

  // The picking view (main_dialog_segments.cpp): the scan's segments, shown
  // below the form once a scan runs or the toggle opens it.
  SegmentBrowser* segmentBrowser() const { return segments_; }
  QToolButton* segmentViewToggle() const { return segmentToggle_; }
  void showSegmentView(bool shown);
  // Backs up exactly the picked segments: the form shows their channels and
  // time window, and the job keeps only their frames. False when it does
  // not start.
  bool onBackUpSelection();

 public slots:
  // Fills the language list, reads the start-up language, selects its entry
  // and applies the captions.
  void setUpLanguage();
  // Sets the captions of the labels, buttons and record-type boxes.
  void applyLanguageTexts();
  // A language chosen in the list: it becomes current and the captions follow.
  void onLanguageChanged();
  void onAdvancedSetting();
  void showAbout();

  // The job buttons. A start is refused (false) while a worker still runs,
  // the last one's included after a stop.
  bool onStartBackup();
  bool onScan();
  // Ask the running worker to end; its files are finished before the start
  // buttons come back.
  void onStopBackup();
  void onStopScan();

  // Ends the window; while a job runs, first asks whether to stop it, then
  // waits, showing that it is finishing, until its worker has ended. What
  // the window remembers is saved as it ends.
  void done(int result) override;

  // The disk, output folder, language, width and the advanced band's state,
  // kept in the desktop's settings (QSettings) for the next start.
  void saveSettings() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void createControls();
  void layOutControls();
  void setFocusOrder();
  void setInitialStates();
  void restoreSettings();
  void alignLabelColumns();
  // A row of the advanced band, above the scan's controls.
  void addAdvancedRow(QWidget* label, QLayout* fields);
  // Keeps the height to what the window shows; the width is the user's.
  void fitHeight();

  enum class RunningJob { None, Backup, Scan };
  void setUpJobControl();
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
  // After the worker has ended: timers off, the idle buttons. True when the
  // user had asked the job to stop (its end shows no message).
  bool endJob();
  void showFinishing();
  void finishClosing();

  QLabel* languageLabel_ = nullptr;
  QComboBox* languageList_ = nullptr;
  QProgressBar* backupProgress_ = nullptr;
  QLabel* backupPercent_ = nullptr;
  QPushButton* startBackup_ = nullptr;
  QPushButton* stopBackup_ = nullptr;
  QPushButton* advanced_ = nullptr;
  QPlainTextEdit* status_ = nullptr;
  QWidget* lowerBand_ = nullptr;
  SelectionForm* form_ = nullptr;
  QPushButton* scan_ = nullptr;
  QPushButton* stopScan_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* percent_ = nullptr;
  // The picking view's hook (main_dialog_segments.cpp).
  void setUpSegmentView();
  void connectScanToSegmentView(const JobSettings& settings, ScanOptions& options);
  void applyPickToForm();
  void markRecordingDays();
  std::vector<PickedWindow> takePickedWindows();
  SegmentBrowser* segments_ = nullptr;
  QToolButton* segmentToggle_ = nullptr;
  int widthBeforeSegments_ = 0;
  std::vector<PickedWindow> pickedWindowsForBackup_;

  QGridLayout* upperGrid_ = nullptr;
  QGridLayout* lowerGrid_ = nullptr;
  QAction* aboutAction_ = nullptr;

  bool advancedCollapsed_ = true;
  ModalRunner modalRunner_;
  UrlOpener urlOpener_;

  // The last job's selection, and its options and results. A result is
  // the worker's until the runner says it has ended.
  JobSettings settings_;
  BackupOptions backupOptions_;
  ScanOptions scanOptions_;
  BackupResult backupResult_;
  ScanResult scanResult_;
  JobRunner* runner_ = nullptr;
  RunningJob job_ = RunningJob::None;
  bool stopAsked_ = false;
  bool closing_ = false;
  bool askingToClose_ = false;
  int closeResult_ = 0;
  std::vector<QWidget*> disabledWhileClosing_;
  OutputFolderLock outputLock_;
};

}  // namespace korvex
