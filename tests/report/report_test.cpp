// The examination report made from real jobs' logs: by korvex-cli from a
// scan, a backup and a still of a simulated disk, read back by a real HTML
// parser; what it says of logs that lack a section; how it is written.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "lang/ini_reader.h"
#include "preview/png_encoder.h"
#include "report/examination_report.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::ProgramRun;
using testing::TempDir;

ProgramRun cli(std::vector<std::string> args) {
  args.insert(args.begin(), KORVEX_CLI_PATH);
  return testing::runProgram(args);
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() : zone_("UTC0") {
    // Two channels, three segments, in two folders.
    const std::vector<testing::SimulatedSegment> segments = {
        {0, 1, testing::T0, 3, true}, {1, 2, testing::T0 + 1, 2, false}, {0, 8, testing::T0 + 10, 2, true}};
    testing::SimulationOptions options;
    options.fileBytes = 1000;
    testing::simulateRecorder(disk_.root(), segments, options);
  }

  // The logs of a scan and a backup of the disk, and a still's.
  std::vector<std::string> jobLogs() {
    EXPECT_EQ(cli({"scan", "--disk", disk_.path(), "--out", jobs_.path()}).exitStatus, 0);
    EXPECT_EQ(cli({"backup", "--disk", disk_.path(), "--out", jobs_.path()}).exitStatus, 0);
    std::vector<std::string> logs = testing::listFiles(jobs_.path(), "ScanFile_", ".json");
    for (const std::string& log : testing::listFiles(jobs_.path(), "BackupLog_", ".json")) logs.push_back(log);
    const nlohmann::json still = {{"program", "Korvex"}, {"job", "still"}, {"outcome", "finished"},
                                  {"case", {{"number", "K-2026-117"}, {"examiner", "R. Ilves"}}},
                                  {"still", {{"name", "still_ch01.png"}, {"time", {{"text", "2026-03-01 10:00:04"}}},
                                             {"channel", 1}, {"bytes", 1234},
                                             {"sha256", std::string(64, 'e')}}}};
    logs.push_back(jobs_.path() + "/Still_1.json");
    writeText(logs.back(), still.dump(2));
    return logs;
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir jobs_;
  TempDir out_;
};

TEST_F(ReportTest, TheReportOfRealLogsHoldsEveryFileAndHashAndItsPictures) {
  const std::vector<std::string> logs = jobLogs();
  ASSERT_EQ(logs.size(), 3u);
  std::vector<std::string> args = {"report"};
  args.insert(args.end(), logs.begin(), logs.end());
  for (const char* option : {"--out", "", "--disk", ""}) args.push_back(option);
  args[args.size() - 3] = out_.path();
  args[args.size() - 1] = disk_.path();
  const ProgramRun run = cli(args);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<std::string> pages = testing::listFiles(out_.path(), "ExaminationReport_", ".html");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(testing::listFiles(out_.path(), "ExaminationReport_", ".sha256").size(), 1u);
  EXPECT_NE(run.out.find(pages[0]), std::string::npos) << run.out;
  // One picture per segment of the scan.
  std::vector<std::string> check = {"python3", KORVEX_CHECK_REPORT, pages[0], "3"};
  check.insert(check.end(), logs.begin(), logs.end());
  const ProgramRun parsed = testing::runProgram(check);
  EXPECT_EQ(parsed.exitStatus, 0) << parsed.err;
  const std::string page = testing::readTextFile(pages[0]);
  EXPECT_NE(page.find("K-2026-117"), std::string::npos);
  EXPECT_NE(page.find("R. Ilves"), std::string::npos);
  // Each exported file names the scan's segment it came from.
  EXPECT_NE(page.find("<td>No. 1 (ScanFile_"), std::string::npos);
  EXPECT_NE(page.find("<td>No. 3 (ScanFile_"), std::string::npos);

  // Without the disk: no pictures, and the page says why.
  TempDir plain;
  args.resize(args.size() - 2);
  args[args.size() - 1] = plain.path();
  ASSERT_EQ(cli(args).exitStatus, 0);
  const std::vector<std::string> without = testing::listFiles(plain.path(), "ExaminationReport_", ".html");
  ASSERT_EQ(without.size(), 1u);
  check[2] = without[0];
  check[3] = "0";
  EXPECT_EQ(testing::runProgram(check).exitStatus, 0);
  const std::string text = testing::readTextFile(without[0]);
  EXPECT_EQ(text.find("data:image"), std::string::npos);
  EXPECT_NE(text.find("No disk was given"), std::string::npos);
}

TEST_F(ReportTest, TheCompanionRefusesWhatItCannotReport) {
  const std::string notJson = jobs_.path() + "/notes.json";
  writeText(notJson, "not a log");
  const std::string diskLog = jobs_.path() + "/scan.json";
  writeText(diskLog, nlohmann::json{{"job", "scan"}, {"settings", {{"diskRoot", disk_.path()}}}}.dump());
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"report", "--out", out_.path()}, 2, "no log given"},
      {{"report", notJson}, 2, "--out DIR is needed"},
      {{"report", notJson, "--out", out_.path(), "--language", "Klingon"}, 2, "no such language"},
      {{"report", jobs_.path() + "/none.json", "--out", out_.path()}, 1, "cannot open"},
      {{"report", notJson, "--out", jobs_.path() + "/none"}, 1, "cannot write the report"},
      {{"report", notJson, "--out", disk_.path(), "--disk", disk_.path()}, 1, "recorder disk"},
      // Without --disk, the disk the log names.
      {{"report", diskLog, "--out", disk_.path() + "/dir00000"}, 1, "recorder disk"},
  };
  for (const auto& c : cases) {
    const ProgramRun run = cli(c.args);
    EXPECT_EQ(run.exitStatus, c.status) << c.says << ": " << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  EXPECT_TRUE(testing::listFiles(out_.path()).empty());
  EXPECT_TRUE(testing::listFiles(disk_.path(), "ExaminationReport_").empty());
}

std::string english(const char* key) { return key; }

// What a page says of logs with sections absent, or present as other
// helpers' jobs write them.
TEST(ReportPage, ASectionTheLogsLackIsLeftOutOrSaidNotRecorded) {
  const struct {
    const char* log;
    std::vector<const char*> present;
    std::vector<const char*> absent;
  } cases[] = {
      {R"({"job":"scan","segments":[]})", {"not recorded", "nothing was passed over"}, {"<img", "K-1"}},
      {"[1,2]", {"a log that cannot be read"}, {}},
      {R"({"job":"backup","case":{"number":"K-1","exhibit":"HD-3"},"files":[{"name":"a<b>.avi","bytes":7}]})",
       {"K-1", "HD-3", "a&lt;b&gt;.avi", "examination report &middot; case K-1"},
       {"a<b>.avi"}},
      {R"({"job":"scan","settings":{"clockOffset":{"seconds":3600}},"segments":[{"serial":1,"channel":1,
          "recordType":"time","start":{"recorder":7200,"text":"2000-01-01 02:00:00"},
          "end":{"recorder":7260,"text":"2000-01-01 02:01:00"},
          "rate":{"nominal":25,"mean":24.5,"driftPercent":-2.0}}]})",
       {"+3600 seconds", "24.500 (nominal 25) frames per second", "-2.000 %", "0:01:00"},
       {}},
      {R"({"job":"backup","recovery":{"passedOver":[{"file":"dir0/f3","reason":"cannot be opened"}]},
          "unreadable":[{"path":"dir0/f4","reason":"I/O error"}]})",
       {"files passed over (1)", "cannot be opened", "unreadable files (1)", "I/O error"},
       {"nothing was passed over"}},
  };
  for (const auto& c : cases) {
    ReportRequest request;
    request.logs.push_back({"/logs/job.json", c.log, sha256Hex(c.log)});
    const std::string page = examinationReportHtml(request, english);
    for (const char* text : c.present) EXPECT_NE(page.find(text), std::string::npos) << c.log << " lacks " << text;
    for (const char* text : c.absent) EXPECT_EQ(page.find(text), std::string::npos) << c.log << " has " << text;
    EXPECT_NE(page.find(sha256Hex(c.log)), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
  }
}

TEST(ReportFiles, AReportIsNeverWrittenOverAndItsHashListNamesEveryFile) {
  TempDir out;
  DiskFolderOutput output(out.path());
  const std::string stem = out.path() + "/ExaminationReport_1";
  writeText(stem + ".pdf", "someone else's");
  const WrittenReport written = writeExaminationReport(output, stem, {{".html", "<p>page</p>"}, {".pdf", "%PDF"}});
  ASSERT_EQ(written.failure.code, FailureCode::None) << written.failure.reason;
  EXPECT_EQ(written.paths, (std::vector<std::string>{stem + "_2.html", stem + "_2.pdf"}));
  EXPECT_EQ(testing::readTextFile(stem + ".pdf"), "someone else's");
  EXPECT_EQ(testing::readTextFile(written.hashListPath),
            sha256Hex("<p>page</p>") + "  ExaminationReport_1_2.html\n" + sha256Hex("%PDF") +
                "  ExaminationReport_1_2.pdf\n");
  const ProgramRun check = testing::runProgram({"sh", "-c", "cd \"$0\" && sha256sum -c --quiet \"$1\"", out.path(),
                                                "ExaminationReport_1_2.sha256"});
  EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
}

TEST(ReportTexts, BothLanguagesHoldEveryTextOfTheReport) {
  for (const char* language : {"English", "Chinese"}) {
    const std::string path = std::string(KORVEX_LANG_FOLDER) + "/" + language + "/lang.ini";
    const std::string text = readIniFileText(path.c_str());
    ASSERT_FALSE(text.empty()) << path;
    std::vector<const char*> keys(REPORT_KEYS.begin(), REPORT_KEYS.end());
    keys.insert(keys.end(), REPORT_FIELD_KEYS.begin(), REPORT_FIELD_KEYS.end());
    for (const char* key : keys)
      EXPECT_FALSE(findIniValue(text, REPORT_TEXT_SECTION, key, "").empty()) << language << ": " << key;
  }
}

TEST(PngEncoder, APictureComesBackAsAPngOfItsSize) {
  const struct {
    int width, height;
    bool encoded;
  } cases[] = {{160, 90, true}, {1, 1, true}, {0, 10, false}, {9000, 1, false}};
  for (const auto& c : cases) {
    RgbPicture picture;
    picture.width = c.width;
    picture.height = c.height;
    picture.rgb.assign(3 * static_cast<std::size_t>(std::max(c.width, 0)) * static_cast<std::size_t>(c.height), 0x80);
    const std::vector<std::uint8_t> png = encodePng(picture);
    ASSERT_EQ(!png.empty(), c.encoded) << c.width << "x" << c.height;
    if (!c.encoded) continue;
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    const auto be32 = [&](std::size_t at) {
      return (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    };
    EXPECT_EQ(be32(16), c.width);
    EXPECT_EQ(be32(20), c.height);
  }
}

}  // namespace
}  // namespace korvex
