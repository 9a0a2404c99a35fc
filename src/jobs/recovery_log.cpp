#include "jobs/recovery_log.h"

#include <string_view>

namespace korvex {

void noteFileRecovery(RecoveryLog& log, std::int32_t folder, int file, const RecordingFileReader& reader) {
  if (reader.resyncs().empty() && reader.unreadable().empty()) return;
  const std::string name = recordingFileName(folder, file);
  for (const FrameResync& resync : reader.resyncs())
    log.resyncs.push_back({name, resync.endedAt, resync.resumedAt, resync.resumedAt - resync.endedAt});
  for (const ByteRange& range : reader.unreadable()) log.unreadable.push_back({name, range.offset, range.length});
}

void noteSkippedFile(RecoveryLog& log, std::int32_t folder, int file, const OpenFailure& failure) {
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
