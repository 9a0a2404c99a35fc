// The scan's segments as the picking view holds them: the records in the
// order they ended, and per channel a lane of them sorted by start time, so
// that a view finds the segments of a time span by binary search.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "jobs/job_result.h"
#include "jobs/segment_texts.h"  // the texts the views show of a segment

namespace korvex {

class SegmentList {
 public:
  struct Lane {
    std::int32_t channel = 0;          // index, 0 to 31
    std::vector<std::uint32_t> byStart;  // segment indexes, by start time
    // maxEnd[i]: the latest end among byStart[0..i]; it never falls, so it
    // can be searched even where segments overlap.
    std::vector<RecorderTime> maxEnd;
  };

  void clear();
  // Adds segments at the end; the lanes stay sorted.
  void append(const std::vector<SegmentRecord>& more);

  const std::vector<SegmentRecord>& segments() const { return segments_; }
  std::size_t size() const { return segments_.size(); }
  const SegmentRecord& operator[](std::size_t index) const { return segments_[index]; }
  // The lanes of the channels that have segments, by channel.
  const std::vector<Lane>& lanes() const { return lanes_; }
  // The lane of a channel, or -1.
  int laneOfChannel(std::int32_t channel) const;
  // The earliest start and the latest end; (0, 0) when empty.
  RecorderTime firstTime() const { return first_; }
  RecorderTime lastTime() const { return last_; }

  // Positions [from, to) in lane.byStart of the segments that may touch
  // [begin, end]: the first whose maxEnd reaches begin up to the last that
  // starts by end. Segments inside the range may still end before begin
  // where the lane's segments overlap; the caller tests each.
  std::pair<std::size_t, std::size_t> touching(const Lane& lane, RecorderTime begin, RecorderTime end) const;

  // Days of the local calendar, counted from 1970-01-01.
  static std::int64_t localDayOf(RecorderTime t);
  // The same through a memo of quarter hours (time zones and their
  // daylight-saving shifts move midnight by whole quarter hours only).
  std::int64_t cachedDayOf(RecorderTime t);
  // True when some segment runs on that day.
  bool dayHasRecordings(std::int64_t day) const;
  // Every such day, in order.
  std::vector<std::int64_t> recordingDays() const;

 private:
  void sortLane(Lane& lane);

  std::vector<SegmentRecord> segments_;
  std::vector<Lane> lanes_;
  std::int64_t firstDay_ = 0;
  std::vector<std::uint8_t> days_;  // one flag per day from firstDay_
  std::unordered_map<std::int64_t, std::int64_t> dayOfQuarter_;
  RecorderTime first_ = 0;
  RecorderTime last_ = 0;
};

}  // namespace korvex
