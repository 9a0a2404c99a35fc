// The selection of a job: time window, channels, record types, disk, output
// folder, and in the advanced band the size limit, folder range, partition
// and recovery. It turns its controls into JobSettings and a pick from the
// picking view into its controls. Its controls sit in the window's grid and
// band, where the window lays them out, so that their ids, names and focus
// order stay those of the one form the window has always shown.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

#include "app/segment_browser.h"
#include "jobs/job_settings.h"
#include "jobs/job_result.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGridLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QLocale;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace korvex {


class SelectionForm : public QObject {
  Q_OBJECT

 public:
  // Asks for a folder; returns the chosen path, or the empty text when the
  // user cancels.
  using FolderChooser = std::function<QString(QWidget* parent, const QString& title, const QString& startFolder)>;
  // Asks for a file (a disk image); the empty text when the user cancels.
  using FileChooser = std::function<QString(QWidget* parent, const QString& title, const QString& startFolder,
                                            const QString& filter)>;
  // Lets the user change the case details; true when they were confirmed.
  using CaseEditor = std::function<bool(QWidget* parent, CaseDetails& details)>;

  // Makes the controls: the upper ones in `window`, the advanced ones in
  // `band`; then the drive list and the default output folder.
  SelectionForm(QWidget* window, QWidget* band);

  // Every field of a backup's selection, as captureBackupSettings fills it.
  JobSettings settings() const;
  // The selection of a backup from the controls, every field, in this order:
  // folder range, time window, size limit, channels 1 to 16, record types,
  // disk root, output folder. Hidden controls count as well.
  void captureBackupSettings(JobSettings& settings) const;
  // The part a scan uses: folder range, disk root, output folder. The other
  // fields keep their values.
  void captureScanSettings(JobSettings& settings) const;

  // The pick's channels, record types and time window, into the controls.
  // Nothing changes for an empty pick.
  void takePick(const PickSummary& pick);
  // The pickers span the recordings a scan found.
  void spanSegments(const std::vector<SegmentRecord>& segments);
  // Days with recordings stand out in the pickers' calendars.
  void markRecordingDays(const std::vector<std::int64_t>& days);

  // The Partition box (a folder ignores it).
  int partitionValue() const;
  // Puts `disk` and its partition into the form.
  void takeDisk(const DiskChoice& disk);
  // The disk and partition a job started now would read.
  DiskChoice diskOfForm() const;
  // The disk box's text, as typed.
  QString diskText() const;
  QString outputFolderText() const;
  void setDiskText(const QString& text);
  void setOutputFolderText(const QString& text);

  // The rows of the upper form, from `row` on: time window, channels,
  // record types, disk, output folder.
  void addUpperRows(QGridLayout* grid, int& row);
  // The advanced band's rows: size limit, folder range, partition, recovery.
  void addAdvancedRows(const std::function<void(QWidget* label, QLayout* fields)>& addRow);
  std::vector<QWidget*> upperFocusOrder() const;
  std::vector<QWidget*> advancedFocusOrder() const;
  // The widest caption of the form's labels.
  int labelColumnWidth() const;
  // The captions that are not controls' own (the Browse menu, partition,
  // recovery).
  void applyLanguageTexts();
  // Dates, times and the calendars in `locale`'s words and order.
  void applyLocale(const QLocale& locale);
  // Every control at its start-up value.
  void setInitialStates();

  void setFolderChooser(FolderChooser chooser);
  void setFileChooser(FileChooser chooser);
  void setCaseEditor(CaseEditor editor);
  // The case details every job into the output folder shown now takes.
  const CaseDetails& caseDetails() const { return caseDetails_; }
  QPushButton* caseButton() const { return caseButton_; }

  // The recorder clock's offset as the advanced band gives it: nullopt for
  // an empty field or a text it cannot read (then `problem` says which
  // message the window shows, else it is empty).
  std::optional<ClockOffset> clockOffset(const char*& problem) const;
  // The field's text, and whether it is to be remembered for the disk.
  QString clockOffsetText() const;
  bool rememberClockOffset() const;
  // A remembered offset (empty: none) into the field, for the disk in the form.
  void takeRememberedClockOffset(const QString& text);

  QCheckBox* recoverBox() const { return recover_; }
  QCheckBox* timeFileBox() const { return timeFile_; }
  QAction* diskFolderAction() const { return diskFolderAction_; }
  QAction* diskImageAction() const { return diskImageAction_; }

 signals:
  // The clock offset's text changed (typed, or remembered for the disk).
  void clockOffsetChanged();

 public slots:
  void onBrowse();
  void onBrowseDiskFolder();
  void onBrowseDiskImage();
  void onAllChannels();
  // Edits the output folder's case details and remembers them for it.
  void onEditCase();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createControls();
  void fillDriveList();
  void setDefaultOutputFolder();
  QString controlText(int id) const;
  void updateAllChannels();
  void onDiskTextChanged(const QString& disk);

  QWidget* window_;
  QWidget* band_;
  QLabel* backupTimeLabel_ = nullptr;
  QDateEdit* beginDate_ = nullptr;
  QTimeEdit* beginTime_ = nullptr;
  QDateEdit* endDate_ = nullptr;
  QTimeEdit* endTime_ = nullptr;
  QLabel* channelLabel_ = nullptr;
  std::array<QCheckBox*, SELECTABLE_CHANNELS> channelBoxes_{};
  QCheckBox* allChannels_ = nullptr;
  QLabel* recordTypeLabel_ = nullptr;
  QCheckBox* typeTime_ = nullptr;
  QCheckBox* typeMotion_ = nullptr;
  QCheckBox* typeSensor_ = nullptr;
  QCheckBox* typeManual_ = nullptr;
  QLabel* diskLabel_ = nullptr;
  QComboBox* driveList_ = nullptr;
  QLabel* outputLabel_ = nullptr;
  QPushButton* diskBrowse_ = nullptr;
  QAction* diskFolderAction_ = nullptr;
  QAction* diskImageAction_ = nullptr;
  QLineEdit* outputFolder_ = nullptr;
  QPushButton* browse_ = nullptr;
  // Recovery for a damaged disk; no control id, being none of the
  // original window's controls.
  QCheckBox* recover_ = nullptr;
  // The recorder's time beside each AVI file, and the rates in the logs.
  QCheckBox* timeFile_ = nullptr;
  // The recorder clock's offset: an offset or two readings, remembered
  // for the disk only when asked; and the clock the window is entered in.
  QLabel* clockOffsetLabel_ = nullptr;
  QLineEdit* clockOffset_ = nullptr;
  QCheckBox* rememberOffset_ = nullptr;
  QComboBox* windowClock_ = nullptr;
  std::time_t offsetEnteredAt_ = 0;
  QLabel* sizeLimitLabel_ = nullptr;
  QLineEdit* sizeLimit_ = nullptr;
  QLabel* folderRangeLabel_ = nullptr;
  QLineEdit* folderStart_ = nullptr;
  QLineEdit* folderEnd_ = nullptr;
  QLabel* partitionLabel_ = nullptr;
  QSpinBox* partition_ = nullptr;
  QLabel* caseLabel_ = nullptr;
  QPushButton* caseButton_ = nullptr;
  CaseDetails caseDetails_;
  FolderChooser folderChooser_;
  FileChooser fileChooser_;
  CaseEditor caseEditor_;
};

}  // namespace korvex
