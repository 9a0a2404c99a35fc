#include "jobs/job_state.h"

namespace korvex {

void JobState::reset() {
  totalBytesWritten = 0;
  currentBackupFolder = 0;
  currentScanFolder = 0;
  currentBackupFile = 0;
  currentScanFile = 0;
  backupRunning = false;
  scanRunning = false;
  scanAborted = false;
  currentFrameTime = CalendarTime{};
  scanPercent = 0;
  segmentCount = 0;
  videoFound = false;
  scanEnd = ScanEnd::NotEnded;
  backupEnd = BackupEnd::NotEnded;
  for (auto& writer : channelWriters) writer.reset();
  channelFileBytes.fill(0);
  backupFailedPath.clear();
  backupErrorNumber = 0;
  sourceFailedPath.clear();
  sourceFailureReason.clear();
  missingFilePath.clear();
  foldersNotRead = 0;
  segmentKeyA.fill(0);
  segmentKeyB.fill(0);
  reportPath.clear();
  reportFile.reset();
  scanErrorNumber = 0;
  channelSegments.fill(SegmentTracker{});
}

}  // namespace korvex
