// Feeds the player its pictures from a thread of its own: builds the
// segment's frame index, decodes the frame asked for, and while the player
// plays, a few frames ahead of it (never more than FRAMES_AHEAD, whatever
// the segment's length). Saves stills there too. Like the picture loader,
// the worker leaves its answers under a lock and a timer on the window's
// thread hands them on.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "preview/frame_decoder.h"
#include "preview/frame_index.h"

class QTimer;

namespace korvex {

class RecordingSource;

// A decoded frame for the player, tagged with the seek it answers.
struct FedFrame {
  std::uint64_t seek = 0;
  SegmentPicture picture;
};

class FrameFeeder : public QObject {
  Q_OBJECT

 public:
  static constexpr std::size_t FRAMES_AHEAD = 4;

  explicit FrameFeeder(QObject* parent = nullptr);
  // Cancels the work under way and waits for it.
  ~FrameFeeder() override;

  // Indexes the segment `search` finds on `disk` (partition `partition`);
  // indexReady follows. Any frames of an earlier segment are dropped.
  void open(const std::string& disk, int partition, const KeyFrameSearch& search);
  // Frame `frame` next, then (while playing) the ones after it. Returns
  // the seek's number; frames of older seeks are dropped.
  std::uint64_t seek(std::size_t frame, bool playing);
  // Playing or not, from the frame last asked for on.
  void setPlaying(bool playing);
  // The next frame decoded for the latest seek, if one is there.
  std::optional<FedFrame> takeFrame();
  // Writes the still of frame `frame` into `outputFolder`; stillSaved
  // follows.
  void saveStill(std::size_t frame, const std::string& outputFolder, std::optional<std::int64_t> clockOffset);

  // Frames held decoded at most (the queue ahead and the decoder's one).
  std::size_t framesQueued();

 signals:
  // On the window's thread. `index` is null when the segment could not be
  // read; `problem` then says why, in the core's words.
  void indexReady(std::shared_ptr<const korvex::FrameIndex> index, const QString& problem);
  // `path` empty: not saved, `problem` says why.
  void stillSaved(const QString& path, const QString& problem);

 private:
  struct OpenRequest {
    std::uint64_t number = 0;
    std::string disk;
    int partition = 0;
    KeyFrameSearch search;
  };
  struct StillRequest {
    std::size_t frame = 0;
    std::string outputFolder;
    std::optional<std::int64_t> clockOffset;
  };
  struct IndexAnswer {
    std::shared_ptr<const FrameIndex> index;
    std::string problem;
  };
  struct StillAnswer {
    std::string path;
    std::string problem;
  };
  void work();
  void openSegment(const OpenRequest& request);
  StillAnswer writeStillOf(const StillRequest& request);
  void takeAnswers();

  std::mutex mutex_;
  std::condition_variable wake_;
  // Guarded by mutex_:
  std::optional<OpenRequest> openPending_;
  std::optional<StillRequest> stillPending_;
  std::optional<IndexAnswer> indexAnswer_;
  std::optional<StillAnswer> stillAnswer_;
  std::deque<FedFrame> ahead_;
  std::uint64_t seekNumber_ = 0;
  bool seekPending_ = false;
  std::size_t nextFrame_ = 0;  // the next frame to decode
  std::size_t frameCount_ = 0;
  bool playing_ = false;
  bool quit_ = false;

  std::atomic<bool> cancelled_{false};
  QTimer* poll_ = nullptr;
  bool awaitingIndex_ = false;  // the window's thread's own
  bool awaitingStill_ = false;
  // The worker's own.
  std::string openDisk_;
  int openPartition_ = 0;
  std::unique_ptr<RecordingSource> source_;
  std::shared_ptr<const FrameIndex> index_;
  std::unique_ptr<SegmentDecoder> decoder_;
  std::uint64_t openNumber_ = 0;
  // Last: started once everything above is in place, joined first.
  std::thread thread_;
};

}  // namespace korvex
