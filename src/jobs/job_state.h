// The run-time record of the running job. The worker writes it; the window
// or the command line reads the atomic progress fields while the worker
// runs and may clear the run flag to ask it to stop. Everything else belongs
// to the worker while it runs and may be read once it has ended.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "avi/avi_file.h"
#include "store/frame_header.h"
#include "store/recorder_time.h"

namespace korvex {

// A scan's open recording segment of one channel.
struct SegmentTracker {
  std::int32_t channel = 0;
  std::int32_t recordType = 0;
  RecorderTime startTime = 0;  // 0: the tracker holds no segment
  RecorderTime endTime = 0;
  std::int32_t durationHours = 0;
  std::int32_t durationMinutes = 0;
  std::int32_t durationSeconds = 0;
  std::uint64_t byteCount = 0;
  std::int32_t startFolder = 0;
};

// How a scan ended, for the window and the command line to report.
enum class ScanEnd : std::uint8_t {
  NotEnded,
  RangeDone,         // every folder of the range was visited
  Stopped,           // the user asked it to stop
  NoFolders,         // nothing matching dir* under the disk root
  FileMissing,       // a recording file in the range could not be opened
  ReportNotCreated,  // the report file could not be created
  ReportWriteFailed, // writing the report failed (a full disk)
};

// How a backup ended.
enum class BackupEnd : std::uint8_t {
  NotEnded,
  RangeDone,    // every recording file of the range was read
  Stopped,      // the user asked it to stop
  FileMissing,  // a recording file in the range could not be opened
  AfterWindow,  // a recording file starts after the time window
  SizeLimit,    // more than the size limit was exported
  OutputFailed, // an AVI file could not be created or written (a full disk)
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

using ChannelTable32 = std::array<std::int32_t, CHANNEL_TABLE_SIZE>;

struct JobState {
  // Shared with the window thread.
  std::atomic<std::uint64_t> totalBytesWritten{0};
  std::atomic<std::int32_t> currentBackupFolder{0};
  std::atomic<std::int32_t> currentScanFolder{0};
  std::atomic<std::int32_t> currentBackupFile{0};
  std::atomic<std::int32_t> currentScanFile{0};
  std::atomic<bool> backupRunning{false};
  std::atomic<bool> scanRunning{false};
  std::atomic<bool> scanAborted{false};
  std::atomic<CalendarTime> currentFrameTime{CalendarTime{}};
  std::atomic<std::int32_t> scanPercent{0};
  std::atomic<std::int32_t> segmentCount{0};
  // 1 from a backup's first attempt to create an AVI file on.
  std::atomic<bool> videoFound{false};
  std::atomic<ScanEnd> scanEnd{ScanEnd::NotEnded};
  std::atomic<BackupEnd> backupEnd{BackupEnd::NotEnded};

  // The backup worker's own.
  std::array<std::unique_ptr<AviFile>, CHANNEL_TABLE_SIZE> channelWriters;
  std::array<std::uint64_t, CHANNEL_TABLE_SIZE> channelFileBytes{};
  // The first AVI file that could not be written, and why (errno).
  std::string backupFailedPath;
  int backupErrorNumber = 0;

  // Either worker's own: the remembered keys of each channel's segment.
  ChannelTable32 segmentKeyA{};
  ChannelTable32 segmentKeyB{};

  // The scan worker's own; reportPath is read by others once it has ended.
  std::string reportPath;
  FileHandle reportFile;
  int scanErrorNumber = 0;  // errno of a report that could not be created or written
  std::array<SegmentTracker, CHANNEL_TABLE_SIZE> channelSegments{};

  // Back to the state in which every job starts: all zero, nothing open.
  // Only while no worker runs.
  void reset();
};

static_assert(std::atomic<CalendarTime>::is_always_lock_free);

}  // namespace korvex
