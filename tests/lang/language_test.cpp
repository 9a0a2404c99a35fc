#include "lang/language.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>

#include "lang/lang_test_files.h"
#include "lang/program_folder.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::TempDir;
using testing::writeBytes;

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
  const std::string expected = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  char buffer[PATH_BUFFER_SIZE];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(getProgramFolder(buffer, sizeof buffer), buffer);
  EXPECT_EQ(std::string(buffer), expected);
  EXPECT_NE(expected.back(), '/');
  // The rest of the buffer is cleared.
  for (std::size_t i = expected.size(); i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '\0') << i;
}

TEST(ProgramFolder, PathThatDoesNotFitGivesTheEmptyText) {
  char buffer[4];
  std::memset(buffer, 'x', sizeof buffer);
  getProgramFolder(buffer, sizeof buffer);
  EXPECT_EQ(std::memcmp(buffer, "\0\0\0\0", 4), 0);
}

TEST(ProgramFolder, OverrideForTests) {
  overrideProgramFolder("/tmp/somewhere");
  char buffer[PATH_BUFFER_SIZE];
  EXPECT_STREQ(getProgramFolder(buffer, sizeof buffer), "/tmp/somewhere");
  char small[8];
  EXPECT_STREQ(getProgramFolder(small, sizeof small), "");
  overrideProgramFolder(std::nullopt);
  EXPECT_EQ(std::string(getProgramFolder(buffer, sizeof buffer)),
            std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
}

// A program folder with mainset.ini naming four languages (lang-1 and lang2
// included) and their files.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    overrideProgramFolder(dir_.path());
    currentLanguage = 0;
    writeBytes(dir_.file("mainset.ini"),
               "[LANG]\nlang0=English\nlang1=Chinese\nlang2=Extra\nlang-1=Minus\nlanguage set=0\n"
               "[English]\ndir=en\n[Chinese]\ndir=zh\n[Extra]\ndir=extra\n[Minus]\ndir=minus\n");
    writeLanguage("en", "Start backup");
    writeLanguage("zh", "\xE5\xBC\x80\xE5\xA7\x8B\xE5\xA4\x87\xE4\xBB\xBD");
    writeLanguage("extra", "extra start");
    writeLanguage("minus", "minus start");
  }
  void TearDown() override {
    overrideProgramFolder(std::nullopt);
    currentLanguage = 0;
  }

  void writeLanguage(const std::string& folder, const std::string& startBackup) {
    writeBytes(dir_.file("LANG/" + folder + "/lang.ini"), "[language]\nstart backup=" + startBackup + "\n");
  }

  TempDir dir_;
};

TEST_F(LanguageTest, TextOfTheCurrentLanguage) {
  const std::pair<std::int32_t, std::string> cases[] = {
      {0, "Start backup"},
      {1, "\xE5\xBC\x80\xE5\xA7\x8B\xE5\xA4\x87\xE4\xBB\xBD"},
      {2, "extra start"},
      {-1, "minus start"},
      {3, ""},  // no lang3
      {INT32_MIN, ""},
  };
  for (const auto& [index, expected] : cases) {
    currentLanguage = index;
    char buffer[TEXT_BUFFER_SIZE] = {};
    EXPECT_EQ(getLanguageText("language", "start backup", buffer, sizeof buffer), expected.size()) << index;
    EXPECT_EQ(std::string(buffer), expected) << index;
    EXPECT_EQ(languageText("start backup"), expected) << index;
  }
}

TEST_F(LanguageTest, MissingPiecesGiveTheEmptyText) {
  EXPECT_EQ(languageText("stop backup"), "");  // key
  char buffer[TEXT_BUFFER_SIZE] = {};
  EXPECT_EQ(getLanguageText("other section", "start backup", buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");

  std::filesystem::remove(dir_.file("LANG/en/lang.ini"));  // language file
  EXPECT_EQ(languageText("start backup"), "");

  currentLanguage = 1;
  writeBytes(dir_.file("mainset.ini"), "[LANG]\nlang1=Chinese\n");  // the language's section
  EXPECT_EQ(languageText("start backup"), "");

  std::filesystem::remove(dir_.file("mainset.ini"));
  EXPECT_EQ(languageText("start backup"), "");
}

TEST_F(LanguageTest, EmptyFolderNameLooksDirectlyUnderLang) {
  writeBytes(dir_.file("mainset.ini"), "[LANG]\nlang0=English\n[English]\ndir=\n");
  writeBytes(dir_.file("LANG/lang.ini"), "[language]\nstart backup=from LANG itself\n");
  EXPECT_EQ(languageText("start backup"), "from LANG itself");
}

TEST_F(LanguageTest, EveryLookupReadsTheFilesAfresh) {
  EXPECT_EQ(languageText("start backup"), "Start backup");
  writeLanguage("en", "Begin");
  EXPECT_EQ(languageText("start backup"), "Begin");
  writeBytes(dir_.file("mainset.ini"), "[LANG]\nlang0=Other\n[Other]\ndir=zh\n");
  EXPECT_EQ(languageText("start backup"), "\xE5\xBC\x80\xE5\xA7\x8B\xE5\xA4\x87\xE4\xBB\xBD");
}

TEST_F(LanguageTest, LongTextIsCutTo511Bytes) {
  writeLanguage("en", std::string(600, 'a'));
  EXPECT_EQ(languageText("start backup"), std::string(511, 'a'));
  char small[5] = {};
  EXPECT_EQ(getLanguageText("language", "start backup", small, sizeof small), 4u);
  EXPECT_STREQ(small, "aaaa");
}

TEST_F(LanguageTest, ProgramFolderTooLongForThePathsGivesTheEmptyText) {
  overrideProgramFolder(std::string(PATH_BUFFER_SIZE - 10, 'd'));
  EXPECT_EQ(languageText("start backup"), "");
  EXPECT_EQ(readStartupLanguage(), 0);
}

TEST_F(LanguageTest, StartupLanguageReadByAtoiRules) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"0", 0},   {"1", 1},       {"1abc", 1},  {"x", 0},         {"2", 2},
      {"-1", -1}, {"+3", 3},      {"", 0},      {"\"1\"", 1},     {"- 1", 0},
      {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
  };
  for (const auto& [value, expected] : cases) {
    writeBytes(dir_.file("mainset.ini"), std::string("[LANG]\nlanguage set=") + value + "\n");
    EXPECT_EQ(readStartupLanguage(), expected) << value;
  }
  writeBytes(dir_.file("mainset.ini"), "[LANG]\nlang0=English\n");
  EXPECT_EQ(readStartupLanguage(), 0);
  std::filesystem::remove(dir_.file("mainset.ini"));
  EXPECT_EQ(readStartupLanguage(), 0);
}

}  // namespace
}  // namespace korvex
