#include "app/segment_list.h"

#include <algorithm>

#include "store/recorder_time.h"

namespace korvex {

namespace {

// A garbled time stamp may span a century; no more days than this are
// marked for one segment.
constexpr std::int64_t MAX_MARKED_DAYS = 20000;

}  // namespace

std::int64_t SegmentList::localDayOf(RecorderTime t) {
  const CalendarTime c = recorderTimeToCalendar(t);
  return daysFromCivil(c.year, c.month, c.day);
}

std::int64_t SegmentList::cachedDayOf(RecorderTime t) {
  const std::int64_t quarter = (std::int64_t{t} - ((std::int64_t{t} % 900) + 900) % 900) / 900;
  const auto known = dayOfQuarter_.find(quarter);
  if (known != dayOfQuarter_.end()) return known->second;
  const std::int64_t day = localDayOf(static_cast<RecorderTime>(std::max<std::int64_t>(quarter * 900, RECORDER_TIME_MIN)));
  dayOfQuarter_.emplace(quarter, day);
  return day;
}

bool SegmentList::dayHasRecordings(std::int64_t day) const {
  const std::int64_t at = day - firstDay_;
  return at >= 0 && at < static_cast<std::int64_t>(days_.size()) && days_[static_cast<std::size_t>(at)] != 0;
}

std::vector<std::int64_t> SegmentList::recordingDays() const {
  std::vector<std::int64_t> days;
  for (std::size_t k = 0; k < days_.size(); ++k)
    if (days_[k]) days.push_back(firstDay_ + static_cast<std::int64_t>(k));
  return days;
}

void SegmentList::clear() {
  segments_.clear();
  lanes_.clear();
  days_.clear();
  firstDay_ = 0;
  // The time zone may have changed since (tests set it).
  dayOfQuarter_.clear();
  first_ = last_ = 0;
}

int SegmentList::laneOfChannel(std::int32_t channel) const {
  for (std::size_t k = 0; k < lanes_.size(); ++k)
    if (lanes_[k].channel == channel) return static_cast<int>(k);
  return -1;
}

void SegmentList::append(const std::vector<SegmentRecord>& more) {
  if (more.empty()) return;
  std::vector<bool> touched(lanes_.size(), false);
  for (const SegmentRecord& segment : more) {
    if (segments_.empty()) {
      first_ = segment.startTime;
      last_ = segment.endTime;
    }
    first_ = std::min(first_, segment.startTime);
    last_ = std::max(last_, std::max(segment.startTime, segment.endTime));
    const auto index = static_cast<std::uint32_t>(segments_.size());
    segments_.push_back(segment);
    int lane = laneOfChannel(segment.channel);
    if (lane < 0) {
      const auto at = std::find_if(lanes_.begin(), lanes_.end(),
                                   [&](const Lane& l) { return l.channel > segment.channel; });
      lane = static_cast<int>(at - lanes_.begin());
      Lane fresh;
      fresh.channel = segment.channel;
      lanes_.insert(at, std::move(fresh));
      touched.insert(touched.begin() + lane, false);
    }
    lanes_[static_cast<std::size_t>(lane)].byStart.push_back(index);
    const std::int64_t dayFrom = cachedDayOf(segment.startTime);
    const std::int64_t dayTo = std::min(std::max(dayFrom, cachedDayOf(segment.endTime)), dayFrom + MAX_MARKED_DAYS);
    if (days_.empty()) firstDay_ = dayFrom;
    if (dayFrom < firstDay_) {
      days_.insert(days_.begin(), static_cast<std::size_t>(firstDay_ - dayFrom), 0);
      firstDay_ = dayFrom;
    }
    if (dayTo - firstDay_ + 1 > static_cast<std::int64_t>(days_.size()))
      days_.resize(static_cast<std::size_t>(dayTo - firstDay_ + 1), 0);
    for (std::int64_t day = dayFrom; day <= dayTo; ++day) days_[static_cast<std::size_t>(day - firstDay_)] = 1;
    touched[static_cast<std::size_t>(lane)] = true;
  }
  for (std::size_t k = 0; k < lanes_.size(); ++k)
    if (touched[k]) sortLane(lanes_[k]);
}

void SegmentList::sortLane(Lane& lane) {
  // Segments mostly end in start order: the sort has little to do.
  std::stable_sort(lane.byStart.begin(), lane.byStart.end(), [this](std::uint32_t a, std::uint32_t b) {
    return segments_[a].startTime < segments_[b].startTime;
  });
  lane.maxEnd.resize(lane.byStart.size());
  RecorderTime latest = RECORDER_TIME_MIN;
  for (std::size_t i = 0; i < lane.byStart.size(); ++i) {
    const SegmentRecord& segment = segments_[lane.byStart[i]];
    latest = std::max(latest, std::max(segment.startTime, segment.endTime));
    lane.maxEnd[i] = latest;
  }
}

std::pair<std::size_t, std::size_t> SegmentList::touching(const Lane& lane, RecorderTime begin,
                                                          RecorderTime end) const {
  const auto from = std::lower_bound(lane.maxEnd.begin(), lane.maxEnd.end(), begin) - lane.maxEnd.begin();
  const auto to = std::upper_bound(lane.byStart.begin(), lane.byStart.end(), end,
                                   [this](RecorderTime t, std::uint32_t index) { return t < segments_[index].startTime; }) -
                  lane.byStart.begin();
  if (to <= from) return {0, 0};
  return {static_cast<std::size_t>(from), static_cast<std::size_t>(to)};
}

}  // namespace korvex
