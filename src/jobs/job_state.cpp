#include "jobs/job_state.h"

namespace korvex {

void JobState::reset() {
  totalBytesWritten = 0;
  currentBackupFolder = 0;
  currentScanFolder = 0;
  currentBackupFile = 0;
  currentScanFile = 0;
  currentFrameTime = CalendarTime{};
  scanPercent = 0;
  backupPercent = 0;
  segmentCount = 0;
  videoFound = false;
}

}  // namespace korvex
