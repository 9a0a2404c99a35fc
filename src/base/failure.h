// What failed, for every layer that reads or writes a file: the store, the
// AVI writer and the jobs give their failures in this one shape.
#pragma once

#include <cstdint>
#include <string>

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
// file, and the reason in words where no errno says it.
struct Failure {
  FailureCode code = FailureCode::None;
  int errorNumber = 0;
  std::string path;
  std::string reason;
  bool failed() const { return code != FailureCode::None; }
  bool missing() const { return code == FailureCode::Missing; }
};

}  // namespace korvex
