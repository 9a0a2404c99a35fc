#include "store/recording_file_reader.h"

#include <algorithm>
#include <cerrno>

namespace korvex {

namespace {

// Every read takes up to AHEAD_MOST bytes more than asked for, which holds
// the next header, and a 324-byte audio chunk with the header after that.
// It stops at the end of a page (once a whole header is in), so that on a
// cold disk it never costs a page the job does not need.
constexpr std::uint64_t AHEAD_PAGE = 4096;
constexpr std::uint64_t AHEAD_MOST = 1024;

}  // namespace

std::uint8_t* PayloadBuffer::prepare(std::size_t length) {
  if (length > MAX_PAYLOAD_BYTES) return nullptr;
  if (length > capacity_ || !bytes_) {
    // The old bytes are not kept: the payload about to be read replaces them.
    const std::size_t step = std::min(PAYLOAD_BUFFER_SIZE, std::max<std::size_t>(capacity_ * 4, 16384));
    capacity_ = std::max(length, step);
    bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity_);
  }
  size_ = length;
  return bytes_.get();
}

RecordingFileReader::~RecordingFileReader() { close(); }

bool RecordingFileReader::open(const std::string& path, ReadPattern pattern) {
  return open(FolderSource::openPath(path, pattern));
}

bool RecordingFileReader::open(OpenedFile opened) {
  close();
  failure_ = std::move(opened.failure);
  readError_ = 0;
  if (!opened.file) return false;
  file_ = std::move(opened.file);
  fileSize_ = file_->size();
  position_ = 0;
  pendingPayload_ = 0;
  framesEnded_ = false;
  aheadLength_ = 0;
  return true;
}

void RecordingFileReader::close() {
  file_.reset();
  aheadLength_ = 0;
}

bool RecordingFileReader::readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const std::int64_t got = file_->readAt(offset + done, into + done, length - done);
    if (got < 0) readError_ = errno;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// Reads `length` bytes at `offset` into `into`, and in the same request as
// much of what follows as the read-ahead takes. False when the file gave
// fewer than `length` bytes.
bool RecordingFileReader::readWithAhead(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
  static_assert(AHEAD_MOST <= std::tuple_size_v<decltype(ahead_)>);
  const std::uint64_t end = offset + length;
  const std::uint64_t pageEnd = (end + FRAME_HEADER_SIZE + AHEAD_PAGE - 1) / AHEAD_PAGE * AHEAD_PAGE;
  const std::uint64_t aheadEnd = std::min({fileSize_, pageEnd, end + AHEAD_MOST});
  const std::size_t extra = aheadEnd > end ? static_cast<std::size_t>(aheadEnd - end) : 0;
  aheadLength_ = 0;
  std::size_t done = 0;
  while (done < length + extra) {
    iovec parts[2];
    int count = 0;
    if (done < length) parts[count++] = {into + done, length - done};
    const std::size_t aheadDone = done > length ? done - length : 0;
    parts[count++] = {ahead_.data() + aheadDone, extra - aheadDone};
    const std::int64_t got = file_->readAt(offset + done, parts, count);
    if (got < 0) readError_ = errno;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  aheadStart_ = end;
  aheadLength_ = done > length ? done - length : 0;
  return done >= length;
}

bool RecordingFileReader::readFileHeader(RecordingFileHeader& header) {
  position_ = FILE_HEADER_SIZE;
  std::uint8_t bytes[12];
  if (!file_ || fileSize_ < FILE_HEADER_SIZE || !readAt(0, bytes, sizeof bytes)) {
    framesEnded_ = true;
    return false;
  }
  header = decodeFileHeader(bytes);
  return true;
}

bool RecordingFileReader::nextFrame(FrameHeader& header) {
  if (pendingPayload_ != 0) skipPayload();
  while (!framesEnded_ && file_) {
    if (position_ + FRAME_HEADER_SIZE > fileSize_) break;
    if (position_ < aheadStart_ || position_ + FRAME_HEADER_SIZE > aheadStart_ + aheadLength_) {
      readWithAhead(position_, nullptr, 0);
      if (aheadLength_ < FRAME_HEADER_SIZE) break;
    }
    const FrameHeader candidate = decodeFrameHeader(ahead_.data() + (position_ - aheadStart_));
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
    frameOffset_ = payloadStart - FRAME_HEADER_SIZE;
    header = candidate;
    return true;
  }
  framesEnded_ = true;
  return false;
}

bool RecordingFileReader::readPayload(PayloadBuffer& buffer) {
  std::uint8_t* into = buffer.prepare(pendingPayload_);
  if (into != nullptr && readPayloadInto(into)) return true;
  buffer.size_ = 0;
  pendingPayload_ = 0;
  framesEnded_ = true;
  return false;
}

bool RecordingFileReader::readPayloadInto(std::uint8_t* into) {
  const std::uint32_t length = pendingPayload_;
  pendingPayload_ = 0;
  // Read from the file even when the read-ahead holds these bytes, so that a
  // file cut short under the job ends its frames where it now ends.
  if (!readWithAhead(position_, into, length)) {
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
