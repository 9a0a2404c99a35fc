// The folder that holds the running program; the language files lie there.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace korvex {

// Buffers for paths made from the program folder.
inline constexpr std::size_t PATH_BUFFER_SIZE = 1024;

// Clears the buffer and writes the program folder into it: the path of the
// running executable cut at its last '/', the '/' itself removed (a program
// /opt/korvex/bin/korvex gives /opt/korvex/bin; one at /korvex gives the
// empty text). A path that does not fit the capacity gives the empty text.
// Returns the buffer.
char* getProgramFolder(char* buffer, std::size_t capacity);

// Makes getProgramFolder report `folder` instead of the executable's folder
// (nullopt restores the real one). For tests, which point the language
// lookup at a temporary folder.
void overrideProgramFolder(std::optional<std::string> folder);

}  // namespace korvex
