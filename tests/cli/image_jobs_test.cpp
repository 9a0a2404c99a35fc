// korvex-cli's scan and backup run on disk images built by Debian's tools
// from a store folder: the report and every AVI file are byte for byte what
// the same jobs write from the folder, and the image is left as it was.
// Broken images end with a reason and a non-zero status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/disk_images.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;
using testing::SimulatedSegment;
using testing::T0;
using testing::TempDir;

constexpr std::uint64_t MIB = 1024 * 1024;

ProgramRun cli(std::vector<std::string> args) {
  args.insert(args.begin(), KORVEX_CLI_PATH);
  return testing::runProgram(args);
}

// What a scan and a backup leave in their output folders: the report's bytes
// and every AVI file's bytes by name.
struct JobOutputs {
  std::string report;
  std::map<std::string, std::vector<std::uint8_t>> avis;
};

// Runs both jobs on `disk` (with `extra` options) into fresh folders.
JobOutputs runJobs(const std::string& disk, const std::vector<std::string>& extra) {
  JobOutputs outputs;
  TempDir scanOut, backupOut;
  std::vector<std::string> scan = {"scan", "--disk", disk, "--out", scanOut.path()};
  scan.insert(scan.end(), extra.begin(), extra.end());
  const ProgramRun scanned = cli(scan);
  EXPECT_EQ(scanned.exitStatus, 0) << disk << ": " << scanned.err;
  const std::vector<std::string> reports = testing::listFiles(scanOut.path(), "ScanFile_", ".txt");
  EXPECT_EQ(reports.size(), 1u) << disk;
  if (reports.size() == 1) outputs.report = testing::readTextFile(reports[0]);

  std::vector<std::string> backup = {"backup", "--disk", disk, "--out", backupOut.path()};
  backup.insert(backup.end(), extra.begin(), extra.end());
  const ProgramRun backedUp = cli(backup);
  EXPECT_EQ(backedUp.exitStatus, 0) << disk << ": " << backedUp.err;
  for (const std::string& avi : testing::listFiles(backupOut.path(), "", ".avi"))
    outputs.avis[fs::path(avi).filename().string()] = testing::readBytes(avi);
  return outputs;
}

// Size, modification time and SHA-256 of a file.
struct Evidence {
  std::uint64_t size = 0;
  std::int64_t mtimeSeconds = 0;
  long mtimeNanoseconds = 0;
  std::string sha256;
  bool operator==(const Evidence&) const = default;
};

Evidence evidenceOf(const std::string& path) {
  Evidence e;
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  e.size = static_cast<std::uint64_t>(info.st_size);
  e.mtimeSeconds = info.st_mtim.tv_sec;
  e.mtimeNanoseconds = info.st_mtim.tv_nsec;
  EXPECT_EQ(testing::runShell("sha256sum " + testing::shellQuoted(path) + " | cut -c1-64", &e.sha256), 0);
  return e;
}

// Makes the image from the store folder; "" or what went wrong.
using ImageBuilder = std::function<std::string(const TempDir& work, const std::string& store, std::string& image)>;

struct ImageCase {
  const char* name;
  std::vector<std::string> tools;
  ImageBuilder build;
  std::vector<std::string> options;  // given to both jobs besides --disk and --out
};

void PrintTo(const ImageCase& c, std::ostream* out) { *out << c.name; }

std::string fat32(const TempDir& work, const std::string& store, std::string& image) {
  image = work.file("fat32.img");
  return testing::makeFat32Image(store, image, 40 * MIB);
}

std::string ext4(const TempDir& work, const std::string& store, std::string& image) {
  image = work.file("ext4.img");
  return testing::makeExt4Image(store, image, 24 * MIB);
}

// An empty ext4 file system on the first partition, the store in FAT32 on
// the second.
std::string mbr(const TempDir& work, const std::string& store, std::string& image) {
  const std::string empty = work.path() + "/empty";
  fs::create_directories(empty);
  std::string error = testing::makeExt4Image(empty, work.file("p1.img"), 2 * MIB);
  if (error.empty()) error = testing::makeFat32Image(store, work.file("p2.img"), 40 * MIB);
  image = work.file("mbr.img");
  if (error.empty())
    error = testing::makePartitionedImage(image, {{work.file("p1.img"), "83"}, {work.file("p2.img"), "c"}});
  fs::remove(work.file("p1.img"));
  fs::remove(work.file("p2.img"));
  return error;
}

// An EWF set in 4 MiB segments of a raw ext4 image; only the set is left.
std::string ewf(const TempDir& work, const std::string& store, std::string& image) {
  std::string error = testing::makeExt4Image(store, work.file("disk.raw"), 24 * MIB);
  if (error.empty()) error = testing::makeEwfSet(work.file("disk.raw"), work.path() + "/evidence", 4 * MIB);
  fs::remove(work.file("disk.raw"));
  image = work.path() + "/evidence.E01";
  return error;
}

const ImageCase IMAGE_CASES[] = {
    {"Fat32", {"mkfs.vfat", "mcopy"}, fat32, {}},
    {"Ext4", {"mkfs.ext4"}, ext4, {}},
    {"MbrFirstStoreFound", {"mkfs.vfat", "mcopy", "mkfs.ext4", "sfdisk"}, mbr, {}},
    {"MbrPartition2", {"mkfs.vfat", "mcopy", "mkfs.ext4", "sfdisk"}, mbr, {"--partition", "2"}},
    {"Ewf", {"mkfs.ext4", "ewfacquire"}, ewf, {}},
};

// The store every image holds, and what the jobs write from its folder,
// made once for all cases.
class ImageJobsTest : public ::testing::TestWithParam<ImageCase> {
 protected:
  static void SetUpTestSuite() {
    zone_ = new testing::ScopedTimeZone("UTC0");
    store_ = new TempDir;
    // Two channels with sound on one, a segment that ends and one that goes
    // on in the next file, and header-only files to the folder's end.
    const std::vector<SimulatedSegment> segments = {
        {0, 1, T0, 4, true}, {1, 2, T0 + 1, 3, false}, {0, 8, T0 + 20, 2, true}};
    testing::SimulationOptions options;
    options.fileBytes = 200 * 1024;
    testing::simulateRecorder(store_->root(), segments, options);
    fromFolder_ = new JobOutputs(runJobs(store_->path(), {}));
  }
  static void TearDownTestSuite() {
    delete fromFolder_;
    delete store_;
    delete zone_;
  }

  static testing::ScopedTimeZone* zone_;
  static TempDir* store_;
  static JobOutputs* fromFolder_;
};

testing::ScopedTimeZone* ImageJobsTest::zone_ = nullptr;
TempDir* ImageJobsTest::store_ = nullptr;
JobOutputs* ImageJobsTest::fromFolder_ = nullptr;

TEST_P(ImageJobsTest, ReportAndAviFilesAreTheFoldersByteForByteAndTheImageIsUnchanged) {
  const ImageCase& c = GetParam();
  const std::string missing = testing::missingTools(c.tools);
  if (!missing.empty()) GTEST_SKIP() << missing;
  ASSERT_FALSE(fromFolder_->report.empty());
  ASSERT_GE(fromFolder_->avis.size(), 3u);

  TempDir work;
  std::string image;
  ASSERT_EQ(c.build(work, store_->root(), image), "");
  std::vector<std::string> files = testing::listFiles(work.path());
  ASSERT_FALSE(files.empty());
  std::map<std::string, Evidence> before;
  for (const std::string& file : files) before[file] = evidenceOf(file);

  const JobOutputs fromImage = runJobs(image, c.options);
  EXPECT_EQ(fromImage.report, fromFolder_->report);
  ASSERT_EQ(fromImage.avis.size(), fromFolder_->avis.size());
  for (const auto& [name, bytes] : fromFolder_->avis) {
    const auto found = fromImage.avis.find(name);
    ASSERT_NE(found, fromImage.avis.end()) << name;
    EXPECT_TRUE(found->second == bytes) << name << " differs";
  }

  EXPECT_EQ(testing::listFiles(work.path()), files);
  for (const auto& [file, evidence] : before) EXPECT_TRUE(evidenceOf(file) == evidence) << file << " changed";
}

INSTANTIATE_TEST_SUITE_P(Images, ImageJobsTest, ::testing::ValuesIn(IMAGE_CASES),
                         [](const ::testing::TestParamInfo<ImageCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace korvex
