// The recorder's time beside an AVI file: a subtitle file (SubRip, UTF-8)
// under the AVI's stem, which players load on their own. Each run of video
// frames with one time stamp gets a cue from its first frame's presentation
// time to the next run's first frame (the last one: one frame past the last
// frame), times counted from the AVI file's first frame at its nominal rate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/output_files.h"
#include "jobs/clock_offset.h"
#include "jobs/stamp_rate.h"
#include "store/recorder_time.h"

namespace korvex {

inline constexpr std::string_view TIME_FILE_EXTENSION = ".srt";

// The video frames of one AVI file by their stamps, in the file's order.
class FrameTimeLine {
 public:
  struct Run {
    std::uint64_t firstFrame = 0;  // index of its first video frame in the file
    RecorderTime stamp = 0;
  };
  void add(RecorderTime stamp);
  // Keeps the first `frames` frames only (those the file really holds).
  void keepFrames(std::uint64_t frames);
  std::uint64_t frames() const { return frames_; }
  const std::vector<Run>& runs() const { return runs_; }
  // The frames counted against their stamps.
  StampRate rate(std::int32_t nominal) const;

 private:
  std::vector<Run> runs_;
  std::uint64_t frames_ = 0;
};

// What one cue tells of its frames.
struct CueTimes {
  RecorderTime recorder = 0;
  std::optional<RecorderTime> corrected;  // with a clock offset given
};

// The cue's text lines, each ending with a line end: the recorder's local
// date and time as the scan report's rows write it; with a corrected time,
// two labelled lines, the recorder's first.
std::string cueText(const CueTimes& times);

// "01:02:03,040": a presentation time in milliseconds.
std::string subtitleTime(std::uint64_t milliseconds);

// The whole subtitle file. No cue without a nominal rate. With a clock
// offset each cue also gives the corrected time.
std::string timeFileText(const FrameTimeLine& timeLine, std::int32_t nominal,
                         const std::optional<ClockOffset>& offset = std::nullopt);

// Cues in the file timeFileText makes.
std::size_t timeFileCues(const FrameTimeLine& timeLine, std::int32_t nominal);

// The side file's path for the AVI file at `aviPath` ("x.avi" -> "x.srt").
std::string timeFilePath(const std::string& aviPath);

// Writes `text` as the whole of a new file and closes it: 0 or the errno.
int writeWholeFile(OutputFile& file, const std::string& text);

}  // namespace korvex
