// The disk a job reads, as --disk and --partition name it: the folder of a
// mounted disk, a disk image file or a block device.
#pragma once

#include <memory>

#include "jobs/job_settings.h"
#include "store/recording_source.h"

namespace korvex::cli {

// Opens the store of `settings.diskRoot` (as the user gave it). A folder,
// or a name that does not exist, is read as a folder, as it always was;
// `settings.diskRoot` then ends with '/'. A disk image or a device is read
// through its file system, on partition `partition` (0: the first that
// holds a store). Null after a message on stderr naming the disk, with the
// exit status in `status`: 3 when the disk holds no store, 2 for a
// partition it does not have, 1 when it cannot be read.
std::unique_ptr<RecordingSource> openJobSource(JobSettings& settings, int partition, int& status);

}  // namespace korvex::cli
