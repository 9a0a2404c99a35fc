// Texts by key in the current language. The languages are named in
// mainset.ini in the language folder (beside the program, or under
// share/korvex when installed); each one's texts lie in
// LANG/<folder>/lang.ini there. Every lookup reads the files afresh.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvex {

// Buffers for a looked-up text.
inline constexpr std::size_t TEXT_BUFFER_SIZE = 512;

// The entries of the window's language list, in this order; an entry's
// index is the N of key "langN" of mainset.ini.
inline constexpr std::array<const char*, 2> LANGUAGE_LIST_ENTRIES = {"English", "Chinese"};

// Index of the current language. Set at start-up from "language set" and
// again by each selection in the language list; used by the window's thread
// only.
extern std::int32_t currentLanguage;

// Writes the text of `key` in `section` of the current language's file into
// the buffer: at most capacity - 1 bytes and a terminating zero byte.
// Anything missing (mainset.ini, the language, its folder, its file, the
// key) gives the empty text. Returns the bytes written before the zero.
std::size_t getLanguageText(const char* section, const char* key, char* buffer, std::size_t capacity);

// getLanguageText in the file of `language`, whichever is current.
std::size_t getTextOfLanguage(std::int32_t language, const char* section, const char* key, char* buffer,
                              std::size_t capacity);

// The text of `key` in section "language", looked up in a cleared buffer of
// TEXT_BUFFER_SIZE bytes.
std::string languageText(const char* key);
// languageText in the file of `language` (the language list names each
// language in its own words).
std::string languageTextOf(std::int32_t language, const char* key);

// The start-up language: "language set" in section "LANG" of mainset.ini
// (default "0"), read by the C library's atoi rules, clamped to 32 bits.
std::int32_t readStartupLanguage();

}  // namespace korvex
