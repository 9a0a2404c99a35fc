#include "support/recorder_simulator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <queue>
#include <random>
#include <tuple>

#include "store/frame_header.h"
#include "store/recording_store.h"
#include "support/media_samples.h"
#include "support/store_writer.h"

namespace korvex::testing {

namespace {

// Writes frames into numbered files, opening the next file (and folder) as
// each fills up, and patches each file's header times when it is closed.
class StoreFiller {
 public:
  StoreFiller(const std::string& root, const SimulationOptions& options, SimulationResult& result)
      : store_(root), options_(options), result_(result), folder_(options.firstFolder) {}
  ~StoreFiller() { closeFile(); }

  void write(const FrameSpec& given) {
    if (!file_) openFile();
    // A copy only for the hook, so that large stores are written as fast as before.
    FrameSpec changed;
    if (options_.onFrame) {
      changed = given;
      options_.onFrame(changed, SimulatedPlace{folder_, fileNumber_, fileBytes_});
    }
    const FrameSpec& frame = options_.onFrame ? changed : given;
    std::uint8_t header[FRAME_HEADER_SIZE];
    encodeFrameHeader(frame, header);
    put(header, sizeof header);
    put(frame.payload.data(), frame.payload.size());
    if (fileFrames_++ == 0) startTime_ = endTime_ = frame.timeStamp;
    startTime_ = std::min(startTime_, frame.timeStamp);
    endTime_ = std::max(endTime_, frame.timeStamp);
    if (fileBytes_ >= options_.fileBytes) closeFile();
  }

  void finish() {
    closeFile();
    if (options_.fillLastFolder && fileNumber_ > 0 && fileNumber_ < FILES_PER_FOLDER) {
      store_.fillFolder(folder_, fileNumber_);
      result_.files += FILES_PER_FOLDER - fileNumber_;
      result_.storeBytes += static_cast<std::uint64_t>(FILES_PER_FOLDER - fileNumber_) * FILE_HEADER_SIZE;
    }
  }

 private:
  void put(const void* bytes, std::size_t size) {
    if (std::fwrite(bytes, 1, size, file_.get()) != size) fail();
    fileBytes_ += size;
    result_.storeBytes += size;
  }

  void openFile() {
    if (fileNumber_ == FILES_PER_FOLDER) {
      ++folder_;
      fileNumber_ = 0;
    }
    if (fileNumber_ == 0) {
      store_.makeFolder(folder_);
      ++result_.folders;
    }
    path_ = store_.filePath(folder_, fileNumber_);
    file_.reset(std::fopen(path_.c_str(), "wb"));
    if (!file_) fail();
    static const std::vector<std::uint8_t> header(FILE_HEADER_SIZE, 0);
    fileBytes_ = 0;
    fileFrames_ = 0;
    put(header.data(), header.size());
    ++result_.files;
  }

  void closeFile() {
    if (!file_) return;
    std::uint8_t times[8];
    putLe32(times, static_cast<std::uint32_t>(startTime_));
    putLe32(times + 4, static_cast<std::uint32_t>(endTime_));
    if (std::fseek(file_.get(), 4, SEEK_SET) != 0 || std::fwrite(times, 1, 8, file_.get()) != 8) fail();
    if (std::fclose(file_.release()) != 0) fail();
    ++fileNumber_;
  }

  [[noreturn]] void fail() const {
    std::fprintf(stderr, "recorder simulator: cannot write %s\n", path_.c_str());
    std::exit(1);
  }

  StoreWriter store_;
  const SimulationOptions& options_;
  SimulationResult& result_;
  int folder_;
  int fileNumber_ = 0;
  std::string path_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
  std::uint64_t fileBytes_ = 0;
  std::uint64_t fileFrames_ = 0;
  RecorderTime startTime_ = 0, endTime_ = 0;
};

}  // namespace

SimulationResult simulateRecorder(const std::string& root, const std::vector<SimulatedSegment>& segments,
                                  const SimulationOptions& options) {
  SimulationResult result;
  StoreFiller filler(root, options, result);
  std::mt19937 random(options.seed);
  const int fps = std::max(1, options.framesPerSecond);

  // Synthetic pictures are slices of one patterned buffer.
  std::vector<std::uint8_t> pattern;
  if (options.media == SimulatedMedia::Synthetic) {
    pattern.resize(std::max(options.syntheticMaxBytes, options.syntheticMinBytes));
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(random());
  }
  std::uniform_int_distribution<std::uint32_t> pictureSize(options.syntheticMinBytes,
                                                           std::max(options.syntheticMinBytes, options.syntheticMaxBytes));

  // Every picture of every segment, merged by (time, picture in second, segment).
  using Slot = std::tuple<RecorderTime, int, std::size_t, int>;  // time, picture of that second, segment, picture
  std::priority_queue<Slot, std::vector<Slot>, std::greater<>> queue;
  for (std::size_t i = 0; i < segments.size(); ++i)
    if (segments[i].seconds > 0) queue.emplace(segments[i].start, 0, i, 0);

  bool first = true;
  FrameSpec frame;
  while (!queue.empty()) {
    const auto [time, inSecond, index, picture] = queue.top();
    queue.pop();
    const SimulatedSegment& segment = segments[index];
    const bool key = picture % fps == 0;

    frame.segmentKeyA = 100 + static_cast<std::int32_t>(index);
    frame.segmentKeyB = 100000 + static_cast<std::int32_t>(index);
    frame.channel = segment.channel;
    frame.recordType = segment.recordType;
    frame.timeStamp = time;
    frame.frameKind = key ? FRAME_KIND_KEY : 2;
    frame.frameRate = fps;
    frame.audioSampleRate = 0;
    frame.audioBits = 0;
    if (options.media == SimulatedMedia::Samples) {
      const auto& units = sampleVideo();
      // Restart the sample at each key frame of the segment so that the
      // picture and the key flag agree.
      const std::size_t gop = static_cast<std::size_t>(fps);
      const VideoAccessUnit& unit = units[static_cast<std::size_t>(picture) % (units.size() / gop * gop)];
      frame.payload = unit.bytes;
      frame.frameKind = unit.key ? FRAME_KIND_KEY : 2;
      frame.videoWidth = SAMPLE_WIDTH;
      frame.videoHeight = SAMPLE_HEIGHT;
    } else {
      const std::uint32_t size = pictureSize(random);
      frame.payload.assign(pattern.begin(), pattern.begin() + size);
      frame.videoWidth = 704;
      frame.videoHeight = 576;
    }
    filler.write(frame);
    ++result.frames;
    ++result.videoFrames;
    result.payloadBytes += frame.payload.size();

    if (segment.audio) {
      frame.frameKind = FRAME_KIND_AUDIO;
      frame.videoWidth = frame.videoHeight = frame.frameRate = 0;
      frame.audioSampleRate = 8000;
      frame.audioBits = 8;
      frame.payload = sampleAudioChunk(static_cast<std::size_t>(picture));
      filler.write(frame);
      ++result.frames;
      result.payloadBytes += frame.payload.size();
    }

    if (first) result.firstTime = result.lastTime = time;
    first = false;
    result.firstTime = std::min(result.firstTime, time);
    result.lastTime = std::max(result.lastTime, time);

    const int next = picture + 1;
    if (next < segment.seconds * fps) queue.emplace(segment.start + next / fps, next % fps, index, next);
  }
  filler.finish();
  return result;
}

SimulationResult writeSampleDisk(const std::string& root) {
  const RecorderTime t0 = 1796112000;
  const std::vector<SimulatedSegment> segments = {
      {0, 1, t0, 40, true},        {1, 2, t0 + 5, 20, true},     {3, 4, t0 + 10, 15, false},
      {0, 2, t0 + 60, 30, true},   {1, 8, t0 + 60, 25, true},    {3, 1, t0 + 70, 40, false},
      {0, 4, t0 + 120, 20, true},  {1, 1, t0 + 130, 30, true},   {3, 8, t0 + 130, 20, false},
      {0, 8, t0 + 180, 15, true},  {1, 4, t0 + 190, 15, true},   {3, 2, t0 + 185, 25, false},
  };
  SimulationOptions options;
  options.fileBytes = 32 * 1024;
  std::string folder = root;
  if (folder.empty() || folder.back() != '/') folder += '/';
  return simulateRecorder(folder, segments, options);
}

}  // namespace korvex::testing
