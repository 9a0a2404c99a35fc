// The picking view: the scan's segments as a table and a time line, with a
// picture of the segment in hand. What is picked in either view is shown in
// both; the window turns the pick into the backup's channels and time window
// and backs up exactly the picked segments.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/picture_loader.h"
#include "app/segment_list.h"
#include "app/segment_player.h"
#include "app/timeline_view.h"
#include "base/stop_request.h"
#include "jobs/job_result.h"
#include "jobs/job_settings.h"
#include "jobs/verify.h"
#include "preview/key_frame.h"

class QComboBox;
class QItemSelection;
class QLabel;
class QPushButton;
class QSplitter;
class QTableView;
class QTimer;

namespace korvex {

class SegmentTableModel;

// A disk as the form names it: a folder, an image or a device, and on an
// image or device the partition to read (0: the first that holds a store).
struct DiskChoice {
  std::string disk;
  int partition = 0;
};

// What the picked segments cover.
struct PickSummary {
  std::size_t count = 0;
  std::uint32_t channelMask = 0;  // bit k: channel index k
  RecorderTime begin = 0;         // earliest start
  RecorderTime end = 0;           // latest end
  std::array<bool, RECORD_TYPE_TABLE_SIZE> recordTypes{};  // by code
};

class SegmentBrowser : public QWidget {
  Q_OBJECT

 public:
  // The picture beside the table fits in this box.
  static constexpr int PICTURE_WIDTH = 240;
  static constexpr int PICTURE_HEIGHT = 180;

  explicit SegmentBrowser(QWidget* parent = nullptr);
  ~SegmentBrowser() override;

  // A scan of `disk` starts: the view empties, and the function returned
  // (safe to call on the scan's thread) adds each segment as it ends; the
  // view takes them in a few times a second.
  std::function<void(const SegmentRecord&)> startScan(const DiskChoice& disk);
  // Shows these segments of `disk`. Without their places in the store (a
  // log), pictures are looked for by the segments' times.
  void showSegments(const std::vector<SegmentRecord>& segments, const DiskChoice& disk, bool placesKnown);
  // Reads a scan's JSON log and shows its segments; false (and problem()
  // emitted) when it cannot be read.
  bool openScanLog(const QString& path);
  // Where the pictures of a log's segments are read: the disk and partition
  // in the form.
  void setDiskOfForm(std::function<DiskChoice()> disk) { diskOfForm_ = std::move(disk); }
  // The recorder clock's offset from the form: with one, the table's
  // corrected-time column and the hover's corrected time are shown.
  void setClockOffset(const std::optional<ClockOffset>& offset);
  // The disk the pictures are read from.
  const DiskChoice& disk() const { return disk_; }

  // Picks segments (indexes into segments()), as a click or drag does.
  void pick(const std::vector<std::uint32_t>& segments, TimelineView::PickMode mode);
  std::vector<std::uint32_t> pickedSegments() const;
  // Why the backup cannot take picked segments: each reason once (a channel
  // above 16, a record type code without a name), in the segments' order.
  QStringList pickedNotBackedUp() const;
  PickSummary pickSummary() const;
  // The picked segments as the backup's windows: per channel and record
  // type, the span of each segment with that type, spans that meet merged.
  std::vector<PickedWindow> pickedWindows() const;

  const SegmentList& segments() const { return list_; }
  SegmentTableModel* model() const { return model_; }
  QTableView* table() const { return table_; }
  TimelineView* timeline() const { return timeline_; }
  QLabel* picture() const { return picture_; }
  QLabel* pictureCaption() const { return caption_; }
  // Plays the segment whose picture is shown.
  SegmentPlayer* player() const { return player_; }
  QPushButton* backUpSelectionButton() const { return backUp_; }
  QComboBox* channelFilter() const { return channelFilter_; }
  QComboBox* typeFilter() const { return typeFilter_; }
  QPushButton* openScanLogButton() const { return openLog_; }
  QPushButton* verifyLogButton() const { return verify_; }
  // Checks the job's log at `path` (scan or backup) against its files and,
  // for a backup, the disk it names, on a thread of its own: verified()
  // gives the outcome in words.
  void verifyJobLog(const QString& path);
  QPushButton* wholeDiskButton() const { return wholeDisk_; }
  QPushButton* zoomInButton() const { return zoomIn_; }
  QPushButton* zoomOutButton() const { return zoomOut_; }
  QLabel* segmentCount() const { return count_; }
  QLabel* legend() const { return legend_; }
  // Takes in what the scan has delivered so far (the timer does it too).
  void takeScannedSegments();
  // Every text of the view in the current language, the table's and the
  // time line's included.
  void applyLanguageTexts();

 signals:
  void pickChanged();
  void backUpSelectionRequested();
  void segmentsShown();
  // The picture beside the table changed (or its placeholder did).
  void pictureShown();
  void problem(const QString& text);
  // An opened scan log names the disk its segments are on.
  void logDiskOpened(const DiskChoice& disk);
  void verified(const QString& text);

 private:
  struct Inbox {
    std::mutex mutex;
    std::vector<SegmentRecord> segments;  // guarded by mutex
  };
  // The texts in the current language, looked up once per change of
  // language: a lookup reads the language file, and a scan refills the
  // filters and the count several times a second.
  struct Texts {
    QString allChannels, channel, allTypes, count;
    QString pickSegment, readingPicture, noPicture, noKeyFrame, undecodable;
    QString openLogTitle, logFiles, cannotOpenLog, other, dayWithoutRecordings, laneChannel;
    QString recorderTime, correctedTime;
  };
  // What the picture box beside the table shows.
  enum class PictureState { Placeholder, Reading, Missing, Shown };

  void segmentsAdded(std::size_t count, bool fresh);
  void fillFilters();
  void onTableSelection();
  void showPickInTable();
  void showPictureOf(std::uint32_t segment);
  void onHover(std::int64_t segment, RecorderTime t);
  void updateCount();
  // Lanes added since the split was laid out: the time line gets the room
  // they need from the table above it.
  void keepLanesInView();
  void showPictureTexts();
  QString legendText() const;
  QString segmentCaption(const SegmentRecord& segment, RecorderTime t) const;
  QString noPictureText(const SegmentRecord& segment, PictureProblem kind, const QString& problem) const;
  KeyFrameSearch searchOf(const SegmentRecord& segment, RecorderTime near) const;

  Texts texts_;
  std::optional<ClockOffset> clockOffset_;
  PictureState pictureState_ = PictureState::Placeholder;
  std::uint32_t pictureSegment_ = 0;  // the segment whose picture is asked for or shown
  RecorderTime pictureTime_ = 0;
  PictureProblem pictureProblem_ = PictureProblem::None;
  QString pictureProblemText_;

  SegmentList list_;
  std::vector<std::uint8_t> picked_;
  DiskChoice disk_;
  bool placesKnown_ = true;
  bool followScan_ = false;
  bool syncing_ = false;
  std::shared_ptr<Inbox> inbox_;
  std::function<DiskChoice()> diskOfForm_;

  SegmentTableModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  TimelineView* timeline_ = nullptr;
  QLabel* picture_ = nullptr;
  QLabel* caption_ = nullptr;
  SegmentPlayer* player_ = nullptr;
  // Where the player starts: the time picked on the time line, else the
  // segment's first frame.
  RecorderTime playFrom_ = RECORDER_TIME_MIN;
  QLabel* count_ = nullptr;
  QPushButton* backUp_ = nullptr;
  QPushButton* openLog_ = nullptr;
  QPushButton* verify_ = nullptr;
  // The check of a log under way, and how to end it early; its outcome is
  // handed over under the lock and taken by the poll on this thread.
  std::thread verifier_;
  std::unique_ptr<StopRequest> verifyStop_;
  std::mutex verifyMutex_;
  std::optional<VerifyOutcome> verifyOutcome_;  // under verifyMutex_
  QTimer* verifyPoll_ = nullptr;
  void takeVerifyOutcome();
  QPushButton* wholeDisk_ = nullptr;
  QPushButton* zoomIn_ = nullptr;
  QPushButton* zoomOut_ = nullptr;
  QLabel* legend_ = nullptr;
  QComboBox* channelFilter_ = nullptr;
  QComboBox* typeFilter_ = nullptr;
  QSplitter* split_ = nullptr;
  QTimer* drain_ = nullptr;
  QTimer* hoverDelay_ = nullptr;
  std::int64_t hoverSegment_ = -1;
  RecorderTime hoverTime_ = 0;
  PictureLoader* pictureLoader_ = nullptr;
  PictureLoader* hoverLoader_ = nullptr;
  std::uint64_t pictureRequest_ = 0;
  std::uint64_t hoverRequest_ = 0;
};

}  // namespace korvex
