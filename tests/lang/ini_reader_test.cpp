#include "lang/ini_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lang/lang_test_files.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::TempDir;
using testing::writeBytes;

std::string readValue(const std::string& path, const char* section, const char* key, const char* fallback = "<none>",
                      std::size_t capacity = 1024) {
  std::string buffer(capacity, '\x7F');
  const std::size_t length = readIniValue(path.c_str(), section, key, fallback, buffer.data(), capacity);
  EXPECT_EQ(std::strlen(buffer.c_str()), length);
  return std::string(buffer.c_str());
}

struct IniCase {
  const char* name;
  const char* text;
  const char* section;
  const char* key;
  const char* expected;
};

TEST(IniReader, Rules) {
  const IniCase cases[] = {
      {"plain", "[A]\nk=v\n", "A", "k", "v"},
      {"section name case", "[Lang]\nk=v\n", "LANG", "k", "v"},
      {"key name case", "[A]\nLanguage Set=2\n", "a", "language set", "2"},
      {"blanks around names and value", "  [ LANG ]  \n\t language set \t=   1  \n", "LANG", "language set", "1"},
      {"blanks inside a value kept", "[A]\nk=  two  words \n", "A", "k", "two  words"},
      {"double quotes removed", "[A]\nk=\"  v  \"\n", "A", "k", "  v  "},
      {"single quotes removed", "[A]\nk='v'\n", "A", "k", "v"},
      {"only one pair removed", "[A]\nk=\"\"v\"\"\n", "A", "k", "\"v\""},
      {"unmatched quotes kept", "[A]\nk=\"v'\n", "A", "k", "\"v'"},
      {"lone quote kept", "[A]\nk=\"\n", "A", "k", "\""},
      {"empty quotes", "[A]\nk=\"\"\n", "A", "k", ""},
      {"empty value is not missing", "[A]\nk=\n", "A", "k", ""},
      {"comment line", "[A]\n;k=x\nk=v\n", "A", "k", "v"},
      {"indented comment line", "[A]\n   ;k=x\nk=v\n", "A", "k", "v"},
      {"semicolon inside a value", "[A]\nk=v ;not a comment\n", "A", "k", "v ;not a comment"},
      {"commented section", ";[A]\nk=x\n[A]\nk=v\n", "A", "k", "v"},
      {"first duplicate wins", "[A]\nk=1\nk=2\n", "A", "k", "1"},
      {"first duplicate wins across sections", "[A]\nk=1\n[B]\nk=3\n[A]\nk=2\n", "A", "k", "1"},
      {"repeated section searched", "[A]\nj=1\n[B]\nk=3\n[a]\nk=2\n", "A", "k", "2"},
      {"key of another section", "[A]\nk=1\n[B]\nj=2\n", "B", "k", "<none>"},
      {"key before any section", "k=v\n[A]\nj=1\n", "A", "k", "<none>"},
      {"missing section", "[A]\nk=v\n", "B", "k", "<none>"},
      {"missing key", "[A]\nk=v\n", "A", "q", "<none>"},
      {"windows line ends", "[A]\r\nk=v\r\nj=w\r\n", "A", "j", "w"},
      {"no line end at the end", "[A]\nk=v", "A", "k", "v"},
      {"equals sign in a value", "[A]\nk=a=b\n", "A", "k", "a=b"},
      {"line without equals sign", "[A]\nk\nk=v\n", "A", "k", "v"},
      {"key with blank", "[LANG]\nlanguage set=1\n", "LANG", "language set", "1"},
      {"key with punctuation", "[language]\ncan't find video data!=x\n", "language", "can't find video data!", "x"},
      {"section without closing bracket", "[A\nk=v\n", "A", "k", "v"},
      {"non-ASCII names compared as bytes", "[\xE8\xAF\xAD]\nk=v\n", "\xE8\xAF\xAD", "k", "v"},
  };
  TempDir dir;
  const std::string path = dir.file("test.ini");
  for (const auto& c : cases) {
    writeBytes(path, c.text);
    EXPECT_EQ(readValue(path, c.section, c.key), c.expected) << c.name;
  }
}

TEST(IniReader, MissingFileGivesTheDefault) {
  TempDir dir;
  EXPECT_EQ(readValue(dir.file("absent.ini"), "A", "k", "0"), "0");
  EXPECT_EQ(readValue(dir.file("absent.ini"), "A", "k", ""), "");
  // A folder in the file's place reads as no file.
  EXPECT_EQ(readValue(dir.path(), "A", "k", "d"), "d");
}

TEST(IniReader, ValueIsCutToTheCapacity) {
  TempDir dir;
  const std::string path = dir.file("test.ini");
  writeBytes(path, "[A]\nk=abcdef\nzh=\xE4\xB8\xAD\xE6\x96\x87\n");  // zh: two three-byte characters
  EXPECT_EQ(readValue(path, "A", "k", "", 7), "abcdef");
  EXPECT_EQ(readValue(path, "A", "k", "", 6), "abcde");
  EXPECT_EQ(readValue(path, "A", "k", "", 4), "abc");
  EXPECT_EQ(readValue(path, "A", "k", "", 1), "");
  EXPECT_EQ(readValue(path, "A", "missing", "defaults too", 5), "defa");
  // A cut never ends inside a character.
  EXPECT_EQ(readValue(path, "A", "zh", "", 7), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(readValue(path, "A", "zh", "", 6), "\xE4\xB8\xAD");
  EXPECT_EQ(readValue(path, "A", "zh", "", 4), "\xE4\xB8\xAD");
  EXPECT_EQ(readValue(path, "A", "zh", "", 3), "");
}

TEST(IniReader, ZeroCapacityWritesNothing) {
  TempDir dir;
  const std::string path = dir.file("test.ini");
  writeBytes(path, "[A]\nk=v\n");
  char buffer[4] = {'x', 'y', 'z', '\0'};
  EXPECT_EQ(readIniValue(path.c_str(), "A", "k", "", buffer, 0), 0u);
  EXPECT_STREQ(buffer, "xyz");
}

TEST(IniReader, EveryLookupReadsTheFileAfresh) {
  TempDir dir;
  const std::string path = dir.file("test.ini");
  writeBytes(path, "[A]\nk=first\n");
  EXPECT_EQ(readValue(path, "A", "k"), "first");
  writeBytes(path, "[A]\nk=second\n");
  EXPECT_EQ(readValue(path, "A", "k"), "second");
  std::remove(path.c_str());
  EXPECT_EQ(readValue(path, "A", "k"), "<none>");
}

TEST(IniReader, ByteOrderMarkIsSkipped) {
  TempDir dir;
  const std::string path = dir.file("test.ini");
  // The section sits on the first line, right after the mark.
  writeBytes(path, "\xEF\xBB\xBF[language]\nlanguage=\xE8\xAF\xAD\xE8\xA8\x80\n");
  EXPECT_EQ(readValue(path, "language", "language"), "\xE8\xAF\xAD\xE8\xA8\x80");
}

TEST(IniReader, FileThatIsNotUtf8IsReadAsGb18030) {
  TempDir dir;
  const std::string path = dir.file("lang.ini");
  const std::string utf8 =
      "[language]\n"
      "start backup=\xE5\xBC\x80\xE5\xA7\x8B\xE5\xA4\x87\xE4\xBB\xBD\n"  // 开始备份
      "backup max data size=\xE5\xA4\x87\xE4\xBB\xBD\xE6\x9C\x80\xE5\xA4\xA7\xE6\x95\xB0\xE6\x8D\xAE\xE9\x87\x8F(M)\n";
  const std::string encoded = testing::encodeGb18030(utf8);
  ASSERT_FALSE(encoded.empty());
  ASSERT_NE(encoded, utf8);
  writeBytes(path, encoded);
  EXPECT_EQ(readValue(path, "language", "start backup"), "\xE5\xBC\x80\xE5\xA7\x8B\xE5\xA4\x87\xE4\xBB\xBD");
  EXPECT_EQ(readValue(path, "language", "backup max data size"),
            "\xE5\xA4\x87\xE4\xBB\xBD\xE6\x9C\x80\xE5\xA4\xA7\xE6\x95\xB0\xE6\x8D\xAE\xE9\x87\x8F(M)");
  // Cut by characters of the decoded text: 4 characters of 3 bytes each.
  EXPECT_EQ(readValue(path, "language", "start backup", "", 8), "\xE5\xBC\x80\xE5\xA7\x8B");
}

TEST(IniReader, OversizedFileIsReadUpToTheBound) {
  TempDir dir;
  const std::string path = dir.file("big.ini");
  std::string text = "[A]\nearly=1\n";
  const std::string filler = "; filler line that pads the file past its bound\n";
  while (text.size() <= INI_MAX_FILE_BYTES) text += filler;
  text += "late=2\n";
  writeBytes(path, text);
  EXPECT_EQ(readValue(path, "A", "early"), "1");
  EXPECT_EQ(readValue(path, "A", "late"), "<none>");
}

}  // namespace
}  // namespace korvex
