// The window as it starts: controls, captions, language list.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <filesystem>

#include "app/control_ids.h"
#include "app/window_fixture.h"
#include "lang/language.h"
#include "store/drive_list.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::caption;
using testing::TempDir;
using testing::WindowTest;

enum class Kind { Label, Button, CheckBox, Combo, LineEdit, TextBox, Date, Time, Progress };

struct ControlCase {
  int id;
  Kind kind;
  bool inLowerBand;
};

// Every control of the window.
const ControlCase CONTROLS[] = {
    {1043, Kind::Label, false},    {1044, Kind::Combo, false},    {1048, Kind::Label, false},
    {1024, Kind::Date, false},     {1025, Kind::Time, false},     {1026, Kind::Date, false},
    {1027, Kind::Time, false},     {1049, Kind::Label, false},    {1007, Kind::CheckBox, false},
    {1008, Kind::CheckBox, false}, {1009, Kind::CheckBox, false}, {1010, Kind::CheckBox, false},
    {1011, Kind::CheckBox, false}, {1012, Kind::CheckBox, false}, {1013, Kind::CheckBox, false},
    {1014, Kind::CheckBox, false}, {1015, Kind::CheckBox, false}, {1016, Kind::CheckBox, false},
    {1017, Kind::CheckBox, false}, {1018, Kind::CheckBox, false}, {1019, Kind::CheckBox, false},
    {1020, Kind::CheckBox, false}, {1021, Kind::CheckBox, false}, {1022, Kind::CheckBox, false},
    {1036, Kind::CheckBox, false}, {1050, Kind::Label, false},    {1003, Kind::CheckBox, false},
    {1004, Kind::CheckBox, false}, {1005, Kind::CheckBox, false}, {1006, Kind::CheckBox, false},
    {1051, Kind::Label, false},    {1001, Kind::Combo, false},    {1052, Kind::Label, false},
    {1002, Kind::LineEdit, false}, {1028, Kind::Button, false},   {1000, Kind::Button, false},
    {1033, Kind::Button, false},   {1035, Kind::Button, false},   {1029, Kind::TextBox, false},
    {1053, Kind::Label, true},     {1023, Kind::LineEdit, true},  {1054, Kind::Label, true},
    {1030, Kind::LineEdit, true},  {1031, Kind::LineEdit, true},  {1034, Kind::Button, true},
    {1046, Kind::Button, true},    {1045, Kind::Progress, true},  {1047, Kind::Label, true},
};

bool hasKind(QWidget* widget, Kind kind) {
  switch (kind) {
    case Kind::Label: return qobject_cast<QLabel*>(widget) != nullptr;
    case Kind::Button: return qobject_cast<QPushButton*>(widget) != nullptr;
    case Kind::CheckBox: return qobject_cast<QCheckBox*>(widget) != nullptr;
    case Kind::Combo: return qobject_cast<QComboBox*>(widget) != nullptr;
    case Kind::LineEdit: return qobject_cast<QLineEdit*>(widget) != nullptr;
    case Kind::TextBox: return qobject_cast<QPlainTextEdit*>(widget) != nullptr;
    case Kind::Date: return qobject_cast<QDateEdit*>(widget) != nullptr;
    case Kind::Time: return qobject_cast<QTimeEdit*>(widget) != nullptr;
    case Kind::Progress: return qobject_cast<QProgressBar*>(widget) != nullptr;
  }
  return false;
}

// Captions of the 19 controls named in the language file, in English and in
// Chinese.
struct CaptionCase {
  int id;
  const char* english;
  const char* chinese;
};

const CaptionCase CAPTIONS[] = {
    {1043, "Language", "语言"},
    {1028, "Browse...", "浏览"},
    {1048, "Backup time", "备份时间段"},
    {1049, "Backup channels", "备份通道号"},
    {1050, "Record types", "备份录像类型"},
    {1051, "Backup disk", "备份硬盘"},
    {1052, "Output folder", "输出路径"},
    {1000, "Start backup", "开始备份"},
    {1033, "Stop backup", "停止备份"},
    {1035, "Advanced setting", "高级选项"},
    {1053, "Max backup size (MB)", "备份最大数据量(M)"},
    {1054, "Folder range", "目录范围"},
    {1034, "Scan", "扫描"},
    {1046, "Stop scan", "停止扫描"},
    {1003, "Time", "定时"},
    {1004, "Motion", "移动"},
    {1005, "Sensor", "警告"},
    {1006, "Manual", "手动"},
    {1036, "All", "全部"},
};

void expectCaptions(const MainDialog& window, bool chinese) {
  for (const auto& c : CAPTIONS)
    EXPECT_EQ(caption(window, c.id), QString::fromUtf8(chinese ? c.chinese : c.english)) << c.id;
}

void expectEmptyCaptions(const MainDialog& window) {
  for (const auto& c : CAPTIONS) EXPECT_EQ(caption(window, c.id), QString()) << c.id;
}

QComboBox* languageList(const MainDialog& window) {
  return qobject_cast<QComboBox*>(window.control(ID_LANGUAGE_LIST));
}

TEST_F(WindowTest, EveryControlExistsWithItsKindEnabledAndShownUnlessInTheLowerBand) {
  auto window = showWindow();
  for (const auto& c : CONTROLS) {
    QWidget* widget = window->control(c.id);
    ASSERT_NE(widget, nullptr) << c.id;
    EXPECT_TRUE(hasKind(widget, c.kind)) << c.id << " is a " << widget->metaObject()->className();
    EXPECT_EQ(widget->property("controlId").toInt(), c.id);
    // The Stop buttons only while their job runs.
    EXPECT_EQ(widget->isEnabled(), c.id != ID_STOP_BACKUP && c.id != ID_STOP_SCAN) << c.id;
    EXPECT_EQ(widget->isVisible(), !c.inLowerBand) << c.id;
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      EXPECT_FALSE(edit->isReadOnly()) << c.id;
    }
  }
  EXPECT_EQ(window->control(1032), nullptr);
  EXPECT_EQ(window->control(1055), nullptr);
}

TEST_F(WindowTest, InitialStates) {
  auto window = showWindow();
  for (int id = ID_CHANNEL_FIRST; id <= ID_CHANNEL_LAST; ++id) {
    auto* box = qobject_cast<QCheckBox*>(window->control(id));
    EXPECT_FALSE(box->isChecked()) << id;
    EXPECT_EQ(box->text(), QStringLiteral("%1").arg(id - 1006, 2, 10, QLatin1Char('0')));
  }
  for (int id : {ID_TYPE_TIME, ID_TYPE_MOTION, ID_TYPE_SENSOR, ID_TYPE_MANUAL})
    EXPECT_TRUE(qobject_cast<QCheckBox*>(window->control(id))->isChecked()) << id;
  EXPECT_FALSE(qobject_cast<QCheckBox*>(window->control(ID_ALL_CHANNELS))->isChecked());
  for (int id : {ID_SIZE_LIMIT, ID_FOLDER_START, ID_FOLDER_END})
    EXPECT_EQ(qobject_cast<QLineEdit*>(window->control(id))->text(), QStringLiteral("0")) << id;
  EXPECT_EQ(qobject_cast<QPlainTextEdit*>(window->control(ID_STATUS))->toPlainText(), QString());
  auto* progress = qobject_cast<QProgressBar*>(window->control(ID_SCAN_PROGRESS));
  EXPECT_EQ(progress->minimum(), 0);
  EXPECT_EQ(progress->maximum(), 100);
  EXPECT_EQ(progress->value(), 0);
  EXPECT_EQ(caption(*window, ID_SCAN_PERCENT), QStringLiteral("0%"));
  // The user's Videos folder, or the home folder.
  const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
  EXPECT_EQ(qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER))->text(),
            QFileInfo(videos).isDir() ? videos : QDir::homePath());
  EXPECT_TRUE(window->advancedCollapsed());
  // The form's first control.
  EXPECT_EQ(QApplication::focusWidget(), window->control(ID_LANGUAGE_LIST));
  // The status box shows; it takes no typing and no drops.
  auto* status = qobject_cast<QPlainTextEdit*>(window->control(ID_STATUS));
  EXPECT_TRUE(status->isReadOnly());
  EXPECT_FALSE(status->acceptDrops());
}

TEST_F(WindowTest, WindowTitleIconAndFrame) {
  auto window = makeWindow();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Korvex"));
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_FALSE(window->windowIcon().pixmap(32, 32).isNull());
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
}

TEST_F(WindowTest, PickersStartAtTheLast24Hours) {
  const QDateTime before = QDateTime::currentDateTime();
  auto window = makeWindow();
  const QDateTime after = QDateTime::currentDateTime();
  auto* beginDate = qobject_cast<QDateEdit*>(window->control(ID_BEGIN_DATE));
  auto* beginTime = qobject_cast<QTimeEdit*>(window->control(ID_BEGIN_TIME));
  auto* endDate = qobject_cast<QDateEdit*>(window->control(ID_END_DATE));
  auto* endTime = qobject_cast<QTimeEdit*>(window->control(ID_END_TIME));
  const QDateTime begin(beginDate->date(), beginTime->time());
  const QDateTime end(endDate->date(), endTime->time());
  EXPECT_EQ(begin.secsTo(end), 24 * 3600);
  EXPECT_GE(end.secsTo(after), 0);
  EXPECT_LE(before.secsTo(end), 1);
  EXPECT_GE(before.secsTo(end), -1);
  EXPECT_EQ(begin.time().msec(), 0);
  EXPECT_TRUE(beginDate->calendarPopup());
  EXPECT_TRUE(endDate->calendarPopup());
  EXPECT_TRUE(beginTime->displayFormat().contains(QStringLiteral("ss")));
}

TEST_F(WindowTest, LanguageListHoldsEnglishAndChinese) {
  auto window = makeWindow();
  QComboBox* list = languageList(*window);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->itemText(0), QStringLiteral("English"));
  EXPECT_EQ(list->itemText(1), QStringLiteral("中文"));
  EXPECT_EQ(list->currentIndex(), 0);
  // A plain list: nothing can be typed into it.
  EXPECT_FALSE(list->isEditable());
  EXPECT_EQ(list->lineEdit(), nullptr);
  EXPECT_EQ(currentLanguage, 0);
}

TEST_F(WindowTest, DriveListHoldsTheMountedRootsWithTheFirstSelected) {
  auto window = makeWindow();
  auto* drives = qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST));
  const std::vector<std::string> roots = listDriveRoots();
  ASSERT_EQ(drives->count(), static_cast<int>(roots.size()));
  for (int i = 0; i < drives->count(); ++i)
    EXPECT_EQ(drives->itemText(i), QFile::decodeName(roots[static_cast<std::size_t>(i)].c_str()));
  if (!roots.empty()) {
    EXPECT_EQ(drives->currentIndex(), 0);
  }
  EXPECT_TRUE(drives->isEditable());
}

TEST_F(WindowTest, EnglishCaptionsFromTheLanguageFile) {
  auto window = makeWindow();
  expectCaptions(*window, false);
}

TEST_F(WindowTest, CaptionOfAMissingKeyIsEmpty) {
  writeLanguageFile("English", "scan=Look\nstart backup=Go\n");
  auto window = makeWindow();
  EXPECT_EQ(caption(*window, ID_SCAN), QStringLiteral("Look"));
  EXPECT_EQ(caption(*window, ID_START_BACKUP), QStringLiteral("Go"));
  for (const auto& c : CAPTIONS)
    if (c.id != ID_SCAN && c.id != ID_START_BACKUP) {
      EXPECT_EQ(caption(*window, c.id), QString()) << c.id;
    }
}

TEST_F(WindowTest, WithoutMainSettingsEveryCaptionIsEmptyAndEnglishIsSelected) {
  std::filesystem::remove(file("mainset.ini"));
  auto window = makeWindow();
  expectEmptyCaptions(*window);
  EXPECT_EQ(currentLanguage, 0);
  EXPECT_EQ(languageList(*window)->currentIndex(), 0);
  EXPECT_EQ(languageList(*window)->currentText(), QStringLiteral("English"));
}

TEST_F(WindowTest, WithoutTheLanguageFileEveryCaptionIsEmpty) {
  std::filesystem::remove(file("LANG/English/lang.ini"));
  auto window = makeWindow();
  expectEmptyCaptions(*window);
}

TEST_F(WindowTest, StartUpLanguageFromLanguageSet) {
  struct Case {
    const char* value;
    int language;
    int selected;
    const char* startBackup;  // caption of Start backup
  };
  const Case cases[] = {
      {"0", 0, 0, "Start backup"},
      {"1", 1, 1, "开始备份"},
      {"1abc", 1, 1, "开始备份"},
      {"x", 0, 0, "Start backup"},
      {"2", 2, -1, "third language"},
      {"-1", -1, -1, "minus one"},
  };
  writeLanguageFile("Third", "start backup=third language\n");
  writeLanguageFile("MinusOne", "start backup=minus one\n");
  for (const auto& c : cases) {
    writeMainSettings(std::string("[LANG]\nlang0=English\nlang1=Chinese\nlang2=Third\nlang-1=MinusOne\n") +
                      "language set=" + c.value +
                      "\n[English]\ndir=English\n[Chinese]\ndir=Chinese\n[Third]\ndir=Third\n[MinusOne]\ndir=MinusOne\n");
    auto window = makeWindow();
    EXPECT_EQ(currentLanguage, c.language) << c.value;
    EXPECT_EQ(languageList(*window)->currentIndex(), c.selected) << c.value;
    EXPECT_EQ(caption(*window, ID_START_BACKUP), QString::fromUtf8(c.startBackup)) << c.value;
    if (c.language == 1) {
      expectCaptions(*window, true);
    }
    if (c.selected == -1) {
      EXPECT_EQ(languageList(*window)->currentText(), QString()) << c.value;
      // The other captions are missing from that language's file.
      EXPECT_EQ(caption(*window, ID_SCAN), QString()) << c.value;
    }
  }
}

TEST_F(WindowTest, ChoosingALanguageSwitchesTheCaptions) {
  auto window = showWindow();
  QComboBox* list = languageList(*window);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_EQ(currentLanguage, 1);
  expectCaptions(*window, true);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(currentLanguage, 0);
  expectCaptions(*window, false);
}

TEST_F(WindowTest, ChoiceOfLanguageIsKeptForTheNextStartOverTheMainSettings) {
  {
    auto window = showWindow();
    languageList(*window)->setFocus();
    QTest::keyClick(languageList(*window), Qt::Key_Down);
    ASSERT_EQ(currentLanguage, 1);
  }
  currentLanguage = 0;
  auto window = makeWindow();
  EXPECT_EQ(currentLanguage, 1);
  EXPECT_EQ(languageList(*window)->currentIndex(), 1);
  expectCaptions(*window, true);
}

TEST_F(WindowTest, DiskOutputFolderWidthAndAdvancedBandAreKeptForTheNextStart) {
  TempDir disk;
  TempDir out;
  int width = 0;
  {
    auto window = showWindow();
    qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->setEditText(QString::fromStdString(disk.path()));
    qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER))->setText(QString::fromStdString(out.path()));
    QTest::mouseClick(window->control(ID_ADVANCED_SETTING), Qt::LeftButton);
    window->resize(window->width() + 80, window->height());
    width = window->width();
    window->close();
  }
  auto window = showWindow();
  EXPECT_EQ(qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->currentText().toStdString(), disk.path());
  EXPECT_EQ(qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER))->text().toStdString(), out.path());
  EXPECT_FALSE(window->advancedCollapsed());
  EXPECT_TRUE(window->control(ID_SCAN)->isVisible());
  EXPECT_EQ(window->width(), width);
}

TEST_F(WindowTest, EditedLanguageFileCountsAtTheNextChoice) {
  auto window = showWindow();
  writeLanguageFile("English", "scan=Scan now\n");
  EXPECT_EQ(caption(*window, ID_SCAN), QStringLiteral("Scan"));
  QComboBox* list = languageList(*window);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(caption(*window, ID_SCAN), QStringLiteral("Scan now"));
  EXPECT_EQ(caption(*window, ID_START_BACKUP), QString());
}

}  // namespace
}  // namespace korvex
