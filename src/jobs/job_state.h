// How far the running job has come: written by its worker, read by the
// window's timers and the companion's progress at any moment. Atomics only.
// The worker never reads it back: what it counts for itself (row serials,
// the file that names an AVI file, the bytes against the size limit) is its
// own, and what it has to tell when it ends is its result (jobs/job_result.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "store/recorder_time.h"

namespace korvex {

struct JobState {
  std::atomic<std::uint64_t> totalBytesWritten{0};
  std::atomic<std::int32_t> currentBackupFolder{0};
  std::atomic<std::int32_t> currentScanFolder{0};
  std::atomic<std::int32_t> currentBackupFile{0};
  std::atomic<std::int32_t> currentScanFile{0};
  std::atomic<CalendarTime> currentFrameTime{CalendarTime{}};
  // The scan: folders of the range begun, as a percent of the folder count.
  std::atomic<std::int32_t> scanPercent{0};
  // The backup: recording files of the range begun, as a percent.
  std::atomic<std::int32_t> backupPercent{0};
  std::atomic<std::int32_t> segmentCount{0};
  // True from a backup's first attempt to create an AVI file on.
  std::atomic<bool> videoFound{false};

  // Back to the state in which every job starts. Only while no worker runs.
  void reset();
};

static_assert(std::atomic<CalendarTime>::is_always_lock_free);

}  // namespace korvex
