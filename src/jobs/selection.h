// The rules by which a job picks folders and frames.
#pragma once

#include <cstdint>
#include <string_view>

#include "jobs/job_settings.h"
#include "store/store_walk.h"

namespace korvex {

// The limit is the folder count, or folderEnd when that is set and smaller.
FolderRange folderRange(int folderCount, const JobSettings& settings);

bool insideTimeWindow(RecorderTime t, const JobSettings& settings);

// Channel indexes without a check box (16 to 31, or outside the table) are
// never selected.
bool channelSelected(std::int32_t channel, const JobSettings& settings);

// Only the four named record types can be selected; any other code never.
bool recordTypeSelected(std::int32_t code, const JobSettings& settings);

// True when there are no picked windows, or the frame of `channel` and
// `recordType` at `t` lies in one of them: its channel and its record type
// in the window's masks, its time within the window's span.
bool insidePickedWindows(std::int32_t channel, std::int32_t recordType, RecorderTime t, const JobSettings& settings);

// The whole test a backup applies to a frame: time window, channel, record
// type and the picked windows.
bool frameSelected(std::int32_t channel, std::int32_t recordType, RecorderTime t, const JobSettings& settings);

// The size limit in bytes; 0 means no limit.
std::uint64_t sizeLimitBytes(const JobSettings& settings);

// True once more than the limit has been exported (exactly the limit goes on).
bool sizeLimitPassed(std::uint64_t exportedBytes, const JobSettings& settings);

// The whole time range, every channel a user can pick, every record type:
// a backup of everything.
void selectEverything(JobSettings& settings);

// The integer at the start of a text, as the C library's atoi reads it:
// leading blanks skipped, an optional sign, decimal digits up to the first
// other character; no digits give 0. Values beyond 32 bits are clamped.
std::int32_t readIntegerText(std::string_view text);

// The size-limit box: as readIntegerText, but a negative number gives 100.
std::int32_t readSizeLimitText(std::string_view text);

}  // namespace korvex
