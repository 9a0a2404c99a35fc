// One RIFF AVI file, written progressively: a fixed 2048-byte header block at
// the start, then every frame and block of sound as a chunk, an index held
// in memory and appended at the end, and the header block rewritten with
// the final counts. Chunks are gathered in a buffer and written in large
// requests; what has reached the disk whole is what the index lists.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "avi/avi_header_block.h"
#include "base/output_files.h"

namespace korvex {

// Largest file the writer lets grow, counting the index still to come:
// 2^32 - 1 - 16 MiB - 2048.
inline constexpr std::uint32_t AVI_SIZE_LIMIT = 4278188031u;
// Index entries added each time the index is full.
inline constexpr std::size_t AVI_INDEX_GROW_STEP = 4096;
// Index flag of a chunk a player may start decoding at: a video key frame,
// or any audio chunk.
inline constexpr std::uint32_t AVI_KEYFRAME_FLAG = 0x10;
// Gathered chunks go out in requests that end on a multiple of this many
// bytes of the file; the buffer of an open file holds twice as much. Larger
// requests measured slower on a virtual machine whose kernel spends more per
// page on them (bench/RESULTS.md).
inline constexpr std::size_t AVI_WRITE_BLOCK = 128 * 1024;
// The longest chunk data that can be reserved in place (reserveChunk).
inline constexpr std::uint32_t AVI_MAX_RESERVED_LENGTH = AVI_WRITE_BLOCK - 16;

// The words of the writer's own failure codes.
const char* aviErrorMessage(FailureCode code);

class AviFile {
  struct Key {
    explicit Key() = default;
  };

 public:
  // Creates a new file at `path`, never through a symbolic link and never
  // over an existing name (errorNumber EEXIST: the caller may pick another
  // name), with mode 0666 less the umask, and reserves the header block.
  // Null on failure, with `failure` filled in; a file that was created but
  // could not take its header block is removed again. On success `failure`
  // is left as it was. The file is made in `output`.
  static std::unique_ptr<AviFile> create(const std::string& path, Failure& failure,
                                         OutputFiles& output = diskOutput());

  AviFile(Key, std::string path);
  // Finishes the file when that has not been done.
  ~AviFile();
  AviFile(const AviFile&) = delete;
  AviFile& operator=(const AviFile&) = delete;

  // Declares the video stream and rewrites the provisional header block.
  // fourcc: its first four bytes, or four zero bytes (uncompressed) for a
  // text beginning with "RGB". False when the block could not be written;
  // the values are kept all the same and reach the final block.
  bool defineVideo(std::int32_t width, std::int32_t height, double fps, const char* fourcc);
  // Adds an audio track, which from now on receives the audio, and rewrites
  // the provisional header block. False for a track beyond
  // AVI_MAX_AUDIO_TRACKS (nothing changes) or when the block could not be
  // written (the track is kept).
  bool addAudioTrack(std::int32_t channels, std::int32_t sampleRate, std::int32_t bits, std::int32_t formatTag,
                     std::int32_t bitrateKbps);

  // Appends a chunk. False, with nothing added, for a negative length, a
  // null `data` with a non-zero length, a chunk past the size limit or an
  // index that cannot grow. A chunk that fails on its way to the disk is
  // not in the file: false, and every gathered chunk that did not reach the
  // disk whole is withdrawn with it (counts, index and all).
  bool putVideoFrame(const std::uint8_t* data, std::int32_t length, bool keyframe);
  bool putAudio(const std::uint8_t* data, std::int32_t length);

  // For a caller that reads a chunk's data straight into the place it is
  // written from, with no copy in between: room for `length` bytes (at most
  // AVI_MAX_RESERVED_LENGTH) behind the next chunk's header. The caller
  // fills them and commits them as a video frame or as audio; any other
  // call on the file gives the room up, and so does not committing. Null,
  // with nothing added, for a longer length, a chunk past the size limit or
  // an index that cannot grow. A commit fails as a put does.
  std::uint8_t* reserveChunk(std::uint32_t length);
  bool commitVideoFrame(bool keyframe);
  bool commitAudio();

  // Writes out every gathered chunk. False as for a chunk that fails.
  bool flush();

  // Writes what is gathered, appends the index, writes the final header
  // block, cuts the file to its length and closes it. False when anything
  // of that failed; the file is then finished as far as the disk allowed.
  // Once finished, nothing more can be added. Running it again does nothing.
  bool finish();

  const std::string& path() const { return path_; }
  // The most recent failure; a later success does not clear it.
  const Failure& lastFailure() const { return lastFailure_; }
  const AviStreams& streams() const { return streams_; }
  std::int32_t videoFrameCount() const { return videoFrameCount_; }
  // The track that receives audio: the most recently added (0 before any).
  int currentAudioTrack() const { return currentAudioTrack_; }
  // File offset at which the next chunk goes.
  std::uint32_t writePosition() const { return bufferStart_ + static_cast<std::uint32_t>(buffered_); }
  std::size_t indexEntryCount() const { return index_.size() / INDEX_ENTRY_SIZE; }

 private:
  friend class AviFileTestAccess;

  static constexpr std::size_t INDEX_ENTRY_SIZE = 16;
  static constexpr std::size_t BUFFER_SIZE = 2 * AVI_WRITE_BLOCK;

  bool fail(FailureCode code, int errorNumber);
  std::array<char, 5> audioChunkId() const;
  bool putChunk(const char* chunkId, const std::uint8_t* data, std::int32_t length, std::uint32_t flags);
  // The size limit and room in the index for one more chunk.
  bool makeRoomForChunk(std::uint32_t size);
  // The chunk's index entry, at the write position, and its counts.
  void addChunk(const char* chunkId, std::uint32_t flags, std::uint32_t size);
  bool commitChunk(const char* chunkId, std::uint32_t flags);
  // Adds a chunk's entry to the counts, or takes it out of them.
  void countChunk(const std::uint8_t* entry, bool add);
  bool gather(const std::uint8_t* bytes, std::size_t count);
  // Grows the buffer to hold at least `bytes` (at most BUFFER_SIZE).
  void growBuffer(std::size_t bytes);
  // Writes the gathered bytes up to the last block boundary they reach, or
  // all of them.
  bool writeOut(bool all);
  void withdrawChunksPast(std::uint64_t durableEnd);
  bool rewriteHeaderBlock();
  bool writeBlockAtStart(const AviHeaderBlock& block);
  off_t fileOffset(std::uint32_t position) const { return static_cast<off_t>(position - skippedBytes_); }

  std::string path_;
  std::unique_ptr<OutputFile> file_;
  bool finished_ = false;
  bool finishResult_ = false;
  AviStreams streams_;
  std::int32_t videoFrameCount_ = 0;
  int currentAudioTrack_ = 0;
  // The idx1 entries, in the byte form of the file.
  std::vector<std::uint8_t> index_;
  // The gathered bytes of the file from offset bufferStart_ on. It grows to
  // BUFFER_SIZE as the file does: a short file never maps a large block.
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t bufferCapacity_ = 0;
  std::size_t buffered_ = 0;
  std::uint32_t bufferStart_ = AVI_HEADER_BLOCK_SIZE;
  // The length reserved behind the gathered bytes, until it is committed.
  std::optional<std::uint32_t> reserved_;
  // How far the file has been written: the end of what reached the disk.
  std::uint64_t fileEnd_ = 0;
  // Bytes by which file positions run ahead of the real file; only the
  // tests' skip-ahead sets it.
  std::uint32_t skippedBytes_ = 0;
  Failure lastFailure_;
};

}  // namespace korvex
