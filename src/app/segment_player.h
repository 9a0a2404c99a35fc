// The player of the picking view: plays the picked segment frame by frame
// with the recorder's time of each frame under the picture, steps and
// jumps through it, and saves the frame on screen as a still. Frames come
// from a FrameFeeder's thread; the window never waits for the disk or the
// decoder.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/frame_feeder.h"
#include "preview/frame_index.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;
class QTimer;

namespace korvex {

class SegmentPlayer : public QWidget {
  Q_OBJECT

 public:
  static constexpr int PICTURE_WIDTH = 352;
  static constexpr int PICTURE_HEIGHT = 288;
  // Speeds offered, in eighths of the recorded rate: 1/8x to 8x.
  static constexpr int SPEED_EIGHTHS[] = {1, 2, 4, 8, 16, 32, 64};

  explicit SegmentPlayer(QWidget* parent = nullptr);
  ~SegmentPlayer() override;

  // Plays the segment `search` finds on `disk`, from its frame at `near`
  // (RECORDER_TIME_MIN: its first frame).
  void setSegment(const std::string& disk, int partition, const KeyFrameSearch& search, RecorderTime near);
  // Where "Save still" writes: the form's output folder.
  void setOutputFolderOfForm(std::function<std::string()> folder) { outputFolderOfForm_ = std::move(folder); }
  // The recorder clock's offset in seconds; unset: no corrected time.
  void setClockOffset(std::optional<std::int64_t> seconds);

  void play();
  void pause();
  bool playing() const { return playing_; }
  // Steps and jumps; each shows its frame once decoded.
  void step(int frames);
  void jumpToKeyFrame(bool forward);
  void showFrame(std::size_t frame);
  // Goes to a local "YYYY-MM-DD HH:MM:SS"; false when the text is no time
  // of the segment.
  bool goToTime(const QString& text);
  void setSpeedEighths(int eighths);
  void saveStill();

  // What is on screen: the frame, its picture (without marks) and whether
  // it decoded.
  std::size_t shownFrame() const { return shown_; }
  const QImage& shownPicture() const { return shownImage_; }
  bool shownDecoded() const { return shownDecoded_; }
  std::shared_ptr<const FrameIndex> frameIndex() const { return index_; }
  QLabel* picture() const { return picture_; }
  QLabel* caption() const { return caption_; }
  QLabel* status() const { return status_; }
  QSlider* position() const { return position_; }
  QPushButton* playButton() const { return play_; }
  QPushButton* saveStillButton() const { return saveStill_; }
  QComboBox* speedBox() const { return speed_; }
  QLineEdit* timeField() const { return time_; }
  FrameFeeder* feeder() const { return feeder_; }
  void applyLanguageTexts();

 signals:
  // A frame is on screen (the one asked for, or the next while playing).
  void frameShown(std::size_t frame);
  // The segment is indexed (or could not be read).
  void segmentReady();
  void stillSaved(const QString& path, const QString& problem);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Texts {
    QString play, pause, stepBack, stepForward, previousKey, nextKey, goTo, speed, saveStill;
    QString frame, keyFrame, damaged, corrected, stillSaved, stillFailed, reading, notATime, cannotRead;
  };
  void onIndex(std::shared_ptr<const FrameIndex> index, const QString& problem);
  void onTick();
  void present(const FedFrame& frame);
  void showPicture();
  void showCaption();
  void setControlsEnabled(bool enabled);
  int frameIntervalMs() const;

  Texts texts_;
  FrameFeeder* feeder_ = nullptr;
  std::shared_ptr<const FrameIndex> index_;
  std::function<std::string()> outputFolderOfForm_;
  std::optional<std::int64_t> clockOffset_;
  std::size_t shown_ = NO_FRAME;
  std::size_t wanted_ = NO_FRAME;  // the frame asked for and not yet shown
  std::uint64_t seek_ = 0;
  std::size_t startFrom_ = 0;
  RecorderTime startNear_ = RECORDER_TIME_MIN;
  bool playing_ = false;
  int speedEighths_ = 8;
  QImage shownImage_;
  bool shownDecoded_ = false;
  QString shownProblem_;
  bool syncingSlider_ = false;

  QLabel* picture_ = nullptr;
  QLabel* caption_ = nullptr;
  QLabel* status_ = nullptr;
  QSlider* position_ = nullptr;
  QPushButton* play_ = nullptr;
  QToolButton* stepBack_ = nullptr;
  QToolButton* stepForward_ = nullptr;
  QToolButton* previousKey_ = nullptr;
  QToolButton* nextKey_ = nullptr;
  QPushButton* goTo_ = nullptr;
  QPushButton* saveStill_ = nullptr;
  QComboBox* speed_ = nullptr;
  QLineEdit* time_ = nullptr;
  QTimer* tick_ = nullptr;
};

}  // namespace korvex
