// Gathers what recovery did in each recording file into a job's result.
#pragma once

#include <cstdint>

#include "jobs/job_result.h"
#include "store/recording_file_reader.h"
#include "store/recording_source.h"

namespace korvex {

// The resyncs and unreadable regions of the file `reader` has just read.
void noteFileRecovery(RecoveryLog& log, std::int32_t folder, int file, const RecordingFileReader& reader);

void noteSkippedFile(RecoveryLog& log, std::int32_t folder, int file, const OpenFailure& failure);

}  // namespace korvex
