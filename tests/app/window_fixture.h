// A MainDialog over a temporary program folder that holds the shipped
// language files, with its modal dialogs and folder chooser answered by the
// test instead of a person.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "support/temp_dir.h"

#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace korvex::testing {

// How long a window test waits for a job or a worker to end.
inline constexpr int WAIT_MS = 60000;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new window over the program folder. Modal dialogs go to onModal.
  std::unique_ptr<MainDialog> makeWindow();
  // makeWindow, shown and active.
  std::unique_ptr<MainDialog> showWindow();

  // Replaces the [language] section of a language file of the program folder.
  void writeLanguageFile(const std::string& folder, const std::string& body);
  void writeMainSettings(const std::string& text);
  std::string programFolder() const { return dir_.path(); }
  std::string file(const std::string& relative) const { return dir_.file(relative); }

  // Answers a modal dialog; by default it is recorded and closed at once.
  std::function<int(QDialog&)> onModal;
  std::vector<QString> modalTitles;
  // The texts of the message boxes answered by default, in order (questions
  // included).
  std::vector<QString> messages;
  // What a question answered by default gets.
  int questionAnswer = QMessageBox::Yes;
  // The folders the window asked the desktop to open.
  std::vector<QUrl> openedUrls;
  // Whether the desktop opens them.
  bool urlOpens = true;

 private:
  TempDir dir_;
};

// One tick of the job's timer, without waiting for it.
void tickJob(MainDialog& window);

// The control's caption: a label's or button's text.
QString caption(const MainDialog& window, int id);

}  // namespace korvex::testing
