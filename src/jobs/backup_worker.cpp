#include "jobs/backup_worker.h"

#include <cerrno>
#include <cstdio>

#include "jobs/selection.h"
#include "store/record_types.h"
#include "store/recording_store.h"
#include "store/segment_continuity.h"

namespace korvex {

BackupWorker::BackupWorker(const JobSettings& settings, JobState& state, BackupOptions options)
    : settings_(settings), state_(state), options_(std::move(options)) {}

void BackupWorker::run() {
  const FolderRange range = folderRange(countStoreFolders(settings_.diskRoot), settings_);
  BackupEnd end = BackupEnd::RangeDone;
  for (std::int32_t folder = range.first; folder < range.limit && end == BackupEnd::RangeDone; ++folder) {
    for (int file = 0; file < FILES_PER_FOLDER; ++file) {
      if (!state_.backupRunning) {
        end = BackupEnd::Stopped;
        break;
      }
      state_.currentBackupFolder = folder;
      state_.currentBackupFile = file;
      if (backupRecordingFile(recordingFilePath(settings_.diskRoot, folder, file)) == FileVerdict::Stop) {
        end = state_.backupEnd.load();
        break;
      }
    }
  }
  finishAll();
  // A file that could not be finished at the very end is a failure too.
  state_.backupEnd = outputFailed_ ? BackupEnd::OutputFailed : end;
  // Last: whoever waits on the flag then finds every AVI file finished.
  state_.backupRunning = false;
}

FileVerdict BackupWorker::backupRecordingFile(const std::string& path) {
  if (!reader_.open(path, ReadPattern::WholeFile)) {
    state_.backupEnd = BackupEnd::FileMissing;
    return FileVerdict::Stop;
  }
  RecordingFileHeader fileHeader;
  if (!reader_.readFileHeader(fileHeader)) return FileVerdict::Continue;  // too short to hold frames
  if (fileHeader.fileEndTime < settings_.beginTime) return FileVerdict::Continue;
  if (fileHeader.fileStartTime > settings_.endTime && state_.videoFound) {
    state_.backupEnd = BackupEnd::AfterWindow;
    return FileVerdict::Stop;
  }

  FrameHeader frame;
  while (reader_.nextFrame(frame)) {
    if (sizeLimitPassed(state_.totalBytesWritten.load(std::memory_order_relaxed), settings_)) {
      state_.backupEnd = BackupEnd::SizeLimit;
      return FileVerdict::Stop;
    }
    if (!insideTimeWindow(frame.timeStamp, settings_) || !channelSelected(frame.channel, settings_) ||
        !recordTypeSelected(frame.recordType, settings_)) {
      reader_.skipPayload();
      continue;
    }
    // A picture for a file that is under way is read straight into the
    // place the file writes it from.
    std::uint8_t* place = payloadPlace(frame);
    if (!(place ? reader_.readPayloadInto(place) : reader_.readPayload(payload_))) break;
    if (!exportFrame(frame, place != nullptr)) {
      state_.backupEnd = BackupEnd::OutputFailed;
      return FileVerdict::Stop;
    }
  }
  return FileVerdict::Continue;
}

bool BackupWorker::needsNewFile(std::size_t c, const FrameHeader& frame) const {
  return state_.channelFileBytes[c] >= options_.splitBytes ||
         beginsNewSegment(frame.segmentKeyA, frame.segmentKeyB, state_.segmentKeyA[c], state_.segmentKeyB[c]);
}

std::uint8_t* BackupWorker::payloadPlace(const FrameHeader& frame) {
  const auto c = static_cast<std::size_t>(frame.channel);
  AviFile* writer = state_.channelWriters[c].get();
  const ChannelStream& stream = streams_[c];
  if (writer == nullptr || frame.frameKind == FRAME_KIND_AUDIO || !stream.keyFrameSeen || !stream.videoReady ||
      frame.payloadLength > AVI_MAX_RESERVED_LENGTH || needsNewFile(c, frame)) {
    return nullptr;
  }
  // Null when the file refuses the chunk: the frame then takes the common
  // path, which meets the same refusal.
  return writer->reserveChunk(frame.payloadLength);
}

bool BackupWorker::exportFrame(const FrameHeader& frame, bool payloadInPlace) {
  const auto c = static_cast<std::size_t>(frame.channel);  // selected channels are 0..15
  if (needsNewFile(c, frame)) {
    openChannelFile(c, frame);
    if (outputFailed_) return false;
  }
  AviFile* writer = state_.channelWriters[c].get();
  if (writer == nullptr) return true;

  ChannelStream& stream = streams_[c];
  if (!stream.keyFrameSeen) {
    // Every file begins with a key frame; what comes before it is dropped.
    if (frame.frameKind != FRAME_KIND_KEY) return true;
    stream.keyFrameSeen = true;
    stream.firstKeyTime = frame.timeStamp;
  }
  const bool audio = frame.frameKind == FRAME_KIND_AUDIO;
  if (!stream.videoReady && !audio) {
    writer->defineVideo(frame.videoWidth, frame.videoHeight, static_cast<double>(frame.frameRate), "X264");
    stream.videoReady = true;
  }
  if (!stream.audioReady && audio) {
    writer->addAudioTrack(1, frame.audioSampleRate, frame.audioBits, ALAW_FORMAT_TAG, AUDIO_BITRATE_KBPS);
    stream.audioReady = true;
  }

  const auto length = static_cast<std::int32_t>(frame.payloadLength);  // at most MAX_PAYLOAD_BYTES
  bool written = true;
  if (!audio) {
    const bool key = frame.frameKind == FRAME_KIND_KEY;
    written = payloadInPlace ? writer->commitVideoFrame(key) : writer->putVideoFrame(payload_.data(), length, key);
  } else if (stream.firstKeyTime <= frame.timeStamp) {
    // Sound stamped before the key frame is counted below but not written.
    if (frame.payloadLength == RECORDER_AUDIO_CHUNK) {
      written = writer->putAudio(payload_.data() + RECORDER_AUDIO_PREFIX,
                                 static_cast<std::int32_t>(RECORDER_AUDIO_CHUNK - RECORDER_AUDIO_PREFIX));
    } else {
      written = writer->putAudio(payload_.data(), length);
    }
  }
  if (!written) {
    // Going on would only fail again (a full disk): the job ends, and every
    // AVI file is finished with what it holds.
    noteOutputFailure(c, writer->lastFailure());
    return false;
  }

  // Frames of one second share their time stamp: convert only when it changes.
  if (!frameTimeShown_ || frame.timeStamp != lastFrameTime_) {
    state_.currentFrameTime = recorderTimeToCalendar(frame.timeStamp);
    lastFrameTime_ = frame.timeStamp;
    frameTimeShown_ = true;
  }
  state_.channelFileBytes[c] += frame.payloadLength;
  state_.totalBytesWritten.fetch_add(frame.payloadLength, std::memory_order_relaxed);
  return true;
}

void BackupWorker::openChannelFile(std::size_t c, const FrameHeader& frame) {
  finishChannel(c);
  streams_[c] = ChannelStream{};
  state_.channelFileBytes[c] = 0;
  AviFailure failure;
  // A name that exists already, made by this job or left by an earlier
  // one, stays as it is: the file takes the next free "_2", "_3", ...
  for (int attempt = 1;; ++attempt) {
    channelPaths_[c] = aviFileName(frame, attempt);
    state_.channelWriters[c] = AviFile::create(channelPaths_[c], failure);
    if (state_.channelWriters[c] || failure.errorNumber != EEXIST || attempt == MAX_NAME_ATTEMPTS) break;
  }
  state_.videoFound = true;  // also when the file could not be created
  state_.segmentKeyA[c] = frame.segmentKeyA;
  state_.segmentKeyB[c] = frame.segmentKeyB;
  if (!state_.channelWriters[c]) noteOutputFailure(c, failure);
  else if (options_.fileCreated) options_.fileCreated(channelPaths_[c]);
}

std::string BackupWorker::aviFileName(const FrameHeader& frame, int attempt) {
  const CalendarTime t = recorderTimeToCalendar(frame.timeStamp);
  char suffix[16] = "";
  if (attempt > 1) std::snprintf(suffix, sizeof suffix, "_%d", attempt);
  char name[160];
  std::snprintf(name, sizeof name, "folder=%d_file=%d_chn%d_%s_%d_%d_%d_%d_%d_%d%s.avi",
                state_.currentBackupFolder.load(), state_.currentBackupFile.load(), frame.channel + 1,
                recordTypeName(frame.recordType), t.year, t.month, t.day, t.hour, t.minute, t.second, suffix);
  // The folder may already end with '/': a doubled one does no harm.
  return settings_.outputFolder + "/" + name;
}

void BackupWorker::finishChannel(std::size_t c) {
  if (auto& writer = state_.channelWriters[c]) {
    if (!writer->finish()) noteOutputFailure(c, writer->lastFailure());
    writer.reset();
  }
}

void BackupWorker::finishAll() {
  for (std::size_t c = 0; c < state_.channelWriters.size(); ++c) finishChannel(c);
}

void BackupWorker::noteOutputFailure(std::size_t c, const AviFailure& failure) {
  if (outputFailed_) return;
  outputFailed_ = true;
  state_.backupFailedPath = channelPaths_[c];
  state_.backupErrorNumber = failure.errorNumber;
}

void backupWorker(const JobSettings& settings, JobState& state, BackupOptions options) {
  BackupWorker(settings, state, std::move(options)).run();
}

}  // namespace korvex
