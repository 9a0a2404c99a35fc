// How both jobs recognise a continuous recording: per channel they remember
// the two keys of the frame that began the current segment.
#pragma once

#include <cstdint>

namespace korvex {

// A frame continues the segment when either of its keys matches the
// remembered one; only when both differ does it begin a new segment (and the
// caller then remembers this frame's keys). At job start the remembered keys
// are 0, so a first frame with a zero key continues a segment never begun.
inline bool beginsNewSegment(std::int32_t frameKeyA, std::int32_t frameKeyB,
                             std::int32_t rememberedKeyA, std::int32_t rememberedKeyB) {
  return frameKeyA != rememberedKeyA && frameKeyB != rememberedKeyB;
}

}  // namespace korvex
