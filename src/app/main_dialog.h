// The program's one window: the composition of the selection form, the job
// panel and the picking view, with the language, the advanced band, the
// About box and what the window remembers between runs.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "app/job_panel.h"
#include "app/selection_form.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLayout;
class QPushButton;
class QScrollArea;
class QShowEvent;
class QToolButton;

namespace korvex {

class ReportWriter;
class SegmentBrowser;
struct ReportFilesResult;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // Runs a modal dialog (the About box, a message box) and returns its
  // result. Tests answer the dialog here instead of running it.
  using ModalRunner = std::function<int(QDialog& dialog)>;
  using FolderChooser = SelectionForm::FolderChooser;
  using FileChooser = SelectionForm::FileChooser;
  using UrlOpener = JobPanel::UrlOpener;
  // Asks for the jobs' logs of a report; empty when the user cancels.
  using LogsChooser = std::function<QStringList(QWidget* parent, const QString& title, const QString& startFolder,
                                                const QString& filter)>;

  // Builds the window in its start-up state: controls at their defaults,
  // compact size, start-up language and captions, drive list, output folder.
  explicit MainDialog(QWidget* parent = nullptr);
  // Asks a job still running to stop and waits for its worker.
  ~MainDialog() override;

  // The control with this id (1000 to 1054), or nullptr.
  QWidget* control(int id) const;

  QPushButton* startBackupButton() const { return panel_->startBackupButton(); }
  QPushButton* stopBackupButton() const { return panel_->stopBackupButton(); }
  QPushButton* scanButton() const { return panel_->scanButton(); }
  QPushButton* stopScanButton() const { return panel_->stopScanButton(); }
  QAction* aboutAction() const { return aboutAction_; }
  // The disk box's Browse menu: a folder, or an image file or device.
  QAction* diskFolderAction() const { return form_->diskFolderAction(); }
  QAction* diskImageAction() const { return form_->diskImageAction(); }

  // True while the lower band (size limit, folder range, scan controls,
  // progress) is out of view.
  bool advancedCollapsed() const { return advancedCollapsed_; }
  QCheckBox* recoverBox() const { return form_->recoverBox(); }
  QCheckBox* timeFileBox() const { return form_->timeFileBox(); }

  // The selection of a job (SelectionForm).
  SelectionForm* selectionForm() const { return form_; }
  void captureBackupSettings(JobSettings& settings) const { form_->captureBackupSettings(settings); }
  void captureScanSettings(JobSettings& settings) const { form_->captureScanSettings(settings); }

  // The job control (JobPanel): its messages, status and buttons.
  JobPanel* jobPanel() const { return panel_; }
  void showMessage(const QString& text);
  void showSummary(const QString& text, const QString& folder);
  bool askYesNo(const QString& text);
  void setStatusText(const QString& text);
  void setScanProgress(int percent);
  void setJobButtonsEnabled(bool startBackup, bool stopBackup, bool scan, bool stopScan);

  void setModalRunner(ModalRunner runner);
  void setFolderChooser(FolderChooser chooser);
  void setFileChooser(FileChooser chooser);
  void setUrlOpener(UrlOpener opener);
  void setBackupOptions(BackupOptions options);
  void setScanOptions(ScanOptions options);
  int runModal(QDialog& dialog);

  // The text of a key of section "language" in the current language.
  static QString languageCaption(const char* key);

  // True from a job's start until its worker has ended.
  bool jobWorkerRunning() const;
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

  // The examination report (main_dialog_segments.cpp): asks for the jobs'
  // logs and starts writing the report and its PDF into the output folder,
  // with the pictures of the form's disk, off the window's thread; the
  // button waits meanwhile and reportWritten follows. False when nothing
  // started.
  QPushButton* reportButton() const { return report_; }
  void setLogsChooser(LogsChooser chooser) { logsChooser_ = std::move(chooser); }
  bool onReport();

 signals:
  // After the report's message; `written`: the files are there.
  void reportWritten(bool written);

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

  // The job buttons (JobPanel).
  bool onStartBackup();
  bool onScan();
  void onStopBackup();
  void onStopScan();

  // Ends the window; while a job runs, first asks whether to stop it, then
  // waits, showing that it is finishing, until its worker has ended. What
  // the window remembers is saved as it ends.
  void done(int result) override;

  // The disk, output folder, language, width and the advanced band's state,
  // kept in the desktop's settings (WindowSettings) for the next start.
  void saveSettings() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // A window shown on its screen is fitted to what that screen has room for.
  void showEvent(QShowEvent* event) override;

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
  // Neither grows past the screen's room: the content scrolls instead.
  void fitHeight();
  // The largest size of the window (its frame excluded) whose frame fits in
  // the available area of its screen.
  QSize roomOnScreen() const;
  // What the scroll area around the content adds to its size.
  QSize scrollerExtra() const;
  // Resizes to `wanted`, no larger than the screen's room.
  void resizeWithinScreen(QSize wanted);
  // Shrinks the window to the room on its screen and moves its frame inside
  // the available area.
  void keepOnScreen();

  // While the window waits for a job to end: every control but the status
  // box off, until finishClosing.
  void showFinishing();
  void finishClosing();

  QLabel* languageLabel_ = nullptr;
  QComboBox* languageList_ = nullptr;
  QPushButton* advanced_ = nullptr;
  QWidget* lowerBand_ = nullptr;
  // Everything the window shows, in a scroll area: on a small screen the
  // window keeps to the screen and its content scrolls.
  QScrollArea* scroller_ = nullptr;
  QWidget* content_ = nullptr;
  SelectionForm* form_ = nullptr;
  JobPanel* panel_ = nullptr;
  // The picking view's hook (main_dialog_segments.cpp).
  void setUpSegmentView();
  void connectScanToSegmentView(const JobSettings& settings, ScanOptions& options);
  void applyPickToForm();
  void markRecordingDays();
  SegmentBrowser* segments_ = nullptr;
  QToolButton* segmentToggle_ = nullptr;
  QPushButton* report_ = nullptr;
  ReportWriter* reportWriter_ = nullptr;
  QString reportFolder_;
  void onReportWritten(const ReportFilesResult& written);
  LogsChooser logsChooser_;
  int widthBeforeSegments_ = 0;

  QGridLayout* upperGrid_ = nullptr;
  QGridLayout* lowerGrid_ = nullptr;
  QAction* aboutAction_ = nullptr;

  bool advancedCollapsed_ = true;
  ModalRunner modalRunner_;

  bool closing_ = false;
  bool askingToClose_ = false;
  int closeResult_ = 0;
  std::vector<QWidget*> disabledWhileClosing_;
};

}  // namespace korvex
