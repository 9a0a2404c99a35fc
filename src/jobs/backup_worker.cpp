#include "jobs/backup_worker.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "jobs/recovery_log.h"
#include "jobs/selection.h"
#include "store/record_types.h"
#include "store/segment_continuity.h"

namespace korvex {

BackupWorker::BackupWorker(JobSettings settings, const RecordingSource& source, JobState& state,
                           BackupOptions options)
    : settings_(std::move(settings)),
      source_(source),
      state_(state),
      options_(std::move(options)),
      folder_(options_.output != nullptr ? nullptr : std::make_unique<DiskFolderOutput>(settings_.outputFolder)),
      output_(options_.output != nullptr ? *options_.output : *folder_),
      hasher_(output_),
      log_(output_) {}

BackupWorker::~BackupWorker() { finishAll(); }

BackupResult BackupWorker::run(const StopRequest& stop) {
  const ReadGate::RescueScope rescuable(options_.rescued ? ReadGate::current() : nullptr,
                                        [&](const HungRead& hung) { rescue(stop, hung); });
  startedAt_ = options_.startedAt.value_or(std::time(nullptr));
  disk_ = describeDisk(source_);
  // The log's names are taken first, with room kept for it on the disk.
  log_.create(backupLogStem(settings_.outputFolder, localCalendarTime(startedAt_)));
  reserveLogRoom();

  const FolderListing folders = source_.listFolders();
  const FolderRange range = folderRange(walkFolderCount(folders, settings_.recover), settings_);
  const std::int64_t files = std::max<std::int64_t>(1, range.fileCount());
  StoreWalker walker;
  walker.fileReads = [&](std::int32_t folder, int file) {
    readingFolder_ = folder;
    readingFile_ = file;
  };
  walker.fileStarts = [&](std::int32_t folder, int file) {
    state_.currentBackupFolder = folder;
    state_.currentBackupFile = file;
    const std::int64_t done = (std::int64_t{folder} - range.first) * FILES_PER_FOLDER + file;
    state_.backupPercent = static_cast<std::int32_t>(std::clamp<std::int64_t>(done * 100 / files, 0, 100));
  };
  walker.visitFile = [&](std::int32_t folder, int file, RecordingFileReader& reader) {
    return exportFrames(folder, file, reader);
  };
  walker.recover = settings_.recover;
  walker.existingFolders = folders.folders;
  walker.folderEnd = settings_.folderEnd;
  walker.fileSkipped = [&](std::int32_t folder, int file, const Failure& failure) {
    noteSkippedFile(result_.recovery, folder, file, failure);
  };
  WalkEnd walked;
  if (folders.failed()) {
    walked.kind = WalkEnd::Kind::SourceFailed;
    walked.path = source_.describe();
    walked.reason = folders.failure.reason;
  } else {
    walked = walkStore(source_, range, ReadPattern::WholeFile, stop, walker);
  }

  JobOutcome end = JobOutcome::Finished;
  Failure failure;
  switch (walked.kind) {
    case WalkEnd::Kind::RangeDone:
      state_.backupPercent = 100;
      break;
    case WalkEnd::Kind::Stopped:
      end = JobOutcome::Stopped;
      break;
    case WalkEnd::Kind::Visitor:
      end = end_;
      break;
    case WalkEnd::Kind::FileMissing:
      // The store's normal end: what was found before it is the job's.
      result_.source.missingPath = walked.path;
      result_.source.foldersNotRead = walked.foldersNotRead;
      result_.source.foldersLeft = walked.foldersLeft;
      break;
    case WalkEnd::Kind::SourceFailed:
      end = JobOutcome::Failed;
      failure = {folders.failed() ? FailureCode::RootUnlisted : FailureCode::SourceUnreadable, 0, walked.path,
                 walked.reason};
      result_.source.unread = failure;
      break;
  }
  endJob(end, std::move(failure), stop);
  return std::move(result_);
}

void BackupWorker::endJob(JobOutcome end, Failure failure, const StopRequest& stop) {
  finishAll();
  // A file that could not be finished at the very end is a failure too.
  if (outputFailed_) {
    end = JobOutcome::Failed;
    failure = outputFailure_;
  }
  // A job that ran its course without writing a frame found no video.
  if (end == JobOutcome::Finished && !videoFound_) end = JobOutcome::NoVideo;
  result_.end = end;
  result_.failure = std::move(failure);
  result_.videoFound = videoFound_;
  result_.totalBytesWritten = bytesWritten_;
  writeLog(stop);
}

void BackupWorker::rescue(const StopRequest& stop, const HungRead& hung) {
  rescued_ = true;
  // The walk is between two frames, or reading a picture into a file's
  // reserved room, which finishing the file drops.
  result_.source.unread = {FailureCode::SourceUnreadable, 0, source_.filePath(readingFolder_, readingFile_),
                           hung.describe()};
  endJob(JobOutcome::Stopped, {}, stop);
  options_.rescued(std::move(result_));
}

void BackupWorker::reserveLogRoom() {
  if (!result_.files.empty())
    loggedNameBytes_ += result_.files.back().path.size() + result_.files.back().timeFilePath.size();
  const std::uint64_t names = loggedNameBytes_;
  const std::uint64_t paths = settings_.diskRoot.size() + settings_.outputFolder.size() + disk_.disk.path.size();
  // A subtitle file beside each AVI file: a line more in the list, and its
  // rate and hash in the record.
  const std::uint64_t linesPerFile = settings_.timeFile ? 2 : 1;
  const std::uint64_t perFile = LOG_RESERVE_PER_FILE + (settings_.timeFile ? LOG_RESERVE_PER_TIME_FILE : 0);
  log_.reserve(names + 80 * linesPerFile * result_.files.size(),
               LOG_RESERVE_BASE + 4 * paths + result_.files.size() * perFile + 3 * names +
                   sourceRuns_ * LOG_RESERVE_PER_SOURCE_RUN);
}

void BackupWorker::writeLog(const StopRequest& stop) {
  const std::vector<FileHash> hashes = hasher_.finish();
  std::vector<LoggedFile> listed;
  for (std::size_t i = 0; i < result_.files.size(); ++i) {
    ExportedFile& file = result_.files[i];
    // Each AVI file's hash, then its subtitle file's.
    if (2 * i < hashes.size()) file.hash = hashes[2 * i];
    if (2 * i + 1 < hashes.size()) file.timeFileHash = hashes[2 * i + 1];
    if (file.payloadSha256.empty()) file.payloadSha256 = hasher_.rangesSha256(2 * i);
    listed.push_back(LoggedFile{file.path, file.hash});
    if (!file.timeFilePath.empty()) listed.push_back(LoggedFile{file.timeFilePath, file.timeFileHash});
  }
  // The log vouches only for the bytes this job wrote, in the folder it was
  // given: a file it cannot hash as written fails the job.
  if (result_.end != JobOutcome::Failed) {
    if (const Failure folder = output_.checkFolder(); folder.failed()) {
      result_.end = JobOutcome::Failed;
      result_.failure = failureFrom(FailureCode::OutputNotWritten, settings_.outputFolder, folder);
      if (folder_) result_.failure.path += " (the job's files are in " + folder_->currentPath() + ")";
    }
  }
  for (const ExportedFile& file : result_.files) {
    const LoggedFile written[] = {{file.path, file.hash}, {file.timeFilePath, file.timeFileHash}};
    for (const LoggedFile& each : written) {
      if (each.path.empty() || !each.hash.failure.failed() || result_.end == JobOutcome::Failed) continue;
      result_.end = JobOutcome::Failed;
      const Failure& hashed = each.hash.failure;
      result_.failure = hashed.errorNumber != 0 || hashed.cause != FailureCode::None
                            ? failureFrom(FailureCode::OutputNotWritten, each.path, hashed)
                            : Failure{FailureCode::OutputNotWritten, EIO, each.path, {}};
    }
  }
  // A stop from outside: the companion was sent a signal.
  if (result_.end == JobOutcome::Stopped && stop.interrupted()) result_.end = JobOutcome::Interrupted;
  CustodyRecord record;
  record.backup = true;
  record.started = startedAt_;
  record.ended = std::time(nullptr);
  record.outcome = result_.end;
  record.reason = jobFailureText(result_.failure, true);
  record.disk = disk_;
  record.settings = settings_;
  record.source = result_.source;
  record.recovery = result_.recovery;
  record.files = result_.files;
  const std::string list = hashList(listed);  // one line per file
  log_.write(list, custodyJson(record));
  result_.logPath = log_.logPath();
  result_.hashListPath = log_.hashListPath();
  result_.hashListEntries = static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n'));
  result_.logFailure = log_.failure();
}

WalkVerdict BackupWorker::exportFrames(std::int32_t folder, int file, RecordingFileReader& reader) {
  const WalkVerdict verdict = exportFileFrames(folder, file, reader);
  if (reader.recovery()) noteFileRecovery(result_.recovery, folder, file, reader);
  return verdict;
}

WalkVerdict BackupWorker::exportFileFrames(std::int32_t folder, int file, RecordingFileReader& reader) {
  RecordingFileHeader fileHeader;
  if (!reader.readFileHeader(fileHeader)) return WalkVerdict::Continue;  // too short to hold frames
  // With recovery the header's times are not trusted: every file is read
  // and the frames are selected by their own times.
  if (!settings_.recover) {
    if (fileHeader.fileEndTime < settings_.beginTime) return WalkVerdict::Continue;
    if (fileHeader.fileStartTime > settings_.endTime && videoFound_) {
      end_ = JobOutcome::Finished;  // the rest lies after the time window
      return WalkVerdict::Stop;
    }
  }

  FrameHeader frame;
  while (reader.nextFrame(frame)) {
    if (frame.channel >= 0 && frame.channel < CHANNEL_TABLE_SIZE)
      ++framesGiven_[static_cast<std::size_t>(frame.channel)];
    frameRecovered_ = reader.frameRecovered();
    frameResidual_ = reader.frameResidual();
    if (frameRecovered_) ++result_.recovery.recoveredFrames;
    if (sizeLimitPassed(bytesWritten_, settings_)) {
      end_ = JobOutcome::SizeLimit;
      return WalkVerdict::Stop;
    }
    if (!frameSelected(frame.channel, frame.recordType, frame.timeStamp, settings_)) {
      reader.skipPayload();
      continue;
    }
    const FramePlace place{folder, file, reader.frameOffset()};
    // A picture for a file that is under way is read straight into the
    // place the file writes it from.
    std::uint8_t* into = payloadPlace(frame);
    if (!(into ? reader.readPayloadInto(into) : reader.readPayload(payload_))) {
      // With recovery an unreadable payload loses that frame only.
      if (settings_.recover) continue;
      break;
    }
    if (!exportFrame(frame, place, into)) {
      end_ = JobOutcome::Failed;  // outputFailure_ says what failed
      return WalkVerdict::Stop;
    }
  }
  return WalkVerdict::Continue;
}

BackupWorker::NewFile BackupWorker::needsNewFile(std::size_t c, const FrameHeader& frame) const {
  // Residual frames are older recordings: they have a file of their own
  // beside the channel's current one, and never go into a file of newer
  // frames, nor newer frames into theirs.
  const ChannelOutput& channel = outputFor(c);
  if (beginsNewSegment(frame.segmentKeyA, frame.segmentKeyB, channel.keyA, channel.keyB)) return NewFile::Segment;
  // A full file takes frames on until the next key frame, so that the new
  // one starts with a picture and no frame of the recording is lost.
  if (channel.fileBytes >= options_.splitBytes &&
      (frame.frameKind == FRAME_KIND_KEY || channel.fileBytes / AVI_SPLIT_WAIT_FACTOR >= options_.splitBytes)) {
    return NewFile::Full;
  }
  return NewFile::No;
}

std::uint8_t* BackupWorker::payloadPlace(const FrameHeader& frame) {
  const auto c = static_cast<std::size_t>(frame.channel);
  ChannelOutput& channel = outputFor(c);
  if (!channel.writer || frame.frameKind == FRAME_KIND_AUDIO || !channel.keyFrameSeen || !channel.videoReady ||
      frame.payloadLength > AVI_MAX_RESERVED_LENGTH || needsNewFile(c, frame) != NewFile::No) {
    return nullptr;
  }
  // Null when the file refuses the chunk: the frame then takes the common
  // path, which meets the same refusal.
  return channel.writer->reserveChunk(frame.payloadLength);
}

bool BackupWorker::exportFrame(const FrameHeader& frame, const FramePlace& place, const std::uint8_t* inPlace) {
  const auto c = static_cast<std::size_t>(frame.channel);  // selected channels are 0..15
  ChannelOutput& channel = outputFor(c);
  if (const NewFile reason = needsNewFile(c, frame); reason != NewFile::No) {
    openChannelFile(c, frame, reason == NewFile::Full);
    if (outputFailed_) return false;
  }
  AviFile* writer = channel.writer.get();
  if (writer == nullptr) return true;
  ExportedFile& exported = result_.files[channel.fileIndex];

  if (!channel.keyFrameSeen) {
    // Every file begins with a key frame; what comes before it is dropped.
    if (frame.frameKind != FRAME_KIND_KEY) return true;
    channel.keyFrameSeen = true;
    channel.firstKeyTime = frame.timeStamp;
    exported.firstFrame = frame.timeStamp;
    exported.from = place;
  }
  const bool audio = frame.frameKind == FRAME_KIND_AUDIO;
  if (!channel.videoReady && !audio) {
    writer->defineVideo(frame.videoWidth, frame.videoHeight, static_cast<double>(frame.frameRate), "X264");
    channel.videoReady = true;
    exported.width = frame.videoWidth;
    exported.height = frame.videoHeight;
    exported.frameRate = frame.frameRate;
  }
  if (!channel.audioReady && audio) {
    writer->addAudioTrack(1, frame.audioSampleRate, frame.audioBits, ALAW_FORMAT_TAG, AUDIO_BITRATE_KBPS);
    channel.audioReady = true;
    exported.audioSampleRate = frame.audioSampleRate;
    exported.audioBits = frame.audioBits;
  }

  // Sound stamped before the key frame that starts a recording is counted
  // below but not written.
  const bool chunkWritten = !audio || channel.continued || channel.firstKeyTime <= frame.timeStamp;
  const std::uint8_t* data = inPlace != nullptr ? inPlace : payload_.data();
  std::uint32_t chunkLength = frame.payloadLength;  // at most MAX_PAYLOAD_BYTES
  if (audio && frame.payloadLength == RECORDER_AUDIO_CHUNK) {
    data += RECORDER_AUDIO_PREFIX;
    chunkLength = RECORDER_AUDIO_CHUNK - RECORDER_AUDIO_PREFIX;
  }
  // The chunk's data follow its 8-byte header.
  const std::uint32_t chunkAt = writer->writePosition();
  bool written = true;
  if (chunkWritten && !audio) {
    const bool key = frame.frameKind == FRAME_KIND_KEY;
    written = inPlace != nullptr ? writer->commitVideoFrame(key)
                                 : writer->putVideoFrame(data, static_cast<std::int32_t>(chunkLength), key);
    if (settings_.timeFile && written) channel.timeLine.add(frame.timeStamp);
  } else if (chunkWritten) {
    written = writer->putAudio(data, static_cast<std::int32_t>(chunkLength));
  }
  if (!written) {
    // Going on would only fail again (a full disk): the job ends, and every
    // AVI file is finished with what it holds.
    channel.payloadsKnown = false;
    noteOutputFailure(channel, writer->lastFailure());
    return false;
  }
  if (chunkWritten) {
    exported.recovered = exported.recovered || frameRecovered_;
    (audio ? exported.audioChunks : exported.videoFrames) += 1;
    exported.lastFrame = frame.timeStamp;
    exported.to = place;
    if (chunkLength > 0) channel.payloadRanges.push_back({chunkAt + 8, chunkLength});
    noteChunk(channel, place, frame.timeStamp, chunkLength, audio);
    noteSource(channel, place, c);
  }

  // Frames of one second share their time stamp: convert only when it changes.
  if (!frameTimeShown_ || frame.timeStamp != lastFrameTime_) {
    state_.currentFrameTime = recorderTimeToCalendar(frame.timeStamp);
    lastFrameTime_ = frame.timeStamp;
    frameTimeShown_ = true;
  }
  channel.fileBytes += frame.payloadLength;
  exported.mediaBytes += frame.payloadLength;
  bytesWritten_ += frame.payloadLength;
  state_.totalBytesWritten.store(bytesWritten_, std::memory_order_relaxed);
  return true;
}

void BackupWorker::openChannelFile(std::size_t c, const FrameHeader& frame, bool continued) {
  ChannelOutput& channel = outputFor(c);
  finishChannel(channel);
  channel = ChannelOutput{};
  // A name already taken, by this job or by anything in the folder, gets
  // the next free number: nothing there is ever written through.
  int error = 0;
  Failure failure;
  std::string failedTimePath;  // a subtitle file that could not be made
  // A file of residual frames says so in its name.
  const std::string stem = aviFileStem(frame) + (frameResidual_ ? "_recovered" : "");
  channel.path = names_.create(stem, ".avi", [&](const std::string& path) {
    // The subtitle file takes the AVI's stem: both names free, or the next number.
    if (settings_.timeFile) {
      const std::string timePath = timeFilePath(path);
      CreatedFile created = output_.createNew(timePath);
      const int timeError = created.failure.errorNumber;
      channel.timeFile = std::move(created.file);
      if (!channel.timeFile) {
        failure = {FailureCode::OutputNotWritten, timeError, timePath, {}};
        failedTimePath = timePath;
        return timeError != 0 ? timeError : EIO;
      }
      channel.timePath = timePath;
    }
    channel.writer = AviFile::create(path, failure, output_);
    if (!channel.writer && channel.timeFile) {
      channel.timeFile.reset();
      output_.remove(channel.timePath);
      channel.timePath.clear();
    }
    return channel.writer ? 0 : failure.errorNumber != 0 ? failure.errorNumber : EIO;
  }, error);
  videoFound_ = true;  // also when the file could not be created
  state_.videoFound = true;
  channel.keyA = frame.segmentKeyA;
  channel.keyB = frame.segmentKeyB;
  channel.continued = continued;
  if (!channel.writer) {
    if (!failedTimePath.empty()) channel.path = failedTimePath;
    if (channel.path.empty()) channel.path = stem + ".avi";
    noteOutputFailure(channel, failure);
    return;
  }
  ExportedFile exported;
  exported.path = channel.path;
  exported.channel = frame.channel;
  exported.recordType = frame.recordType;
  exported.residual = frameResidual_;
  exported.timeFilePath = channel.timePath;
  channel.fileIndex = result_.files.size();
  result_.files.push_back(exported);
  reserveLogRoom();
  if (options_.fileCreated) options_.fileCreated(channel.path);
}

void BackupWorker::ChannelOutput::RecentChunks::pop_front() {
  if (++first_ == chunks_.size()) {
    chunks_.clear();
    first_ = 0;
  } else if (first_ >= 64 && first_ * 2 >= chunks_.size()) {
    // The dropped entries are at least as many as those moved.
    chunks_.erase(chunks_.begin(), chunks_.begin() + static_cast<std::ptrdiff_t>(first_));
    first_ = 0;
  }
}

void BackupWorker::ChannelOutput::RecentChunks::pop_back() {
  chunks_.pop_back();
  if (first_ == chunks_.size()) {
    chunks_.clear();
    first_ = 0;
  }
}

void BackupWorker::noteChunk(ChannelOutput& channel, const FramePlace& place, RecorderTime time,
                             std::uint32_t length, bool audio) {
  // More than the file's buffer holds, and the chunk being written: what
  // a failed write can take back.
  constexpr std::uint64_t kept = 4 * AVI_WRITE_BLOCK;
  const std::uint64_t bytes = 8 + std::uint64_t{length};
  channel.recent.push_back({place, time, length, audio});
  channel.recentBytes += bytes;
  while (channel.recent.size() > 1 && channel.recentBytes - (8 + std::uint64_t{channel.recent.front().length}) >= kept) {
    channel.recentBytes -= 8 + std::uint64_t{channel.recent.front().length};
    channel.recent.pop_front();
  }
  if (audio) channel.audioBytes += length;
}

void BackupWorker::noteSource(ChannelOutput& channel, const FramePlace& place, std::size_t c) {
  std::vector<SourceRun>& runs = result_.files[channel.fileIndex].sources;
  const std::uint64_t given = framesGiven_[c];
  // A frame of the channel that this file did not take ends the run: the
  // runs name every frame between their ends.
  if (!runs.empty() && runs.back().folder == place.folder && runs.back().file == place.file &&
      channel.lastFrameGiven + 1 == given) {
    ++runs.back().frames;
  } else {
    runs.push_back({place.folder, place.file, place.offset, 1});
    if (++sourceRuns_ % 64 == 0) reserveLogRoom();
  }
  channel.lastFrameGiven = given;
}

void BackupWorker::countWhatTheFileHolds(ChannelOutput& channel, const AviFile& writer) {
  ExportedFile& exported = result_.files[channel.fileIndex];
  const auto video = static_cast<std::uint64_t>(std::max(0, writer.videoFrameCount()));
  const std::uint64_t sound = writer.streams().audio_track_count > 0 ? writer.streams().audio_tracks[0].byte_count : 0;
  bool withdrawn = false;
  while (!channel.recent.empty() && (exported.videoFrames > video || channel.audioBytes > sound)) {
    const ChannelOutput::Chunk& last = channel.recent.back();
    // The chunk leaves its run; what was digested of it is not in the file.
    channel.payloadsKnown = false;
    if (!exported.sources.empty() && --exported.sources.back().frames == 0) exported.sources.pop_back();
    if (last.audio) {
      exported.audioChunks -= 1;
      channel.audioBytes -= last.length;
    } else {
      exported.videoFrames -= 1;
    }
    channel.recent.pop_back();
    withdrawn = true;
  }
  if (!withdrawn) return;
  if (channel.recent.empty()) {
    // Nothing of it reached the disk.
    exported.lastFrame = exported.firstFrame;
    exported.to = exported.from;
    return;
  }
  exported.lastFrame = channel.recent.back().time;
  exported.to = channel.recent.back().place;
}

std::string BackupWorker::aviFileStem(const FrameHeader& frame) const {
  const CalendarTime t = recorderTimeToCalendar(frame.timeStamp);
  char name[160];
  std::snprintf(name, sizeof name, "folder=%d_file=%d_chn%d_%s_%d_%d_%d_%d_%d_%d", readingFolder_, readingFile_,
                frame.channel + 1, recordTypeName(frame.recordType), t.year, t.month,
                t.day, t.hour, t.minute, t.second);
  // The folder may already end with '/': a doubled one does no harm.
  return settings_.outputFolder + "/" + name;
}

void BackupWorker::finishChannel(ChannelOutput& channel) {
  if (channel.writer) {
    const bool finished = channel.writer->finish();
    if (!finished) noteOutputFailure(channel, channel.writer->lastFailure());
    countWhatTheFileHolds(channel, *channel.writer);
    ExportedFile& exported = result_.files[channel.fileIndex];
    if (!rescued_) channel.writer.reset();
    exported.finished = finished && !(outputFailed_ && outputFailure_.path == channel.path);
    // Hashed as it now lies on disk, on the hasher's thread, and its chunks'
    // data in the same pass.
    if (channel.payloadsKnown && !channel.payloadsHandedOver) {
      channel.payloadsHandedOver = true;
      hasher_.add(2 * channel.fileIndex, channel.path, std::move(channel.payloadRanges));
    } else {
      hasher_.add(2 * channel.fileIndex, channel.path);
    }
    finishTimeFile(channel);
  }
}

void BackupWorker::finishTimeFile(ChannelOutput& channel) {
  if (!settings_.timeFile || channel.fileIndex >= result_.files.size()) return;
  ExportedFile& exported = result_.files[channel.fileIndex];
  channel.timeLine.keepFrames(exported.videoFrames);
  exported.rate = channel.timeLine.rate(exported.frameRate);
  if (!channel.timeFile) return;
  exported.timeFileCues = timeFileCues(channel.timeLine, exported.frameRate);
  const int error =
      writeWholeFile(*channel.timeFile, timeFileText(channel.timeLine, exported.frameRate, settings_.clockOffset));
  channel.timeFile.reset();
  if (error != 0 && !outputFailed_) {
    outputFailed_ = true;
    outputFailure_ = {FailureCode::OutputNotWritten, error, channel.timePath, {}};
  }
  hasher_.add(2 * channel.fileIndex + 1, channel.timePath);
}

void BackupWorker::finishAll() {
  for (std::size_t c = 0; c < channels_.size(); ++c) {
    finishChannel(channels_[c]);
    finishChannel(residuals_[c]);
  }
}

void BackupWorker::noteOutputFailure(const ChannelOutput& channel, const Failure& failure) {
  if (outputFailed_) return;
  outputFailed_ = true;
  outputFailure_ = {FailureCode::OutputNotWritten, failure.errorNumber, channel.path, {}};
}

BackupResult backupWorker(const JobSettings& settings, const RecordingSource& source, JobState& state,
                          const StopRequest& stop, BackupOptions options) {
  return BackupWorker(settings, source, state, std::move(options)).run(stop);
}

BackupResult backupWorker(const JobSettings& settings, JobState& state, BackupOptions options) {
  const FolderSource source(settings.diskRoot);
  const StopRequest never;
  return backupWorker(settings, source, state, never, std::move(options));
}

}  // namespace korvex
