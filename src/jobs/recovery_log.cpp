#include "jobs/recovery_log.h"

namespace korvex {

void noteFileRecovery(RecoveryLog& log, std::int32_t folder, int file, const RecordingFileReader& reader) {
  if (reader.resyncs().empty() && reader.unreadable().empty()) return;
  const std::string name = recordingFileName(folder, file);
  for (const FrameResync& resync : reader.resyncs())
    log.resyncs.push_back({name, resync.endedAt, resync.resumedAt, resync.resumedAt - resync.endedAt});
  for (const ByteRange& range : reader.unreadable()) log.unreadable.push_back({name, range.offset, range.length});
}

void noteSkippedFile(RecoveryLog& log, std::int32_t folder, int file, const OpenFailure& failure) {
  log.skipped.push_back({recordingFileName(folder, file), failure.reason.empty() ? "cannot be opened" : failure.reason});
}

}  // namespace korvex
