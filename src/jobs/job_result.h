// What a job tells when it has ended: how it ended, with the file and the
// reason where it failed, and what it wrote. Returned by the worker; the
// faces read it once the worker's thread has ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/failure.h"
#include "jobs/stamp_rate.h"
#include "store/recorder_time.h"

namespace korvex {

// How a job ended, for either job, as its log names it and both faces tell
// it. The worker decides it once, when the job has ended.
enum class JobOutcome : std::uint8_t {
  Finished,     // the range done (a backup: with video found)
  NoVideo,      // no recorder folder, a file missing mid-range, or a backup that found no video
  Stopped,      // the Stop button
  SizeLimit,    // more than the size limit was exported
  Failed,       // JobEnd::failure says what failed
  Interrupted,  // a signal to the companion
};

// Where a frame lies in the store.
struct FramePlace {
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t offset = 0;  // of its frame header in the recording file
};

// What recovery did (JobSettings::recover), for the custody log. Files are
// named as the store names them: "dir00000/file0003.dat".
struct Resync {
  std::string file;
  std::uint64_t endedAt = 0;    // where the file's frames ended
  std::uint64_t resumedAt = 0;  // where the search found the next frame
  std::uint64_t bytesPassed = 0;
};

// Bytes of a recording file that could not be read: whole blocks of the medium.
struct UnreadableRegion {
  std::string file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// A recording file of the range that could not be opened and was passed over.
// Files passed over for one reason: one file, or a run of consecutive files
// of one folder (the rest of a folder that a recorder never filled).
struct SkippedFile {
  std::string file;      // the first of them
  std::string reason;    // "No such file or directory", "Permission denied", ...
  std::int32_t folder = 0;
  int firstNumber = 0;   // file numbers within the folder
  int lastNumber = 0;
  int count() const { return lastNumber - firstNumber + 1; }
  // The last of them.
  std::string lastFile() const;
};

// A frame recovery found and did not take: its length is not confirmed by
// what follows it, or its payload cannot be read.
struct DamagedFrameEntry {
  std::string file;
  std::uint64_t offset = 0;  // of its header
  std::uint32_t payloadLength = 0;
  std::int32_t channel = 0;  // index 0 to 31
  RecorderTime time = 0;
  std::string reason;
};

// Frames the search passed over for their time alone (a recorder whose
// clock was reset): one frame, or a run of frames back to back.
struct FramesOutsideWindowEntry {
  std::string file;
  std::uint64_t offset = 0;      // of the first header
  std::uint64_t lastOffset = 0;  // of the last header
  RecorderTime firstTime = 0;
  RecorderTime lastTime = 0;
  std::uint64_t frames = 0;
  std::uint64_t bytes = 0;  // headers and payloads of the run
};

struct RecoveryLog {
  std::vector<Resync> resyncs;
  std::vector<UnreadableRegion> unreadable;
  std::vector<SkippedFile> skipped;
  std::vector<DamagedFrameEntry> damaged;
  std::vector<FramesOutsideWindowEntry> outsideWindow;
  // Frames the reader found past a file's first end of frames (whether or
  // not the backup's selection took them).
  std::uint64_t recoveredFrames = 0;
};

// One recording segment as the scan found it: one report row.
struct SegmentRecord {
  std::int32_t serial = 0;   // 1, 2, ... in the order the segments ended
  std::int32_t channel = 0;  // index 0 to 31; people see channel + 1
  std::int32_t recordType = 0;
  RecorderTime startTime = 0;
  RecorderTime endTime = 0;
  std::uint64_t byteCount = 0;  // payload bytes of its frames
  std::int32_t startFolder = 0;
  FramePlace firstFrame;
  FramePlace lastFrame;
  // Holds frames found past a file's end of frames (recovery).
  bool recovered = false;
  // Its video frames against their stamps (JobSettings::timeFile).
  StampRate rate;
};

// The recording file that ended a job early, for either job.
struct SourceEnd {
  // A file that exists but could not be opened or read (SourceUnreadable),
  // or the store's root that could not be listed (RootUnlisted), with the
  // reason in words.
  Failure unread;
  // A missing file, with the folders of the range left after its own.
  std::string missingPath;
  std::int32_t foldersNotRead = 0;
  // Folders that exist after the missing file's and were never read.
  std::vector<std::int32_t> foldersLeft;
};

// How a job ended and what it left, the same for both jobs: the part of a
// result the faces and the log read to tell the end.
struct JobEnd {
  JobOutcome end = JobOutcome::Failed;
  Failure failure{FailureCode::NotEnded, 0, {}, {}};  // when `end` is Failed
  SourceEnd source;
  RecoveryLog recovery;
  // The job's log: the JSON record, and the SHA-256 list of what it wrote.
  std::string logPath;
  std::string hashListPath;
  std::size_t hashListEntries = 0;  // none: the list is empty, nothing to check
  Failure logFailure;  // LogNotWritten: the file that could not be written, and its errno
};

// A file's SHA-256 as it lies on disk.
struct FileHash {
  std::string sha256;       // 64 lower-case hex digits; empty when the file could not be read
  std::uint64_t bytes = 0;  // the bytes hashed: the file's length on disk
  // NotHashed when it could not be read: its errno and the reason (or, for
  // a file no longer the one written, errno 0 and OutputFileReplaced as the
  // cause).
  Failure failure;
};

struct ScanResult : JobEnd {
  // The store ended the scan early: no folders, or a file missing or unreadable.
  bool aborted = false;
  std::string reportPath;
  std::vector<SegmentRecord> segments;
};

// One AVI file a backup created.
// A run of an AVI file's chunks: `frames` frames of its channel that the
// reader gave one after another in one recording file, the first with its
// header at `offset`. A file's runs in order give every chunk it holds.
struct SourceRun {
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t offset = 0;
  std::uint64_t frames = 0;
  friend bool operator==(const SourceRun&, const SourceRun&) = default;
};

struct ExportedFile {
  std::string path;
  std::int32_t channel = 0;  // index 0 to 15
  std::int32_t recordType = 0;
  RecorderTime firstFrame = 0;
  RecorderTime lastFrame = 0;
  FramePlace from;  // its first and last frame in the store
  FramePlace to;
  std::uint64_t videoFrames = 0;
  std::uint64_t audioChunks = 0;
  std::uint64_t mediaBytes = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t frameRate = 0;
  std::int32_t audioSampleRate = 0;  // 0: no sound track
  std::int32_t audioBits = 0;
  bool finished = false;  // finished without an error
  // Holds frames found past a file's end of frames (recovery).
  bool recovered = false;
  // Made of residual frames: found past an end of frames and older than the
  // newest frame of their channel in their recording file (recordings the
  // recorder had not yet overwritten). Its name ends in "_recovered.avi".
  bool residual = false;
  FileHash hash;          // of the finished file
  // With JobSettings::timeFile: its frames against their stamps, and the
  // subtitle file of the recorder's time beside it (empty: none was made).
  StampRate rate;
  std::string timeFilePath;
  std::size_t timeFileCues = 0;
  FileHash timeFileHash;
  std::vector<SourceRun> sources;
  // SHA-256 of the data of its chunks in order (the bytes taken from the
  // frames' payloads, without chunk headers or padding); empty when a
  // failed write left it unknown which chunks the file holds.
  std::string payloadSha256;
};

struct BackupResult : JobEnd {
  bool videoFound = false;
  std::uint64_t totalBytesWritten = 0;
  std::vector<ExportedFile> files;
};

}  // namespace korvex
