// Where the language files are looked for: beside the executable first (a
// build tree), then <program folder>/../share/korvex (an installed tree).
#include "lang/language_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "lang/lang_test_files.h"
#include "lang/language.h"
#include "lang/program_folder.h"
#include "support/media_probe.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::writeBytes;

// Writes LANG/en/lang.ini, whose "start backup" text is `label`.
void writeLanguageFile(const std::string& folder, const std::string& label) {
  fs::create_directories(folder + "/LANG/en");
  writeBytes(folder + "/LANG/en/lang.ini", "[language]\nstart backup=" + label + "\n");
}

// Writes mainset.ini (language 0 in folder "en", start-up language
// `startup`) and the language file.
void writeLanguageTree(const std::string& folder, const std::string& label, int startup) {
  fs::create_directories(folder);
  writeBytes(folder + "/mainset.ini",
             "[LANG]\nlang0=English\nlanguage set=" + std::to_string(startup) + "\n[English]\ndir=en\n");
  writeLanguageFile(folder, label);
}

std::string languageFolder() {
  char buffer[PATH_BUFFER_SIZE];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_TRUE(getLanguageFolder(buffer, sizeof buffer));
  return buffer;
}

// A program in <root>/usr/bin with its installed data in
// <root>/usr/share/korvex (for the usual install folders).
class LanguageFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(bin_);
    overrideProgramFolder(bin_);
    currentLanguage = 0;
  }
  void TearDown() override {
    overrideProgramFolder(std::nullopt);
    currentLanguage = 0;
  }

  TempDir root_;
  const std::string bin_ = root_.path() + "/usr/bin";
  const std::string installed_ = bin_ + "/" + INSTALLED_LANGUAGE_FOLDER;
};

TEST_F(LanguageFolderTest, OutputGoesBesideABuildTreeAndHomeForAnInstalledProgram) {
  TempDir home;
  const char* oldHome = std::getenv("HOME");
  const std::string keptHome = oldHome ? oldHome : "";
  setenv("HOME", home.path().c_str(), 1);

  writeLanguageTree(installed_, "installed", 0);
  EXPECT_EQ(defaultOutputFolder(), home.path() + "/");  // never /usr/bin
  writeLanguageTree(bin_, "beside", 0);
  EXPECT_EQ(defaultOutputFolder(), bin_ + "/");

  if (oldHome) setenv("HOME", keptHome.c_str(), 1);
  else unsetenv("HOME");
}

TEST_F(LanguageFolderTest, InstalledFolderIsRelativeAndApart) {
  const std::string relative = INSTALLED_LANGUAGE_FOLDER;
  ASSERT_FALSE(relative.empty());
  EXPECT_NE(relative.front(), '/');
  EXPECT_EQ(fs::path(relative).filename(), "korvex");
  EXPECT_NE(fs::path(installed_).lexically_normal(), fs::path(bin_).lexically_normal());
}

TEST_F(LanguageFolderTest, BesideTheExecutableFirstThenInstalled) {
  enum class Where { Beside, Installed };
  struct Case {
    const char* name;
    bool besideTree;          // mainset.ini and LANG beside the executable
    bool installedTree;       // mainset.ini and LANG in the installed folder
    bool besideLanguageOnly;  // LANG beside the executable, no mainset.ini
    Where expected;
    const char* text;
    std::int32_t startup;
  };
  const Case cases[] = {
      {"build tree", true, false, false, Where::Beside, "beside", 1},
      {"installed tree", false, true, false, Where::Installed, "installed", 0},
      {"both: beside wins", true, true, false, Where::Beside, "beside", 1},
      {"neither", false, false, false, Where::Installed, "", 0},
      // Without mainset.ini beside, LANG beside is not used either.
      {"only LANG beside", false, true, true, Where::Installed, "installed", 0},
      {"only LANG beside, nothing installed", false, false, true, Where::Installed, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(bin_);
    fs::remove_all(root_.path() + "/usr/share");
    fs::create_directories(bin_);
    if (c.besideTree) writeLanguageTree(bin_, "beside", 1);
    if (c.besideLanguageOnly) writeLanguageFile(bin_, "beside");
    if (c.installedTree) writeLanguageTree(installed_, "installed", 0);

    EXPECT_EQ(languageFolder(), c.expected == Where::Beside ? bin_ : installed_);
    EXPECT_EQ(languageText("start backup"), c.text);
    EXPECT_EQ(readStartupLanguage(), c.startup);
  }
}

TEST_F(LanguageFolderTest, EveryLookupLooksAfresh) {
  writeLanguageTree(installed_, "installed", 0);
  EXPECT_EQ(languageText("start backup"), "installed");
  writeLanguageTree(bin_, "beside", 0);
  EXPECT_EQ(languageText("start backup"), "beside");
  fs::remove(bin_ + "/mainset.ini");
  EXPECT_EQ(languageText("start backup"), "installed");
}

TEST_F(LanguageFolderTest, MainsetThatIsNotAFileDoesNotCount) {
  writeLanguageTree(installed_, "installed", 0);
  fs::create_directories(bin_ + "/mainset.ini");
  writeLanguageFile(bin_, "beside");
  EXPECT_EQ(languageFolder(), installed_);
  EXPECT_EQ(languageText("start backup"), "installed");
}

TEST_F(LanguageFolderTest, MainsetReachedThroughALinkCounts) {
  writeLanguageTree(installed_, "installed", 0);
  fs::create_symlink(installed_ + "/mainset.ini", bin_ + "/mainset.ini");
  writeLanguageFile(bin_, "beside");
  EXPECT_EQ(languageFolder(), bin_);
  EXPECT_EQ(languageText("start backup"), "beside");
}

TEST_F(LanguageFolderTest, PathsThatDoNotFitGiveNoFolder) {
  struct Case {
    std::string programFolder;
    std::size_t capacity;
    bool found;
  };
  const std::string longFolder(PATH_BUFFER_SIZE - 8, 'd');
  const Case cases[] = {
      {longFolder, PATH_BUFFER_SIZE, false},  // neither path fits
      {bin_, bin_.size(), false},             // the buffer is too small for the folder
      {bin_, bin_.size() + 1 + std::strlen(INSTALLED_LANGUAGE_FOLDER), false},
      {bin_, bin_.size() + 2 + std::strlen(INSTALLED_LANGUAGE_FOLDER), true},
  };
  for (const Case& c : cases) {
    overrideProgramFolder(c.programFolder);
    std::vector<char> buffer(c.capacity, 'x');
    EXPECT_EQ(getLanguageFolder(buffer.data(), buffer.size()), c.found) << c.capacity;
    if (c.found) EXPECT_EQ(std::string(buffer.data()), installed_);
    else EXPECT_EQ(std::string(buffer.data(), buffer.size()), std::string(buffer.size(), '\0'));
  }
  overrideProgramFolder(longFolder);
  EXPECT_EQ(languageText("start backup"), "");
  EXPECT_EQ(readStartupLanguage(), 0);
}

// The real program folder, from the running executable: the probe copied
// into a tree laid out as an installed one.
TEST(LanguageFolderOfARealProgram, BuildTreeAndInstalledTree) {
  TempDir root;
  const std::string canonicalRoot = fs::canonical(root.path()).string();
  const std::string bin = canonicalRoot + "/usr/bin";
  const std::string installed = bin + "/" + INSTALLED_LANGUAGE_FOLDER;
  fs::create_directories(bin);
  const std::string probe = bin + "/korvex-language-probe";
  fs::copy_file(KORVEX_LANGUAGE_PROBE_PATH, probe);
  fs::permissions(probe, fs::perms::owner_all);

  struct Step {
    const char* name;
    void (*prepare)(const std::string& bin, const std::string& installed);
    std::string expectedFolder;
    const char* text;
  };
  const Step steps[] = {
      {"nothing yet", [](const std::string&, const std::string&) {}, installed, ""},
      {"installed",
       [](const std::string&, const std::string& data) { writeLanguageTree(data, "installed", 0); }, installed,
       "installed"},
      {"beside too", [](const std::string& b, const std::string&) { writeLanguageTree(b, "beside", 0); }, bin,
       "beside"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.prepare(bin, installed);
    const testing::ProgramRun run = testing::runProgram({probe, "start backup"});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, step.expectedFolder + "\n" + step.text + "\n");
  }
}

}  // namespace
}  // namespace korvex
