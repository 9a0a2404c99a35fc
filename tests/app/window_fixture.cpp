#include "app/window_fixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTest>
#include <filesystem>

#include "app/job_panel.h"
#include "app/job_runner.h"
#include "lang/language.h"
#include "lang/program_folder.h"

namespace korvex::testing {

namespace fs = std::filesystem;

void WindowTest::SetUp() {
  const fs::path shipped(KORVEX_RES_DIR);
  fs::copy_file(shipped / "mainset.ini", dir_.file("mainset.ini"));
  fs::copy(shipped / "LANG", dir_.file("LANG"), fs::copy_options::recursive);
  overrideProgramFolder(dir_.path());
  // What the window remembers goes to this test's own folder.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir_.file("config")));
  currentLanguage = 0;
  onModal = [this](QDialog& dialog) {
    modalTitles.push_back(dialog.windowTitle());
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    if (box == nullptr) return static_cast<int>(QDialog::Rejected);
    messages.push_back(box->text());
    // A question gets questionAnswer; a message is closed.
    if (box->button(QMessageBox::Yes) != nullptr) return questionAnswer;
    return static_cast<int>(QDialog::Rejected);
  };
}

void WindowTest::TearDown() {
  overrideProgramFolder(std::nullopt);
  currentLanguage = 0;
}

std::unique_ptr<MainDialog> WindowTest::makeWindow() {
  auto window = std::make_unique<MainDialog>();
  window->setModalRunner([this](QDialog& dialog) { return onModal(dialog); });
  window->setFolderChooser([](QWidget*, const QString&, const QString&) {
    ADD_FAILURE() << "folder chooser opened unexpectedly";
    return QString();
  });
  window->setFileChooser([](QWidget*, const QString&, const QString&, const QString&) {
    ADD_FAILURE() << "file chooser opened unexpectedly";
    return QString();
  });
  window->setUrlOpener([this](const QUrl& url) {
    openedUrls.push_back(url);
    return urlOpens;
  });
  return window;
}

std::unique_ptr<MainDialog> WindowTest::showWindow() {
  auto window = makeWindow();
  window->show();
  window->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
  return window;
}

void WindowTest::writeLanguageFile(const std::string& folder, const std::string& body) {
  const std::string path = dir_.file("LANG/" + folder + "/lang.ini");
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  const std::string text = "[language]\n" + body;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
}

void WindowTest::writeMainSettings(const std::string& text) {
  const std::string path = dir_.file("mainset.ini");
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
}

void tickJob(MainDialog& window) { window.jobPanel()->runner()->poll(); }

QString caption(const MainDialog& window, int id) {
  QWidget* widget = window.control(id);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  ADD_FAILURE() << "control " << id << " has no caption";
  return {};
}

}  // namespace korvex::testing
