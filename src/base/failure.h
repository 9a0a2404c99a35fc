// What failed, for every layer that writes or reads a file: the AVI writer
// and the jobs give their failures in this one shape.
#pragma once

#include <cstdint>
#include <string>

namespace korvex {

enum class FailureCode : std::uint8_t {
  None,
  // The AVI writer's.
  AviTooLarge,         // a chunk would take the file past AVI_SIZE_LIMIT
  AviNotCreated,       // the file cannot be created
  AviNotWritten,       // writing chunks failed (a full disk), or a chunk was refused
  AviIndexNotWritten,  // the index could not be appended (the file still plays)
  AviNotClosed,        // the header block, the file's length or the close failed
  NoMemory,            // no memory for the writer or a larger index
  AviTooManyTracks,    // an audio track beyond AVI_MAX_AUDIO_TRACKS
  // A job's.
  NotEnded,          // the job never ended (a result no worker filled)
  SourceUnreadable,  // a recording file exists but could not be opened or read
  RootUnlisted,      // the store's root could not be listed: nothing was read
  ReportNotCreated,  // the report file could not be created
  ReportNotWritten,  // writing the report failed (a full disk)
  OutputNotWritten,  // an AVI file, or the output folder, could not be written
};

// A failure: what failed, the errno of the call that failed (EFBIG for the
// AVI size limit and ENOMEM for memory, which no system call reports), the
// file, and the reason in words where no errno says it.
struct Failure {
  FailureCode code = FailureCode::None;
  int errorNumber = 0;
  std::string path;
  std::string reason;
};

}  // namespace korvex
