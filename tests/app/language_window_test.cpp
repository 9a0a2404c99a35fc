// The chosen language reaches what the toolkit draws itself (context menus,
// file dialogs, dates, calendars), the system's reasons, the language list
// and a job's last status, and a live switch leaves nothing cut.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/control_ids.h"
#include "app/job_texts.h"
#include "app/window_fixture.h"
#include "lang/language.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::WindowTest;

void chooseLanguage(MainDialog& window, int index) {
  qobject_cast<QComboBox*>(window.control(ID_LANGUAGE_LIST))->setCurrentIndex(index);
  window.onLanguageChanged();
}

// The texts of an edit box's own context menu, without the separators.
QStringList contextMenuTexts(QWidget* parent) {
  QLineEdit edit(parent);
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  QStringList texts;
  for (QAction* action : menu->actions())
    if (!action->isSeparator()) texts << action->text().section(QLatin1Char('\t'), 0, 0);  // without the shortcut
  return texts;
}

struct LanguageCase {
  int index;
  QLocale::Language locale;
  const char* undo;          // the context menu's first entry
  const char* lookIn;        // the file dialog's folder label
  const char* all;           // the channels' All box
  const char* monthOfMay;    // the calendar's name of May
};
const LanguageCase LANGUAGES[] = {
    {0, QLocale::English, "&Undo", "Look in:", "All", "May"},
    {1, QLocale::Chinese, "撤消(&U)", "查找范围：", "全部", "五月"},
};

TEST_F(WindowTest, TheToolkitsOwnTextsDatesAndCalendarFollowTheChosenLanguage) {
  auto window = showWindow();
  // Both ways: from the start-up language and back to it.
  for (const int order : {1, 0, 1, 0}) {
    const LanguageCase& c = LANGUAGES[order];
    SCOPED_TRACE(c.index);
    chooseLanguage(*window, c.index);
    EXPECT_EQ(QLocale().language(), c.locale);
    EXPECT_EQ(contextMenuTexts(window.get()).value(0), QString::fromUtf8(c.undo));
    QFileDialog dialog(window.get());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), QString::fromUtf8(c.lookIn));
    EXPECT_EQ(testing::caption(*window, ID_ALL_CHANNELS), QString::fromUtf8(c.all));
    for (int id : {ID_BEGIN_DATE, ID_END_DATE}) {
      auto* date = qobject_cast<QDateEdit*>(window->control(id));
      EXPECT_EQ(date->locale().language(), c.locale);
      EXPECT_EQ(date->calendarWidget()->locale().language(), c.locale);
      EXPECT_EQ(date->calendarWidget()->locale().standaloneMonthName(5), QString::fromUtf8(c.monthOfMay));
      // The whole year, in the order the language writes a date.
      EXPECT_EQ(date->displayFormat(), c.locale == QLocale::Chinese ? QStringLiteral("yyyy/M/d")
                                                                   : QStringLiteral("M/d/yyyy"));
    }
  }
}

TEST_F(WindowTest, SystemReasonsInTheUsersWordsWithTheSystemsAsFallback) {
  struct Case {
    int error;
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      {ENOENT, "No such file or directory", "没有那个文件或目录"},
      {EROFS, "Read-only file system", "只读文件系统"},
      // Not in the files: the system's own words in either language.
      {EXDEV, std::strerror(EXDEV), std::strerror(EXDEV)},
  };
  for (const Case& c : cases) {
    currentLanguage = 0;
    EXPECT_EQ(systemErrorText(c.error), c.english);
    currentLanguage = 1;
    EXPECT_EQ(systemErrorText(c.error), c.chinese);
  }
  // And in a refusal the window shows.
  const std::string nowhere = file("no/such/disk");
  auto window = makeWindow();
  chooseLanguage(*window, 1);
  window->selectionForm()->setDiskText(QString::fromStdString(nowhere));
  EXPECT_FALSE(window->onScan());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].endsWith(QStringLiteral("\"%1\" (没有那个文件或目录)").arg(QString::fromStdString(nowhere))))
      << messages[0].toStdString();
}

// Every visible control that draws a caption is at least as wide as it.
void expectNothingCut(MainDialog& window) {
  QTest::qWait(0);
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisible()) continue;
    const bool captioned = qobject_cast<QComboBox*>(widget) || qobject_cast<QCheckBox*>(widget) ||
                           qobject_cast<QPushButton*>(widget) || qobject_cast<QToolButton*>(widget);
    if (!captioned) continue;
    EXPECT_GE(widget->width(), widget->sizeHint().width()) << widget->objectName().toStdString();
  }
}

TEST_F(WindowTest, ALiveSwitchCutsNothingAndShowsTheLastStatusInTheNewLanguage) {
  testing::TempDir disk;
  testing::TempDir out;
  // Recorded long before the last day, which the form selects at start-up.
  testing::simulateRecorder(disk.root(), {{0, 1, testing::T0, 2, true}});
  auto window = showWindow();
  window->segmentViewToggle()->click();
  window->selectionForm()->setDiskText(QString::fromStdString(disk.path()));
  window->selectionForm()->setOutputFolderText(QString::fromStdString(out.path()));
  qobject_cast<QCheckBox*>(window->control(ID_ALL_CHANNELS))->click();
  ASSERT_TRUE(window->onStartBackup());
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        testing::tickJob(*window);
        return !window->jobWorkerRunning() && window->startBackupButton()->isEnabled();
      },
      60000));
  auto* status = qobject_cast<QPlainTextEdit*>(window->control(ID_STATUS));
  const QString english = status->toPlainText();
  EXPECT_TRUE(english.startsWith(QStringLiteral("Searching for video...\nFolder=0, File="))) << english.toStdString();
  chooseLanguage(*window, 1);
  QString chinese = english;
  chinese.replace(QStringLiteral("Searching for video..."), QStringLiteral("正在搜索录像!"))
      .replace(QStringLiteral("Folder="), QStringLiteral("目录="))
      .replace(QStringLiteral("File="), QStringLiteral("文件="));
  EXPECT_EQ(status->toPlainText(), chinese);
  expectNothingCut(*window);
  chooseLanguage(*window, 0);
  EXPECT_EQ(status->toPlainText(), english);
  expectNothingCut(*window);
}

}  // namespace
}  // namespace korvex
