#include "app/picture_loader.h"

#include <QTimer>
#include <cstring>

#include "preview/picture_decoder.h"
#include "store/disk_source.h"

namespace korvex {

namespace {

// How often the window looks for an answer while one is awaited.
constexpr int POLL_INTERVAL_MS = 25;

}  // namespace

PictureLoader::PictureLoader(QObject* parent)
    : QObject(parent), poll_(new QTimer(this)), thread_([this] { work(); }) {
  poll_->setInterval(POLL_INTERVAL_MS);
  connect(poll_, &QTimer::timeout, this, &PictureLoader::takeAnswer);
}

PictureLoader::~PictureLoader() {
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
    pending_.reset();
  }
  cancelled_ = true;
  wake_.notify_all();
  thread_.join();
}

std::uint64_t PictureLoader::request(const std::string& disk, int partition, const KeyFrameSearch& search, int width,
                                     int height) {
  const std::uint64_t number = latest_.fetch_add(1) + 1;
  // The search under way is for an older request. Set before the request
  // is posted, so that the worker clears it when it takes this one.
  cancelled_ = true;
  {
    const std::lock_guard lock(mutex_);
    pending_ = Request{number, disk, partition, search, width, height};
  }
  wake_.notify_all();
  poll_->start();
  return number;
}

void PictureLoader::cancel() {
  poll_->stop();
  latest_.fetch_add(1);
  cancelled_ = true;
  const std::lock_guard lock(mutex_);
  pending_.reset();
  answer_.reset();
}

void PictureLoader::takeAnswer() {
  std::optional<Answer> answer;
  {
    const std::lock_guard lock(mutex_);
    answer.swap(answer_);
  }
  if (!answer) return;
  if (answer->number != latest_.load()) return;  // a newer request is under way
  poll_->stop();
  QImage image;
  if (!answer->picture.rgb.empty()) {
    const RgbPicture& picture = answer->picture;
    image = QImage(picture.width, picture.height, QImage::Format_RGB888);
    for (int y = 0; y < picture.height; ++y)
      std::memcpy(image.scanLine(y), picture.rgb.data() + static_cast<std::size_t>(y) * picture.width * 3,
                  static_cast<std::size_t>(picture.width) * 3);
  }
  emit pictureReady(answer->number, image, answer->time, answer->kind, QString::fromStdString(answer->problem));
}

void PictureLoader::work() {
  for (;;) {
    Request request;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || pending_.has_value(); });
      if (quit_) return;
      request = std::move(*pending_);
      pending_.reset();
      cancelled_ = false;
    }
    Answer answer;
    answer.number = request.number;
    if (!source_ || request.disk != openDisk_ || request.partition != openPartition_) {
      DiskOptions options;
      options.folderIgnoresPartition = true;  // as the job reads it
      OpenedDisk opened = openDisk(request.disk, request.partition, options);
      source_ = std::move(opened.source);
      openDisk_ = request.disk;
      openPartition_ = request.partition;
      if (!source_) {
        answer.kind = PictureProblem::Disk;
        answer.problem = diskFailureText(opened.failure);
      }
    }
    if (source_) {
      const KeyFrame key = findKeyFrame(*source_, request.search, &cancelled_);
      if (cancelled_.load()) continue;  // a newer request waits
      if (!key.found) {
        answer.kind = key.failure.code == FailureCode::NoKeyFrame ? PictureProblem::NoKeyFrame : PictureProblem::Disk;
        answer.problem = key.failure.path.empty() ? key.failure.reason : key.failure.path + ": " + key.failure.reason;
      } else {
        answer.time = key.timeStamp;
        DecodedPicture decoded =
            decodeH264Picture(key.payload.data(), key.payload.size(), request.width, request.height);
        if (decoded.ok()) {
          answer.picture = std::move(decoded.picture);
        } else {
          answer.kind = PictureProblem::Undecodable;
          answer.problem = decoded.failure.reason;
        }
      }
    }
    if (request.number != latest_.load()) continue;
    const std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
  }
}

}  // namespace korvex
