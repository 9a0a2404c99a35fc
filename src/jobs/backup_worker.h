// The backup: walks the store and writes the selected frames of each channel
// and recording segment into an AVI file of their own.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "avi/avi_file.h"
#include "jobs/custody_log.h"
#include "jobs/file_hasher.h"
#include "jobs/job_result.h"
#include "jobs/job_settings.h"
#include "jobs/job_state.h"
#include "jobs/output_folder.h"
#include "jobs/time_file.h"
#include "store/recording_file_reader.h"
#include "store/recording_source.h"
#include "base/stop_request.h"
#include "store/store_walk.h"

namespace korvex {

// A channel's AVI file is replaced by a fresh one once it holds this much
// media, at the next key frame: the new file starts with that picture, and
// what comes before it still goes into the old one.
inline constexpr std::uint64_t AVI_SPLIT_BYTES = 1073741824;
// A file that grows to this many times the bound without meeting a key frame
// is replaced all the same, well before the writer's own limit ends the job.
inline constexpr std::uint64_t AVI_SPLIT_WAIT_FACTOR = 3;

// The sound track of every AVI file: A-law, declared at 64 kbit/s.
inline constexpr std::int32_t ALAW_FORMAT_TAG = 6;
inline constexpr std::int32_t AUDIO_BITRATE_KBPS = 64;
// The recorder puts 4 bytes in front of the 320 bytes of sound of a chunk;
// the AVI file gets the sound only.
inline constexpr std::uint32_t RECORDER_AUDIO_CHUNK = 324;
inline constexpr std::uint32_t RECORDER_AUDIO_PREFIX = 4;

struct BackupOptions {
  // When a channel's file is replaced; only tests set anything else.
  std::uint64_t splitBytes = AVI_SPLIT_BYTES;
  // Told, on the worker's thread, the path of every AVI file created.
  std::function<void(const std::string&)> fileCreated;
  // The moment that names the job's log; now when not given.
  std::optional<std::time_t> startedAt;
  // Where the AVI files and the log go: the file system when not given.
  OutputFiles* output = nullptr;
  // Told the result, on the owner's thread, of a job its owner ended while
  // a read hung (JobThread::rescueIfStuck): run() never returns then. A job
  // without it waits for the read.
  std::function<void(BackupResult)> rescued;
};

class BackupWorker {
 public:
  BackupWorker(JobSettings settings, const RecordingSource& source, JobState& state, BackupOptions options = {});
  ~BackupWorker();
  BackupWorker(const BackupWorker&) = delete;
  BackupWorker& operator=(const BackupWorker&) = delete;

  // The whole job, on the calling thread; `stop` is tested between files.
  // Every AVI file is finished before it returns.
  BackupResult run(const StopRequest& stop);

 private:
  // One AVI file of a channel and where it stands with its streams.
  struct ChannelOutput {
    std::unique_ptr<AviFile> writer;
    std::string path;
    std::size_t fileIndex = 0;   // its entry in the result's files
    std::uint64_t fileBytes = 0;  // media written into it
    std::int32_t keyA = 0;        // the segment keys it was opened for
    std::int32_t keyB = 0;
    bool keyFrameSeen = false;  // the file has received its first key frame
    RecorderTime firstKeyTime = 0;
    bool videoReady = false;  // the video stream is declared
    bool audioReady = false;  // the audio track is declared
    // Opened at a key frame when the file before it was full: the recording
    // runs on, so its sound is not held back by its time stamp.
    bool continued = false;
    std::uint64_t audioBytes = 0;  // sound written into it
    // The chunks written last, as many as the file may still withdraw when
    // the disk fills up (what it gathered and had not yet written whole),
    // so that the log names the last frame that is really in the file.
    struct Chunk {
      FramePlace place;
      RecorderTime time = 0;
      std::uint32_t length = 0;
      bool audio = false;
    };
    // Oldest first. A vector and the place of its first live entry: a
    // channel that writes nothing allocates nothing (a deque would, for each
    // of the 32 channels of every job).
    class RecentChunks {
     public:
      bool empty() const { return first_ == chunks_.size(); }
      std::size_t size() const { return chunks_.size() - first_; }
      const Chunk& front() const { return chunks_[first_]; }
      const Chunk& back() const { return chunks_.back(); }
      void push_back(const Chunk& chunk) { chunks_.push_back(chunk); }
      void pop_front();
      void pop_back();

     private:
      std::vector<Chunk> chunks_;
      std::size_t first_ = 0;
    };
    RecentChunks recent;
    std::uint64_t recentBytes = 0;
    // With JobSettings::timeFile: the subtitle file under the AVI's stem,
    // made with it and written when it is finished, and the stamps of the
    // video frames it takes.
    std::unique_ptr<OutputFile> timeFile;
    std::string timePath;
    FrameTimeLine timeLine;
    // Where its chunks' data lie in the file, in order, and whether that is
    // all of them; the hasher digests them as it reads the file back.
    std::vector<FileRange> payloadRanges;
    bool payloadsKnown = true;
    bool payloadsHandedOver = false;
    // The reader's count of its channel's frames at its last chunk: the
    // next chunk continues the run when it is the frame after that one.
    std::uint64_t lastFrameGiven = 0;
  };

  WalkVerdict exportFrames(std::int32_t folder, int file, RecordingFileReader& reader);
  WalkVerdict exportFileFrames(std::int32_t folder, int file, RecordingFileReader& reader);
  // False once an AVI file could not be written: the job ends.
  // `inPlace`: the payload was read into the file's reserved room there.
  bool exportFrame(const FrameHeader& frame, const FramePlace& place, const std::uint8_t* inPlace);
  // Why a frame goes into a new file of its channel.
  enum class NewFile : std::uint8_t { No, Segment, Full };
  NewFile needsNewFile(std::size_t channel, const FrameHeader& frame) const;
  // The channel's file that takes the frame being exported.
  ChannelOutput& outputFor(std::size_t channel) { return frameResidual_ ? residuals_[channel] : channels_[channel]; }
  const ChannelOutput& outputFor(std::size_t channel) const {
    return frameResidual_ ? residuals_[channel] : channels_[channel];
  }
  // Where a picture for a file under way can be read straight into the
  // file's own buffer; null when it takes the payload buffer.
  std::uint8_t* payloadPlace(const FrameHeader& frame);
  // `continued`: the channel's recording goes on from the file before.
  void openChannelFile(std::size_t channel, const FrameHeader& frame, bool continued);
  // The AVI file's path without its number and ".avi".
  std::string aviFileStem(const FrameHeader& frame) const;
  void finishChannel(ChannelOutput& channel);
  // Writes the channel's subtitle file for what its AVI file holds.
  void finishTimeFile(ChannelOutput& channel);
  void finishAll();
  void noteOutputFailure(const ChannelOutput& channel, const Failure& failure);
  void noteChunk(ChannelOutput& channel, const FramePlace& place, RecorderTime time, std::uint32_t length, bool audio);
  // The chunk's frame in the file's runs of source frames.
  void noteSource(ChannelOutput& channel, const FramePlace& place, std::size_t c);
  // The counts of a finished file from what it holds: the chunks a full
  // disk made it withdraw are taken off.
  void countWhatTheFileHolds(ChannelOutput& channel, const AviFile& writer);
  // Called at the start and after each new file.
  void reserveLogRoom();
  void writeLog(const StopRequest& stop);
  // Every file finished, the result counted and the log written.
  void endJob(JobOutcome end, Failure failure, const StopRequest& stop);
  // The end of a job whose read hangs, in the worker's place.
  void rescue(const StopRequest& stop, const HungRead& hung);

  JobSettings settings_;
  const RecordingSource& source_;
  // Only written: what others see of the job. What the job counts for
  // itself is its own, so that a state not reset between jobs changes nothing.
  JobState& state_;
  std::int32_t readingFolder_ = 0;  // the folder and file being read; they name the AVI files
  int readingFile_ = 0;
  std::uint64_t bytesWritten_ = 0;  // media exported, against the size limit
  bool videoFound_ = false;
  BackupOptions options_;
  std::unique_ptr<DiskFolderOutput> folder_;  // the output folder, when options_.output is not given
  OutputFiles& output_;
  PayloadBuffer payload_;
  std::array<ChannelOutput, CHANNEL_TABLE_SIZE> channels_{};
  // Recovery: per channel, the file of its residual frames, open beside its
  // current one, so that older recordings found between newer frames never
  // end the newer recording's file.
  std::array<ChannelOutput, CHANNEL_TABLE_SIZE> residuals_{};
  OutputNames names_;
  FileHasher hasher_;
  CustodyLogFiles log_;
  DiskDescription disk_;
  std::time_t startedAt_ = 0;
  std::uint64_t loggedNameBytes_ = 0;  // of the files' paths so far
  BackupResult result_;
  JobOutcome end_ = JobOutcome::Finished;  // why the visitor stopped the walk
  bool outputFailed_ = false;
  Failure outputFailure_;  // the first AVI file that could not be written
  // Per channel, the frames the reader gave so far, selected or not.
  std::array<std::uint64_t, CHANNEL_TABLE_SIZE> framesGiven_{};
  std::uint64_t sourceRuns_ = 0;  // of every file, for the log's room
  RecorderTime lastFrameTime_ = 0;
  bool frameTimeShown_ = false;
  // Recovery: what the reader said of the frame being exported.
  bool frameRecovered_ = false;
  bool frameResidual_ = false;
  // Ended while a read hung: the read may still fill the payload buffer or
  // an AVI file's reserved room, so nothing of this job is freed.
  bool rescued_ = false;
};

// Runs a backup to its end on the calling thread.
BackupResult backupWorker(const JobSettings& settings, const RecordingSource& source, JobState& state,
                          const StopRequest& stop, BackupOptions options = {});
// The same over the folder settings.diskRoot, never stopped from outside.
BackupResult backupWorker(const JobSettings& settings, JobState& state, BackupOptions options = {});

}  // namespace korvex
