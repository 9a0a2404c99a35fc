// Text bytes read from the language files: UTF-8 as it stands, or the
// Chinese national encoding of older files converted to UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvex {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);

// GB18030 (a superset of code page 936) to UTF-8. A byte that does not
// start a valid character becomes U+FFFD, so the result is always valid.
std::string gb18030ToUtf8(std::string_view bytes);

// The length of the longest prefix of valid UTF-8 `text` that has at most
// maxBytes bytes and does not end inside a character.
std::size_t utf8PrefixLength(std::string_view text, std::size_t maxBytes);

}  // namespace korvex
