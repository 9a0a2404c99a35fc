// The window's examination report: the Report... button over the logs of a
// real scan and backup writes the page, its PDF and one hash list into the
// output folder; the PDF opens in poppler with the pages Qt laid out.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <regex>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/report_files.h"
#include "app/window_fixture.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

// The page count pdfinfo reads from a PDF; -1 when it cannot.
int pdfPages(const std::string& path) {
  const testing::ProgramRun info = testing::runProgram({"pdfinfo", path});
  std::smatch match;
  static const std::regex pages("Pages:\\s+([0-9]+)");
  if (info.exitStatus != 0 || !std::regex_search(info.out, match, pages)) return -1;
  return std::stoi(match[1]);
}

class ReportWindowTest : public testing::WindowTest {
 protected:
  ReportWindowTest() : zone_("UTC0") {
    const std::vector<testing::SimulatedSegment> segments = {
        {0, 1, testing::T0, 3, true}, {1, 2, testing::T0 + 1, 2, false}, {0, 8, testing::T0 + 10, 2, true}};
    testing::simulateRecorder(disk_.root(), segments, {});
    for (const char* job : {"scan", "backup"})
      EXPECT_EQ(testing::runProgram({KORVEX_CLI_PATH, job, "--disk", disk_.path(), "--out", logs_.path()}).exitStatus, 0);
    logFiles_ = testing::listFiles(logs_.path(), "", ".json");
  }

  // Waits for the report started to be written or refused: its outcome.
  static bool reportOutcome(QSignalSpy& spy) {
    if (spy.isEmpty() && !spy.wait(120000)) return false;
    return spy.takeFirst().at(0).toBool();
  }

  testing::ScopedTimeZone zone_;
  testing::TempDir disk_;
  testing::TempDir logs_;
  testing::TempDir out_;
  std::vector<std::string> logFiles_;
};

TEST_F(ReportWindowTest, ReportWritesThePageItsPdfAndTheirHashList) {
  ASSERT_EQ(logFiles_.size(), 2u);
  auto window = showWindow();
  auto* drives = qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST));
  drives->lineEdit()->setText(QString::fromStdString(disk_.path()));
  qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER))->setText(QString::fromStdString(out_.path()));
  QStringList asked;
  window->setLogsChooser([&](QWidget*, const QString&, const QString& start, const QString&) {
    asked << start;
    QStringList logs;
    for (const std::string& log : logFiles_) logs << QString::fromStdString(log);
    return logs;
  });
  ASSERT_NE(window->reportButton(), nullptr);
  EXPECT_EQ(window->reportButton()->text(), QStringLiteral("Report..."));
  QSignalSpy written(window.get(), &MainDialog::reportWritten);
  // The window goes on while the report is made: the button waits, the
  // status says so, and the window's timers fire.
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(0);
  QTest::mouseClick(window->reportButton(), Qt::LeftButton);
  EXPECT_EQ(asked, QStringList{QString::fromStdString(out_.path())});
  EXPECT_FALSE(window->reportButton()->isEnabled());
  EXPECT_EQ(qobject_cast<QPlainTextEdit*>(window->control(ID_STATUS))->toPlainText(), QStringLiteral("Writing the report..."));
  EXPECT_FALSE(window->onReport());  // one at a time
  EXPECT_EQ(asked.size(), 1);
  ASSERT_TRUE(reportOutcome(written));
  EXPECT_GT(ticks, 0);
  EXPECT_TRUE(window->reportButton()->isEnabled());

  const auto html = testing::listFiles(out_.path(), "ExaminationReport_", ".html");
  const auto pdf = testing::listFiles(out_.path(), "ExaminationReport_", ".pdf");
  const auto list = testing::listFiles(out_.path(), "ExaminationReport_", ".sha256");
  ASSERT_EQ(html.size(), 1u);
  ASSERT_EQ(pdf.size(), 1u);
  ASSERT_EQ(list.size(), 1u);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].contains(QString::fromStdString(pdf[0]))) << messages[0].toStdString();
  const testing::ProgramRun check = testing::runProgram(
      {"sh", "-c", "cd \"$0\" && sha256sum -c \"$1\"", out_.path(), list[0].substr(list[0].rfind('/') + 1)});
  EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
  EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 2);

  // The pages Qt laid out are the pages poppler finds; seven of the eight
  // parts begin a page (the jobs follow the case).
  int pages = 0;
  pdfOfHtml(QString::fromStdString(testing::readTextFile(html[0])), pages);
  EXPECT_GE(pages, 7);
  EXPECT_EQ(pdfPages(pdf[0]), pages);
}

TEST_F(ReportWindowTest, AReportThatCannotBeWrittenSaysWhyAndLeavesNothing) {
  auto window = showWindow();
  const struct {
    std::string folder;
    QStringList logs;
    const char* says;
  } cases[] = {
      {out_.path(), {QString::fromStdString(logs_.path() + "/none.json")}, "cannot open"},
      {out_.path() + "/none", {QString::fromStdString(logFiles_.at(0))}, "none"},
      {disk_.path(), {QString::fromStdString(logFiles_.at(0))}, "recorder's disk"},
  };
  for (const auto& c : cases) {
    messages.clear();
    qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->lineEdit()->setText(QString::fromStdString(disk_.path()));
    qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER))->setText(QString::fromStdString(c.folder));
    window->setLogsChooser([&](QWidget*, const QString&, const QString&, const QString&) { return c.logs; });
    QSignalSpy written(window.get(), &MainDialog::reportWritten);
    ASSERT_TRUE(window->onReport());
    EXPECT_FALSE(reportOutcome(written));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith("Can't write the report")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(c.says)) << messages[0].toStdString();
  }
  EXPECT_TRUE(testing::listFiles(out_.path()).empty());
  EXPECT_TRUE(testing::listFiles(disk_.path(), "ExaminationReport_").empty());
}

TEST_F(ReportWindowTest, AWindowClosedDuringAReportCallsItOffAndLeavesNothing) {
  auto window = showWindow();
  qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->lineEdit()->setText(QString::fromStdString(disk_.path()));
  qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER))->setText(QString::fromStdString(out_.path()));
  window->setLogsChooser([&](QWidget*, const QString&, const QString&, const QString&) {
    return QStringList{QString::fromStdString(logFiles_.at(0))};
  });
  ASSERT_TRUE(window->onReport());
  window->close();
  window.reset();
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(testing::listFiles(out_.path(), "ExaminationReport_").empty());
}

}  // namespace
}  // namespace korvex
