// Record-type codes that frames carry, and the names shown for them.
#pragma once

#include <array>
#include <cstdint>

namespace korvex {

inline constexpr std::int32_t RECORD_TYPE_TIME = 1;
inline constexpr std::int32_t RECORD_TYPE_MOTION = 2;
inline constexpr std::int32_t RECORD_TYPE_SENSOR = 4;
inline constexpr std::int32_t RECORD_TYPE_MANUAL = 8;

// Names for the codes 0 to 8; the codes between the four named ones have "".
extern const std::array<const char*, 9> recordTypeNames;

// The name of any code; codes outside the table have the empty name.
const char* recordTypeName(std::int32_t code);

}  // namespace korvex
