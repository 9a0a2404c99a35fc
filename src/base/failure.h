// What failed, for every layer that reads or writes a file: the store, the
// output files, the AVI writer and the jobs give their failures in this one
// shape. The one exception: the output file's primitives that wrap a single
// system call (truncate, reserve, sync, close) give its errno as a value,
// 0 for success.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace korvex {

enum class FailureCode : std::uint8_t {
  None,
  // A store's: a recording file, a folder or the store's root.
  Missing,    // it does not exist: the store's normal end (also a disk that is not there)
  NotOpened,  // it exists and could not be opened or listed, or is not a regular file
  // A disk's, as openDisk finds it (Missing as above).
  StoreFolderPicked,  // one of the recorder's dir* folders: its parent is the disk
  PartitionOnFolder,  // a partition asked for on a folder
  NoSuchPartition,    // the disk's table has no partition of that number
  NoStore,            // its file systems can be read and hold no store
  DiskUnreadable,     // no disk image or device, or one that cannot be read
  // An output file's or output folder's, as OutputFiles gives them.
  NotCreated,            // a new file cannot be made (EEXIST: the name is taken)
  NotWritten,            // writing its bytes failed (a full disk)
  NotRead,               // it was opened and could not be read back
  OutputFileReplaced,    // the name now holds another file than the one written, or the file changed
  OutputFolderReplaced,  // the folder's name now leads to another folder than the one written into
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
  NotHashed,         // a file written could not be read back and hashed
  LogNotWritten,     // the job's log or hash list could not be created or written whole
  LogNotRead,        // a scan's log read back is too large, or not a scan's record
  // An output folder's, as a job checks and claims it before it starts.
  OutputFolderMissing,  // it does not exist
  OutputNotAFolder,     // something else has that name
  OutputNotWritable,    // no permission to create files in it, or its lock cannot be taken
  OutputInsideStore,    // it is the store's root or lies inside it: the evidence
  OutputOnEvidence,     // its file system lies on the disk image or device given as the disk
  OutputFolderBusy,     // another job holds its lock
  // A picture's, for the preview.
  NoKeyFrame,   // the segment holds no key frame
  NotDecoded,   // the key frame does not decode to a picture
};

// A failure: what failed, the errno of the call that failed (EFBIG for the
// AVI size limit and ENOMEM for memory, which no system call reports), the
// file, and the reason in words where no errno says it. A failure that
// follows from one of ours rather than the system's (a job's output file
// replaced under it) has errno 0, that failure's words and its code as the
// cause.
struct Failure {
  FailureCode code = FailureCode::None;
  int errorNumber = 0;
  std::string path;
  std::string reason;
  // The failure of ours that led to this one, where it was not the system's (errno).
  FailureCode cause = FailureCode::None;
  bool failed() const { return code != FailureCode::None; }
  bool missing() const { return code == FailureCode::Missing; }
};

// `lower`, which made the failure `code` at `path`: the system's errno is
// kept; a failure of ours (errno 0) gives its words and its code as the cause.
inline Failure failureFrom(FailureCode code, std::string path, const Failure& lower) {
  if (lower.errorNumber != 0) return {code, lower.errorNumber, std::move(path), {}};
  return {code, 0, std::move(path), lower.reason, lower.cause != FailureCode::None ? lower.cause : lower.code};
}

}  // namespace korvex
