// korvex-cli's scan and backup run on disk images built by Debian's tools
// from a store folder: the report and every AVI file are byte for byte what
// the same jobs write from the folder, and the image is left as it was.
// Broken images end with a reason and a non-zero status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "store/frame_header.h"
#include "support/disk_images.h"
#include "cli/cli_run.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::cli;
using testing::ProgramRun;
using testing::SimulatedSegment;
using testing::T0;
using testing::TempDir;

constexpr std::uint64_t MIB = 1024 * 1024;

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

namespace korvex {
namespace {

// A FAT32 image's bytes changed by `damage` before the jobs run.
struct BadImageCase {
  const char* name;
  std::function<void(std::vector<std::uint8_t>& image)> damage;  // null: the image is not changed
  std::vector<std::string> options;
  int status;
  const char* says;  // on stderr
};

// The first directory entry named `name` at or after `from`.
std::size_t firstEntryOf(const std::vector<std::uint8_t>& image, const std::string& name, std::size_t from = 0) {
  for (;;) {
    if (from >= image.size()) return image.size();
    const void* hit = memmem(image.data() + from, image.size() - from, name.data(), name.size());
    if (hit == nullptr) return image.size();
    const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - image.data());
    if (at % 32 == 0) return at;
    from = at + 1;
  }
}

const BadImageCase BAD_IMAGE_CASES[] = {
    {"CutInsideTheFat", [](std::vector<std::uint8_t>& b) { b.resize(1 * MIB); }, {}, 1, "cannot read the recording file"},
    {"CutAfterTheFirstFolder",
     [](std::vector<std::uint8_t>& b) { b.resize(firstEntryOf(b, "FILE0000DAT") / 4096 * 4096 + 64 * 1024); },
     {},
     1,
     "cannot read the recording file"},
    {"FatChainsMarkedBad",
     [](std::vector<std::uint8_t>& b) {
       const std::size_t fat = (b[14] | b[15] << 8) * 512u;
       const std::size_t fatBytes = readLe32(b.data() + 36) * 512u;
       for (std::size_t at = fat + 64; at + 4 <= fat + fatBytes; at += 4) testing::putLe32(b.data() + at, 0x0ffffff7);
     },
     {},
     1,
     "cannot read the recording file"},
    {"FolderEntriesZeroed",
     [](std::vector<std::uint8_t>& b) {
       // In every folder, the sector that holds file0000.dat's entry: each
       // list ends before it.
       for (std::size_t at = firstEntryOf(b, "FILE0000DAT", 0); at < b.size();
            at = firstEntryOf(b, "FILE0000DAT", at / 512 * 512 + 512))
         std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at / 512 * 512), 512, 0);
     },
     {},
     3,
     "is missing"},
    {"NoSuchPartition", nullptr, {"--partition", "3"}, 2, "has no partition 3 (it has 1)"},
    {"PartitionZero", nullptr, {"--partition", "0"}, 2, "'0' is not a partition number"},
};

void PrintTo(const BadImageCase& c, std::ostream* out) { *out << c.name; }

class BadImageTest : public ::testing::TestWithParam<BadImageCase> {};

TEST_P(BadImageTest, EndsWithAReasonAndAStatus) {
  const std::string missing = testing::missingTools({"mkfs.vfat", "mcopy"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  const BadImageCase& c = GetParam();
  testing::ScopedTimeZone zone("UTC0");
  TempDir work, out;
  const std::string store = work.path() + "/store";
  // Small files: two folders, so that a file missing from the first is not
  // the store's normal end.
  testing::SimulationOptions options;
  options.fileBytes = 1000;
  ASSERT_GE(testing::simulateRecorder(store + "/", {{0, 1, T0, 4, true}, {1, 2, T0 + 1, 3, false}}, options).folders, 2);
  const std::string image = work.file("disk.img");
  ASSERT_EQ(testing::makeFat32Image(store, image, 40 * MIB), "");
  if (c.damage) {
    std::vector<std::uint8_t> bytes = testing::readBytes(image);
    c.damage(bytes);
    testing::writeBytes(image, bytes);
  }
  for (const char* command : {"scan", "backup"}) {
    std::vector<std::string> args = {command, "--disk", image, "--out", out.path()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProgramRun run = cli(args);
    EXPECT_EQ(run.exitStatus, c.status) << command << ": " << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << command << ": " << run.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Images, BadImageTest, ::testing::ValuesIn(BAD_IMAGE_CASES),
                         [](const ::testing::TestParamInfo<BadImageCase>& p) { return std::string(p.param.name); });

// What is no disk with a store: a message naming it, never a crash.
TEST(DiskArgumentTest, WhatHoldsNoStoreIsNamedWithItsStatus) {
  const std::string missing = testing::missingTools({"mkfs.vfat", "mkfs.ext4", "sfdisk"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  TempDir work, out;
  testing::writeBytes(work.file("notes.txt"), std::vector<std::uint8_t>(5000, 'n'));
  const std::string empty = work.path() + "/empty";
  fs::create_directories(empty);
  ASSERT_EQ(testing::makeExt4Image(empty, work.file("empty-ext4.img"), 2 * MIB), "");
  ASSERT_EQ(testing::makePartitionedImage(work.file("mbr.img"), {{work.file("empty-ext4.img"), "83"}}), "");
  struct Case {
    std::vector<std::string> disk;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {{work.file("notes.txt")}, 1, "cannot read the disk: " + work.file("notes.txt") + ": neither a partition table"},
      {{work.file("empty-ext4.img")}, 3, "can't find video data! (" + work.file("empty-ext4.img") + " holds no recorder store"},
      {{work.file("mbr.img"), "--partition", "1"}, 3, "partition 1 of " + work.file("mbr.img") + " (ext4) holds no recorder folders"},
      {{work.file("mbr.img"), "--partition", "2"}, 2, "--partition: " + work.file("mbr.img") + " has no partition 2"},
      {{work.path(), "--partition", "1"}, 2, "a partition can be chosen only on a disk image or a device"},
      {{"/dev/null"}, 1, "/dev/null is neither a disk image file nor a block device"},
      {{work.file("absent.img"), "--partition", "1"}, 1, "No such file or directory"},
  };
  for (const Case& c : cases) {
    for (const char* command : {"scan", "backup"}) {
      std::vector<std::string> args = {command, "--out", out.path(), "--disk"};
      args.insert(args.end(), c.disk.begin(), c.disk.end());
      const ProgramRun run = cli(args);
      EXPECT_EQ(run.exitStatus, c.status) << command << " " << c.disk[0] << ": " << run.err;
      EXPECT_NE(run.err.find(c.says), std::string::npos) << command << ": " << run.err;
      EXPECT_EQ(run.out, "") << command;
    }
  }
  EXPECT_TRUE(testing::listFiles(out.path()).empty());
}

// A loop device over an ext4 image of the store, mounted read-write: the
// examiner's output folder on that mount lies on the evidence, whether the
// disk is given as the device or as the image file. Needs root (losetup and
// mount); skipped elsewhere with the reason.
class LoopMount {
 public:
  explicit LoopMount(const std::string& image, const std::string& at) {
    std::string output;
    if (testing::runShell("losetup --find --show " + testing::shellQuoted(image), &output) != 0) {
      reason_ = "losetup failed: " + output;
      return;
    }
    device_ = output.substr(0, output.find('\n'));
    if (testing::runShell("mount -t ext4 -o noinit_itable " + device_ + " " + testing::shellQuoted(at), &output) != 0) {
      reason_ = "mount failed: " + output;
      return;
    }
    at_ = at;
  }
  ~LoopMount() {
    if (!at_.empty()) testing::runShell("umount " + testing::shellQuoted(at_));
    if (!device_.empty()) testing::runShell("losetup -d " + device_);
  }
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;
  bool mounted() const { return !at_.empty(); }
  const std::string& reason() const { return reason_; }
  const std::string& device() const { return device_; }

 private:
  std::string device_, at_, reason_;
};

TEST(EvidenceDeviceTest, AnOutputFolderOnTheDiskGivenAsDeviceOrImageIsRefused) {
  const std::string missing = testing::missingTools({"mkfs.ext4", "losetup", "mount"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  testing::ScopedTimeZone zone("UTC0");
  TempDir store, work;
  testing::SimulationOptions options;
  options.fileBytes = 200 * 1024;
  testing::simulateRecorder(store.root(), {{0, 1, T0, 2, true}}, options);
  const std::string image = work.file("disk.img");
  ASSERT_EQ(testing::makeExt4Image(store.root(), image, 24 * MIB), "");
  const std::string mountPoint = work.path() + "/mnt";
  fs::create_directories(mountPoint);
  LoopMount loop(image, mountPoint);
  if (!loop.mounted()) GTEST_SKIP() << loop.reason();
  const std::string out = mountPoint + "/out";
  fs::create_directories(out);
  // The mounted file system writes its own superblock now and then, so the
  // image's bytes are not compared: every file on it is.
  const auto filesOn = [&] {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(mountPoint))
      files[entry.path().string()] = entry.is_regular_file() ? evidenceOf(entry.path().string()).sha256 : "";
    return files;
  };
  const std::map<std::string, std::string> before = filesOn();
  for (const std::string& disk : {loop.device(), image}) {
    for (const char* job : {"scan", "backup"}) {
      SCOPED_TRACE(disk + " " + job);
      const ProgramRun run = cli({job, "--disk", disk, "--out", out});
      EXPECT_EQ(run.exitStatus, 1) << run.err;
      EXPECT_NE(run.err.find("lies on a file system stored on the recorder disk"), std::string::npos) << run.err;
      EXPECT_TRUE(fs::is_empty(out));
    }
  }
  // Beside it, on another disk, the same jobs run.
  TempDir elsewhere;
  EXPECT_EQ(cli({"backup", "--disk", loop.device(), "--out", elsewhere.path()}).exitStatus, 0);
  EXPECT_TRUE(filesOn() == before) << "the evidence's file system changed";
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

// An EWF set that ewfacquire made of an ext4 disk holding a store, in
// segments of 1 MiB, made once; each test damages a copy in its own folder.
class EwfSetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    made_ = new TempDir;
    testing::SimulationOptions options;
    options.fileBytes = 200 * 1024;
    testing::simulateRecorder(made_->path() + "/store/", {{0, 1, T0, 4, true}, {1, 2, T0 + 1, 3, false}}, options);
    if (!testing::missingTools({"mkfs.ext4", "ewfacquire"}).empty()) return;
    error_ = testing::makeExt4Image(made_->path() + "/store", made_->file("disk.raw"), 8 * MIB);
    if (error_.empty()) error_ = testing::makeEwfSet(made_->file("disk.raw"), made_->path() + "/evidence", 1 * MIB);
  }
  static void TearDownTestSuite() { delete made_; }
  void SetUp() override {
    const std::string missing = testing::missingTools({"mkfs.ext4", "ewfacquire"});
    if (!missing.empty()) GTEST_SKIP() << missing;
    ASSERT_EQ(error_, "");
    for (const std::string& segment : testing::listFiles(made_->path(), "evidence.E"))
      fs::copy_file(segment, work_.path() + "/" + fs::path(segment).filename().string());
  }
  // Every segment's size, time and hash.
  std::map<std::string, Evidence> evidence() const {
    std::map<std::string, Evidence> found;
    for (const std::string& file : testing::listFiles(work_.path())) found[file] = evidenceOf(file);
    return found;
  }

  static TempDir* made_;
  static std::string error_;
  TempDir work_;
  const std::string image_ = work_.path() + "/evidence.E01";
};

TempDir* EwfSetTest::made_ = nullptr;
std::string EwfSetTest::error_;

TEST_F(EwfSetTest, ASetWithASegmentMissingOrCutShortIsRefusedBeforeAnythingIsWritten) {
  const std::string second = work_.path() + "/evidence.E02";
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { fs::resize_file(second, 500000); }, second + " is cut short: it holds 500000 bytes"},
      {[&] { fs::remove(second); }, second + " is missing (" + image_ + " does not end the set)"},
  };
  for (const auto& [damage, says] : cases) {
    damage();
    const std::map<std::string, Evidence> before = evidence();
    for (const char* command : {"scan", "backup"}) {
      TempDir out;
      const ProgramRun run = cli({command, "--disk", image_, "--out", out.path()});
      EXPECT_EQ(run.exitStatus, 1) << command << ": " << run.err;
      EXPECT_NE(run.err.find("the EWF set " + image_ + " is not whole: " + says), std::string::npos) << run.err;
      EXPECT_TRUE(testing::listFiles(out.path()).empty()) << command;
    }
    EXPECT_TRUE(evidence() == before) << says;
  }
}

// A byte flipped inside a picture's payload fails its chunk's checksum.
TEST_F(EwfSetTest, AChunkThatFailsItsChecksumIsAReadErrorAndNeverExported) {
  constexpr std::uint64_t CHUNK = 32768;
  const std::vector<std::uint8_t>& picture = testing::sampleVideo().front().bytes;
  const auto middle = picture.begin() + static_cast<std::ptrdiff_t>(picture.size() / 2);
  const std::vector<std::uint8_t> window(middle - 32, middle + 32);
  std::vector<std::uint8_t> corrupted = window;
  corrupted[32] ^= 0xff;
  // The last such picture on the disk: the first lies beside the folders' blocks.
  const std::vector<std::uint8_t> disk = testing::readBytes(made_->file("disk.raw"));
  const auto found = std::find_end(disk.begin(), disk.end(), window.begin(), window.end());
  ASSERT_NE(found, disk.end());
  const auto at = static_cast<std::uint64_t>(found - disk.begin()) + 32;
  ASSERT_EQ(testing::corruptEwfChunk(made_->file("disk.raw"), work_.path() + "/evidence", at), "");
  const std::map<std::string, Evidence> before = evidence();

  for (const bool recover : {false, true}) {
    SCOPED_TRACE(recover ? "with recovery" : "without recovery");
    TempDir out;
    std::vector<std::string> args = {"backup", "--disk", image_, "--out", out.path()};
    if (recover) args.push_back("--recover");
    const ProgramRun run = cli(args);
    EXPECT_EQ(run.exitStatus, recover ? 0 : 1) << run.err;
    if (!recover) {
      EXPECT_NE(run.err.find("cannot read the recording file " + image_ + ":dir"), std::string::npos) << run.err;
    }
    bool windowExported = false;  // from the other pictures of the sample
    for (const std::string& avi : testing::listFiles(out.path(), "", ".avi")) {
      const std::vector<std::uint8_t> bytes = testing::readBytes(avi);
      EXPECT_EQ(std::search(bytes.begin(), bytes.end(), corrupted.begin(), corrupted.end()), bytes.end()) << avi;
      windowExported = windowExported || std::search(bytes.begin(), bytes.end(), window.begin(), window.end()) != bytes.end();
    }
    EXPECT_TRUE(windowExported);

    const std::vector<std::string> logs = testing::listFiles(out.path(), "BackupLog_", ".json");
    ASSERT_EQ(logs.size(), 1u);
    const nlohmann::json log = nlohmann::json::parse(testing::readTextFile(logs[0]));
    EXPECT_EQ(log["outcome"], recover ? "finished" : "failed");
    EXPECT_EQ(log["disk"]["image"]["storedHashesVerified"], false);
    const nlohmann::json& check = log["disk"]["image"]["verification"];
    EXPECT_EQ(check["segmentsExpected"], check["segmentsFound"]);
    EXPECT_EQ(check["everyChunkReadPassedChecksum"], false);
    EXPECT_EQ(check["checksumFailures"], nlohmann::json::parse("[{\"offset\": " + std::to_string(at / CHUNK * CHUNK) +
                                                                ", \"length\": 32768}]"));
    if (recover) {
      const nlohmann::json& regions = log["recovery"]["unreadableRegions"];
      EXPECT_FALSE(regions.empty());
      for (const nlohmann::json& region : regions) EXPECT_EQ(region["offset"].get<std::uint64_t>() % CHUNK, 0u);
    } else {
      EXPECT_EQ(log["unreadable"][0]["reason"], "Input/output error");
    }
  }
  EXPECT_TRUE(evidence() == before) << "the set changed";
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

// A symbolic link in the store, to a folder or a recording file outside it,
// fails both jobs naming it, from the folder and from an ext4 image made of
// it (which keeps the link); nothing is exported and the store is unchanged.
TEST(StoreLinksTest, ALinkInTheStoreIsRefusedFromTheFolderAndFromTheImage) {
  const testing::ScopedTimeZone zone("UTC0");
  TempDir outside;
  testing::simulateRecorder(outside.root(), {{0, 1, T0, 2, false}}, {});
  for (const std::string link : {"dir00001", "dir00000/file0001.dat"}) {
    SCOPED_TRACE(link);
    TempDir work;
    const std::string store = work.path() + "/store/";
    fs::create_directories(store);
    testing::StoreWriter(store).fillFolder(0);
    fs::remove(store + link);
    fs::create_symlink(outside.root() + (link.size() > 8 ? "dir00000/file0000.dat" : "dir00000"), store + link);
    std::map<std::string, std::vector<std::uint8_t>> before;
    for (const std::string& file : testing::listFiles(store)) before[file] = testing::readBytes(file);
    std::vector<std::string> disks = {store};
    if (testing::missingTools({"mkfs.ext4"}).empty()) {
      disks.push_back(work.file("store.img"));
      ASSERT_EQ(testing::makeExt4Image(store, disks.back(), 8 * MIB), "");
    }
    for (const std::string& disk : disks) {
      for (const char* command : {"scan", "backup"}) {
        SCOPED_TRACE(disk + " " + command);
        TempDir out;
        const ProgramRun run = cli({command, "--disk", disk, "--out", out.path()});
        EXPECT_EQ(run.exitStatus, 1) << run.err;
        EXPECT_NE(run.err.find(link.size() > 8 ? link + ": a symbolic link" : link + " is a symbolic link"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(testing::listFiles(out.path(), "", ".avi"), std::vector<std::string>{});
      }
    }
    for (const auto& [file, bytes] : before) EXPECT_TRUE(testing::readBytes(file) == bytes) << file;
  }
}

}  // namespace
}  // namespace korvex
