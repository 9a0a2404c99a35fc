// Checks made before a job starts, so that a selection that cannot find
// anything is named for what it is instead of ending as "no video data".
// Both faces use them; each says the problem in its own words. What the
// disk is, is decided by openDisk (store/disk_source.h).
#pragma once

#include <string>

#include "jobs/job_settings.h"

namespace korvex {

enum class SelectionProblem {
  None,
  NoChannel,       // no channel ticked
  NoRecordType,    // no record type ticked
  EndBeforeStart,  // the time window ends before it begins
  FolderRangeReversed,  // an end folder (not 0) that is not above the start folder
};

// The backup's selection: at least one channel and one record type, a time
// window whose end is not before its start.
SelectionProblem checkBackupSelection(const JobSettings& settings);

// Both jobs' folder range: an end of 0 reads to the last folder, any other
// end must lie above the start (the end folder itself is not read).
SelectionProblem checkFolderRange(const JobSettings& settings);

}  // namespace korvex
