// The one walk over a store that both jobs (and the benchmarks) take: the
// folders of a range, files 0 to 127 in each, each file opened from the
// source and handed to the visitor, the stop request tested between files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/recording_file_reader.h"
#include "store/recording_source.h"
#include "store/recording_store.h"
#include "base/stop_request.h"

namespace korvex {

// Folders a job visits: first, first+1, ... while below limit.
struct FolderRange {
  std::int32_t first = 0;
  std::int32_t limit = 0;

  // The recording files of the range.
  std::int64_t fileCount() const { return first < limit ? (std::int64_t{limit} - first) * FILES_PER_FOLDER : 0; }
};

enum class WalkVerdict { Continue, Stop };

struct StoreWalker {
  // Told of each folder before its first file.
  std::function<void(std::int32_t folder)> folderStarts;
  // Told of each file before it is opened (the faces show where the job is).
  std::function<void(std::int32_t folder, int file)> fileStarts;
  // Told of the file the walk's reads are of from now on: before each file
  // is opened (the next one too, opened ahead while this one is read) and
  // again when the reads go back to the file being read. A hung read names it.
  std::function<void(std::int32_t folder, int file)> fileReads;
  // Reads the open file. Stop ends the walk (WalkEnd::Visitor).
  std::function<WalkVerdict(std::int32_t folder, int file, RecordingFileReader& reader)> visitFile;
  // Recovery: the reader searches past each file's end of frames and reads
  // through read errors (RecordingFileReader::setRecovery), and a file that
  // cannot be opened is told here and passed over instead of ending the walk.
  bool recover = false;
  std::function<void(std::int32_t folder, int file, const Failure& failure)> fileSkipped;
  // The folders that exist (FolderListing::folders) and the user's bound
  // (JobSettings::folderEnd, 0: none). With recovery, the walk visits those
  // of the range that exist, so that a missing folder hides none after it;
  // without, a walk ended by a missing file names those after it.
  std::vector<std::int32_t> existingFolders;
  std::int32_t folderEnd = 0;
};

struct WalkEnd {
  enum class Kind {
    RangeDone,     // every file of the range was visited
    Stopped,       // the stop request was seen between two files
    FileMissing,   // a file of the range does not exist
    SourceFailed,  // a file exists but could not be opened or read
    Visitor,       // the visitor asked to stop
  };
  Kind kind = Kind::RangeDone;
  std::int32_t folder = 0;  // where the walk ended (not for RangeDone)
  int file = 0;
  std::string path;    // the file that ended it, as the source names it
  std::string reason;  // why it could not be opened or read
  std::int32_t foldersNotRead = 0;  // folders of the range after the one it ended in
  // FileMissing: folders that exist after the one it ended in, within the
  // user's bound, none of which was read.
  std::vector<std::int32_t> foldersLeft;
  std::int64_t filesVisited = 0;
};

// Walks `range` of `source`. A file that cannot be opened ends the walk as
// FileMissing or SourceFailed; a read error met while the visitor read the
// file ends it as SourceFailed after the visitor has returned.
WalkEnd walkStore(const RecordingSource& source, const FolderRange& range, ReadPattern pattern,
                  const StopRequest& stop, const StoreWalker& walker);

// How many folders a job's range is cut from: the `dir*` entries or, with
// recovery, as many as reach the highest-numbered folder that exists.
int walkFolderCount(const FolderListing& listing, bool recover);

}  // namespace korvex
