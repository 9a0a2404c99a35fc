// korvex-cli verify run on a backup's own output: what holds, and each way
// an export or the store can come to differ from the log.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::cli;
using testing::ProgramRun;
using testing::T0;
using testing::TempDir;

// Adds one to the byte at `offset` of the file.
void changeByte(const std::string& path, std::uint64_t offset) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  const int byte = file.get();
  file.seekp(static_cast<std::streamoff>(offset));
  file.put(static_cast<char>(byte + 1));
  ASSERT_TRUE(file.good()) << path;
}

std::string onlyFile(const std::string& folder, const std::string& prefix, const std::string& extension) {
  const auto files = testing::listFiles(folder, prefix, extension);
  return files.size() == 1 ? files[0] : std::string();
}

enum class Tamper { Nothing, AviByte, StorePayloadByte, AviRemoved, HashListLine };

struct VerifyCase {
  const char* name;
  Tamper tamper;
  bool withDisk;
  int status;
  // What stderr says, with {avi} for the changed AVI file and {frame} for
  // the recording file and offset of the changed frame.
  std::vector<std::string> said;
};

void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.name; }

class VerifyTest : public ::testing::TestWithParam<VerifyCase> {
 protected:
  VerifyTest() : zone_("UTC0") {}
  testing::ScopedTimeZone zone_;
};

TEST_P(VerifyTest, NamesEachDifference) {
  const VerifyCase& c = GetParam();
  TempDir disk, out;
  // Two channels with sound on the first, in small files: several runs of
  // frames per AVI file, across recording files.
  testing::SimulationOptions options;
  options.fileBytes = 20000;
  testing::SimulatedPlace changed;
  int channelFrames = 0;
  options.onFrame = [&](testing::FrameSpec& frame, const testing::SimulatedPlace& place) {
    if (frame.channel == 0 && frame.frameKind != FRAME_KIND_AUDIO && ++channelFrames == 30) changed = place;
  };
  testing::simulateRecorder(disk.root(), {{0, 1, T0, 4, true}, {1, 2, T0, 3, false}}, options);
  ASSERT_GT(channelFrames, 30);

  const ProgramRun backup = cli({"backup", "--disk", disk.path(), "--out", out.path()});
  ASSERT_EQ(backup.exitStatus, 0) << backup.err;
  const std::string log = onlyFile(out.path(), "BackupLog_", ".json");
  const std::string avi = onlyFile(out.path(), "folder=0_file=0_chn1", ".avi");
  ASSERT_FALSE(log.empty() || avi.empty());

  char name[64];
  std::snprintf(name, sizeof name, "/dir%05d/file%04d.dat", changed.folder, changed.file);
  const std::string recording = disk.path() + name;
  switch (c.tamper) {
    case Tamper::Nothing:
      break;
    case Tamper::AviByte:
      changeByte(avi, std::filesystem::file_size(avi) / 2);
      break;
    case Tamper::StorePayloadByte:
      changeByte(recording, changed.offset + FRAME_HEADER_SIZE + 7);
      break;
    case Tamper::AviRemoved:
      std::filesystem::remove(avi);
      break;
    case Tamper::HashListLine: {
      const std::string list = log.substr(0, log.size() - 5) + ".sha256";
      std::ofstream(list, std::ios::app) << "0000000000000000000000000000000000000000000000000000000000000000  other.avi\n";
      break;
    }
  }
  std::vector<std::string> args = {"verify", log};
  if (c.withDisk) args.insert(args.end(), {"--disk", disk.path()});
  const ProgramRun run = cli(args);
  EXPECT_EQ(run.exitStatus, c.status) << run.err;
  EXPECT_EQ(run.out, "");
  for (std::string said : c.said) {
    for (const auto& [mark, value] :
         {std::pair<std::string, std::string>{"{avi}", avi},
          {"{frame}", recording + " at offset " + std::to_string(changed.offset)}}) {
      if (const auto at = said.find(mark); at != std::string::npos) said.replace(at, mark.size(), value);
    }
    EXPECT_NE(run.err.find(said), std::string::npos) << said << "\n" << run.err;
  }
  // One line per difference, then the summary.
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), static_cast<long>(c.said.size()) + 1) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerifyTest,
    ::testing::Values(
        VerifyCase{"FreshExport", Tamper::Nothing, false, 0, {}},
        VerifyCase{"FreshExportOnTheDisk", Tamper::Nothing, true, 0, {}},
        VerifyCase{"AviByteChanged", Tamper::AviByte, false, 1, {"{avi}: its SHA-256 is "}},
        VerifyCase{"AviByteChangedOnTheDisk",
                   Tamper::AviByte,
                   true,
                   1,
                   {"{avi}: its SHA-256 is ", "{avi}: chunk "}},
        VerifyCase{"StorePayloadChanged",
                   Tamper::StorePayloadByte,
                   true,
                   1,
                   {"is not the payload of its frame: channel 1, {frame}, 2012-05-04 08:09:1",
                    "{avi}: the payloads read from the disk do not give the log's payloadSha256"}},
        VerifyCase{"StorePayloadChangedWithoutTheDisk", Tamper::StorePayloadByte, false, 0, {}},
        VerifyCase{"AviMissing", Tamper::AviRemoved, false, 1, {"{avi}: cannot be read: "}},
        VerifyCase{"HashListNamesAnotherFile", Tamper::HashListLine, false, 1, {": lists other.avi, which the log does not"}}),
    [](const ::testing::TestParamInfo<VerifyCase>& tested) { return std::string(tested.param.name); });

TEST(VerifyUsage, BadUsageIsStatus2) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"verify"}, {"verify", "a.json", "b.json"}, {"verify", "a.json", "--out", "x"},
        {"verify", "a.json", "--disk"}}) {
    const ProgramRun run = cli(args);
    EXPECT_EQ(run.exitStatus, 2) << run.err;
  }
  TempDir folder;
  const ProgramRun notALog = cli({"verify", folder.file("none.json")});
  EXPECT_EQ(notALog.exitStatus, 1);
  EXPECT_NE(notALog.err.find(folder.file("none.json") + ": cannot read the log: "), std::string::npos) << notALog.err;
}

// The case details reach the log only when given, under the names the
// report reads.
TEST(CaseDetails, AreInTheLogOnlyWhenGiven) {
  const testing::ScopedTimeZone zone("UTC0");
  TempDir disk;
  testing::simulateRecorder(disk.root(), {{0, 1, T0, 2, false}});
  struct Run {
    std::vector<std::string> options;
    nlohmann::json expected;
  } runs[] = {
      {{}, nullptr},
      {{"--case", "2026/118", "--exhibit", "HDD-3", "--examiner", "J. Doe", "--organisation", "Lab", "--notes",
        "seal intact"},
       {{"number", "2026/118"}, {"exhibit", "HDD-3"}, {"examiner", "J. Doe"}, {"organisation", "Lab"},
        {"notes", "seal intact"}}},
      {{"--examiner", "J. Doe"},
       {{"number", nullptr}, {"exhibit", nullptr}, {"examiner", "J. Doe"}, {"organisation", nullptr},
        {"notes", nullptr}}},
  };
  for (const char* command : {"scan", "backup"}) {
    for (const Run& r : runs) {
      TempDir out;
      std::vector<std::string> args = {command, "--disk", disk.path(), "--out", out.path()};
      args.insert(args.end(), r.options.begin(), r.options.end());
      const ProgramRun run = cli(args);
      ASSERT_EQ(run.exitStatus, 0) << run.err;
      const auto logs = testing::listFiles(out.path(), "", ".json");
      ASSERT_EQ(logs.size(), 1u);
      const auto log = nlohmann::json::parse(testing::readTextFile(logs[0]));
      if (r.expected.is_null()) EXPECT_FALSE(log.contains("case")) << command;
      else EXPECT_EQ(log["case"], r.expected) << command;
      // A scan's log vouches for its report, a backup's for the AVI file
      // and its time file.
      const ProgramRun verified = cli({"verify", logs[0]});
      EXPECT_EQ(verified.exitStatus, 0) << verified.err;
      const std::string held = std::string("all of ") + (std::string(command) == "scan" ? "1" : "2") + " files";
      EXPECT_NE(verified.err.find(held), std::string::npos) << verified.err;
    }
  }
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

// Selections that leave frames of a channel out between the ones a file
// takes: the runs the log records still name exactly the file's chunks.
TEST(VerifyAfterASelection, EveryChunkMeetsItsFrame) {
  const testing::ScopedTimeZone zone("UTC0");
  TempDir disk;
  testing::SimulationOptions options;
  options.fileBytes = 30000;
  testing::simulateRecorder(disk.root(), {{0, 1, T0, 4, true}, {1, 2, T0, 4, true}, {0, 8, T0 + 6, 2, true}},
                            options);
  const std::vector<std::vector<std::string>> selections = {
      {},
      {"--channels", "2"},
      {"--begin", "2012-05-04 08:09:11", "--end", "2012-05-04 08:09:12"},
      {"--types", "time,manual"},
      {"--recover"},
  };
  for (const auto& selection : selections) {
    TempDir out;
    std::vector<std::string> args = {"backup", "--disk", disk.path(), "--out", out.path()};
    args.insert(args.end(), selection.begin(), selection.end());
    const ProgramRun backup = cli(args);
    ASSERT_EQ(backup.exitStatus, 0) << backup.err;
    const ProgramRun run = cli({"verify", onlyFile(out.path(), "BackupLog_", ".json"), "--disk", disk.path()});
    EXPECT_EQ(run.exitStatus, 0) << (selection.empty() ? "" : selection[0]) << "\n" << run.err;
    EXPECT_EQ(run.err.find(" 0 chunks"), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace korvex
