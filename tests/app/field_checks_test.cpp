// The form's fields take only what they mean, and what cannot make a job is
// refused before it starts, in the user's words; the end summary answers
// Escape and says when no file manager opened the output folder (the image
// chooser's filters: job_control_test.cpp).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <unistd.h>
#include <filesystem>

#include "app/control_ids.h"
#include "app/window_fixture.h"
#include "lang/language.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::TempDir;
using testing::WindowTest;

QLineEdit* lineEdit(const MainDialog& window, int id) { return qobject_cast<QLineEdit*>(window.control(id)); }

bool runUntilIdle(MainDialog& window) {
  return QTest::qWaitFor(
      [&window] {
        testing::tickJob(window);
        return !window.jobWorkerRunning() && window.startBackupButton()->isEnabled();
      },
      60000);
}

TEST_F(WindowTest, NumericFieldsTakeOnlyDigits) {
  auto window = makeWindow();
  const std::pair<const char*, const char*> typed[] = {
      {"abc", ""}, {"12x3", "123"}, {"-5", "5"}, {"+7", "7"}, {"4.5", "45"}, {"2147483647", "2147483647"},
  };
  for (int id : {ID_SIZE_LIMIT, ID_FOLDER_START, ID_FOLDER_END}) {
    for (const auto& [keys, kept] : typed) {
      SCOPED_TRACE(std::to_string(id) + ": " + keys);
      QLineEdit* edit = lineEdit(*window, id);
      edit->clear();
      QTest::keyClicks(edit, QString::fromUtf8(keys));
      EXPECT_EQ(edit->text(), QString::fromUtf8(kept));
    }
  }
}

class RefusalTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    testing::simulateRecorder(disk_.root(), {{0, 1, testing::T0, 2, true}});
  }
  std::unique_ptr<MainDialog> formWith(const std::string& disk, const std::string& output) {
    auto window = makeWindow();
    window->selectionForm()->setDiskText(QString::fromStdString(disk));
    window->selectionForm()->setOutputFolderText(QString::fromStdString(output));
    qobject_cast<QCheckBox*>(window->control(ID_ALL_CHANNELS))->click();
    return window;
  }
  TempDir disk_;
  TempDir out_;
};

TEST_F(RefusalTest, WhatCannotMakeAJobIsRefusedInTheUsersWords) {
  const std::string text = out_.file("notes.txt");
  {
    std::FILE* notes = std::fopen(text.c_str(), "wb");
    ASSERT_NE(notes, nullptr);
    std::fputs("shopping list\n", notes);
    std::fclose(notes);
  }
  TempDir writable;
  const bool root = geteuid() == 0 && std::filesystem::is_directory("/sys/kernel");
  struct Case {
    const char* what;
    std::string disk;
    std::string output;
    const char* folderStart;
    const char* folderEnd;
    QString english;  // the message, or how it begins
    QString chinese;
    bool whole;       // the message is all of it
  };
  const QString reversed = QStringLiteral(
      "Folder range: the end folder must be 0 (up to the last folder) or above the start folder.");
  const QString reversedChinese = QStringLiteral("目录范围：结束目录必须为 0（直到最后一个目录）或大于开始目录。");
  const Case cases[] = {
      {"reversed folder range", disk_.path(), writable.path(), "5", "2", reversed, reversedChinese, true},
      {"empty folder range", disk_.path(), writable.path(), "5", "5", reversed, reversedChinese, true},
      {"no disk", "  ", writable.path(), "0", "0",
       QStringLiteral("No disk is given. Choose the recorder's disk: a folder, a disk image file or a device."),
       QStringLiteral("未指定硬盘。请选择录像机硬盘：文件夹、磁盘映像文件或设备。"), true},
      {"a text file as the disk", text, writable.path(), "0", "0",
       QString::fromStdString("\"" + text + "\" is neither a recorder folder nor a disk image this program reads."),
       QString::fromStdString("\"" + text + "\" 既不是录像机文件夹，也不是本程序能读取的磁盘映像。"), true},
      {"a folder only root may seem to write", disk_.path(), root ? "/sys/kernel" : "", "0", "0",
       QStringLiteral("Cannot write to the output folder: \"/sys/kernel\" ("),
       QStringLiteral("无法写入输出目录: \"/sys/kernel\" ("), false},
  };
  for (const Case& c : cases) {
    if (c.output.empty()) continue;  // not root: the permission bits refuse it already
    for (const int language : {0, 1}) {
      SCOPED_TRACE(std::string(c.what) + (language == 0 ? " in English" : " in Chinese"));
      auto window = formWith(c.disk, c.output);
      currentLanguage = language;
      window->applyLanguageTexts();
      lineEdit(*window, ID_FOLDER_START)->setText(QString::fromUtf8(c.folderStart));
      lineEdit(*window, ID_FOLDER_END)->setText(QString::fromUtf8(c.folderEnd));
      const QString& expected = language == 0 ? c.english : c.chinese;
      for (const bool backup : {true, false}) {
        messages.clear();
        EXPECT_FALSE(backup ? window->onStartBackup() : window->onScan());
        ASSERT_EQ(messages.size(), 1u);
        if (c.whole) EXPECT_EQ(messages[0], expected);
        else EXPECT_TRUE(messages[0].startsWith(expected)) << messages[0].toStdString();
      }
    }
  }
  // Nothing was made where the job could not write, nor left behind by the check.
  EXPECT_TRUE(std::filesystem::is_empty(writable.path()));
}

TEST_F(RefusalTest, TheEndSummaryClosesOnEscapeAndAFolderNotOpenedIsSaid) {
  auto window = formWith(disk_.path(), out_.path());
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  // Escape: OK, not the folder's button.
  bool escaped = false;
  onModal = [&](QDialog& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    messages.push_back(box->text());
    box->show();
    QTest::keyClick(box, Qt::Key_Escape);
    escaped = box->clickedButton() == box->button(QMessageBox::Ok) && !box->isVisible();
    return box->result();
  };
  ASSERT_TRUE(window->onStartBackup());
  EXPECT_TRUE(runUntilIdle(*window));
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_TRUE(escaped);
  EXPECT_TRUE(openedUrls.empty());

  // The folder's button, with no file manager to open it.
  urlOpens = false;
  messages.clear();
  onModal = [&](QDialog& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    messages.push_back(box->text());
    if (auto* open = box->findChild<QPushButton*>(QStringLiteral("openOutputFolder"))) open->click();
    return 0;
  };
  ASSERT_TRUE(window->onStartBackup());
  EXPECT_TRUE(runUntilIdle(*window));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1],
            QString::fromStdString("No file manager could open the output folder: \"" + out_.path() + "\""));
  EXPECT_EQ(openedUrls.size(), 1u);
}

}  // namespace
}  // namespace korvex
