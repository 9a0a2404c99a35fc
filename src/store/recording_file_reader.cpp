#include "store/recording_file_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvex {

namespace {

// Every read takes up to AHEAD_MOST bytes more than asked for, which holds
// the next header, and a 324-byte audio chunk with the header after that.
// It stops at the end of a page (once a whole header is in), so that on a
// cold disk it never costs a page the job does not need.
constexpr std::uint64_t AHEAD_PAGE = 4096;
constexpr std::uint64_t AHEAD_MOST = 1024;

// Plausible values of a frame header the search found.
constexpr std::int32_t RECOVERY_MOST_RECORD_TYPE = 15;
constexpr std::int32_t RECOVERY_MOST_FRAME_KIND = 255;

constexpr std::uint8_t MAGIC_HEAD_BYTES[4] = {'k', 'e', 'x', ' '};

// Sixteen bytes at a time: the search compares the head magic at 16 offsets
// at once, faster than memmem or memchr and than a copy from the page cache
// (bench/RESULTS.md).
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));

Bytes16 load16(const std::uint8_t* at) {
  Bytes16 v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

Bytes16 splat16(std::uint8_t byte) {
  Bytes16 v;
  std::memset(&v, byte, sizeof v);
  return v;
}

// The first place in [at, stop) where the head magic begins; the 3 bytes
// after stop must be readable. Null when there is none.
const std::uint8_t* findHeadMagic(const std::uint8_t* at, const std::uint8_t* stop) {
  const Bytes16 k = splat16(MAGIC_HEAD_BYTES[0]), e = splat16(MAGIC_HEAD_BYTES[1]), x = splat16(MAGIC_HEAD_BYTES[2]),
                space = splat16(MAGIC_HEAD_BYTES[3]);
  for (; stop - at >= 16; at += 16) {
    const auto match = (load16(at) == k) & (load16(at + 1) == e) & (load16(at + 2) == x) & (load16(at + 3) == space);
    std::uint64_t words[2];
    static_assert(sizeof match == sizeof words);
    std::memcpy(words, &match, sizeof words);
    if ((words[0] | words[1]) != 0) break;  // in these 16: found below
  }
  for (; at < stop; ++at)
    if (std::memcmp(at, MAGIC_HEAD_BYTES, sizeof MAGIC_HEAD_BYTES) == 0) return at;
  return nullptr;
}

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
  gate_ = ReadGate::current();
  fileSize_ = file_->size();
  position_ = 0;
  pendingPayload_ = 0;
  framesEnded_ = false;
  aheadLength_ = 0;
  blockSize_ = std::max<std::uint32_t>(1, file_->blockSize());
  pastEnd_ = awaitingResync_ = false;
  searchFrom_.reset();
  frameRecovered_ = frameResidual_ = false;
  newestInFile_.reset();
  newestOfChannel_.fill(std::nullopt);
  resyncs_.clear();
  unreadable_.clear();
  damaged_.clear();
  outsideWindow_.clear();
  lookedAhead_.reset();
  return true;
}

void RecordingFileReader::close() {
  file_.reset();
  aheadLength_ = 0;
}

std::int64_t RecordingFileReader::sourceRead(std::uint64_t offset, const iovec* parts, int count) {
  if (gate_ == nullptr) return file_->readAt(offset, parts, count);
  std::uint64_t length = 0;
  for (int i = 0; i < count; ++i) length += parts[i].iov_len;
  gate_->beforeRead(HungRead::Kind::Read, offset, length);
  const std::int64_t got = file_->readAt(offset, parts, count);
  const int error = errno;
  gate_->afterRead();
  errno = error;
  return got;
}

std::uint64_t RecordingFileReader::sourceDataFrom(std::uint64_t offset) {
  if (gate_ == nullptr) return file_->dataFrom(offset);
  gate_->beforeRead(HungRead::Kind::FindData, offset, 0);
  const std::uint64_t at = file_->dataFrom(offset);
  gate_->afterRead();
  return at;
}

bool RecordingFileReader::readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
  if (recover_) {
    bool clean = true;
    return readCarefully(offset, into, length, clean) == length && clean;
  }
  std::size_t done = 0;
  while (done < length) {
    const std::int64_t got = sourceRead(offset + done, into + done, length - done);
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
    const std::int64_t got = sourceRead(offset + done, parts, count);
    if (got < 0 && recover_) {
      // The part asked for, then the read-ahead, block by block; the
      // read-ahead keeps zeros for what could not be read, and zeros never
      // make a frame header.
      bool clean = true;
      bool whole = true;
      if (done < length) whole = readCarefully(offset + done, into + done, length - done, clean) == length - done;
      bool aheadClean = true;
      aheadStart_ = end;
      aheadLength_ = aheadDone + readCarefully(end + aheadDone, ahead_.data() + aheadDone, extra - aheadDone, aheadClean);
      return whole && clean;
    }
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
  if (!file_ || fileSize_ < FILE_HEADER_SIZE) {
    framesEnded_ = true;
    return false;
  }
  if (!readAt(0, bytes, sizeof bytes)) {
    // With recovery the header's times are not used: the frames are read.
    if (recover_) {
      header = RecordingFileHeader{};
      return true;
    }
    framesEnded_ = true;
    return false;
  }
  header = decodeFileHeader(bytes);
  return true;
}

bool RecordingFileReader::nextFrame(FrameHeader& header) {
  if (recover_) return nextFrameRecovering(header);
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
  if (!recover_) framesEnded_ = true;
  return false;
}

bool RecordingFileReader::readPayloadInto(std::uint8_t* into) {
  const std::uint32_t length = pendingPayload_;
  pendingPayload_ = 0;
  // Read from the file even when the read-ahead holds these bytes, so that a
  // file cut short under the job ends its frames where it now ends.
  const bool whole = readWithAhead(position_, into, length);
  if (!whole || (recover_ && !unreadable_.empty() && touchesUnreadable(position_, length))) {
    // With recovery a payload in an unreadable block loses its frame only:
    // the frame was followed by the next header, which is read next.
    if (recover_ && position_ + length <= fileSize_) {
      if (touchesUnreadable(position_, length)) {
        noteDamaged(position_ - FRAME_HEADER_SIZE, given_, FrameFault::PayloadUnreadable);
      }
      position_ += length;
      return false;
    }
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

bool RecordingFileReader::nextFrameRecovering(FrameHeader& header) {
  if (pendingPayload_ != 0) skipPayload();
  frameRecovered_ = frameResidual_ = false;
  while (!framesEnded_ && file_) {
    if (searchFrom_) {
      const std::optional<std::uint64_t> found = lookedAhead_ && lookedAhead_->from == *searchFrom_
                                                     ? lookedAhead_->found
                                                     : findHeader(*searchFrom_, fileSize_);
      searchFrom_.reset();
      lookedAhead_.reset();
      if (!found) break;
      position_ = *found;
    }
    FrameHeader candidate;
    if (!headerAt(position_, candidate) || !frameHeaderContinuesSequence(candidate) ||
        position_ + FRAME_HEADER_SIZE + candidate.payloadLength > fileSize_) {
      framesEndAt(position_);
      continue;
    }
    const std::uint64_t payloadStart = position_ + FRAME_HEADER_SIZE;
    const std::uint64_t end = payloadStart + candidate.payloadLength;
    const bool inRange = candidate.channel >= 0 && candidate.channel < CHANNEL_TABLE_SIZE &&
                         candidate.payloadLength <= MAX_PAYLOAD_BYTES;
    // A frame whose length nothing after it confirms is wrong in its length
    // (a payload cut or run into the next frame) or followed by damage:
    // it is not given, and the search goes on inside its payload or after it.
    // Unless the recorder's writing ended with it: nothing the search finds
    // follows it, or only older frames it was written over.
    if (!frameEndConfirmed(end)) {
      const std::size_t outsideBefore = outsideWindow_.size();
      const std::optional<std::uint64_t> inside = findHeader(position_ + 1, end);
      if (!inside && inRange && endsTheWriting(candidate, end)) {
        outsideWindow_.resize(outsideBefore);  // inside the payload given
      } else {
        if (inRange) noteDamaged(position_, candidate, inside ? FrameFault::LengthPastHeader : FrameFault::NoHeaderAfter);
        framesEndAt(position_);
        searchFrom_ = end + 1;
        if (inside) {
          searchFrom_.reset();
          position_ = *inside;
        }
        continue;
      }
    }
    position_ = payloadStart;
    if (!inRange) {
      position_ = end;
      continue;
    }
    // The scan reads no payload: a block found unreadable while reading
    // around the frame loses it here, as the backup's read of it would.
    if (!unreadable_.empty() && touchesUnreadable(payloadStart, candidate.payloadLength)) {
      noteDamaged(payloadStart - FRAME_HEADER_SIZE, candidate, FrameFault::PayloadUnreadable);
      position_ = end;
      continue;
    }
    frameOffset_ = payloadStart - FRAME_HEADER_SIZE;
    if (awaitingResync_) {
      resyncs_.push_back({endedAt_, frameOffset_});
      awaitingResync_ = false;
    }
    frameRecovered_ = pastEnd_;
    std::optional<std::int32_t>& newestOfChannel = newestOfChannel_[static_cast<std::size_t>(candidate.channel)];
    const std::optional<std::int32_t> newest = newestOfChannel ? newestOfChannel : newestInFile_;
    frameResidual_ = pastEnd_ && newest && std::int64_t{*newest} - candidate.timeStamp > RESIDUAL_TIME_MARGIN;
    if (!frameResidual_) {
      newestOfChannel = std::max(newestOfChannel.value_or(candidate.timeStamp), candidate.timeStamp);
      newestInFile_ = std::max(newestInFile_.value_or(candidate.timeStamp), candidate.timeStamp);
    }
    if (!walkHasFrame_ || candidate.timeStamp > newestSeen_) newestSeen_ = candidate.timeStamp;
    walkHasFrame_ = true;
    pendingPayload_ = candidate.payloadLength;
    header = given_ = candidate;
    return true;
  }
  framesEnded_ = true;
  return false;
}

bool RecordingFileReader::endsTheWriting(const FrameHeader& frame, std::uint64_t end) {
  // The search from here is the one the next frame's failed header starts.
  lookedAhead_ = LookAhead{end + 1, findHeader(end + 1, fileSize_)};
  if (!lookedAhead_->found) return true;
  FrameHeader next;
  return headerAt(*lookedAhead_->found, next) &&
         std::int64_t{frame.timeStamp} - next.timeStamp > RESIDUAL_TIME_MARGIN;
}

bool RecordingFileReader::frameEndConfirmed(std::uint64_t end) {
  if (end + FRAME_HEADER_SIZE > fileSize_) return true;  // the end of the file
  if (end < aheadStart_ || end + FRAME_HEADER_SIZE > aheadStart_ + aheadLength_) {
    readWithAhead(end, nullptr, 0);
    if (aheadLength_ < FRAME_HEADER_SIZE) return true;  // the file ends there now
  }
  // Unreadable bytes lose only the frames they touch.
  if (!unreadable_.empty() && touchesUnreadable(end, FRAME_HEADER_SIZE)) return true;
  const std::uint8_t* bytes = ahead_.data() + (end - aheadStart_);
  if (readLe32(bytes) == FRAME_MAGIC_HEAD || readLe32(bytes + 124) == FRAME_MAGIC_TAIL) return true;
  // A recorder's unwritten space; compressed pictures never hold a header's
  // worth of zero bytes.
  return std::all_of(bytes, bytes + FRAME_HEADER_SIZE, [](std::uint8_t b) { return b == 0; });
}

void RecordingFileReader::noteDamaged(std::uint64_t offset, const FrameHeader& header, FrameFault fault) {
  damaged_.push_back({offset, header.payloadLength, header.channel, header.timeStamp, fault});
}

void RecordingFileReader::noteOutsideWindow(std::uint64_t offset, const FrameHeader& header) {
  const std::uint64_t bytes = FRAME_HEADER_SIZE + std::uint64_t{header.payloadLength};
  if (!outsideWindow_.empty()) {
    FramesOutsideWindow& run = outsideWindow_.back();
    if (run.firstOffset + run.bytes == offset) {
      run.lastOffset = offset;
      run.lastTime = header.timeStamp;
      run.count += 1;
      run.bytes += bytes;
      return;
    }
  }
  outsideWindow_.push_back({offset, offset, header.timeStamp, header.timeStamp, 1, bytes});
}

void RecordingFileReader::framesEndAt(std::uint64_t offset) {
  if (!awaitingResync_) {
    endedAt_ = offset;
    awaitingResync_ = true;
  }
  pastEnd_ = true;
  searchFrom_ = offset + 1;
}

bool RecordingFileReader::headerAt(std::uint64_t offset, FrameHeader& header) {
  if (offset + FRAME_HEADER_SIZE > fileSize_) return false;
  if (offset < aheadStart_ || offset + FRAME_HEADER_SIZE > aheadStart_ + aheadLength_) {
    readWithAhead(offset, nullptr, 0);
    if (aheadLength_ < FRAME_HEADER_SIZE) return false;
  }
  if (!unreadable_.empty() && touchesUnreadable(offset, FRAME_HEADER_SIZE)) return false;
  header = decodeFrameHeader(ahead_.data() + (offset - aheadStart_));
  return true;
}

RecordingFileReader::Plausible RecordingFileReader::plausibleHeaderAt(const std::uint8_t* bytes,
                                                                     std::uint64_t offset) const {
  if (readLe32(bytes + 124) != FRAME_MAGIC_TAIL) return Plausible::No;
  const FrameHeader h = decodeFrameHeader(bytes);
  if (h.channel < 0 || h.channel >= CHANNEL_TABLE_SIZE) return Plausible::No;
  if (h.payloadLength == 0 || h.payloadLength > MAX_PAYLOAD_BYTES) return Plausible::No;
  if (offset + FRAME_HEADER_SIZE + h.payloadLength > fileSize_) return Plausible::No;
  if (h.recordType < 0 || h.recordType > RECOVERY_MOST_RECORD_TYPE) return Plausible::No;
  if (h.frameKind < 0 || h.frameKind > RECOVERY_MOST_FRAME_KIND) return Plausible::No;
  if (h.timeStamp <= 0) return Plausible::No;
  if (!unreadable_.empty() && touchesUnreadable(offset, FRAME_HEADER_SIZE)) return Plausible::No;
  if (walkHasFrame_ && std::llabs(std::int64_t{h.timeStamp} - newestSeen_) > RECOVERY_TIME_SPAN) {
    return Plausible::OutsideWindow;
  }
  return Plausible::Yes;
}

std::optional<std::uint64_t> RecordingFileReader::findHeader(std::uint64_t from, std::uint64_t before) {
  if (fileSize_ < FRAME_HEADER_SIZE) return std::nullopt;
  before = std::min(before, fileSize_ - FRAME_HEADER_SIZE + 1);
  if (from >= before) return std::nullopt;
  // Room for one piece, no more than the span searched needs: a small file
  // or a short search never pays for a whole piece.
  const std::size_t room =
      static_cast<std::size_t>(std::min<std::uint64_t>(before - from, RECOVERY_SEARCH_PIECE)) + FRAME_HEADER_SIZE;
  if (searchBuffer_.size() < room) searchBuffer_.resize(room);
  for (std::uint64_t piece = from; piece < before; piece += RECOVERY_SEARCH_PIECE) {
    if (stopAsked()) return std::nullopt;
    // A hole reads as zeros, and no header begins with a zero: the search
    // goes on where the file system stores data again (a file whose size
    // claims a terabyte it does not hold ends here at once).
    piece = std::max(piece, sourceDataFrom(piece));
    if (piece >= before) return std::nullopt;
    // Headers starting in [piece, scanEnd), each whole in the buffer.
    const std::uint64_t scanEnd = std::min<std::uint64_t>(piece + RECOVERY_SEARCH_PIECE, before);
    const auto wanted = static_cast<std::size_t>(scanEnd - 1 + FRAME_HEADER_SIZE - piece);
    bool clean = true;
    const std::size_t got = readCarefully(piece, searchBuffer_.data(), wanted, clean);
    if (got < FRAME_HEADER_SIZE) return std::nullopt;  // the file shrank
    const std::uint8_t* base = searchBuffer_.data();
    const std::uint8_t* at = base;
    // The last head magic that can begin a whole header in what was read.
    const std::uint8_t* stop = base + std::min<std::size_t>(static_cast<std::size_t>(scanEnd - piece),
                                                            got - FRAME_HEADER_SIZE + 1);
    while (at < stop) {
      const std::uint8_t* bytes = findHeadMagic(at, stop);
      if (bytes == nullptr) break;
      const std::uint64_t offset = piece + static_cast<std::uint64_t>(bytes - base);
      const Plausible plausible = plausibleHeaderAt(bytes, offset);
      if (plausible == Plausible::Yes) return offset;
      // Passed over for its time only: listed, never dropped unseen.
      if (plausible == Plausible::OutsideWindow) noteOutsideWindow(offset, decodeFrameHeader(bytes));
      at = bytes + 1;
    }
    if (got < wanted) return std::nullopt;
  }
  return std::nullopt;
}

std::size_t RecordingFileReader::readCarefully(std::uint64_t offset, std::uint8_t* into, std::size_t length,
                                               bool& clean) {
  clean = true;
  std::size_t done = 0;
  while (done < length) {
    const std::int64_t got = sourceRead(offset + done, into + done, length - done);
    if (got == 0) return done;
    if (got > 0) {
      done += static_cast<std::size_t>(got);
      continue;
    }
    // From the failed read on, one block at a time.
    while (done < length) {
      // Each failing block can take the medium seconds.
      if (stopAsked()) return done;
      const std::uint64_t at = offset + done;
      const std::uint64_t blockEnd = (at / blockSize_ + 1) * blockSize_;
      const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, blockEnd - at));
      const std::int64_t part = sourceRead(at, into + done, piece);
      if (part == 0) return done;
      if (part > 0) {
        done += static_cast<std::size_t>(part);
        continue;
      }
      std::memset(into + done, 0, piece);
      // Listed as whole blocks of the medium, within the file.
      const std::uint64_t blockStart = at / blockSize_ * blockSize_;
      noteUnreadable(blockStart, std::min(blockEnd, fileSize_) - blockStart);
      clean = false;
      done += piece;
    }
  }
  return done;
}

void RecordingFileReader::noteUnreadable(std::uint64_t offset, std::uint64_t length) {
  addByteRange(unreadable_, offset, length);
}

bool RecordingFileReader::touchesUnreadable(std::uint64_t offset, std::uint64_t length) const {
  return firstByteRangeIn(unreadable_, offset, length) != nullptr;
}

}  // namespace korvex
