#include "avi/avi_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "base/write_fully.h"

namespace korvex {

namespace {

std::uint32_t entryField(const std::uint8_t* entry, std::size_t at) {
  return static_cast<std::uint32_t>(entry[at]) | static_cast<std::uint32_t>(entry[at + 1]) << 8 |
         static_cast<std::uint32_t>(entry[at + 2]) << 16 | static_cast<std::uint32_t>(entry[at + 3]) << 24;
}

// Where a chunk of `length` data bytes at `offset` ends, with its pad byte:
// chunks start at even offsets.
std::uint64_t chunkEnd(std::uint64_t offset, std::uint32_t length) { return offset + 8 + length + (length & 1u); }

}  // namespace

const char* aviErrorMessage(FailureCode code) {
  switch (code) {
    case FailureCode::None:
      return "AVI writer - No Error";
    case FailureCode::AviTooLarge:
      return "AVI writer - AVI file size limit reached";
    case FailureCode::AviNotCreated:
      return "AVI writer - Error opening AVI file";
    case FailureCode::AviNotWritten:
      return "AVI writer - Error writing to AVI file";
    case FailureCode::AviIndexNotWritten:
      return "AVI writer - Error writing index (file may still be useable)";
    case FailureCode::AviNotClosed:
      return "AVI writer - Error closing AVI file";
    case FailureCode::NoMemory:
      return "AVI writer - Out of memory (malloc failed)";
    case FailureCode::AviTooManyTracks:
      return "AVI writer - only 8 audio tracks supported";
    default:
      break;
  }
  return "AVI writer - Unknown Error";
}

std::unique_ptr<AviFile> AviFile::create(const std::string& path, Failure& failure, OutputFiles& output) {
  std::unique_ptr<AviFile> file;
  try {
    file = std::make_unique<AviFile>(Key{}, path);
  } catch (const std::bad_alloc&) {
    failure = {FailureCode::NoMemory, ENOMEM, path, {}};
    return nullptr;
  }
  CreatedFile created = output.createNew(path);
  file->file_ = std::move(created.file);
  if (!file->file_) {
    failure = {FailureCode::AviNotCreated, created.failure.errorNumber, path, {}};
    file->finished_ = true;
    return nullptr;
  }
  static const AviHeaderBlock reserved{};
  iovec part{const_cast<std::uint8_t*>(reserved.data()), reserved.size()};
  const WriteResult written = file->file_->writeAt(&part, 1, 0);
  if (!written.ok()) {
    // No empty or cut-off AVI file is left behind: the name is ours, made
    // by this open.
    failure = {FailureCode::AviNotWritten, written.failure.errorNumber, path, {}};
    file->file_->close();
    file->file_.reset();
    output.remove(path);
    file->finished_ = true;
    return nullptr;
  }
  file->fileEnd_ = AVI_HEADER_BLOCK_SIZE;
  return file;
}

AviFile::AviFile(Key, std::string path) : path_(std::move(path)) { lastFailure_.path = path_; }

void AviFile::growBuffer(std::size_t bytes) {
  if (bytes <= bufferCapacity_) return;
  const std::size_t capacity = std::min(BUFFER_SIZE, std::max({bytes, bufferCapacity_ * 4, std::size_t{16384}}));
  auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
  if (buffered_ > 0) std::memcpy(grown.get(), buffer_.get(), buffered_);
  buffer_ = std::move(grown);
  bufferCapacity_ = capacity;
}

AviFile::~AviFile() {
  if (!finished_) finish();
}

bool AviFile::fail(FailureCode code, int errorNumber) {
  // The path was named when the file was made: a failure allocates nothing.
  lastFailure_.code = code;
  lastFailure_.errorNumber = errorNumber;
  return false;
}

bool AviFile::defineVideo(std::int32_t width, std::int32_t height, double fps, const char* fourcc) {
  reserved_.reset();
  if (finished_) return fail(FailureCode::AviNotWritten, EBADF);
  streams_.frame_width = width;
  streams_.frame_height = height;
  streams_.frames_per_second = fps;
  std::memset(streams_.codec_fourcc, 0, sizeof streams_.codec_fourcc);
  // A shorter text is padded with zero bytes instead of reading past its end.
  if (fourcc && std::strncmp(fourcc, "RGB", 3) != 0) {
    for (int i = 0; i < 4 && fourcc[i] != '\0'; ++i) streams_.codec_fourcc[i] = fourcc[i];
  }
  return rewriteHeaderBlock();
}

bool AviFile::addAudioTrack(std::int32_t channels, std::int32_t sampleRate, std::int32_t bits, std::int32_t formatTag,
                            std::int32_t bitrateKbps) {
  reserved_.reset();
  if (finished_) return fail(FailureCode::AviNotWritten, EBADF);
  if (streams_.audio_track_count >= AVI_MAX_AUDIO_TRACKS) return fail(FailureCode::AviTooManyTracks, EINVAL);
  const int number = streams_.audio_track_count;
  currentAudioTrack_ = number;
  streams_.audio_track_count = number + 1;
  AviAudioTrack& track = streams_.audio_tracks[static_cast<std::size_t>(number)];
  track.channel_count = channels;
  track.sample_rate = sampleRate;
  track.bits_per_sample = bits;
  track.format_tag = formatTag;
  track.bitrate_kbps = bitrateKbps;
  // byte_count is left alone: audio put before any track already counts
  // into track 0, as its 01wb chunks are in the file.
  return rewriteHeaderBlock();
}

bool AviFile::putVideoFrame(const std::uint8_t* data, std::int32_t length, bool keyframe) {
  return putChunk("00db", data, length, keyframe ? AVI_KEYFRAME_FLAG : 0);
}

bool AviFile::putAudio(const std::uint8_t* data, std::int32_t length) {
  return putChunk(audioChunkId().data(), data, length, AVI_KEYFRAME_FLAG);
}

std::array<char, 5> AviFile::audioChunkId() const {
  // "01wb" for track 0 up to "08wb" for track 7.
  return {'0', static_cast<char>('1' + currentAudioTrack_), 'w', 'b', '\0'};
}

bool AviFile::putChunk(const char* chunkId, const std::uint8_t* data, std::int32_t length, std::uint32_t flags) {
  reserved_.reset();
  if (finished_) return fail(FailureCode::AviNotWritten, EBADF);
  // A negative length, or bytes promised but none given, cannot be written.
  if (length < 0 || (data == nullptr && length > 0)) return fail(FailureCode::AviNotWritten, EINVAL);
  const auto size = static_cast<std::uint32_t>(length);
  if (!makeRoomForChunk(size)) return false;
  addChunk(chunkId, flags, size);

  std::uint8_t header[8];
  std::memcpy(header, chunkId, 4);
  aviPutLe32(header + 4, size);
  static const std::uint8_t padByte = 0;
  return gather(header, sizeof header) && gather(data, size) && gather(&padByte, size & 1u) && writeOut(false);
}

bool AviFile::makeRoomForChunk(std::uint32_t size) {
  // The chunk with its header, every index entry with the new one and the
  // idx1 header must fit. Summed in 64 bits so a large chunk cannot wrap.
  const std::uint64_t needed = std::uint64_t{writePosition()} + 8 + size +
                               INDEX_ENTRY_SIZE * (std::uint64_t{indexEntryCount()} + 1) + 8;
  if (needed > AVI_SIZE_LIMIT) return fail(FailureCode::AviTooLarge, EFBIG);
  if (index_.size() < index_.capacity()) return true;
  try {
    index_.reserve(index_.capacity() + AVI_INDEX_GROW_STEP * INDEX_ENTRY_SIZE);
  } catch (const std::bad_alloc&) {
    return fail(FailureCode::NoMemory, ENOMEM);
  } catch (const std::length_error&) {
    return fail(FailureCode::NoMemory, ENOMEM);
  }
  return true;
}

void AviFile::addChunk(const char* chunkId, std::uint32_t flags, std::uint32_t size) {
  // The entry and the counts go in with the chunk; a chunk that then fails
  // to reach the disk takes them out again.
  std::uint8_t entry[INDEX_ENTRY_SIZE];
  std::memcpy(entry, chunkId, 4);
  aviPutLe32(entry + 4, flags);
  aviPutLe32(entry + 8, writePosition());
  aviPutLe32(entry + 12, size);
  index_.insert(index_.end(), entry, entry + INDEX_ENTRY_SIZE);
  countChunk(entry, true);
}

std::uint8_t* AviFile::reserveChunk(std::uint32_t length) {
  reserved_.reset();
  if (finished_) {
    fail(FailureCode::AviNotWritten, EBADF);
    return nullptr;
  }
  if (length > AVI_MAX_RESERVED_LENGTH) {
    fail(FailureCode::AviNotWritten, EINVAL);
    return nullptr;
  }
  if (!makeRoomForChunk(length)) return nullptr;
  // Between calls less than a block is gathered, so the rest of the buffer
  // holds a whole chunk of this length (with its header and pad byte).
  growBuffer(buffered_ + 8 + length + 1);
  reserved_ = length;
  return buffer_.get() + buffered_ + 8;
}

bool AviFile::commitVideoFrame(bool keyframe) { return commitChunk("00db", keyframe ? AVI_KEYFRAME_FLAG : 0); }

bool AviFile::commitAudio() { return commitChunk(audioChunkId().data(), AVI_KEYFRAME_FLAG); }

bool AviFile::commitChunk(const char* chunkId, std::uint32_t flags) {
  if (!reserved_) return fail(FailureCode::AviNotWritten, EINVAL);
  const std::uint32_t size = *reserved_;
  reserved_.reset();
  addChunk(chunkId, flags, size);
  std::uint8_t* header = buffer_.get() + buffered_;
  std::memcpy(header, chunkId, 4);
  aviPutLe32(header + 4, size);
  if (size & 1u) header[8 + size] = 0;
  buffered_ += 8 + size + (size & 1u);
  return writeOut(false);
}

void AviFile::countChunk(const std::uint8_t* entry, bool add) {
  if (std::memcmp(entry, "00db", 4) == 0) {
    videoFrameCount_ += add ? 1 : -1;
    return;
  }
  // "01wb" to "08wb": tracks 0 to 7.
  const int track = entry[1] - '1';
  if (track < 0 || track >= AVI_MAX_AUDIO_TRACKS) return;
  std::uint32_t& bytes = streams_.audio_tracks[static_cast<std::size_t>(track)].byte_count;
  const std::uint32_t length = entryField(entry, 12);
  bytes = add ? bytes + length : bytes - length;
}

bool AviFile::gather(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    growBuffer(std::min(BUFFER_SIZE, buffered_ + count));
    if (buffered_ == BUFFER_SIZE && !writeOut(false)) return false;
    const std::size_t n = std::min(count, BUFFER_SIZE - buffered_);
    std::memcpy(buffer_.get() + buffered_, bytes, n);
    buffered_ += n;
    bytes += n;
    count -= n;
  }
  return true;
}

bool AviFile::writeOut(bool all) {
  const auto start = static_cast<std::uint64_t>(fileOffset(bufferStart_));
  const std::uint64_t end = start + buffered_;
  const std::uint64_t upTo = all ? end : end / AVI_WRITE_BLOCK * AVI_WRITE_BLOCK;
  if (upTo <= start) return true;
  const auto count = static_cast<std::size_t>(upTo - start);
  iovec part{buffer_.get(), count};
  const WriteResult written = file_->writeAt(&part, 1, start);
  fileEnd_ = std::max(fileEnd_, start + written.written);
  if (!written.ok()) {
    withdrawChunksPast(start + written.written);
    return fail(FailureCode::AviNotWritten, written.failure.errorNumber);
  }
  std::memmove(buffer_.get(), buffer_.get() + count, buffered_ - count);
  buffered_ -= count;
  bufferStart_ += static_cast<std::uint32_t>(count);
  return true;
}

void AviFile::withdrawChunksPast(std::uint64_t durableEnd) {
  const std::uint64_t durable = durableEnd + skippedBytes_;
  std::uint32_t mediaEnd = AVI_HEADER_BLOCK_SIZE + skippedBytes_;
  while (!index_.empty()) {
    const std::uint8_t* entry = index_.data() + index_.size() - INDEX_ENTRY_SIZE;
    const std::uint64_t end = chunkEnd(entryField(entry, 8), entryField(entry, 12));
    if (end <= durable) {
      mediaEnd = static_cast<std::uint32_t>(end);
      break;
    }
    countChunk(entry, false);
    index_.resize(index_.size() - INDEX_ENTRY_SIZE);
  }
  // What lies on disk past mediaEnd is overwritten by the next chunk or cut
  // off when the file is finished.
  buffered_ = 0;
  bufferStart_ = mediaEnd;
}

bool AviFile::flush() {
  reserved_.reset();
  if (finished_) return fail(FailureCode::AviNotWritten, EBADF);
  return writeOut(true);
}

bool AviFile::rewriteHeaderBlock() {
  // An unfinished file then holds, behind its header, every chunk put
  // before the header was.
  const bool flushed = writeOut(true);
  const bool written = writeBlockAtStart(assembleHeaderBlock(streams_, AviBlockForm{}));
  return flushed && written;
}

bool AviFile::writeBlockAtStart(const AviHeaderBlock& block) {
  iovec part{const_cast<std::uint8_t*>(block.data()), block.size()};
  const WriteResult written = file_->writeAt(&part, 1, 0);
  return written.ok() || fail(FailureCode::AviNotClosed, written.failure.errorNumber);
}

bool AviFile::finish() {
  // A chunk reserved and not committed is dropped, but its room is kept
  // while the object lives: a read may still be filling it.
  const bool roomLent = reserved_.has_value();
  reserved_.reset();
  if (finished_) return finishResult_;
  finished_ = true;
  bool sound = writeOut(true);
  const std::uint32_t mediaEnd = writePosition();
  // The rest of a chunk that failed gives its room to the index. Should
  // this cut fail, the one at the end reports it.
  const auto mediaFileEnd = static_cast<std::uint64_t>(fileOffset(mediaEnd));
  if (fileEnd_ > mediaFileEnd && file_->truncate(mediaFileEnd) == 0) fileEnd_ = mediaFileEnd;

  AviBlockForm form;
  form.final = true;
  form.moviSize = mediaEnd - AVI_MOVI_ID_OFFSET;
  form.frameCount = static_cast<std::uint32_t>(videoFrameCount_);
  const auto indexBytes = static_cast<std::uint32_t>(index_.size());
  std::uint8_t indexHeader[8];
  std::memcpy(indexHeader, "idx1", 4);
  aviPutLe32(indexHeader + 4, indexBytes);
  iovec parts[2] = {{indexHeader, sizeof indexHeader}, {index_.data(), index_.size()}};
  std::uint32_t end = mediaEnd;
  const WriteResult written = file_->writeAt(parts, 2, mediaFileEnd);
  if (written.ok()) {
    end += static_cast<std::uint32_t>(sizeof indexHeader) + indexBytes;
  } else {
    sound = fail(FailureCode::AviIndexNotWritten, written.failure.errorNumber);
    form.mainFlags = AVI_MAIN_FLAGS_NO_INDEX;
  }
  form.riffSize = end - 8;

  if (!writeBlockAtStart(assembleHeaderBlock(streams_, form))) sound = false;
  // Cutting at the end drops whatever lies past it: the remains of a chunk
  // or an index whose write failed.
  if (const int error = file_->truncate(static_cast<std::uint64_t>(fileOffset(end))); error != 0)
    sound = fail(FailureCode::AviNotClosed, error);
  // close can be the first to report a delayed write error (network file
  // systems); the file is then not sound.
  if (const int error = file_->close(); error != 0 && sound) sound = fail(FailureCode::AviNotClosed, error);
  file_.reset();
  index_ = {};
  if (!roomLent) {
    buffer_.reset();
    bufferCapacity_ = 0;
  }
  finishResult_ = sound;
  return sound;
}

}  // namespace korvex
