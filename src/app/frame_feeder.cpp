#include "app/frame_feeder.h"

#include <QTimer>
#include <ctime>

#include "jobs/output_folder.h"
#include "jobs/still_export.h"
#include "store/disk_source.h"

namespace korvex {

namespace {

// How often the window looks for the worker's answers.
constexpr int POLL_INTERVAL_MS = 20;

}  // namespace

FrameFeeder::FrameFeeder(QObject* parent) : QObject(parent), poll_(new QTimer(this)), thread_([this] { work(); }) {
  poll_->setInterval(POLL_INTERVAL_MS);
  connect(poll_, &QTimer::timeout, this, &FrameFeeder::takeAnswers);
}

FrameFeeder::~FrameFeeder() {
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
  }
  cancelled_ = true;
  wake_.notify_all();
  thread_.join();
}

void FrameFeeder::open(const std::string& disk, int partition, const KeyFrameSearch& search) {
  cancelled_ = true;  // the index under way is for an older segment
  {
    const std::lock_guard lock(mutex_);
    openPending_ = OpenRequest{++openNumber_, disk, partition, search};
    indexAnswer_.reset();
    ahead_.clear();
    seekPending_ = false;
    playing_ = false;
    frameCount_ = 0;
    ++seekNumber_;
  }
  wake_.notify_all();
  awaitingIndex_ = true;
  poll_->start();
}

std::uint64_t FrameFeeder::seek(std::size_t frame, bool playing) {
  std::uint64_t number = 0;
  {
    const std::lock_guard lock(mutex_);
    number = ++seekNumber_;
    ahead_.clear();
    nextFrame_ = frame;
    seekPending_ = true;
    playing_ = playing;
  }
  wake_.notify_all();
  return number;
}

void FrameFeeder::setPlaying(bool playing) {
  {
    const std::lock_guard lock(mutex_);
    playing_ = playing;
  }
  wake_.notify_all();
}

std::optional<FedFrame> FrameFeeder::takeFrame() {
  std::optional<FedFrame> frame;
  {
    const std::lock_guard lock(mutex_);
    if (ahead_.empty()) return frame;
    frame = std::move(ahead_.front());
    ahead_.pop_front();
  }
  wake_.notify_all();  // room for one more ahead
  return frame;
}

std::size_t FrameFeeder::framesQueued() {
  const std::lock_guard lock(mutex_);
  return ahead_.size();
}

void FrameFeeder::saveStill(std::size_t frame, const std::string& outputFolder,
                            std::optional<std::int64_t> clockOffset) {
  {
    const std::lock_guard lock(mutex_);
    stillPending_ = StillRequest{frame, outputFolder, clockOffset};
  }
  wake_.notify_all();
  awaitingStill_ = true;
  poll_->start();
}

void FrameFeeder::takeAnswers() {
  std::optional<IndexAnswer> index;
  std::optional<StillAnswer> still;
  {
    const std::lock_guard lock(mutex_);
    index.swap(indexAnswer_);
    still.swap(stillAnswer_);
  }
  if (index) awaitingIndex_ = false;
  if (still) awaitingStill_ = false;
  if (!awaitingIndex_ && !awaitingStill_) poll_->stop();
  if (index) emit indexReady(index->index, QString::fromStdString(index->problem));
  if (still) emit stillSaved(QString::fromStdString(still->path), QString::fromStdString(still->problem));
}

void FrameFeeder::openSegment(const OpenRequest& request) {
  IndexAnswer answer;
  decoder_.reset();
  index_.reset();
  if (!source_ || request.disk != openDisk_ || request.partition != openPartition_) {
    DiskOptions options;
    options.folderIgnoresPartition = true;  // as the job reads it
    OpenedDisk opened = openDisk(request.disk, request.partition, options);
    source_ = std::move(opened.source);
    openDisk_ = request.disk;
    openPartition_ = request.partition;
    if (!source_) answer.problem = diskFailureText(opened.failure);
  }
  if (source_) {
    auto index = std::make_shared<FrameIndex>(indexSegmentFrames(*source_, request.search, &cancelled_));
    if (index->cancelled) return;  // a newer segment waits
    if (index->frames.empty()) {
      answer.problem = index->problem.empty() ? "the segment holds no picture" : index->problem;
    } else {
      index_ = index;
      decoder_ = std::make_unique<SegmentDecoder>(*source_, *index_);
      answer.index = index_;
    }
  }
  const std::lock_guard lock(mutex_);
  if (openPending_) return;  // superseded meanwhile
  frameCount_ = index_ ? index_->frames.size() : 0;
  indexAnswer_ = std::move(answer);
}

FrameFeeder::StillAnswer FrameFeeder::writeStillOf(const StillRequest& request) {
  StillAnswer answer;
  if (!decoder_ || request.frame >= index_->frames.size()) {
    answer.problem = "no frame to save";
    return answer;
  }
  // The checks a job makes of its output folder, and its lock while the
  // still is written.
  OutputFolderLock lock;
  const Failure claim = claimOutputFolder(request.outputFolder, openDisk_, lock);
  if (claim.failed()) {
    answer.problem = request.outputFolder + ": " +
                     (claim.reason.empty() ? std::string("the output folder cannot be used for a still") : claim.reason);
    return answer;
  }
  const SegmentPicture picture = decoder_->picture(request.frame);
  // The decoder went back for the still: playing goes on from where it was.
  if (!picture.decoded) {
    answer.problem = picture.problem;
    return answer;
  }
  std::string problem;
  const std::vector<std::uint8_t> png = encodePng(picture.picture, problem);
  if (png.empty()) {
    answer.problem = problem;
    return answer;
  }
  const IndexedFrame& frame = index_->frames[request.frame];
  StillFacts facts;
  facts.disk = source_->describeDisk();
  facts.channel = index_->channel;
  facts.recordingFile = source_->filePath(frame.folder, frame.file);
  facts.folder = frame.folder;
  facts.file = frame.file;
  facts.offset = frame.offset;
  facts.timeStamp = frame.timeStamp;
  facts.clockOffsetSeconds = request.clockOffset;
  facts.frameInSegment = request.frame;
  facts.keyFrame = frame.key;
  facts.width = picture.picture.width;
  facts.height = picture.picture.height;
  facts.savedAt = std::time(nullptr);
  const StillFiles files = writeStill(request.outputFolder, facts, png);
  if (files.ok) answer.path = files.pngPath;
  else answer.problem = files.failure;
  return answer;
}

void FrameFeeder::work() {
  for (;;) {
    std::optional<OpenRequest> open;
    std::optional<StillRequest> still;
    std::size_t frame = 0;
    std::uint64_t seek = 0;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] {
        return quit_ || openPending_ || stillPending_ ||
               (decoder_ && nextFrame_ < frameCount_ && (seekPending_ || (playing_ && ahead_.size() < FRAMES_AHEAD)));
      });
      if (quit_) return;
      if (openPending_) {
        open = std::move(openPending_);
        openPending_.reset();
        cancelled_ = false;
      } else if (stillPending_) {
        still = std::move(stillPending_);
        stillPending_.reset();
      } else {
        frame = nextFrame_++;
        seek = seekNumber_;
        seekPending_ = false;
      }
    }
    if (open) {
      openSegment(*open);
      continue;
    }
    if (still) {
      StillAnswer answer = writeStillOf(*still);
      const std::lock_guard lock(mutex_);
      stillAnswer_ = std::move(answer);
      continue;
    }
    FedFrame fed{seek, decoder_->picture(frame)};
    const std::lock_guard lock(mutex_);
    if (seek == seekNumber_) ahead_.push_back(std::move(fed));
  }
}

}  // namespace korvex
