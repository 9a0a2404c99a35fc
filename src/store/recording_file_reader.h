// Reads one recording file front to back: the file header, then frame
// headers, each followed by a payload that the caller reads or skips.
// The file is opened read-only and never written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/byte_ranges.h"
#include "store/frame_header.h"
#include "store/read_gate.h"
#include "store/recording_source.h"
#include "base/stop_request.h"

namespace korvex {

// Payloads up to this size are read whole into a buffer of this size...
inline constexpr std::size_t PAYLOAD_BUFFER_SIZE = 262144;
// ...which grows for larger ones up to this size; frames with a longer
// payload are passed over.
inline constexpr std::size_t MAX_PAYLOAD_BYTES = 16u * 1024 * 1024;

// The one payload buffer a job reuses for every frame. Its bytes are not
// cleared when it is made or grows: a payload read always fills what it
// hands out, and a buffer's untouched pages then cost nothing.
class PayloadBuffer {
 public:
  // Nothing is allocated until the first payload: the buffer then grows in
  // steps to PAYLOAD_BUFFER_SIZE, and beyond it only for a larger payload,
  // so that a job over small files (a fuzzer's) never maps large blocks.
  PayloadBuffer() = default;
  const std::uint8_t* data() const { return bytes_.get(); }
  std::uint8_t* data() { return bytes_.get(); }
  // Length of the payload last read into it.
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }

 private:
  friend class RecordingFileReader;
  // Makes room for `length` bytes (at most MAX_PAYLOAD_BYTES), keeping the
  // buffer's size between frames so it does not grow and shrink per frame.
  std::uint8_t* prepare(std::size_t length);

  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Recovery: where a file's frames ended and where the search found the next
// frame; the bytes between them are passed over.
struct FrameResync {
  std::uint64_t endedAt = 0;    // first byte that did not hold a frame
  std::uint64_t resumedAt = 0;  // header of the next frame found
};


// Recovery: a frame whose header the reader read and whose frame it did not
// give.
enum class FrameFault : std::uint8_t {
  LengthPastHeader,   // its payload would hold the next frame header found
  NoHeaderAfter,      // neither a frame header nor the end of the frames follows it
  PayloadUnreadable,  // its payload touches an unreadable block
};

struct DamagedFrame {
  std::uint64_t offset = 0;  // of its header
  std::uint32_t payloadLength = 0;
  std::int32_t channel = 0;
  std::int32_t timeStamp = 0;
  FrameFault fault = FrameFault::NoHeaderAfter;
};

// Frame headers the search found whose time lies outside RECOVERY_TIME_SPAN
// (a recorder whose clock was reset): passed over, one entry per run of
// frames that lie back to back.
struct FramesOutsideWindow {
  std::uint64_t firstOffset = 0;
  std::uint64_t lastOffset = 0;
  std::int32_t firstTime = 0;
  std::int32_t lastTime = 0;
  std::uint64_t count = 0;
  std::uint64_t bytes = 0;  // headers and payloads, from firstOffset on
};

// A frame header found by the search is taken only with a time stamp this
// close to the newest frame the reader has seen (in this file or an earlier
// one): residual data is older, but not by years.
inline constexpr std::int64_t RECOVERY_TIME_SPAN = 366 * 24 * 3600;
// A frame found past an end of frames is residual only when it is older
// than its channel's newest frame in the file by more than this: recorders
// write channels interleaved, some a second or two behind the others, while
// recordings left behind the newest ones are older by minutes or days.
inline constexpr std::int32_t RESIDUAL_TIME_MARGIN = 10;
// The search reads the file in pieces of this size.
inline constexpr std::size_t RECOVERY_SEARCH_PIECE = 1024 * 1024;

class RecordingFileReader {
 public:
  RecordingFileReader() = default;
  ~RecordingFileReader();
  RecordingFileReader(const RecordingFileReader&) = delete;
  RecordingFileReader& operator=(const RecordingFileReader&) = delete;

  // Opens a regular local file for reading. False when it cannot be opened
  // (or is not a regular file); failure() then says why.
  bool open(const std::string& path, ReadPattern pattern = ReadPattern::WholeFile);
  // Reads the file a source opened; false (and failure() set) without one.
  bool open(OpenedFile opened);
  bool isOpen() const { return file_ != nullptr; }
  const Failure& failure() const { return failure_; }
  // errno of a read that failed (an unreadable sector, a vanished device)
  // since the file was opened; 0 when every read succeeded or only came up
  // short of the file's end.
  int readError() const { return readError_; }

  // The file-header times. False for a file shorter than the file header:
  // such a file has no frames and its times mean nothing.
  bool readFileHeader(RecordingFileHeader& header);

  // The next frame a job can use. False at the end of the frames: fewer than
  // 128 bytes left, a wrong magic word at either end, a zero payload length,
  // or a payload cut short by the end of the file. Frames with a channel
  // outside 0..31 or a payload above MAX_PAYLOAD_BYTES are passed over here,
  // so no job ever sees them.
  bool nextFrame(FrameHeader& header);
  // Where the header of the frame nextFrame gave last begins in the file.
  std::uint64_t frameOffset() const { return frameOffset_; }

  // Recovery (kept across open()). Past the point where the frames end,
  // the reader searches forward for the next plausible frame header (both
  // magic words, channel 0..31, a payload that fits the file, record type
  // 0..15, frame kind 0..255, a time near the frames seen) and goes on from
  // it to the end of the file; headers passed over only for their time are
  // listed. A frame is given only when its length is confirmed by what
  // follows it: a frame header (either magic word in its place), the
  // recorder's unwritten zeros, the end of the file, or unreadable bytes;
  // or when the recorder's writing ended with it (no frame header further
  // on, or only frames older by more than RESIDUAL_TIME_MARGIN: a wrapped
  // recorder's newest frame over the older ones). Otherwise it is listed as damaged and the search goes on inside or
  // after it: the frames given never share a byte. A read error no longer
  // ends the file: the unreadable blocks (blockSize() of the file) read as
  // zeros, are listed, and a frame touching them is listed, not given.
  void setRecovery(bool on) { recover_ = on; }
  // Tested between the pieces of recovery's search and the blocks read one
  // by one after a read error: once a stop is asked for, the file's frames
  // end there (kept across open()).
  void setStopRequest(const StopRequest* stop) { stop_ = stop; }
  bool recovery() const { return recover_; }
  // The frame nextFrame gave last lies past the file's first end of frames.
  bool frameRecovered() const { return frameRecovered_; }
  // ...and is residual: found past an end of frames and stamped more than
  // RESIDUAL_TIME_MARGIN before the newest frame of its channel that the
  // file gave (of any channel, while it gave none of this one), which the
  // recorder wrote later: older recordings not yet overwritten. Residual
  // frames never count as a channel's newest.
  bool frameResidual() const { return frameResidual_; }
  // What recovery did in the file open now (or last), in file order.
  const std::vector<FrameResync>& resyncs() const { return resyncs_; }
  const std::vector<ByteRange>& unreadable() const { return unreadable_; }
  const std::vector<DamagedFrame>& damaged() const { return damaged_; }
  const std::vector<FramesOutsideWindow>& outsideWindow() const { return outsideWindow_; }

  // Exactly one of these after each frame. readPayload reads the whole
  // payload into `buffer`; false when the file gave fewer bytes than
  // announced (it shrank while being read), which also ends the frames.
  // skipPayload moves past the payload without reading it.
  // readPayloadInto is readPayload into memory of the caller's that holds
  // the frame's payloadLength bytes, for a caller that has the payload's
  // place ready.
  bool readPayload(PayloadBuffer& buffer);
  bool readPayloadInto(std::uint8_t* into);
  void skipPayload();

  void close();

 private:
  // Every read and query of the file goes through these: inside a job they
  // let go of the job's gate for the time of the call.
  std::int64_t sourceRead(std::uint64_t offset, const iovec* parts, int count);
  std::int64_t sourceRead(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
    const iovec part{into, length};
    return sourceRead(offset, &part, 1);
  }
  std::uint64_t sourceDataFrom(std::uint64_t offset);
  bool stopAsked() const { return stop_ != nullptr && stop_->requested(); }

  bool readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length);
  bool readWithAhead(std::uint64_t offset, std::uint8_t* into, std::size_t length);

  bool nextFrameRecovering(FrameHeader& header);
  // The header at `offset` through the read-ahead; false when fewer than a
  // header's bytes are left or any of them is unreadable.
  bool headerAt(std::uint64_t offset, FrameHeader& header);
  // Whether the search may take the header at `offset`, its bytes at `bytes`.
  enum class Plausible { No, Yes, OutsideWindow };
  Plausible plausibleHeaderAt(const std::uint8_t* bytes, std::uint64_t offset) const;
  // What follows a frame ending at `end` confirms its length.
  bool frameEndConfirmed(std::uint64_t end);
  // Whether `frame`, ending at `end` with nothing that confirms its length,
  // is the last the recorder wrote there: no frame header follows in the
  // file, or the next one is older by more than RESIDUAL_TIME_MARGIN. The
  // search it makes is kept for the resync that follows.
  bool endsTheWriting(const FrameHeader& frame, std::uint64_t end);
  void noteDamaged(std::uint64_t offset, const FrameHeader& header, FrameFault fault);
  void noteOutsideWindow(std::uint64_t offset, const FrameHeader& header);
  // The first plausible header at an offset in [from, before).
  std::optional<std::uint64_t> findHeader(std::uint64_t from, std::uint64_t before);
  // Reads [offset, offset + length); after a read error block by block,
  // unreadable blocks zero-filled and listed. The bytes read (fewer only at
  // the end of the file); `clean` false when a block was unreadable.
  std::size_t readCarefully(std::uint64_t offset, std::uint8_t* into, std::size_t length, bool& clean);
  void noteUnreadable(std::uint64_t offset, std::uint64_t length);
  bool touchesUnreadable(std::uint64_t offset, std::uint64_t length) const;
  // The frames ended at `offset`: search from the byte after it.
  void framesEndAt(std::uint64_t offset);

  std::unique_ptr<SourceFile> file_;
  ReadGate* gate_ = nullptr;  // of the job whose thread opened the file
  const StopRequest* stop_ = nullptr;
  Failure failure_;
  int readError_ = 0;
  std::uint64_t fileSize_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t frameOffset_ = 0;
  std::uint32_t pendingPayload_ = 0;
  FrameHeader given_;  // the frame nextFrame gave last
  bool framesEnded_ = false;
  // The file's bytes from aheadStart_ on, read together with what was asked
  // for, so that the next header (and a small payload after it) seldom
  // needs a read of its own.
  std::array<std::uint8_t, 1024> ahead_{};
  std::uint64_t aheadStart_ = 0;
  std::size_t aheadLength_ = 0;

  bool recover_ = false;
  std::uint32_t blockSize_ = 512;
  bool pastEnd_ = false;          // the file's frames have ended once
  bool awaitingResync_ = false;   // ended at endedAt_, no frame found since
  std::uint64_t endedAt_ = 0;
  std::optional<std::uint64_t> searchFrom_;
  bool frameRecovered_ = false;
  bool frameResidual_ = false;
  // The newest frames the file gave that are not residual.
  std::optional<std::int32_t> newestInFile_;
  std::array<std::optional<std::int32_t>, CHANNEL_TABLE_SIZE> newestOfChannel_{};
  bool walkHasFrame_ = false;     // across files
  std::int32_t newestSeen_ = 0;
  std::vector<FrameResync> resyncs_;
  std::vector<ByteRange> unreadable_;
  std::vector<DamagedFrame> damaged_;
  std::vector<FramesOutsideWindow> outsideWindow_;
  std::vector<std::uint8_t> searchBuffer_;
  struct LookAhead {
    std::uint64_t from = 0;
    std::optional<std::uint64_t> found;
  };
  std::optional<LookAhead> lookedAhead_;
};

}  // namespace korvex
