// korvex-cli tested as the real program: its exit statuses, what it prints
// on stdout and stderr, and what it leaves in the output folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/output_folder.h"
#include "store/frame_header.h"
#include "support/avi_contents.h"
#include "cli/cli_run.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/scratch_mount.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

extern char** environ;

namespace korvex {
namespace {

using testing::cli;
using testing::ProgramRun;
using testing::RecordingFileBuilder;
using testing::SimulatedSegment;
using testing::T0;
using testing::TempDir;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// `sha256sum -c` run in the folder of the list, as an examiner runs it.
ProgramRun checkHashes(const std::string& hashListPath) {
  const std::size_t slash = hashListPath.rfind('/');
  return testing::runProgram({"sh", "-c", "cd \"$0\" && sha256sum -c \"$1\"", hashListPath.substr(0, slash),
                              hashListPath.substr(slash + 1)});
}

class CliTest : public ::testing::Test {
 protected:
  CliTest() : zone_("UTC0") {}

  // Two channels, three segments, sound on channel 1, in two folders.
  void sampleStore() {
    const std::vector<SimulatedSegment> segments = {
        {0, 1, T0, 3, true}, {1, 2, T0 + 1, 2, false}, {0, 8, T0 + 10, 2, true}};
    testing::SimulationOptions options;
    options.fileBytes = 1000;  // many small files: more than one folder
    testing::simulateRecorder(disk_.root(), segments, options);
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
};

TEST_F(CliTest, HelpDescribesTheCommands) {
  const ProgramRun general = cli({"--help"});
  EXPECT_EQ(general.exitStatus, 0);
  EXPECT_NE(general.out.find("scan"), std::string::npos);
  EXPECT_NE(general.out.find("backup"), std::string::npos);
  const ProgramRun scan = cli({"scan", "--help"});
  EXPECT_EQ(scan.exitStatus, 0);
  EXPECT_NE(scan.out.find("--folder-start"), std::string::npos);
  EXPECT_NE(scan.out.find("--partition N"), std::string::npos);
  EXPECT_NE(scan.out.find("Exit status"), std::string::npos);
  const ProgramRun backup = cli({"backup", "--help"});
  EXPECT_EQ(backup.exitStatus, 0);
  EXPECT_NE(backup.out.find("--channels"), std::string::npos);
  EXPECT_NE(backup.out.find("a disk image file"), std::string::npos);
}

// Every command is named wherever one is asked for or described: the
// general help, the refusals of no command and of an unknown one, the
// command's own help, and the manual's synopsis and list of commands.
TEST_F(CliTest, EveryCommandIsNamedInTheHelpTheRefusalsAndTheManual) {
  const std::string general = cli({"--help"}).out;
  const std::string none = cli({}).err;
  const std::string unknown = cli({"frobnicate"}).err;
  const std::string manual = testing::readTextFile(KORVEX_CLI_MANUAL);
  const std::size_t listed = manual.find(".SH COMMANDS");
  ASSERT_NE(listed, std::string::npos);
  for (const std::string command : {"scan", "backup", "disks", "report", "verify", "still"}) {
    SCOPED_TRACE(command);
    EXPECT_NE(general.find("\n  " + command + " "), std::string::npos) << general;
    EXPECT_NE(none.find(command), std::string::npos) << none;
    EXPECT_NE(unknown.find(command), std::string::npos) << unknown;
    const ProgramRun own = cli({command, "--help"});
    EXPECT_EQ(own.exitStatus, 0);
    EXPECT_EQ(own.out.rfind("usage: korvex-cli " + command + " ", 0), 0u) << own.out;
    EXPECT_NE(manual.find(".B korvex\\-cli " + command), std::string::npos);
    EXPECT_NE(manual.find(".TP\n.B " + command + "\n", listed), std::string::npos);
  }
}

TEST_F(CliTest, BadUsageIsStatus2WithOneLine) {
  const std::string d = disk_.path(), o = out_.path();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"scan", "--disk", d},
      {"scan", "--out", o},
      {"scan", "--disk"},
      {"scan", "--disk", d, "--out", o, "--folder-start", "abc"},
      {"scan", "--disk", d, "--out", o, "--folder-end", "3x"},
      {"scan", "--disk", d, "--out", o, "--bogus", "1"},
      {"scan", "--disk", d, "--out", o, "--channels", "1"},
      {"backup", "--disk", d, "--out", o, "--channels", "17"},
      {"backup", "--disk", d, "--out", o, "--channels", "0"},
      {"backup", "--disk", d, "--out", o, "--channels", "1,,2"},
      {"backup", "--disk", d, "--out", o, "--types", "alarm"},
      {"backup", "--disk", d, "--out", o, "--begin", "2012-13-01 00:00:00"},
      {"backup", "--disk", d, "--out", o, "--begin", "2012-02-30 00:00:00"},
      {"backup", "--disk", d, "--out", o, "--end", "yesterday"},
      {"backup", "--disk", d, "--out", o, "--end", "2012-01-01 24:00:00"},
      {"backup", "--disk", d, "--out", o, "--max-mb", "many"},
      {"backup", "--disk", d, "--out", o, "--max-mb", "-5"},
      {"scan", "--disk", d, "--out", o, "--folder-start", "-1"},
      {"backup", "--disk", d, "--out", o, "--folder-end", "-3"},
      {"scan", "--disk", d, "--out", o, "--folder-start", "5", "--folder-end", "2"},
      {"backup", "--disk", d, "--out", o, "--folder-start", "2", "--folder-end", "2"},
      {"backup", "--disk", d, "--out", o, "--begin", "2012-01-02 00:00:00", "--end", "2012-01-01 23:59:59"},
      {"scan", "--disk", d, "--out", o, "--partition", "two"},
      {"backup", "--disk", d, "--out", o, "--partition", "-1"},
      {"backup", "--disk", d, "--out", o, "--partition=0"},
      {"scan", "--disk", d, "--out", o, "--partition"},
      {"scan", "--disk", d, "--out", o, "--partition", "1"},  // a folder has no partitions
      {"scan", "--disk", d, "--out", o, "--clock-offset", "00:02:13"},
      {"backup", "--disk", d, "--out", o, "--clock-offset", "+00:61:00"},
      {"backup", "--disk", d, "--out", o, "--clock-offset", "2012-01-01 00:00:00"},
      {"backup", "--disk", d, "--out", o, "--clock-reading", "2012-01-01 00:00:00"},
      {"backup", "--disk", d, "--out", o, "--reference-reading", "2012-01-01 00:00:00"},
      {"backup", "--disk", d, "--out", o, "--clock-reading", "2012-01-01 00:00:00", "--reference-reading", "now"},
      {"backup", "--disk", d, "--out", o, "--clock-offset", "+00:00:01", "--clock-reading", "2012-01-01 00:00:00",
       "--reference-reading", "2012-01-01 00:00:00"},
      {"backup", "--disk", d, "--out", o, "--window-in", "corrected"},  // no offset to correct by
      {"backup", "--disk", d, "--out", o, "--clock-offset", "+00:00:01", "--window-in", "real"},
      {"scan", "--disk", d, "--out", o, "--clock-offset", "+00:00:01", "--window-in", "corrected"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    const ProgramRun run = cli(args);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_TRUE(testing::listFiles(o).empty());
}

// A mistyped disk, or one of the store's folders given as the disk, is
// refused before the job: one line naming what to give, nothing written.
TEST_F(CliTest, AMissingDiskOrAStoreFolderIsRefusedBeforeTheJob) {
  sampleStore();
  const std::string nowhere = disk_.path() + "-typo";
  const struct {
    std::string disk;
    int status;
    std::string says;
  } cases[] = {
      {nowhere, 1, "korvex-cli: the disk " + nowhere + " does not exist (No such file or directory)"},
      {disk_.path() + "/dir00000", 2, "the disk is the folder that holds it: --disk " + disk_.path()},
  };
  for (const auto& c : cases) {
    for (const char* command : {"scan", "backup"}) {
      SCOPED_TRACE(std::string(command) + " " + c.disk);
      const ProgramRun run = cli({command, "--disk", c.disk, "--out", out_.path()});
      EXPECT_EQ(run.exitStatus, c.status);
      ASSERT_EQ(lines(run.err).size(), 1u) << run.err;
      EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "");
      EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
    }
  }
}

TEST_F(CliTest, ScanPrintsTheReportPath) {
  sampleStore();
  // Neither folder needs its trailing '/'.
  const ProgramRun run = cli({"scan", "--disk", disk_.path(), "--out", out_.path()});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  const auto reports = testing::listFiles(out_.path(), "ScanFile_", ".txt");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(run.out, reports[0] + "\n");
  const std::string report = testing::readTextFile(reports[0]);
  EXPECT_EQ(report.rfind("  SN  | CHANNEL |", 0), 0u);
  EXPECT_EQ(lines(report).size(), 2u + 3u);  // header, empty line, three segments
}

TEST_F(CliTest, ScanWithoutVideoDataIsStatus3) {
  const ProgramRun none = cli({"scan", "--disk", disk_.path(), "--out", out_.path()});
  EXPECT_EQ(none.exitStatus, 3);
  EXPECT_NE(none.err.find("can't find video data!"), std::string::npos);
  EXPECT_EQ(none.out, "");

  // A recording file missing before the last folder: the rows found so far.
  testing::StoreWriter store(disk_.root());
  testing::FrameSpec frame;
  frame.timeStamp = T0;
  store.writeFile(0, 0, RecordingFileBuilder().frame(frame));
  store.fillFolder(1);
  const ProgramRun missing = cli({"scan", "--disk", disk_.path(), "--out", out_.path()});
  EXPECT_EQ(missing.exitStatus, 3);
  ASSERT_EQ(lines(missing.out).size(), 1u);
  EXPECT_EQ(lines(testing::readTextFile(lines(missing.out)[0])).size(), 3u);

  // ...but in the last folder of the range the scan is complete.
  const ProgramRun lastFolder =
      cli({"scan", "--disk", disk_.path(), "--out", out_.path(), "--folder-start", "1"});
  EXPECT_EQ(lastFolder.exitStatus, 0) << lastFolder.err;
}

TEST_F(CliTest, AReportThatCannotBeCreatedIsStatus1NamingPathAndReason) {
  sampleStore();
  const std::string missing = out_.path() + "/no/such/folder";
  const ProgramRun run = cli({"scan", "--disk", disk_.path(), "--out", missing});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("report"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
}

TEST_F(CliTest, BackupListsEachAviFileAsItIsCreated) {
  sampleStore();
  const ProgramRun run = cli({"backup", "--disk", disk_.path(), "--out", out_.path()});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  const auto printed = lines(run.out);
  EXPECT_EQ(printed, (std::vector<std::string>{out_.path() + "/folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi",
                                               out_.path() + "/folder=0_file=52_chn2_Motion_2012_5_4_8_9_11.avi",
                                               out_.path() + "/folder=1_file=72_chn1_Manual_2012_5_4_8_9_20.avi"}));
  for (const auto& path : printed) EXPECT_TRUE(testing::readAviContents(path).valid) << path;
  EXPECT_NE(run.err.find("finish!"), std::string::npos);
}

// A time file beside every AVI file unless --no-time-file.
TEST_F(CliTest, TheTimeFileIsWrittenUnlessTurnedOff) {
  sampleStore();
  TempDir off;
  ASSERT_EQ(cli({"backup", "--disk", disk_.path(), "--out", off.path(), "--no-time-file"}).exitStatus, 0);
  EXPECT_EQ(testing::listFiles(off.path(), "", ".srt").size(), 0u);
  ASSERT_EQ(cli({"backup", "--disk", disk_.path(), "--out", out_.path()}).exitStatus, 0);
  EXPECT_EQ(testing::listFiles(out_.path(), "", ".srt").size(), 3u);
  EXPECT_EQ(cli({"backup", "--disk", disk_.path(), "--out", out_.path(), "--no-time-file=yes"}).exitStatus, 2);
}

TEST_F(CliTest, TheClockOffsetIsLoggedWithWhoGaveItAndTheWindowUsed) {
  sampleStore();
  TempDir scanOut;
  ASSERT_EQ(cli({"scan", "--disk", disk_.path(), "--out", scanOut.path(), "--clock-offset", "-00:00:30"}).exitStatus,
            0);
  ASSERT_EQ(cli({"backup", "--disk", disk_.path(), "--out", out_.path(), "--clock-reading", "2012-05-04 08:19:20",
                 "--reference-reading", "2012-05-04 08:09:20", "--window-in", "corrected", "--begin",
                 "2012-05-04 07:59:20"})
                .exitStatus,
            0);
  const auto logOf = [](const std::string& folder) {
    const auto logs = testing::listFiles(folder, "", ".json");
    EXPECT_EQ(logs.size(), 1u);
    std::ifstream in(logs.at(0));
    return nlohmann::json::parse(in)["clockOffset"];
  };
  const auto scan = logOf(scanOut.path()), backup = logOf(out_.path());
  EXPECT_EQ(scan["seconds"], -30);
  EXPECT_TRUE(scan["recorderReading"].is_null());
  EXPECT_NE(scan["givenBy"].get<std::string>().find(" (given with --clock-offset)"), std::string::npos);
  EXPECT_EQ(backup["seconds"], 600);
  EXPECT_EQ(backup["recorderReading"], "2012-05-04 08:19:20");
  EXPECT_EQ(backup["referenceReading"], "2012-05-04 08:09:20");
  EXPECT_EQ(backup["givenAt"].get<std::string>().size(), 25u);
  EXPECT_EQ(backup["timeWindow"]["enteredIn"], "corrected");
  EXPECT_EQ(backup["timeWindow"]["entered"]["begin"]["text"], "2012_5_4_7_59_20");
  EXPECT_EQ(backup["timeWindow"]["used"]["begin"]["text"], "2012_5_4_8_9_20");
  // The AVI names stay in the recorder's time.
  const auto avis = testing::listFiles(out_.path(), "", ".avi");
  ASSERT_EQ(avis.size(), 1u);
  EXPECT_NE(avis[0].find("_2012_5_4_8_9_20.avi"), std::string::npos) << avis[0];
}

TEST_F(CliTest, ABackupEndedByTheSizeLimitSaysSo) {
  testing::SimulationOptions options;
  options.media = testing::SimulatedMedia::Synthetic;
  testing::simulateRecorder(disk_.root(), {{0, 1, T0, 4, false}}, options);
  const ProgramRun limited = cli({"backup", "--disk", disk_.path(), "--out", out_.path(), "--max-mb", "1"});
  EXPECT_EQ(limited.exitStatus, 0) << limited.err;
  EXPECT_EQ(lines(limited.out).size(), 1u);
  EXPECT_NE(limited.err.find("size limit reached ("), std::string::npos) << limited.err;
  EXPECT_EQ(limited.err.find("finish!"), std::string::npos) << limited.err;
  // Without a limit the same store is finished.
  TempDir all;
  const ProgramRun whole = cli({"backup", "--disk", disk_.path(), "--out", all.path()});
  EXPECT_EQ(whole.exitStatus, 0) << whole.err;
  EXPECT_NE(whole.err.find("finish! ("), std::string::npos) << whole.err;
}

TEST_F(CliTest, TheLogsAreNamedOnStderrWhileStdoutListsOnlyTheOutput) {
  sampleStore();
  const ProgramRun backup = cli({"backup", "--disk", disk_.path(), "--out", out_.path()});
  EXPECT_EQ(backup.exitStatus, 0) << backup.err;
  EXPECT_EQ(lines(backup.out), testing::listFiles(out_.path(), "", ".avi"));
  const auto lists = testing::listFiles(out_.path(), "BackupLog_", ".sha256");
  const auto logs = testing::listFiles(out_.path(), "BackupLog_", ".json");
  ASSERT_EQ(lists.size(), 1u);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(backup.err.find("hash list: " + lists[0]), std::string::npos) << backup.err;
  EXPECT_NE(backup.err.find("sha256sum -c " + lists[0].substr(lists[0].rfind('/') + 1)), std::string::npos);
  EXPECT_NE(backup.err.find("job log: " + logs[0] + "\n"), std::string::npos) << backup.err;
  const ProgramRun check = checkHashes(lists[0]);
  EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
  EXPECT_EQ(lines(check.out).size(), 6u);  // each AVI file and its time file

  const ProgramRun scan = cli({"scan", "--disk", disk_.path(), "--out", out_.path()});
  EXPECT_EQ(scan.exitStatus, 0) << scan.err;
  const auto reports = testing::listFiles(out_.path(), "ScanFile_", ".txt");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(scan.out, reports[0] + "\n");
  const std::string stem = reports[0].substr(0, reports[0].size() - 4);
  EXPECT_NE(scan.err.find("hash list: " + stem + ".sha256"), std::string::npos) << scan.err;
  EXPECT_NE(scan.err.find("job log: " + stem + ".json\n"), std::string::npos) << scan.err;
  EXPECT_EQ(checkHashes(stem + ".sha256").exitStatus, 0);
}

// The check printed at the end, run as a user pastes it into a shell.
TEST_F(CliTest, TheHashCheckPrintedWorksInAShellForAnyFolderName) {
  sampleStore();
  const std::string names[] = {"plain", "two words", "it's", "$(false)`x`;|&*?", "caf\xe9", "a\nb"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    TempDir base;
    const std::string out = base.path() + "/" + name;
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    const ProgramRun run = cli({"backup", "--disk", disk_.path(), "--out", out});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::size_t from = run.err.find("(to check: ");
    const std::size_t to = run.err.find(")\njob log: ");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos) << run.err;
    const std::string check = run.err.substr(from + 11, to - from - 11);
    const ProgramRun checked = testing::runProgram({"sh", "-c", check});
    EXPECT_EQ(checked.exitStatus, 0) << check << "\n" << checked.err;
    EXPECT_EQ(lines(checked.out).size(), 6u) << checked.out;  // the AVI files and their time files
  }
}

// A job that wrote nothing leaves an empty list: sha256sum would fail on
// it, so no check is offered.
TEST_F(CliTest, AnEmptyHashListOffersNoCheck) {
  for (const char* command : {"scan", "backup"}) {
    SCOPED_TRACE(command);
    TempDir out;
    const ProgramRun run = cli({command, "--disk", disk_.path(), "--out", out.path()});
    EXPECT_EQ(run.exitStatus, 3);
    const auto lists = testing::listFiles(out.path(), "", ".sha256");
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(testing::readTextFile(lists[0]), "");
    EXPECT_NE(run.err.find("hash list: " + lists[0] + " (empty: no file to check)\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("sha256sum"), std::string::npos) << run.err;
  }
}

// On a full disk the end names every file the log calls unfinished, and
// calls no file complete that the log does not.
TEST_F(CliTest, AFullDiskNamesEveryFileTheLogCallsUnfinished) {
  testing::ScratchMount small(512 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  std::vector<SimulatedSegment> segments;
  for (int i = 0; i < 24; ++i) segments.push_back({i % 4, 1, T0 + 3 * i, 2, true});
  testing::SimulationOptions options;
  options.fileBytes = 200000;
  testing::simulateRecorder(disk_.root(), segments, options);
  const ProgramRun run = cli({"backup", "--disk", disk_.path(), "--out", small.path()});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
  std::ifstream in(testing::listFiles(small.path(), "BackupLog_", ".json").at(0));
  const nlohmann::json log = nlohmann::json::parse(in, nullptr, false);
  ASSERT_FALSE(log.is_discarded());
  std::size_t unfinished = 0;
  for (const auto& file : log["files"]) {
    if (file["finished"].get<bool>()) continue;
    ++unfinished;
    const std::string path = small.path() + "/" + file["name"].get<std::string>();
    EXPECT_TRUE(run.err.find(path + ",") != std::string::npos || run.err.find(path + "\n") != std::string::npos)
        << path << "\n" << run.err;
  }
  ASSERT_GT(unfinished, 0u);
  EXPECT_EQ(run.err.find("complete"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(std::to_string(log["files"].size() - unfinished) + " of the " +
                         std::to_string(log["files"].size()) + " AVI files listed are finished"),
            std::string::npos)
      << run.err;
}

TEST_F(CliTest, ALogThatCannotBeWrittenIsNamedWithTheReason) {
  testing::ScratchMount small(64 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  {
    // Every block taken: files can be created, but hold nothing.
    std::ofstream filler(small.path() + "/filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }
  sampleStore();
  const ProgramRun run = cli({"scan", "--disk", disk_.path(), "--out", small.path()});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("cannot write the job's log " + small.path() + "/ScanFile_"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
  // Nothing half written is left to pass for a log.
  EXPECT_EQ(testing::listFiles(small.path(), "ScanFile_", ".json"), std::vector<std::string>{});
}

TEST_F(CliTest, BackupSelectionByTimeChannelAndType) {
  sampleStore();
  struct Case {
    std::vector<std::string> selection;
    std::size_t files;
    int status;
  };
  const std::vector<Case> cases = {
      {{"--channels", "2"}, 1, 0},
      {{"--channels", "1,16"}, 2, 0},
      {{"--types", "manual"}, 1, 0},
      {{"--types", "sensor"}, 0, 3},
      {{"--begin", "2012-05-04 08:09:20"}, 1, 0},
      {{"--end", "2012-05-04 08:09:10"}, 1, 0},
      {{"--begin", "2012-05-05 00:00:00"}, 0, 3},
      // The window in corrected time: the recorder ran 10 minutes ahead.
      {{"--clock-offset", "+00:10:00", "--window-in", "corrected", "--begin", "2012-05-04 07:59:20"}, 1, 0},
      {{"--clock-offset", "+00:10:00", "--begin", "2012-05-04 08:09:20"}, 1, 0},
      {{"--clock-offset", "+00:10:00", "--window-in=corrected", "--begin", "2012-05-04 08:09:20"}, 0, 3},
      {{"--clock-reading", "2012-05-04 08:19:20", "--reference-reading", "2012-05-04 08:09:20", "--window-in",
        "corrected", "--end", "2012-05-04 07:59:10"},
       1,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.selection[0] + " " + c.selection[1]);
    TempDir out;
    std::vector<std::string> args = {"backup", "--disk", disk_.path(), "--out", out.path()};
    args.insert(args.end(), c.selection.begin(), c.selection.end());
    const ProgramRun run = cli(args);
    EXPECT_EQ(run.exitStatus, c.status) << run.err;
    EXPECT_EQ(lines(run.out).size(), c.files);
    EXPECT_EQ(testing::listFiles(out.path(), "", ".avi").size(), c.files);
    if (c.status == 3) {
      EXPECT_NE(run.err.find("can't find video data!"), std::string::npos);
    }
  }
}

TEST_F(CliTest, BackupRefusesAnOutputFolderItCannotWriteBeforeStarting) {
  sampleStore();
  const ProgramRun run = cli({"backup", "--disk", disk_.path(), "--out", out_.path() + "/missing"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(lines(run.err).size(), 1u);
  EXPECT_NE(run.err.find(out_.path() + "/missing"), std::string::npos);
  const std::string file = out_.file("plain");
  RecordingFileBuilder().writeTo(file);
  EXPECT_EQ(cli({"backup", "--disk", disk_.path(), "--out", file}).exitStatus, 1);
}

// Starts the companion with stdout on a pipe, waits for its first line,
// then interrupts it with `signal` and returns its exit status and output.
struct Interrupted {
  int status = -1;
  std::string out;
};

Interrupted interruptAfterFirstLine(const std::vector<std::string>& args, int signal) {
  Interrupted result;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  std::string program = KORVEX_CLI_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    return result;
  }
  char c;
  bool stopped = false;
  while (read(pipeFds[0], &c, 1) == 1) {
    result.out += c;
    if (c == '\n' && !stopped) {
      // Held still while the signal is sent, so that the job cannot run to
      // its end first; it sees the signal as soon as it goes on.
      kill(child, SIGSTOP);
      kill(child, signal);
      kill(child, SIGCONT);
      stopped = true;
    }
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST_F(CliTest, AnInterruptedBackupFinishesEveryAviFile) {
  // Many recording files, so that the job is far from its end when the
  // first AVI file is created.
  std::vector<SimulatedSegment> segments;
  for (int k = 0; k < 4; ++k) segments.push_back({k, 1, T0, 20, true});
  testing::SimulationOptions options;
  options.fileBytes = 2000;
  testing::simulateRecorder(disk_.root(), segments, options);

  // A closed terminal or a dropped remote session sends SIGHUP.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    TempDir out;
    const Interrupted run = interruptAfterFirstLine({"backup", "--disk", disk_.path(), "--out", out.path()}, signal);
    EXPECT_EQ(run.status, 130);
    const auto printed = lines(run.out);
    ASSERT_FALSE(printed.empty());
    EXPECT_LT(printed.size(), 4u + 1);
    for (const auto& path : printed) {
      const auto avi = testing::readAviContents(path);
      EXPECT_TRUE(avi.valid) << path;
      EXPECT_EQ(avi.indexEntries, avi.chunks.size()) << path;
    }
    // The log tells a signal from a Stop button, and lists what was written.
    const auto logs = testing::listFiles(out.path(), "BackupLog_", ".json");
    ASSERT_EQ(logs.size(), 1u);
    std::ifstream in(logs[0]);
    const nlohmann::json log = nlohmann::json::parse(in, nullptr, false);
    ASSERT_FALSE(log.is_discarded());
    EXPECT_EQ(log["outcome"], "interrupted");
    EXPECT_EQ(log["files"].size(), printed.size());
    EXPECT_EQ(checkHashes(testing::listFiles(out.path(), "BackupLog_", ".sha256").at(0)).exitStatus, 0);
  }
}

TEST_F(CliTest, AnOutputFolderOnTheDiskIsRefusedBeforeAnythingIsWritten) {
  sampleStore();
  const auto before = testing::listFiles(disk_.path());
  for (const std::string& out : {disk_.path(), disk_.path() + "/dir00000"}) {
    for (const char* command : {"scan", "backup"}) {
      SCOPED_TRACE(std::string(command) + " " + out);
      const ProgramRun run = cli({command, "--disk", disk_.path(), "--out", out});
      EXPECT_EQ(run.exitStatus, 1);
      EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
      EXPECT_NE(run.err.find("never written"), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "");
    }
  }
  EXPECT_EQ(testing::listFiles(disk_.path()), before);
}

TEST_F(CliTest, AFolderAnotherJobWritesToIsRefused) {
  sampleStore();
  const LockedOutputFolder held = OutputFolderLock::acquire(out_.path());
  ASSERT_TRUE(held) << held.failure.reason;
  for (const char* command : {"scan", "backup"}) {
    SCOPED_TRACE(command);
    const ProgramRun run = cli({command, "--disk", disk_.path(), "--out", out_.path()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("another job is writing"), std::string::npos) << run.err;
  }
  EXPECT_TRUE(testing::listFiles(out_.path()).empty());
}

TEST_F(CliTest, TwoBackupsStartedTogetherNeverShareAFile) {
  std::vector<SimulatedSegment> segments;
  for (int k = 0; k < 4; ++k) segments.push_back({k, 1, T0, 40, true});
  testing::SimulationOptions options;
  options.fileBytes = 20000;
  testing::simulateRecorder(disk_.root(), segments, options);
  // Different selections, one folder: whichever starts second is refused
  // while the first runs; if they do not meet, the second's files get new
  // names. Either way every file is whole.
  auto first = std::async(std::launch::async, [&] {
    return cli({"backup", "--disk", disk_.path(), "--out", out_.path(), "--channels", "1,2"});
  });
  auto second = std::async(std::launch::async, [&] {
    return cli({"backup", "--disk", disk_.path(), "--out", out_.path(), "--channels", "1,3"});
  });
  const ProgramRun a = first.get(), b = second.get();
  int refused = 0;
  std::vector<std::string> written;
  for (const ProgramRun* run : {&a, &b}) {
    if (run->exitStatus == 1) {
      EXPECT_NE(run->err.find("another job is writing"), std::string::npos) << run->err;
      EXPECT_EQ(run->out, "");
      ++refused;
      continue;
    }
    EXPECT_EQ(run->exitStatus, 0) << run->err;
    for (const auto& path : lines(run->out)) written.push_back(path);
  }
  EXPECT_LE(refused, 1);
  std::vector<std::string> sorted = written;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "a file named twice";
  EXPECT_EQ(sorted, testing::listFiles(out_.path(), "", ".avi"));
  for (const auto& path : written) {
    const auto avi = testing::readAviContents(path);
    EXPECT_TRUE(avi.valid) << path;
    EXPECT_EQ(avi.count("00db"), 40u * 25) << path;
  }
}

TEST_F(CliTest, AnUnreadableRecordingFileIsStatus1NamingIt) {
  sampleStore();
  const std::string victim = disk_.path() + "/dir00000/file0002.dat";
  ASSERT_EQ(unlink(victim.c_str()), 0);
  ASSERT_EQ(mkfifo(victim.c_str(), 0644), 0);
  for (const char* command : {"scan", "backup"}) {
    SCOPED_TRACE(command);
    TempDir out;
    const ProgramRun run = cli({command, "--disk", disk_.path(), "--out", out.path()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find(victim), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, RecoverReadsOnPastDamageAndListsWhatItFound) {
  // A garbage region in the middle of a file's frames, and a file replaced
  // by a FIFO.
  testing::StoreWriter store(disk_.root());
  RecordingFileBuilder damaged;
  for (int i = 0; i < 10; ++i) {
    if (i == 5) damaged.raw(std::vector<std::uint8_t>(100, 0x5a));
    damaged.frame(testing::keyedFrame(0, 1, 1, T0 + i));
  }
  store.writeFile(0, 0, damaged.timesFromFrames());
  const std::string victim = store.filePath(0, 1);
  ASSERT_EQ(mkfifo(victim.c_str(), 0644), 0);
  store.fillFolder(0, 2);
  // Nothing confirms the length of frame 4, before the garbage: it goes with it.
  const std::uint64_t ended = FILE_HEADER_SIZE + 4 * (FRAME_HEADER_SIZE + 16);

  const ProgramRun plain = cli({"scan", "--disk", disk_.path(), "--out", out_.path()});
  EXPECT_EQ(plain.exitStatus, 1);
  const ProgramRun run = cli({"scan", "--disk", disk_.path(), "--out", out_.path(), "--recover"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.err.find("recovery: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("dir00000/file0000.dat: frames ended at byte " + std::to_string(ended) + ", went on at " +
                         std::to_string(ended + 244) + " (244 bytes passed over)"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("1 damaged frames passed over, 0 frames outside the time window passed over"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("dir00000/file0000.dat: frame at byte " + std::to_string(ended) +
                         " passed over: no frame header follows its payload"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("dir00000/file0001.dat passed over: not a regular file"), std::string::npos) << run.err;
  const std::vector<std::string> report = lines(testing::readTextFile(run.out.substr(0, run.out.size() - 1)));
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.back(), "Recovery: 1 of 1 segments hold recovered frames\r");

  TempDir out;
  const ProgramRun backup = cli({"backup", "--disk", disk_.path(), "--out", out.path(), "--recover"});
  EXPECT_EQ(backup.exitStatus, 0) << backup.err;
  EXPECT_NE(backup.err.find("recovery: "), std::string::npos) << backup.err;
  EXPECT_EQ(cli({"scan", "--disk", disk_.path(), "--out", out_.path(), "--recover=yes"}).exitStatus, 2);
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

// The log a run names on stderr.
nlohmann::json logNamedIn(const std::string& err) {
  const std::size_t at = err.find("job log: ") + 9;
  std::ifstream in(err.substr(at, err.find('\n', at) - at));
  return nlohmann::json::parse(in, nullptr, false);
}

TEST_F(CliTest, AStoreRootThatCannotBeListedIsStatus1NamingIt) {
  sampleStore();
  // Root lists any folder whatever its mode: as root, the companion runs as nobody.
  std::vector<std::string> args;
  if (getuid() == 0) {
    args = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    std::vector<std::string> probe = args;
    probe.push_back("true");
    if (!testing::programOnPath("setpriv") || testing::runProgram(probe).exitStatus != 0)
      GTEST_SKIP() << "running as root, and setpriv cannot run the companion as another user";
  }
  args.insert(args.end(), {KORVEX_CLI_PATH, "", "--disk", disk_.path(), "--out", out_.path()});
  ASSERT_EQ(chmod(out_.path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(disk_.path().c_str(), 0), 0);
  const std::string reason = "cannot list the store's folder " + disk_.root() + ": Permission denied";
  for (const char* command : {"scan", "backup"}) {
    args[args.size() - 5] = command;
    const ProgramRun run = testing::runProgram(args);
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    const nlohmann::json log = logNamedIn(run.err);
    EXPECT_EQ(log.value("outcome", ""), "failed") << command;
    EXPECT_EQ(log.value("reason", ""), reason) << command;
  }
  ASSERT_EQ(chmod(disk_.path().c_str(), 0700), 0);
}

// dir00000 and dir00002 hold recordings, dir00001 is missing and dir00002
// was never filled past its first file.
TEST_F(CliTest, AMissingFolderHidesNoneAfterIt) {
  testing::StoreWriter store(disk_.root());
  store.writeFile(0, 0, RecordingFileBuilder().frame(testing::keyedFrame(0, 1, 1, T0)).timesFromFrames());
  store.fillFolder(0);
  store.writeFile(2, 0, RecordingFileBuilder().frame(testing::keyedFrame(1, 2, 2, T0 + 60)).timesFromFrames());
  const std::string hidden = "folders that exist and were not read (--recover reads them): dir00002";
  for (const bool recover : {false, true}) {
    SCOPED_TRACE(recover);
    TempDir scanOut, backupOut;
    std::vector<std::string> scan = {"scan", "--disk", disk_.path(), "--out", scanOut.path()};
    std::vector<std::string> backup = {"backup", "--disk", disk_.path(), "--out", backupOut.path()};
    if (recover) {
      scan.push_back("--recover");
      backup.push_back("--recover");
    }
    const ProgramRun scanned = cli(scan), backedUp = cli(backup);
    EXPECT_EQ(scanned.exitStatus, 0) << scanned.err;
    EXPECT_EQ(backedUp.exitStatus, 0) << backedUp.err;
    EXPECT_EQ(scanned.err.find(hidden) != std::string::npos, !recover) << scanned.err;
    EXPECT_EQ(backedUp.err.find(hidden) != std::string::npos, !recover) << backedUp.err;
    // With recovery both folders' segments and AVI files (a line for the recovery count).
    EXPECT_EQ(lines(testing::readTextFile(lines(scanned.out).at(0))).size(), recover ? 2u + 2u + 1u : 2u + 1u);
    EXPECT_EQ(lines(backedUp.out).size(), recover ? 2u : 1u);
    const nlohmann::json log = logNamedIn(scanned.err);
    if (!recover) {
      EXPECT_EQ(log["missing"]["foldersLeft"], nlohmann::json::array({"dir00002"}));
      continue;
    }
    // The files never written at the end of the last folder are one entry;
    // the missing folder is no entry.
    EXPECT_EQ(log["recovery"]["passedOver"],
              nlohmann::json::parse(R"([{"file": "dir00002/file0001.dat", "through": "dir00002/file0127.dat",
                                         "files": 127, "reason": "No such file or directory"}])"));
  }
}

}  // namespace
}  // namespace korvex
