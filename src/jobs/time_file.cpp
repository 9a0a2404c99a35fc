#include "jobs/time_file.h"

#include <cstdio>

namespace korvex {

void FrameTimeLine::add(RecorderTime stamp) {
  if (runs_.empty() || runs_.back().stamp != stamp) runs_.push_back({frames_, stamp});
  ++frames_;
}

void FrameTimeLine::keepFrames(std::uint64_t frames) {
  if (frames >= frames_) return;
  while (!runs_.empty() && runs_.back().firstFrame >= frames) runs_.pop_back();
  frames_ = frames;
}

StampRate FrameTimeLine::rate(std::int32_t nominal) const {
  StampRateTally tally;
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    const std::uint64_t next = i + 1 < runs_.size() ? runs_[i + 1].firstFrame : frames_;
    tally.addRun(runs_[i].stamp, next - runs_[i].firstFrame, nominal);
  }
  StampRate rate = tally.result();
  rate.nominal = nominal;
  return rate;
}

namespace {

std::string cueLine(const char* label, RecorderTime time) {
  const CalendarTime t = recorderTimeToCalendar(time);
  char text[80];
  const int n = std::snprintf(text, sizeof text, "%s%4d.%2d.%2d %2d:%2d:%2d\n", label, t.year, t.month, t.day,
                              t.hour, t.minute, t.second);
  return n > 0 && static_cast<std::size_t>(n) < sizeof text ? std::string(text) : std::string("\n");
}

}  // namespace

std::string cueText(const CueTimes& times) {
  if (!times.corrected) return cueLine("", times.recorder);
  return cueLine("Recorder  ", times.recorder) + cueLine("Corrected ", *times.corrected);
}

std::string subtitleTime(std::uint64_t milliseconds) {
  char text[48];
  const int n = std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu,%03llu",
                              static_cast<unsigned long long>(milliseconds / 3600000),
                              static_cast<unsigned long long>(milliseconds / 60000 % 60),
                              static_cast<unsigned long long>(milliseconds / 1000 % 60),
                              static_cast<unsigned long long>(milliseconds % 1000));
  return n > 0 && static_cast<std::size_t>(n) < sizeof text ? std::string(text) : std::string();
}

namespace {

// Frame `index` at `nominal` frames per second, in whole milliseconds
// (rounded to the nearest): where a player shows it.
std::uint64_t presentationMilliseconds(std::uint64_t index, std::int32_t nominal) {
  const auto rate = static_cast<std::uint64_t>(nominal);
  return (index * 1000 + rate / 2) / rate;
}

}  // namespace

std::size_t timeFileCues(const FrameTimeLine& timeLine, std::int32_t nominal) {
  return nominal > 0 ? timeLine.runs().size() : 0;
}

std::string timeFileText(const FrameTimeLine& timeLine, std::int32_t nominal,
                         const std::optional<ClockOffset>& offset) {
  std::string text;
  if (nominal <= 0) return text;
  const std::vector<FrameTimeLine::Run>& runs = timeLine.runs();
  text.reserve(runs.size() * (offset ? 112 : 64));
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const std::uint64_t next = i + 1 < runs.size() ? runs[i + 1].firstFrame : timeLine.frames();
    text += std::to_string(i + 1) + "\n";
    text += subtitleTime(presentationMilliseconds(runs[i].firstFrame, nominal)) + " --> " +
            subtitleTime(presentationMilliseconds(next, nominal)) + "\n";
    CueTimes times{runs[i].stamp, std::nullopt};
    if (offset) times.corrected = correctedTime(runs[i].stamp, *offset);
    text += cueText(times);
    text += "\n";
  }
  return text;
}

std::string timeFilePath(const std::string& aviPath) {
  constexpr std::string_view avi = ".avi";
  const bool named = aviPath.size() >= avi.size() && aviPath.compare(aviPath.size() - avi.size(), avi.size(), avi) == 0;
  return (named ? aviPath.substr(0, aviPath.size() - avi.size()) : aviPath) + std::string(TIME_FILE_EXTENSION);
}

int writeWholeFile(OutputFile& file, const std::string& text) {
  int error = 0;
  if (!text.empty()) {
    iovec part{const_cast<char*>(text.data()), text.size()};
    error = file.writeAt(&part, 1, 0).failure.errorNumber;
  }
  if (error == 0) error = file.truncate(text.size());
  if (const int closing = file.close(); error == 0) error = closing;
  return error;
}

}  // namespace korvex
