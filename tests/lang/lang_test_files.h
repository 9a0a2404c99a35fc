// Writing the files that the language tests read.
#pragma once

#include <string>
#include <string_view>

namespace korvex::testing {

// Writes `bytes` to `path` as they stand, replacing the file.
void writeBytes(const std::string& path, std::string_view bytes);

// `utf8` encoded as GB18030, by the C library's converter.
std::string encodeGb18030(std::string_view utf8);

}  // namespace korvex::testing
