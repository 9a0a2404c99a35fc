#include "app/picture_loader.h"

#include <cstring>

#include "preview/picture_decoder.h"
#include "store/disk_source.h"

namespace korvex {

PictureLoader::PictureLoader(QObject* parent) : QObject(parent), thread_([this] { work(); }) {}

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

std::uint64_t PictureLoader::request(const std::string& disk, const KeyFrameSearch& search, int width, int height) {
  const std::uint64_t number = latest_.fetch_add(1) + 1;
  // The search under way is for an older request. Set before the request
  // is posted, so that the worker clears it when it takes this one.
  cancelled_ = true;
  {
    const std::lock_guard lock(mutex_);
    pending_ = Request{number, disk, search, width, height};
  }
  wake_.notify_all();
  return number;
}

void PictureLoader::cancel() {
  latest_.fetch_add(1);
  cancelled_ = true;
  const std::lock_guard lock(mutex_);
  pending_.reset();
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
    QImage image;
    QString problem;
    RecorderTime time = 0;
    if (!source_ || request.disk != openDisk_) {
      std::string error;
      source_ = openDiskSource(request.disk, 0, error);
      openDisk_ = request.disk;
      if (!source_) problem = QString::fromStdString(error);
    }
    if (source_) {
      const KeyFrame key = findKeyFrame(*source_, request.search, &cancelled_);
      if (cancelled_.load()) continue;  // a newer request waits
      if (!key.found) {
        problem = QString::fromStdString(key.problem);
      } else {
        time = key.timeStamp;
        const DecodedPicture decoded =
            decodeH264Picture(key.payload.data(), key.payload.size(), request.width, request.height);
        if (decoded.ok) {
          image = QImage(decoded.picture.width, decoded.picture.height, QImage::Format_RGB888);
          for (int y = 0; y < decoded.picture.height; ++y)
            std::memcpy(image.scanLine(y), decoded.picture.rgb.data() + static_cast<std::size_t>(y) * decoded.picture.width * 3,
                        static_cast<std::size_t>(decoded.picture.width) * 3);
        } else {
          problem = QString::fromStdString(decoded.problem);
        }
      }
    }
    if (request.number != latest_.load()) continue;
    // Queued to the window's thread; Qt drops it if this object is gone by then
    // (it is not: the destructor joins this thread first).
    QMetaObject::invokeMethod(
        this, [this, number = request.number, image, time, problem] { emit pictureReady(number, image, time, problem); },
        Qt::QueuedConnection);
  }
}

}  // namespace korvex
