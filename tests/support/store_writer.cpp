#include "support/store_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "store/recording_store.h"

namespace korvex::testing {

void putLe32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
  at[2] = static_cast<std::uint8_t>(value >> 16);
  at[3] = static_cast<std::uint8_t>(value >> 24);
}

FrameSpec keyedFrame(std::int32_t channel, std::int32_t keyA, std::int32_t keyB, RecorderTime t, std::size_t bytes,
                     std::int32_t recordType) {
  FrameSpec f;
  f.channel = channel;
  f.segmentKeyA = keyA;
  f.segmentKeyB = keyB;
  f.timeStamp = t;
  f.recordType = recordType;
  f.payload.assign(bytes, 0xab);
  return f;
}

void encodeFrameHeader(const FrameSpec& f, std::uint8_t* out) {
  for (std::size_t i = 0; i < FRAME_HEADER_SIZE; ++i) out[i] = static_cast<std::uint8_t>(0xc0 + i % 16);
  auto put = [out](std::size_t offset, std::int64_t value) { putLe32(out + offset, static_cast<std::uint32_t>(value)); };
  put(0, f.magicHead);
  put(4, f.segmentKeyB);
  put(8, f.videoWidth);
  put(12, f.videoHeight);
  put(16, f.frameRate);
  put(20, f.audioSampleRate);
  put(32, f.audioBits);
  put(36, f.frameKind);
  put(40, f.segmentKeyA);
  put(44, f.channel);
  put(48, f.recordType);
  put(60, f.payloadLength.value_or(static_cast<std::uint32_t>(f.payload.size())));
  put(72, f.timeStamp);
  put(124, f.magicTail);
}

RecordingFileBuilder::RecordingFileBuilder() : bytes_(FILE_HEADER_SIZE, 0) {
  // Bytes no reader interprets carry a pattern.
  for (std::size_t i = 0; i < 4; ++i) bytes_[i] = 0x5a;
}

RecordingFileBuilder& RecordingFileBuilder::times(RecorderTime start, RecorderTime end) {
  putLe32(bytes_.data() + 4, static_cast<std::uint32_t>(start));
  putLe32(bytes_.data() + 8, static_cast<std::uint32_t>(end));
  return *this;
}

RecordingFileBuilder& RecordingFileBuilder::timesFromFrames() {
  if (minTime_) times(*minTime_, *maxTime_);
  return *this;
}

RecordingFileBuilder& RecordingFileBuilder::frame(const FrameSpec& f) {
  std::uint8_t header[FRAME_HEADER_SIZE];
  encodeFrameHeader(f, header);
  bytes_.insert(bytes_.end(), header, header + FRAME_HEADER_SIZE);
  bytes_.insert(bytes_.end(), f.payload.begin(), f.payload.end());
  ++frames_;
  minTime_ = std::min(minTime_.value_or(f.timeStamp), f.timeStamp);
  maxTime_ = std::max(maxTime_.value_or(f.timeStamp), f.timeStamp);
  return *this;
}

RecordingFileBuilder& RecordingFileBuilder::raw(const std::vector<std::uint8_t>& more) {
  bytes_.insert(bytes_.end(), more.begin(), more.end());
  return *this;
}

RecordingFileBuilder& RecordingFileBuilder::truncate(std::size_t size) {
  bytes_.resize(std::min(size, bytes_.size()));
  return *this;
}

void RecordingFileBuilder::writeTo(const std::string& path) const {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file || std::fwrite(bytes_.data(), 1, bytes_.size(), file.get()) != bytes_.size()) {
    std::fprintf(stderr, "test support: cannot write %s\n", path.c_str());
    std::abort();
  }
}

StoreWriter::StoreWriter(std::string root) : root_(std::move(root)) {
  if (root_.empty() || root_.back() != '/') root_ += '/';
  mkdir(root_.c_str(), 0755);
}

std::string StoreWriter::folderPath(int folder) const {
  char name[32];
  std::snprintf(name, sizeof name, "dir%05d", folder);
  return root_ + name;
}

std::string StoreWriter::filePath(int folder, int file) const { return recordingFilePath(root_, folder, file); }

void StoreWriter::makeFolder(int folder) const { mkdir(folderPath(folder).c_str(), 0755); }

void StoreWriter::writeFile(int folder, int file, const RecordingFileBuilder& builder) const {
  makeFolder(folder);
  builder.writeTo(filePath(folder, file));
}

void StoreWriter::fillFolder(int folder, int from) const {
  makeFolder(folder);
  const RecordingFileBuilder empty;
  for (int file = from; file < FILES_PER_FOLDER; ++file) {
    struct stat info {};
    if (stat(filePath(folder, file).c_str(), &info) != 0) empty.writeTo(filePath(folder, file));
  }
}

}  // namespace korvex::testing
