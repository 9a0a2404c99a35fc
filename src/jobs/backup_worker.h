// The backup: walks the store and writes the selected frames of each channel
// and recording segment into an AVI file of their own.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "jobs/job_settings.h"
#include "jobs/job_state.h"
#include "store/recording_file_reader.h"

namespace korvex {

// A channel's AVI file is replaced by a fresh one once it holds this much media.
inline constexpr std::uint64_t AVI_SPLIT_BYTES = 1073741824;

// The sound track of every AVI file: A-law, declared at 64 kbit/s.
inline constexpr std::int32_t ALAW_FORMAT_TAG = 6;
inline constexpr std::int32_t AUDIO_BITRATE_KBPS = 64;
// The recorder puts 4 bytes in front of the 320 bytes of sound of a chunk;
// the AVI file gets the sound only.
inline constexpr std::uint32_t RECORDER_AUDIO_CHUNK = 324;
inline constexpr std::uint32_t RECORDER_AUDIO_PREFIX = 4;
// Names tried for one AVI file before its EEXIST ends the job.
inline constexpr int MAX_NAME_ATTEMPTS = 10000;

struct BackupOptions {
  // When a channel's file is replaced; only tests set anything else.
  std::uint64_t splitBytes = AVI_SPLIT_BYTES;
  // Told, on the worker's thread, the path of every AVI file created.
  std::function<void(const std::string&)> fileCreated;
};

enum class FileVerdict { Continue, Stop };

// Per channel: where the current AVI file stands with its streams.
struct ChannelStream {
  bool keyFrameSeen = false;  // the file has received its first key frame
  RecorderTime firstKeyTime = 0;
  bool videoReady = false;  // the video stream is declared
  bool audioReady = false;  // the audio track is declared
};

class BackupWorker {
 public:
  BackupWorker(const JobSettings& settings, JobState& state, BackupOptions options = {});

  // The whole job. Expects state.backupRunning set; finishes every open AVI
  // file, then clears it.
  void run();

  // Exports the selected frames of one recording file.
  FileVerdict backupRecordingFile(const std::string& path);

 private:
  bool needsNewFile(std::size_t channel, const FrameHeader& frame) const;
  // Where the frame's payload can be read to in its AVI file's own buffer,
  // or null when it goes through the payload buffer.
  std::uint8_t* payloadPlace(const FrameHeader& frame);
  // False once an AVI file could not be written: the job ends.
  // payloadInPlace: the payload was read to payloadPlace.
  bool exportFrame(const FrameHeader& frame, bool payloadInPlace);
  void openChannelFile(std::size_t channel, const FrameHeader& frame);
  // The name of the file a frame opens; from the second attempt on with
  // "_<attempt>" before ".avi".
  std::string aviFileName(const FrameHeader& frame, int attempt);
  void finishChannel(std::size_t channel);
  void finishAll();
  void noteOutputFailure(std::size_t channel, const AviFailure& failure);

  const JobSettings& settings_;
  JobState& state_;
  BackupOptions options_;
  RecordingFileReader reader_;
  PayloadBuffer payload_;
  std::array<ChannelStream, CHANNEL_TABLE_SIZE> streams_{};
  std::array<std::string, CHANNEL_TABLE_SIZE> channelPaths_;
  bool outputFailed_ = false;
  RecorderTime lastFrameTime_ = 0;
  bool frameTimeShown_ = false;
};

// Runs a backup to its end on the calling thread.
void backupWorker(const JobSettings& settings, JobState& state, BackupOptions options = {});

}  // namespace korvex
