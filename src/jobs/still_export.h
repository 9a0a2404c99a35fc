// A still for the case file: the picture of one frame as a PNG, a JSON
// record beside it of where the frame lies on the disk and when it was
// recorded, and a hash list of both, all three made new in the output
// folder under one name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_result.h"
#include "store/disk_source.h"
#include "store/recorder_time.h"

namespace korvex {

struct StillFacts {
  DiskDescription disk;
  std::int32_t channel = 0;   // index: 0 is channel 1
  std::string recordingFile;  // as the source names it
  std::int32_t folder = 0;
  std::int32_t file = 0;
  std::uint64_t offset = 0;  // of the frame header
  RecorderTime timeStamp = 0;
  // Seconds the recorder's clock ran ahead of real time, as a job's log
  // gives them: the corrected time is the recorder's less these.
  std::optional<std::int64_t> clockOffsetSeconds;
  // Counted from 0; not known for a frame found by its time in a segment
  // that began before the files read.
  std::optional<std::size_t> frameInSegment;
  bool keyFrame = false;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::time_t savedAt = 0;
};

struct StillFiles {
  bool ok = false;
  std::string pngPath;
  std::string jsonPath;
  std::string hashListPath;
  FileHash pngHash;
  std::string failure;  // the file and the reason, when !ok
};

// "<folder>/still_chn<N>_<calendarText>": the name of a frame's still
// before its extension ('/' as for the report).
std::string stillStem(const std::string& outputFolder, std::int32_t channel, RecorderTime timeStamp);

// The JSON record of a still, given the PNG's name and hash.
std::string stillJson(const StillFacts& facts, const std::string& pngName, const FileHash& pngHash);

// Writes "<stem>.png", "<stem>.json" and "<stem>.sha256" (or "<stem>_2.*",
// ... while any is taken), never over an existing file or through a link.
// The hash list lists the PNG and the JSON. On a failure every file made
// is removed.
StillFiles writeStill(const std::string& outputFolder, const StillFacts& facts, const std::vector<std::uint8_t>& png);

}  // namespace korvex
