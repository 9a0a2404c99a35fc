#include "store/record_types.h"

namespace korvex {

const std::array<const char*, 9> recordTypeNames = {
    "", "Time", "Motion", "", "Sensor", "", "", "", "Manual",
};

const char* recordTypeName(std::int32_t code) {
  if (code < 0 || code >= static_cast<std::int32_t>(recordTypeNames.size())) return "";
  return recordTypeNames[static_cast<std::size_t>(code)];
}

}  // namespace korvex
