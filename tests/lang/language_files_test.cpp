// The language files that ship beside the program.
#include <gtest/gtest.h>

#include <string>

#include "lang/language.h"
#include "lang/language_keys.h"
#include "lang/program_folder.h"
#include "lang/text_encoding.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

class ShippedLanguageFiles : public ::testing::Test {
 protected:
  void SetUp() override { overrideProgramFolder(std::string(KORVEX_RES_DIR)); }
  void TearDown() override {
    overrideProgramFolder(std::nullopt);
    currentLanguage = 0;
  }
};

TEST_F(ShippedLanguageFiles, AreUtf8) {
  for (const char* file : {"mainset.ini", "LANG/English/lang.ini", "LANG/Chinese/lang.ini"}) {
    const std::string bytes = testing::readTextFile(std::string(KORVEX_RES_DIR) + "/" + file);
    EXPECT_FALSE(bytes.empty()) << file;
    EXPECT_TRUE(isValidUtf8(bytes)) << file;
  }
}

TEST_F(ShippedLanguageFiles, StartInEnglish) { EXPECT_EQ(readStartupLanguage(), 0); }

TEST_F(ShippedLanguageFiles, BothLanguagesHaveEveryKey) {
  for (std::int32_t language = 0; language < static_cast<std::int32_t>(LANGUAGE_LIST_ENTRIES.size()); ++language) {
    currentLanguage = language;
    for (const char* key : LANGUAGE_KEYS) EXPECT_FALSE(languageText(key).empty()) << language << ": " << key;
    for (const SystemErrorKey& error : SYSTEM_ERROR_KEYS)
      EXPECT_FALSE(languageText(error.key).empty()) << language << ": " << error.key;
  }
}

TEST_F(ShippedLanguageFiles, EnglishTexts) {
  currentLanguage = 0;
  const std::pair<const char*, const char*> cases[] = {
      {KEY_START_BACKUP, "Start backup"},   {KEY_STOP_SCAN, "Stop scan"},
      {KEY_TIME, "Time"},                   {KEY_MOTION, "Motion"},
      {KEY_SENSOR, "Sensor"},               {KEY_MANUAL, "Manual"},
      {KEY_ALL, "All"},                     {KEY_FINISH, "Finished!"},
      {KEY_VIDEO_END_TIME, "Video end time"}, {KEY_CANNOT_CREATE_REPORT, "Cannot create the report file:"},
  };
  for (const auto& [key, text] : cases) EXPECT_EQ(languageText(key), text) << key;
}

TEST_F(ShippedLanguageFiles, ChineseCaptionsAreTheWindowsOriginalCaptions) {
  currentLanguage = 1;
  const std::pair<const char*, const char*> cases[] = {
      {KEY_LANGUAGE, "语言"},
      {KEY_BROWSE, "浏览"},
      {KEY_BACKUP_TIME, "备份时间段"},
      {KEY_BACKUP_CHANNEL, "备份通道号"},
      {KEY_BACKUP_RECORD_TYPE, "备份录像类型"},
      {KEY_BACKUP_DISK, "备份硬盘"},
      {KEY_OUTPUT_PATH, "输出路径"},
      {KEY_START_BACKUP, "开始备份"},
      {KEY_STOP_BACKUP, "停止备份"},
      {KEY_ADVANCED_SETTING, "高级选项"},
      {KEY_BACKUP_MAX_DATA_SIZE, "备份最大数据量(M)"},
      {KEY_FOLDER_RANGE, "目录范围"},
      {KEY_SCAN, "扫描"},
      {KEY_STOP_SCAN, "停止扫描"},
      {KEY_TIME, "定时"},
      {KEY_MOTION, "移动"},
      {KEY_SENSOR, "警告"},
      {KEY_MANUAL, "手动"},
      {KEY_ALL, "全部"},
  };
  for (const auto& [key, text] : cases) EXPECT_EQ(languageText(key), text) << key;
}

}  // namespace
}  // namespace korvex
