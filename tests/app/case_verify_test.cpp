// The window's case details (remembered per output folder, written into the
// job's log) and its check of an opened log.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/control_ids.h"
#include "app/segment_browser.h"
#include "app/selection_form.h"
#include "app/window_fixture.h"
#include "jobs/backup_worker.h"
#include "jobs/selection.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::T0;
using testing::TempDir;
using testing::WAIT_MS;

class CaseVerifyTest : public testing::WindowTest {
 protected:
  CaseVerifyTest() : zone_("UTC0") {}
  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
};

TEST_F(CaseVerifyTest, CaseDetailsAreRememberedPerOutputFolderAndLogged) {
  testing::simulateRecorder(disk_.root(), {{0, 1, T0, 2, false}});
  TempDir other;
  auto window = showWindow();
  SelectionForm& form = *window->selectionForm();
  auto* output = qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER));
  qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->setEditText(QString::fromStdString(disk_.root()));
  output->setText(QString::fromStdString(out_.path()));
  CaseDetails given{"2026/118", "HDD-3", "J. Doe", "Lab", "seal intact"};
  form.setCaseEditor([&](QWidget*, CaseDetails& details) {
    details = given;
    return true;
  });
  form.caseButton()->click();
  EXPECT_EQ(form.settings().caseDetails, given);
  // Another folder has its own (none yet); the first one's come back with it.
  output->setText(QString::fromStdString(other.path()));
  EXPECT_TRUE(form.settings().caseDetails.empty());
  output->setText(QString::fromStdString(out_.path() + "/"));
  EXPECT_EQ(form.settings().caseDetails, given);
  // A cancelled edit changes nothing.
  form.setCaseEditor([](QWidget*, CaseDetails& details) {
    details.examiner = "someone else";
    return false;
  });
  form.caseButton()->click();
  EXPECT_EQ(form.settings().caseDetails, given);

  QTest::mouseClick(window->control(ID_SCAN), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        testing::tickJob(*window);
        return !window->jobWorkerRunning() && window->startBackupButton()->isEnabled();
      },
      WAIT_MS));
  const auto logs = testing::listFiles(out_.path(), "", ".json");
  ASSERT_EQ(logs.size(), 1u);
  const auto log = nlohmann::json::parse(testing::readTextFile(logs[0]));
  EXPECT_EQ(log["case"]["number"], "2026/118");
  EXPECT_EQ(log["case"]["notes"], "seal intact");
}

TEST_F(CaseVerifyTest, VerifyShowsWhetherTheLogHoldsAndNamesTheFileThatDoesNot) {
  testing::simulateRecorder(disk_.root(), {{0, 1, T0, 3, true}});
  JobSettings settings;
  settings.diskRoot = disk_.root();
  settings.outputFolder = out_.path();
  selectEverything(settings);
  JobState state;
  ASSERT_EQ(backupWorker(settings, state).end, JobOutcome::Finished);
  const auto logs = testing::listFiles(out_.path(), "", ".json");
  const auto avis = testing::listFiles(out_.path(), "folder=", ".avi");
  ASSERT_EQ(logs.size(), 1u);
  ASSERT_EQ(avis.size(), 1u);

  auto window = showWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  const auto verify = [&] {
    QSignalSpy done(&browser, &SegmentBrowser::verified);
    browser.verifyJobLog(QString::fromStdString(logs[0]));
    EXPECT_FALSE(browser.verifyLogButton()->isEnabled());
    EXPECT_TRUE(done.wait(WAIT_MS));
    QApplication::processEvents();
    EXPECT_TRUE(browser.verifyLogButton()->isEnabled());
    return messages.empty() ? QString() : messages.back();
  };
  const QString holds = verify();
  EXPECT_TRUE(holds.startsWith(QStringLiteral("Everything the log lists holds:"))) << holds.toStdString();
  EXPECT_TRUE(holds.contains(QStringLiteral(" chunks hold"))) << holds.toStdString();

  {
    std::fstream avi(avis[0], std::ios::in | std::ios::out | std::ios::binary);
    const auto middle = static_cast<std::streamoff>(std::filesystem::file_size(avis[0]) / 2);
    avi.seekg(middle);
    const int byte = avi.get();
    avi.seekp(middle);
    avi.put(static_cast<char>(byte + 1));
  }
  const QString differs = verify();
  EXPECT_TRUE(differs.startsWith(QStringLiteral("The log does not hold:"))) << differs.toStdString();
  EXPECT_TRUE(differs.contains(QString::fromStdString(avis[0] + ": its SHA-256 is "))) << differs.toStdString();
}

}  // namespace
}  // namespace korvex
