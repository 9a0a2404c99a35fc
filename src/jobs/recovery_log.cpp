#include "jobs/recovery_log.h"

#include <string_view>

namespace korvex {

void noteFileRecovery(RecoveryLog& log, std::int32_t folder, int file, const RecordingFileReader& reader) {
  if (reader.resyncs().empty() && reader.unreadable().empty() && reader.damaged().empty() &&
      reader.outsideWindow().empty()) {
    return;
  }
  const std::string name = recordingFileName(folder, file);
  for (const FrameResync& resync : reader.resyncs())
    log.resyncs.push_back({name, resync.endedAt, resync.resumedAt, resync.resumedAt - resync.endedAt});
  for (const ByteRange& range : reader.unreadable()) log.unreadable.push_back({name, range.offset, range.length});
  for (const DamagedFrame& frame : reader.damaged()) {
    log.damaged.push_back(
        {name, frame.offset, frame.payloadLength, frame.channel, frame.timeStamp, frameFaultText(frame.fault)});
  }
  for (const FramesOutsideWindow& run : reader.outsideWindow()) {
    log.outsideWindow.push_back(
        {name, run.firstOffset, run.lastOffset, run.firstTime, run.lastTime, run.count, run.bytes});
  }
}

const char* frameFaultText(FrameFault fault) {
  switch (fault) {
    case FrameFault::LengthPastHeader:
      return "its length runs past the next frame header";
    case FrameFault::NoHeaderAfter:
      return "no frame header follows its payload";
    case FrameFault::PayloadUnreadable:
      return "its payload touches an unreadable block";
  }
  return "damaged";
}

std::uint64_t framesOutsideWindowCount(const RecoveryLog& log) {
  std::uint64_t count = 0;
  for (const FramesOutsideWindowEntry& run : log.outsideWindow) count += run.frames;
  return count;
}

void noteSkippedFile(RecoveryLog& log, std::int32_t folder, int file, const Failure& failure) {
  const std::string_view reason = failure.reason.empty() ? std::string_view("cannot be opened") : failure.reason;
  if (!log.skipped.empty()) {
    SkippedFile& last = log.skipped.back();
    if (last.folder == folder && last.lastNumber + 1 == file && last.reason == reason) {
      last.lastNumber = file;
      return;
    }
  }
  log.skipped.push_back({recordingFileName(folder, file), std::string(reason), folder, file, file});
}

std::string SkippedFile::lastFile() const { return recordingFileName(folder, lastNumber); }

std::size_t skippedFileCount(const RecoveryLog& log) {
  std::size_t count = 0;
  for (const SkippedFile& skipped : log.skipped) count += static_cast<std::size_t>(skipped.count());
  return count;
}

}  // namespace korvex
