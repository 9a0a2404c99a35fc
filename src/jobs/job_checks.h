// Checks made before a job starts, so that a selection that cannot find
// anything is named for what it is instead of ending as "no video data".
// Both faces use them; each says the problem in its own words.
#pragma once

#include <string>

#include "jobs/job_settings.h"

namespace korvex {

enum class DiskProblem {
  None,
  Missing,             // nothing has that name
  NoStoreFolders,      // a folder without any dir* entries
  StoreFolderPicked,   // a dir* folder itself: its parent is the disk
};

struct DiskCheck {
  DiskProblem problem = DiskProblem::None;
  std::string reason;      // the system's words for Missing
  std::string parent;      // for StoreFolderPicked: the folder to give instead
  bool folder = false;     // the disk is a folder (not an image file or a device)
  explicit operator bool() const { return problem == DiskProblem::None; }
};

// What `disk` names as a recorder disk. Only a folder is looked into: an
// image file or a device is opened by the job's source, which says what it
// finds there.
DiskCheck checkDisk(const std::string& disk);

enum class SelectionProblem {
  None,
  NoChannel,       // no channel ticked
  NoRecordType,    // no record type ticked
  EndBeforeStart,  // the time window ends before it begins
};

// The backup's selection: at least one channel and one record type, a time
// window whose end is not before its start.
SelectionProblem checkBackupSelection(const JobSettings& settings);

}  // namespace korvex
