#include "store/store_walk.h"

#include <algorithm>
#include <cstring>

namespace korvex {

WalkEnd walkStore(const RecordingSource& source, const FolderRange& range, ReadPattern pattern,
                  const StopRequest& stop, const StoreWalker& walker) {
  WalkEnd end;
  RecordingFileReader reader;
  reader.setRecovery(walker.recover);
  reader.setStopRequest(&stop);
  // Opening a file can hang as a read can (a hung network share).
  ReadGate* const gate = ReadGate::current();
  const auto endAt = [&](WalkEnd::Kind kind, std::int32_t folder, int file) {
    end.kind = kind;
    end.folder = folder;
    end.file = file;
    end.foldersNotRead = range.limit - folder - 1;
    return end;
  };
  // With recovery, the folders of the range that exist; else all of it.
  std::vector<std::int32_t> folders;
  if (walker.recover) {
    for (const std::int32_t folder : walker.existingFolders)
      if (folder >= range.first && folder < range.limit) folders.push_back(folder);
  } else {
    for (std::int32_t folder = range.first; folder < range.limit; ++folder) folders.push_back(folder);
  }
  const auto openFile = [&](std::int32_t folder, int file) {
    if (walker.fileReads) walker.fileReads(folder, file);
    if (gate != nullptr) gate->beforeRead(HungRead::Kind::Open, 0, 0);
    OpenedFile opened = source.openFile(folder, file, pattern);
    if (gate != nullptr) gate->afterRead();
    return opened;
  };
  // The file after the one being read is opened beside it, so that its
  // first bytes are asked for while the last ones of this file are read.
  // Only a file that opened is kept: any other is opened again in its turn.
  // The walk's next file is always the one opened ahead.
  OpenedFile ahead;
  for (std::size_t place = 0; place < folders.size(); ++place) {
    const std::int32_t folder = folders[place];
    if (stop.requested()) return endAt(WalkEnd::Kind::Stopped, folder, 0);
    if (walker.folderStarts) walker.folderStarts(folder);
    for (int file = 0; file < FILES_PER_FOLDER; ++file) {
      if (stop.requested()) return endAt(WalkEnd::Kind::Stopped, folder, file);
      if (walker.fileStarts) walker.fileStarts(folder, file);
      OpenedFile opened = ahead.file ? std::move(ahead) : openFile(folder, file);
      ahead = {};
      const bool lastOfFolder = file + 1 == FILES_PER_FOLDER;
      if (opened.file && (!lastOfFolder || place + 1 < folders.size())) {
        ahead = openFile(lastOfFolder ? folders[place + 1] : folder, lastOfFolder ? 0 : file + 1);
        if (ahead.file) opened.file->setFollowedBy(*ahead.file);
        if (walker.fileReads) walker.fileReads(folder, file);
      }
      if (!reader.open(std::move(opened))) {
        if (walker.recover) {
          if (walker.fileSkipped) walker.fileSkipped(folder, file, reader.failure());
          continue;
        }
        end.path = source.filePath(folder, file);
        end.reason = reader.failure().reason;
        if (reader.failure().missing()) {
          for (const std::int32_t left : walker.existingFolders)
            if (left > folder && (walker.folderEnd <= 0 || left < walker.folderEnd)) end.foldersLeft.push_back(left);
        }
        return endAt(reader.failure().missing() ? WalkEnd::Kind::FileMissing : WalkEnd::Kind::SourceFailed, folder,
                     file);
      }
      const WalkVerdict verdict = walker.visitFile(folder, file, reader);
      const int readError = reader.readError();
      reader.close();
      ++end.filesVisited;
      if (verdict == WalkVerdict::Stop) return endAt(WalkEnd::Kind::Visitor, folder, file);
      if (readError != 0) {
        // What was read before the error counts; the walk ends here.
        end.path = source.filePath(folder, file);
        end.reason = std::strerror(readError);
        return endAt(WalkEnd::Kind::SourceFailed, folder, file);
      }
    }
  }
  end.kind = WalkEnd::Kind::RangeDone;
  return end;
}

int walkFolderCount(const FolderListing& listing, bool recover) {
  if (!recover || listing.folders.empty()) return listing.count;
  return std::max(listing.count, listing.folders.back() + 1);
}

}  // namespace korvex
