#include "lang/text_encoding.h"

#include <gtest/gtest.h>

#include "lang/lang_test_files.h"

namespace korvex {
namespace {

struct Utf8Case {
  const char* name;
  std::string_view bytes;
  bool valid;
};

TEST(TextEncoding, Utf8Validity) {
  const Utf8Case cases[] = {
      {"empty", "", true},
      {"ascii", "language set=1", true},
      {"two bytes", "\xC3\xA9", true},
      {"three bytes", "\xE8\xAF\xAD\xE8\xA8\x80", true},
      {"four bytes", "\xF0\x9F\x98\x80", true},
      {"highest code point", "\xF4\x8F\xBF\xBF", true},
      {"overlong two bytes", "\xC0\x80", false},
      {"overlong three bytes", "\xE0\x80\x80", false},
      {"overlong four bytes", "\xF0\x80\x80\x80", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"above the highest code point", "\xF4\x90\x80\x80", false},
      {"lone continuation", "a\x80", false},
      {"cut at the end", "\xE8\xAF", false},
      {"missing continuation", "\xE8" "a" "\xAD", false},
      {"code page 936 bytes", "\xBF\xAA\xCA\xBC", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.name;
}

TEST(TextEncoding, PrefixNeverEndsInsideACharacter) {
  const std::string_view text = "ab\xE4\xB8\xAD\xE6\x96\x87";  // "ab" then two three-byte characters
  const std::pair<std::size_t, std::size_t> cases[] = {
      {0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 2}, {5, 5}, {6, 5}, {7, 5}, {8, 8}, {100, 8},
  };
  for (const auto& [maxBytes, expected] : cases) EXPECT_EQ(utf8PrefixLength(text, maxBytes), expected) << maxBytes;
}

TEST(TextEncoding, Gb18030DecodesToUtf8) {
  const std::string utf8 = "start backup=\xE5\xBC\x80\xE5\xA7\x8B\xE5\xA4\x87\xE4\xBB\xBD";  // 开始备份
  const std::string encoded = testing::encodeGb18030(utf8);
  ASSERT_FALSE(encoded.empty());
  ASSERT_NE(encoded, utf8);
  EXPECT_FALSE(isValidUtf8(encoded));
  EXPECT_EQ(gb18030ToUtf8(encoded), utf8);
}

TEST(TextEncoding, Gb18030MarksBytesThatStartNoCharacter) {
  // 0xFF starts no character; 0x81 at the end is a cut-off lead byte.
  const std::string decoded = gb18030ToUtf8("a\xFF" "b\x81");
  EXPECT_EQ(decoded, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_TRUE(isValidUtf8(decoded));
}

}  // namespace
}  // namespace korvex
