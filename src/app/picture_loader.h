// Finds and decodes segment pictures on a thread of its own, so that the
// window never waits for the disk or the decoder. Only the latest request
// counts: a newer one cancels the search under way. The worker leaves its
// picture under a lock; a timer on the window's thread takes it from there
// while a request is outstanding.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "preview/key_frame.h"
#include "preview/picture_decoder.h"

class QTimer;

namespace korvex {

class RecordingSource;

// Why a request has no picture.
enum class PictureProblem {
  None,
  Disk,         // the disk or a recording file could not be read (the problem names it)
  NoKeyFrame,   // the segment holds no key frame
  Undecodable,  // the key frame does not decode (the problem says how)
};

class PictureLoader : public QObject {
  Q_OBJECT

 public:
  explicit PictureLoader(QObject* parent = nullptr);
  // Waits for the search under way (it is cancelled first).
  ~PictureLoader() override;

  // Asks for the key frame that `search` finds on the disk named `disk` (a
  // folder, an image or a device; on an image or device, its partition
  // `partition`, 0: the first that holds a store), decoded to fit in
  // width x height. Returns the request's number, which pictureReady carries.
  std::uint64_t request(const std::string& disk, int partition, const KeyFrameSearch& search, int width, int height);
  // Forgets what was asked: no picture comes for it.
  void cancel();

 signals:
  // On the window's thread. `picture` is null when there is none; `kind`
  // and `problem` then say why, the problem in the core's words.
  void pictureReady(std::uint64_t request, const QImage& picture, korvex::RecorderTime time,
                    korvex::PictureProblem kind, const QString& problem);

 private:
  struct Request {
    std::uint64_t number = 0;
    std::string disk;
    int partition = 0;
    KeyFrameSearch search;
    int width = 0;
    int height = 0;
  };
  struct Answer {
    std::uint64_t number = 0;
    RgbPicture picture;
    RecorderTime time = 0;
    PictureProblem kind = PictureProblem::None;
    std::string problem;
  };
  void work();
  // On the window's thread: hands on an answer that has arrived.
  void takeAnswer();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<Request> pending_;  // guarded by mutex_
  std::optional<Answer> answer_;    // guarded by mutex_
  bool quit_ = false;               // guarded by mutex_
  std::atomic<bool> cancelled_{false};
  std::atomic<std::uint64_t> latest_{0};
  QTimer* poll_ = nullptr;
  // The worker's own: the last disk and partition opened.
  std::string openDisk_;
  int openPartition_ = 0;
  std::unique_ptr<RecordingSource> source_;
  // Last: started once everything above is in place, joined first.
  std::thread thread_;
};

}  // namespace korvex
