// Reads one value of an INI file. The file is read afresh at every call:
// nothing is cached, so an edited file counts at the next lookup.
//
// Rules: "[section]" lines and "key=value" lines; section and key names are
// compared without regard to ASCII case; blanks around names and values are
// dropped; one pair of matching quotes (" or ') around a value is removed;
// lines whose first non-blank character is ';' are comments; the first
// matching key wins. Files are UTF-8 (a leading byte-order mark is skipped);
// a file that is not valid UTF-8 is read as GB18030.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvex {

// Files larger than this are read only up to it.
inline constexpr std::size_t INI_MAX_FILE_BYTES = 1024 * 1024;

// Writes the value of `key` in `section` of the file at `path`, or
// `defaultValue` when the file, the section or the key is missing, into
// `buffer`: at most capacity - 1 bytes, never ending inside a UTF-8
// character, and a terminating zero byte. Returns the bytes written before
// the zero. A capacity of 0 writes nothing.
std::size_t readIniValue(const char* path, std::string_view section, std::string_view key,
                         std::string_view defaultValue, char* buffer, std::size_t capacity);

// The same lookup over text already in memory, as UTF-8.
std::string findIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view defaultValue);

// The contents of the file at `path` as UTF-8 (see the rules above); empty
// when the file cannot be read.
std::string readIniFileText(const char* path);

}  // namespace korvex
