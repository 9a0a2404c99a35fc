// Stretches of bytes (of a file or of the media) kept sorted, touching or
// overlapping stretches joined: unreadable blocks, failed chunks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace korvex {

struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// Adds [offset, offset + length) to `ranges`.
inline void addByteRange(std::vector<ByteRange>& ranges, std::uint64_t offset, std::uint64_t length) {
  if (length == 0) return;
  std::uint64_t from = offset, to = offset + length;
  auto first = std::lower_bound(ranges.begin(), ranges.end(), from,
                                [](const ByteRange& r, std::uint64_t at) { return r.offset + r.length < at; });
  auto last = first;
  while (last != ranges.end() && last->offset <= to) {
    from = std::min(from, last->offset);
    to = std::max(to, last->offset + last->length);
    ++last;
  }
  first = ranges.erase(first, last);
  ranges.insert(first, ByteRange{from, to - from});
}

// The first stretch of `ranges` that [offset, offset + length) touches; null
// when it touches none.
inline const ByteRange* firstByteRangeIn(const std::vector<ByteRange>& ranges, std::uint64_t offset,
                                         std::uint64_t length) {
  const auto after = std::upper_bound(ranges.begin(), ranges.end(), offset,
                                      [](std::uint64_t at, const ByteRange& r) { return at < r.offset + r.length; });
  return after == ranges.end() || after->offset >= offset + length ? nullptr : &*after;
}

}  // namespace korvex
