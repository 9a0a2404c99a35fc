// The disk a job reads, as --disk and --partition name it: the folder of a
// mounted disk, a disk image file or a block device.
#pragma once

#include <memory>

#include "jobs/job_settings.h"
#include "store/recording_source.h"

namespace korvex::cli {

// Opens the store of `settings.diskRoot` (as the user gave it) with
// openDisk; a folder's `settings.diskRoot` then ends with '/'. Null after a
// message on stderr naming the disk, with the exit status in `status`: 2
// for a recorder folder given as the disk (naming its parent) or a
// partition the disk does not have, 3 when the disk holds no store, 1 when
// it does not exist or cannot be read. Nothing is written before.
std::unique_ptr<RecordingSource> openJobSource(JobSettings& settings, int partition, int& status);

}  // namespace korvex::cli
