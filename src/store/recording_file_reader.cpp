#include "store/recording_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korvex {

std::uint8_t* PayloadBuffer::prepare(std::size_t length) {
  if (length > MAX_PAYLOAD_BYTES) return nullptr;
  if (length > bytes_.size()) bytes_.resize(length);
  size_ = length;
  return bytes_.data();
}

RecordingFileReader::~RecordingFileReader() { close(); }

bool RecordingFileReader::open(const std::string& path, ReadPattern pattern) {
  close();
  // O_NOATIME keeps even the access time of the evidence as it was; only the
  // file's owner (or root) may ask for it, so fall back without it.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;

  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  fileSize_ = static_cast<std::uint64_t>(info.st_size);
  position_ = 0;
  pendingPayload_ = 0;
  framesEnded_ = false;
  posix_fadvise(fd_, 0, 0, pattern == ReadPattern::WholeFile ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_RANDOM);
  return true;
}

void RecordingFileReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RecordingFileReader::readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = pread(fd_, into + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool RecordingFileReader::readFileHeader(RecordingFileHeader& header) {
  position_ = FILE_HEADER_SIZE;
  std::uint8_t bytes[12];
  if (fd_ < 0 || fileSize_ < FILE_HEADER_SIZE || !readAt(0, bytes, sizeof bytes)) {
    framesEnded_ = true;
    return false;
  }
  header = decodeFileHeader(bytes);
  return true;
}

bool RecordingFileReader::nextFrame(FrameHeader& header) {
  if (pendingPayload_ != 0) skipPayload();
  while (!framesEnded_ && fd_ >= 0) {
    std::uint8_t bytes[FRAME_HEADER_SIZE];
    if (position_ + FRAME_HEADER_SIZE > fileSize_ || !readAt(position_, bytes, sizeof bytes)) break;
    const FrameHeader candidate = decodeFrameHeader(bytes);
    if (!frameHeaderContinuesSequence(candidate)) break;
    const std::uint64_t payloadStart = position_ + FRAME_HEADER_SIZE;
    if (payloadStart + candidate.payloadLength > fileSize_) break;  // cut short by the end of the file

    position_ = payloadStart;
    if (candidate.channel < 0 || candidate.channel >= CHANNEL_TABLE_SIZE ||
        candidate.payloadLength > MAX_PAYLOAD_BYTES) {
      position_ += candidate.payloadLength;
      continue;
    }
    pendingPayload_ = candidate.payloadLength;
    header = candidate;
    return true;
  }
  framesEnded_ = true;
  return false;
}

bool RecordingFileReader::readPayload(PayloadBuffer& buffer) {
  const std::uint32_t length = pendingPayload_;
  pendingPayload_ = 0;
  std::uint8_t* into = buffer.prepare(length);
  if (into == nullptr || !readAt(position_, into, length)) {
    buffer.size_ = 0;
    framesEnded_ = true;
    return false;
  }
  position_ += length;
  return true;
}

void RecordingFileReader::skipPayload() {
  position_ += pendingPayload_;
  pendingPayload_ = 0;
}

}  // namespace korvex
