#include "base/mount_table.h"

namespace korvex {
namespace {

bool isOctal(char c) { return c >= '0' && c <= '7'; }

}  // namespace

std::string_view nextMountField(std::string_view& line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  std::size_t end = 0;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
  const std::string_view field = line.substr(0, end);
  line.remove_prefix(end);
  return field;
}

std::string unescapeMountField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
        isOctal(field[i + 3])) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value <= 0xFF) {
        out.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

}  // namespace korvex
