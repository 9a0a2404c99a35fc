// The rate a recording really has: its video frames counted against the
// recorder's time stamps (whole seconds), beside the rate its header names,
// which is the rate an AVI file of it plays at.
#pragma once

#include <cstdint>
#include <optional>

#include "store/recorder_time.h"

namespace korvex {

struct StampRate {
  std::int32_t nominal = 0;          // frames per second, as the frames' headers give it
  std::uint64_t videoFrames = 0;
  std::uint64_t secondsWithFrames = 0;  // runs of frames with one stamp
  std::uint64_t secondsWithoutFrame = 0;  // seconds skipped between two stamps
  std::uint64_t stampsBackwards = 0;  // a frame stamped before the frame ahead of it
  std::uint64_t minPerSecond = 0;    // of the seconds that hold frames
  std::uint64_t maxPerSecond = 0;
  // The seconds of recorder time the frames cover.
  std::uint64_t seconds() const { return secondsWithFrames + secondsWithoutFrame; }
  // Video frames per stamp second over those seconds.
  double mean() const;
  // How much longer (positive) or shorter (negative) the frames play at the
  // nominal rate than the recorder's time they cover, in percent. Empty
  // without a nominal rate or frames.
  std::optional<double> driftPercent() const;
};

// Counts video frames in their order, one stamp at a time, or in runs.
class StampRateTally {
 public:
  void add(RecorderTime stamp, std::int32_t nominal) { addRun(stamp, 1, nominal); }
  // `count` frames of one stamp; a run of the stamp before goes on.
  void addRun(RecorderTime stamp, std::uint64_t count, std::int32_t nominal);
  StampRate result() const;

 private:
  void closeRun();
  StampRate rate_;
  bool open_ = false;
  RecorderTime stamp_ = 0;
  std::uint64_t runFrames_ = 0;
};

}  // namespace korvex
