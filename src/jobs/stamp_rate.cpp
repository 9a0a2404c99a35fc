#include "jobs/stamp_rate.h"

#include <algorithm>

namespace korvex {

double StampRate::mean() const {
  return seconds() == 0 ? 0.0 : static_cast<double>(videoFrames) / static_cast<double>(seconds());
}

std::optional<double> StampRate::driftPercent() const {
  if (nominal <= 0 || seconds() == 0) return std::nullopt;
  const double played = static_cast<double>(videoFrames) / nominal;
  return (played / static_cast<double>(seconds()) - 1.0) * 100.0;
}

void StampRateTally::addRun(RecorderTime stamp, std::uint64_t count, std::int32_t nominal) {
  if (count == 0) return;
  if (rate_.nominal == 0) rate_.nominal = nominal;
  rate_.videoFrames += count;
  if (open_ && stamp == stamp_) {
    runFrames_ += count;
    return;
  }
  if (open_) {
    closeRun();
    // Stamps are 32-bit seconds: the step is taken in 64 bits.
    const std::int64_t step = std::int64_t{stamp} - std::int64_t{stamp_};
    if (step > 1) rate_.secondsWithoutFrame += static_cast<std::uint64_t>(step - 1);
    if (step < 0) ++rate_.stampsBackwards;
  }
  open_ = true;
  stamp_ = stamp;
  runFrames_ = count;
}

void StampRateTally::closeRun() {
  rate_.minPerSecond = rate_.secondsWithFrames == 0 ? runFrames_ : std::min(rate_.minPerSecond, runFrames_);
  rate_.maxPerSecond = std::max(rate_.maxPerSecond, runFrames_);
  ++rate_.secondsWithFrames;
}

StampRate StampRateTally::result() const {
  StampRateTally copy = *this;
  if (copy.open_) copy.closeRun();
  return copy.rate_;
}

}  // namespace korvex
