// Gathers what recovery did in each recording file into a job's result.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jobs/job_result.h"
#include "store/recording_file_reader.h"
#include "store/recording_source.h"

namespace korvex {

// The resyncs and unreadable regions of the file `reader` has just read.
void noteFileRecovery(RecoveryLog& log, std::int32_t folder, int file, const RecordingFileReader& reader);

// A file passed over; one that follows the last entry's run in its folder,
// for the same reason, extends that run.
void noteSkippedFile(RecoveryLog& log, std::int32_t folder, int file, const Failure& failure);

// The files passed over, counting every file of each run.
std::size_t skippedFileCount(const RecoveryLog& log);

// The frames passed over for their time, counting every frame of each run.
std::uint64_t framesOutsideWindowCount(const RecoveryLog& log);

// Why a damaged frame was not taken, in words.
const char* frameFaultText(FrameFault fault);

}  // namespace korvex
