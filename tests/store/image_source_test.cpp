// The store read from disk images built by Debian's tools must be the store
// read from the folder they were built from: the same folders counted, the
// same bytes in every recording file, the same frames. Broken images give a
// clear message and nothing else.
#include "store/image_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <random>
#include <set>

#include "store/disk_source.h"
#include "store/recording_file_reader.h"
#include "store/recording_store.h"
#include "support/disk_images.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

// Under AddressSanitizer: allocations are traced through the uninstrumented
// Sleuth Kit too, so that only its own known leak is passed over. Version
// 4.11 leaks the DOS partition table it reads while telling a GPT disk's
// protective MBR from a real one.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:tsk_vs_dos_open\n"; }

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::FrameSpec;
using testing::RecordingFileBuilder;
using testing::StoreWriter;
using testing::T0;
using testing::TempDir;

constexpr std::uint64_t MIB = 1024 * 1024;

std::vector<std::uint8_t> noise(std::size_t bytes, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> out(bytes);
  for (auto& b : out) b = static_cast<std::uint8_t>(random());
  return out;
}

// Frames of several channels with payloads of many sizes, one larger than
// the reader's first buffer, so that a file spans many clusters.
RecordingFileBuilder recordingWithFrames(std::uint32_t seed, int frames, std::size_t bigPayload) {
  RecordingFileBuilder builder;
  for (int i = 0; i < frames; ++i) {
    FrameSpec frame = testing::keyedFrame(i % 3, 7, 9, T0 + i);
    frame.frameKind = i % 5 == 0 ? FRAME_KIND_AUDIO : FRAME_KIND_KEY;
    frame.payload = noise(i == frames / 2 ? bigPayload : 100 + static_cast<std::size_t>(i) * 397 % 9000,
                          seed + static_cast<std::uint32_t>(i));
    builder.frame(frame);
  }
  return builder.timesFromFrames();
}

// The store every image is made from: two full folders, a plain file whose
// name starts with "dir" (so three are counted and folder 2 is missing).
void writeStore(const std::string& root) {
  StoreWriter store(root);
  store.writeFile(0, 0, recordingWithFrames(1, 60, 300 * 1024));
  store.writeFile(0, 1, recordingWithFrames(2, 5, 1000));
  store.writeFile(0, 2, RecordingFileBuilder().raw(noise(5000, 3)));  // shorter than a file header
  store.fillFolder(0, 3);
  store.writeFile(1, 0, recordingWithFrames(4, 40, 500 * 1024));
  store.fillFolder(1, 1);
  testing::writeBytes(root + "dirlist.txt", {'x'});
}

struct FrameRecord {
  FrameHeader header;
  std::vector<std::uint8_t> payload;
};

// Every frame of a file as the jobs' reader hands it out.
std::vector<FrameRecord> framesOf(OpenedFile opened) {
  std::vector<FrameRecord> frames;
  RecordingFileReader reader;
  if (!reader.open(std::move(opened))) return frames;
  RecordingFileHeader header;
  if (!reader.readFileHeader(header)) return frames;
  PayloadBuffer buffer;
  FrameHeader frame;
  while (reader.nextFrame(frame)) {
    if (!reader.readPayload(buffer)) break;
    frames.push_back({frame, std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size())});
  }
  return frames;
}

// All of a file's bytes, read in odd pieces, some of them through several
// buffers at once.
std::vector<std::uint8_t> bytesOf(SourceFile& file) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.size()));
  std::size_t at = 0;
  int round = 0;
  while (at < bytes.size()) {
    const std::size_t piece = std::min<std::size_t>(bytes.size() - at, round % 2 ? 7919 : 65536 + 13);
    std::int64_t got;
    if (round % 3 == 2 && piece > 10) {
      const iovec parts[3] = {{bytes.data() + at, 3}, {bytes.data() + at + 3, 5}, {bytes.data() + at + 8, piece - 8}};
      got = file.readAt(at, parts, 3);
    } else {
      got = file.readAt(at, bytes.data() + at, piece);
    }
    if (got <= 0) {
      ADD_FAILURE() << "read at " << at << " gave " << got << " (" << std::strerror(errno) << ")";
      break;
    }
    at += static_cast<std::size_t>(got);
    ++round;
  }
  std::uint8_t past = 0;
  EXPECT_EQ(file.readAt(file.size(), &past, 1), 0) << "reading at the end gives nothing";
  return bytes;
}

bool sameFrames(const std::vector<FrameRecord>& a, const std::vector<FrameRecord>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const FrameHeader &x = a[i].header, &y = b[i].header;
    if (x.timeStamp != y.timeStamp || x.channel != y.channel || x.payloadLength != y.payloadLength ||
        x.frameKind != y.frameKind || x.segmentKeyA != y.segmentKeyA || a[i].payload != b[i].payload)
      return false;
  }
  return true;
}

// The image's store against the folder's: counts, every file's presence,
// size, bytes and frames.
void expectSameStore(const RecordingSource& image, const std::string& root) {
  const FolderSource folder(root);
  ASSERT_EQ(image.countFolders(), folder.countFolders());
  ASSERT_EQ(folder.countFolders(), 3);
  int compared = 0;
  for (int f = 0; f < folder.countFolders(); ++f) {
    for (int n = 0; n < FILES_PER_FOLDER; ++n) {
      OpenedFile expected = folder.openFile(f, n, ReadPattern::WholeFile);
      OpenedFile got = image.openFile(f, n, ReadPattern::WholeFile);
      ASSERT_EQ(got.file != nullptr, expected.file != nullptr) << image.filePath(f, n) << ": " << got.failure.reason;
      if (!expected.file) {
        EXPECT_TRUE(got.failure.missing()) << image.filePath(f, n);
        continue;
      }
      ASSERT_EQ(got.file->size(), expected.file->size()) << image.filePath(f, n);
      ASSERT_EQ(bytesOf(*got.file), bytesOf(*expected.file)) << image.filePath(f, n);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 2 * FILES_PER_FOLDER);
  for (const auto& [f, n] : {std::pair{0, 0}, std::pair{0, 1}, std::pair{1, 0}}) {
    const auto expected = framesOf(folder.openFile(f, n, ReadPattern::WholeFile));
    EXPECT_GT(expected.size(), 4u);
    EXPECT_TRUE(sameFrames(framesOf(image.openFile(f, n, ReadPattern::WholeFile)), expected)) << image.filePath(f, n);
  }
}

struct FileStamp {
  off_t size = -1;
  timespec mtime{};
  timespec atime{};
};

FileStamp stampOf(const std::string& path) {
  struct stat info {};
  FileStamp stamp;
  if (stat(path.c_str(), &info) == 0) {
    stamp.size = info.st_size;
    stamp.mtime = info.st_mtim;
    stamp.atime = info.st_atim;
  }
  return stamp;
}

void expectUnchanged(const std::string& path, const FileStamp& before) {
  const FileStamp after = stampOf(path);
  EXPECT_EQ(after.size, before.size) << path;
  EXPECT_EQ(after.mtime.tv_sec, before.mtime.tv_sec) << path;
  EXPECT_EQ(after.mtime.tv_nsec, before.mtime.tv_nsec) << path;
}

// One kind of image: how it is made from the store folder, and what the
// source should say about it.
struct ImageCase {
  const char* name;
  std::vector<std::string> tools;
  // Builds the image in `work` from the store at `root`; returns the path
  // to open, or "" with `error` set.
  std::function<std::string(const TempDir& work, const std::string& root, std::string& error)> build;
  const char* format;
  const char* fileSystem;
  int partition;
  bool partitioned;
};

void PrintTo(const ImageCase& c, std::ostream* out) { *out << c.name; }

std::string fat32(const TempDir& work, const std::string& root, std::string& error) {
  const std::string image = work.file("fat32.img");
  error = testing::makeFat32Image(root, image, 40 * MIB);
  return image;
}

// Whether any file named FILE0000DAT in a FAT32 image has a cluster chain
// that jumps.
bool fragmentedFile0000(const std::vector<std::uint8_t>& image) {
  if (image.size() < 512) return false;
  const std::uint32_t reserved = image[14] | image[15] << 8;
  const std::uint32_t fatSectors = readLe32(image.data() + 36);
  const std::size_t fat = reserved * 512u;
  const std::string name = "FILE0000DAT";
  for (std::size_t from = 0; from < image.size();) {
    const void* hit = memmem(image.data() + from, image.size() - from, name.data(), name.size());
    if (hit == nullptr) break;
    const auto entry = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - image.data());
    from = entry + 1;
    if (entry % 32 != 0 || entry + 32 > image.size()) continue;
    std::uint32_t cluster = (image[entry + 20] | image[entry + 21] << 8) << 16 | image[entry + 26] | image[entry + 27] << 8;
    for (int step = 0; step < 100000 && cluster >= 2 && fat + cluster * 4u + 4 <= fat + fatSectors * 512u; ++step) {
      const std::uint32_t next = readLe32(image.data() + fat + cluster * 4u) & 0x0fffffff;
      if (next >= 0x0ffffff8) break;
      if (next != cluster + 1) return true;
      cluster = next;
    }
  }
  return false;
}

// A FAT32 image in which dir00001/file0000.dat lies in two pieces: a smaller
// file took its place first and the folder's other files came after it;
// then it was deleted, the file system's hint for where free clusters begin
// set back to its start, and the real file copied in.
std::string fragmentedFat32(const TempDir& work, const std::string& root, std::string& error) {
  const std::string copy = work.path() + "/fragmented-store";
  fs::copy(root, copy, fs::copy_options::recursive);
  const std::string real = work.file("real-file0000.dat");
  fs::copy_file(copy + "/dir00001/file0000.dat", real);
  testing::writeBytes(copy + "/dir00001/file0000.dat", noise(20000, 9));
  const std::string image = work.file("fat32-fragmented.img");
  error = testing::makeFat32Image(copy, image, 40 * MIB);
  if (!error.empty()) return image;
  std::string output;
  const std::string quotedImage = testing::shellQuoted(image);
  if (testing::runShell("MTOOLS_SKIP_CHECK=1 mdel -i " + quotedImage + " ::/dir00001/file0000.dat", &output) != 0) {
    error = "mdel: " + output;
    return image;
  }
  std::vector<std::uint8_t> bytes = testing::readBytes(image);
  const std::size_t fsInfo = (bytes[48] | bytes[49] << 8) * 512u;
  testing::putLe32(bytes.data() + fsInfo + 0x1ec, 2);
  testing::writeBytes(image, bytes);
  if (testing::runShell("MTOOLS_SKIP_CHECK=1 mcopy -i " + quotedImage + " " + testing::shellQuoted(real) +
                            " ::/dir00001/file0000.dat",
                        &output) != 0)
    error = "mcopy: " + output;
  else if (!fragmentedFile0000(testing::readBytes(image)))
    error = "mcopy did not fragment the file";
  return image;
}

std::string ext4(const TempDir& work, const std::string& root, std::string& error) {
  const std::string image = work.file("ext4.img");
  error = testing::makeExt4Image(root, image, 16 * MIB);
  return image;
}

// Two partitions: an empty ext4 file system first, the store in FAT32 second.
std::string mbrTwoPartitions(const TempDir& work, const std::string& root, std::string& error) {
  const std::string empty = work.path() + "/empty";
  fs::create_directories(empty);
  testing::writeBytes(empty + "/notes.txt", {'n', 'o'});
  error = testing::makeExt4Image(empty, work.file("p1.img"), 4 * MIB);
  if (error.empty()) error = testing::makeFat32Image(root, work.file("p2.img"), 40 * MIB);
  const std::string image = work.file("mbr.img");
  if (error.empty())
    error = testing::makePartitionedImage(image, {{work.file("p1.img"), "83"}, {work.file("p2.img"), "c"}});
  return image;
}

std::string gptExt4(const TempDir& work, const std::string& root, std::string& error) {
  error = testing::makeExt4Image(root, work.file("p1.img"), 16 * MIB);
  const std::string image = work.file("gpt.img");
  if (error.empty())
    error = testing::makePartitionedImage(image, {{work.file("p1.img"), "0FC63DAF-8483-4772-8E79-3D69D8477DE4"}}, "gpt");
  return image;
}

// An EWF set of several segments from an MBR disk whose second partition
// holds the store in ext4.
std::string ewfSet(const TempDir& work, const std::string& root, std::string& error) {
  const std::string empty = work.path() + "/empty";
  fs::create_directories(empty);
  error = testing::makeExt4Image(empty, work.file("p1.img"), 2 * MIB);
  if (error.empty()) error = testing::makeExt4Image(root, work.file("p2.img"), 12 * MIB);
  if (error.empty())
    error = testing::makePartitionedImage(work.file("disk.raw"), {{work.file("p1.img"), "83"}, {work.file("p2.img"), "83"}});
  if (error.empty()) error = testing::makeEwfSet(work.file("disk.raw"), work.path() + "/evidence", 4 * MIB);
  // The hashes ewfacquire stores must be the raw disk's.
  std::string sums;
  if (error.empty() && testing::runShell("cd " + testing::shellQuoted(work.path()) +
                                             " && md5sum disk.raw | cut -c1-32 && sha1sum disk.raw | cut -c1-40",
                                         &sums) == 0)
    testing::writeBytes(work.file("disk.sums"), std::vector<std::uint8_t>(sums.begin(), sums.end()));
  fs::remove(work.file("disk.raw"));
  return work.path() + "/evidence.E01";
}

const ImageCase IMAGE_CASES[] = {
    {"Fat32", {"mkfs.vfat", "mcopy"}, fat32, "raw", "fat32", 1, false},
    {"Fat32Fragmented", {"mkfs.vfat", "mcopy", "mdel"}, fragmentedFat32, "raw", "fat32", 1, false},
    {"Ext4", {"mkfs.ext4"}, ext4, "raw", "ext4", 1, false},
    {"MbrStoreOnSecondPartition", {"mkfs.vfat", "mcopy", "mkfs.ext4", "sfdisk"}, mbrTwoPartitions, "raw", "fat32", 2, true},
    {"Gpt", {"mkfs.ext4", "sfdisk"}, gptExt4, "raw", "ext4", 1, true},
    {"EwfSet", {"mkfs.ext4", "sfdisk", "ewfacquire"}, ewfSet, "ewf", "ext4", 2, true},
};

class ImageSourceTest : public ::testing::TestWithParam<std::tuple<ImageCase, bool>> {
 protected:
  void SetUp() override {
    const ImageCase& c = std::get<0>(GetParam());
    const std::string missing = testing::missingTools(c.tools);
    if (!missing.empty()) GTEST_SKIP() << missing;
    writeStore(root_);
    std::string error;
    image_ = c.build(work_, root_, error);
    ASSERT_EQ(error, "");
  }

  TempDir work_;
  std::string root_ = work_.root() + "store/";
  std::string image_;
};

TEST_P(ImageSourceTest, ReadsTheSameStoreAsTheFolder) {
  const auto& [c, direct] = GetParam();
  const FileStamp before = stampOf(image_);
  DiskOptions options;
  options.image.directReads = direct;
  OpenedDisk opened = openDisk(image_, 0, options);
  ASSERT_TRUE(opened) << diskFailureText(opened.failure);
  auto& source = opened.source;
  expectSameStore(*source, root_);

  const DiskDescription description = describeDisk(*source);
  EXPECT_EQ(description.disk.format, c.format);
  EXPECT_EQ(description.disk.path, image_);
  EXPECT_EQ(description.partition.fileSystem, c.fileSystem);
  EXPECT_EQ(description.partition.index, c.partition);
  EXPECT_EQ(description.partitioned, c.partitioned);
  EXPECT_TRUE(description.partition.holdsStore);
  EXPECT_EQ(description.partition.folders, 3);
  const std::string expectedPath =
      image_ + ":" + (c.partitioned ? "partition " + std::to_string(c.partition) + ":" : "") + "dir00001/file0002.dat";
  EXPECT_EQ(source->filePath(1, 2), expectedPath);
  EXPECT_NE(source->describe().find(c.fileSystem), std::string::npos) << source->describe();
  if (description.disk.format == std::string("ewf")) {
    // Every segment beside the first was found, in order.
    const auto segments = testing::listFiles(work_.path(), "evidence.E");
    EXPECT_GT(segments.size(), 1u);
    EXPECT_EQ(description.disk.segments, segments);
    EXPECT_EQ(description.disk.md5 + "\n" + description.disk.sha1 + "\n", testing::readTextFile(work_.file("disk.sums")));
    EXPECT_EQ(description.disk.sizeBytes, 16 * MIB);
  }

  // Opened files outlive their source and still read.
  OpenedFile kept = source->openFile(0, 1, ReadPattern::HeadersOnly);
  ASSERT_NE(kept.file, nullptr);
  source.reset();
  EXPECT_FALSE(framesOf(std::move(kept)).empty());
  expectUnchanged(image_, before);
}

TEST_P(ImageSourceTest, PartitionsAreListedWithTheirFileSystems) {
  const ImageCase& c = std::get<0>(GetParam());
  const PartitionList listed = listPartitions(image_);
  const auto& partitions = listed.partitions;
  ASSERT_FALSE(partitions.empty()) << listed.failure.reason;
  int stores = 0;
  for (const PartitionInfo& p : partitions) {
    if (p.holdsStore) {
      ++stores;
      EXPECT_EQ(p.index, c.partition);
      EXPECT_EQ(p.fileSystem, c.fileSystem);
      EXPECT_EQ(p.folders, 3);
    }
  }
  EXPECT_EQ(stores, 1);
  if (c.partitioned) {
    EXPECT_EQ(partitions.front().startBytes, MIB);
    EXPECT_GE(partitions.back().lengthBytes, MIB);
  } else {
    ASSERT_EQ(partitions.size(), 1u);
    EXPECT_EQ(partitions.front().startBytes, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Images, ImageSourceTest,
                         ::testing::Combine(::testing::ValuesIn(IMAGE_CASES), ::testing::Bool()),
                         [](const auto& test) {
                           return std::string(std::get<0>(test.param).name) +
                                  (std::get<1>(test.param) ? "Direct" : "ThroughTheLibrary");
                         });

// The fixture for single images and broken ones.
class BrokenImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = testing::missingTools({"mkfs.vfat", "mcopy", "mkfs.ext4", "sfdisk"});
    if (!missing.empty()) GTEST_SKIP() << missing;
    writeStore(root_);
  }
  std::string fat32Image() {
    std::string error;
    const std::string image = fat32(work_, root_, error);
    EXPECT_EQ(error, "");
    return image;
  }
  // Opens and reads everything the source offers; every failure must say
  // why. Returns how many files differ from the store's folder: failed to
  // open or read, missing, or holding other bytes.
  int differences(const RecordingSource& source) {
    const FolderSource folder(root_);
    int found = 0;
    const int folders = std::max(source.countFolders(), folder.countFolders());
    for (int f = 0; f < folders; ++f) {
      for (int n = 0; n < FILES_PER_FOLDER; ++n) {
        OpenedFile expected = folder.openFile(f, n, ReadPattern::WholeFile);
        OpenedFile opened = source.openFile(f, n, ReadPattern::WholeFile);
        if (!opened.file) {
          EXPECT_FALSE(opened.failure.reason.empty()) << source.filePath(f, n);
          if (!opened.failure.missing() || expected.file) ++found;
          continue;
        }
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(opened.file->size()));
        bool failed = false;
        for (std::size_t at = 0; at < bytes.size() && !failed; at += 65536) {
          errno = 0;
          const std::size_t piece = std::min<std::size_t>(65536, bytes.size() - at);
          if (opened.file->readAt(at, bytes.data() + at, piece) != static_cast<std::int64_t>(piece)) {
            EXPECT_NE(errno, 0) << source.filePath(f, n);
            failed = true;
          }
        }
        if (failed || !expected.file || bytes != bytesOf(*expected.file)) ++found;
      }
    }
    return found;
  }

  TempDir work_;
  std::string root_ = work_.root() + "store/";
};

TEST_F(BrokenImageTest, ACutOffImageFailsWithAReason) {
  const std::string image = fat32Image();
  std::vector<std::uint8_t> bytes = testing::readBytes(image);
  struct Cut {
    std::size_t size;
    bool opens;  // the file system's own records are still there
  };
  // The store's files lie near the start; past the FAT, half the files are cut.
  const std::size_t dataStart = bytes.size() / 64 * 3;
  for (const Cut cut : {Cut{0, false}, Cut{511, false}, Cut{4096, false}, Cut{dataStart, true}}) {
    SCOPED_TRACE(cut.size);
    const std::string cutImage = work_.file("cut-" + std::to_string(cut.size) + ".img");
    testing::writeBytes(cutImage, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut.size)));
    const OpenedDisk opened = openDisk(cutImage, 0);
    const std::string error = diskFailureText(opened.failure);
    if (!cut.opens) {
      EXPECT_EQ(opened.source, nullptr);
      EXPECT_NE(error.find(cutImage), std::string::npos) << error;
      continue;
    }
    if (!opened) {
      // The root folder itself may lie past the cut.
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_GT(differences(*opened.source), 0) << "the cut must show";
  }
}

TEST_F(BrokenImageTest, ADamagedFatChainShowsAndEveryFailureSaysWhy) {
  const std::string image = fat32Image();
  std::vector<std::uint8_t> bytes = testing::readBytes(image);
  // mkfs.vfat's FAT32 layout: 32 reserved sectors, then the first FAT. Every
  // chain entry past the root's cluster is made to point at cluster 3, so
  // that chains loop.
  const std::size_t fat = 32 * 512;
  for (std::size_t entry = 4; entry < 40000; ++entry) testing::putLe32(bytes.data() + fat + entry * 4, 3);
  const std::string broken = work_.file("broken-chain.img");
  testing::writeBytes(broken, bytes);
  const OpenedDisk opened = openDisk(broken, 0);
  if (!opened) {
    EXPECT_FALSE(diskFailureText(opened.failure).empty());
    return;
  }
  // Whatever the library makes of the loops, the damage shows and every
  // failure says why.
  EXPECT_GT(differences(*opened.source), 0);
}

TEST_F(BrokenImageTest, ADamagedFolderFailsOrReadsAsMissing) {
  const std::string image = fat32Image();
  std::vector<std::uint8_t> bytes = testing::readBytes(image);
  // The directory entries of dir00000's files carry the short name
  // FILE0000DAT; the sector that holds it is overwritten with noise.
  const std::string name = "FILE0000DAT";
  const auto found = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
  ASSERT_NE(found, bytes.end());
  const auto sector = static_cast<std::size_t>(found - bytes.begin()) / 512 * 512;
  const auto garbage = noise(4096, 77);
  std::copy(garbage.begin(), garbage.end(), bytes.begin() + static_cast<long>(sector));
  const std::string broken = work_.file("broken-folder.img");
  testing::writeBytes(broken, bytes);
  OpenedDisk disk = openDisk(broken, 0);
  ASSERT_TRUE(disk) << diskFailureText(disk.failure);
  auto& source = disk.source;
  EXPECT_GT(differences(*source), 0);
  // file0000.dat of dir00000 is gone or cannot be read.
  OpenedFile opened = source->openFile(0, 0, ReadPattern::WholeFile);
  if (opened.file) {
    const auto frames = framesOf(std::move(opened));
    const FolderSource folder(root_);
    EXPECT_FALSE(sameFrames(frames, framesOf(folder.openFile(0, 0, ReadPattern::WholeFile))));
  } else {
    EXPECT_FALSE(opened.failure.reason.empty());
  }
}

TEST_F(BrokenImageTest, ImagesWithoutAStoreAreRefusedWithAClearMessage) {
  const std::string empty = work_.path() + "/no-store";
  fs::create_directories(empty + "/video");
  testing::writeBytes(empty + "/readme.txt", {'h', 'i'});
  ASSERT_EQ(testing::makeFat32Image(empty, work_.file("no-store.img"), 40 * MIB), "");
  ASSERT_EQ(testing::makeExt4Image(empty, work_.file("p1.img"), 4 * MIB), "");
  ASSERT_EQ(testing::makePartitionedImage(work_.file("no-store-mbr.img"), {{work_.file("p1.img"), "83"}}), "");
  testing::writeBytes(work_.file("text.txt"), std::vector<std::uint8_t>(100000, 'a'));
  testing::writeBytes(work_.file("empty.img"), {});
  testing::writeBytes(work_.file("noise.img"), noise(3 * MIB, 5));

  struct Case {
    std::string path;
    int partition;
    FailureCode code;
    const char* says;
  };
  const Case cases[] = {
      {work_.file("no-store.img"), 0, FailureCode::NoStore, "holds no recorder store"},
      {work_.file("no-store-mbr.img"), 0, FailureCode::NoStore, "partition 1: ext4"},
      {work_.file("no-store-mbr.img"), 1, FailureCode::NoStore, "holds no recorder folders"},
      {work_.file("no-store-mbr.img"), 3, FailureCode::NoSuchPartition, "has no partition 3"},
      {work_.file("text.txt"), 0, FailureCode::DiskUnreadable, "neither a partition table nor a file system"},
      {work_.file("empty.img"), 0, FailureCode::DiskUnreadable, "empty.img"},
      {work_.file("noise.img"), 0, FailureCode::DiskUnreadable, "neither a partition table nor a file system"},
      {work_.file("absent.img"), 0, FailureCode::Missing, "No such file or directory"},
      {"/dev/null", 0, FailureCode::DiskUnreadable, "neither a disk image file nor a block device"},
      {root_, 2, FailureCode::PartitionOnFolder, "a partition can be chosen only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const FileStamp before = stampOf(c.path);
    const OpenedDisk opened = openDisk(c.path, c.partition);
    const std::string error = diskFailureText(opened.failure);
    EXPECT_EQ(opened.source, nullptr);
    EXPECT_EQ(opened.failure.code, c.code) << error;
    EXPECT_EQ(opened.failure.path, c.path);
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    if (before.size >= 0 && c.path.rfind("/dev/", 0) != 0) expectUnchanged(c.path, before);
  }
}

TEST_F(BrokenImageTest, AFolderIsReadAsAFolder) {
  OpenedDisk opened = openDisk(work_.path() + "/store", 0);
  ASSERT_TRUE(opened) << diskFailureText(opened.failure);
  auto& source = opened.source;
  ASSERT_NE(dynamic_cast<FolderSource*>(source.get()), nullptr);
  EXPECT_EQ(static_cast<FolderSource*>(source.get())->root(), root_);
  EXPECT_EQ(describeDisk(*source).disk.format, "folder");
}

TEST_F(BrokenImageTest, AnUnreadableAreaOfTheDiskFailsTheReadsThatTouchIt) {
  const std::string image = fat32Image();
  std::vector<std::uint8_t> bytes = testing::readBytes(image);
  // dir00001/file0000.dat's frames are the store's only noise with seed 4;
  // the disk fails to read a stretch in their middle.
  const auto frames = recordingWithFrames(4, 40, 500 * 1024).bytes();
  const std::vector<std::uint8_t> marker(frames.begin() + 300000, frames.begin() + 300064);
  const auto found = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
  ASSERT_NE(found, bytes.end());
  const auto at = static_cast<std::uint64_t>(found - bytes.begin());
  for (const bool direct : {true, false}) {
    SCOPED_TRACE(direct);
    ImageOptions options;
    options.directReads = direct;
    OpenedImageSource store = ImageSource::open(memoryDiskImage(bytes, at, at + 4096), 0, options);
    ASSERT_TRUE(store) << store.failure.reason;
    auto& source = store.source;
    EXPECT_EQ(source->filePath(0, 0), "(memory):dir00000/file0000.dat");
    OpenedFile opened = source->openFile(1, 0, ReadPattern::WholeFile);
    ASSERT_NE(opened.file, nullptr) << opened.failure.reason;
    std::vector<std::uint8_t> buffer(8192);
    errno = 0;
    EXPECT_EQ(opened.file->readAt(300000, buffer.data(), buffer.size()), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(opened.file->readAt(0, buffer.data(), buffer.size()), 8192) << "the rest still reads";
  }
}

// An EWF chunk whose checksum fails is a failing sector of 32 KiB: every
// read that touches it fails, also once libewf has it cached, and a read
// stops short before it.
TEST_F(BrokenImageTest, AnEwfChunkThatFailsItsChecksumCannotBeRead) {
  const std::string missing = testing::missingTools({"ewfacquire"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  constexpr std::uint64_t CHUNK = 32768;
  const std::string raw = work_.file("disk.raw"), set = work_.path() + "/evidence";
  ASSERT_EQ(testing::makeExt4Image(root_, raw, 12 * MIB), "");
  // As above: noise of dir00001/file0000.dat, at byte 300000 of the file.
  const auto frames = recordingWithFrames(4, 40, 500 * 1024).bytes();
  const std::vector<std::uint8_t> disk = testing::readBytes(raw);
  const auto found = std::search(disk.begin(), disk.end(), frames.begin() + 300000, frames.begin() + 300064);
  ASSERT_NE(found, disk.end());
  const auto at = static_cast<std::uint64_t>(found - disk.begin()) + 32, chunk = at / CHUNK * CHUNK;
  ASSERT_EQ(testing::makeEwfSet(raw, set, 1 * MIB), "");
  ASSERT_EQ(testing::corruptEwfChunk(raw, set, at), "");

  const OpenedImage set01 = openDiskImage(set + ".E01");
  ASSERT_TRUE(set01) << set01.failure.reason;
  const auto& image = set01.image;
  EXPECT_EQ(image->failureUnit(), CHUNK);
  std::vector<std::uint8_t> buffer(2 * CHUNK);
  for (int time = 0; time < 2; ++time) {
    errno = 0;
    EXPECT_EQ(image->readAt(at, buffer.data(), 16), -1);
    EXPECT_EQ(errno, EIO);
  }
  EXPECT_EQ(image->readAt(chunk - 100, buffer.data(), buffer.size()), 100);
  EXPECT_EQ(image->readAt(chunk + CHUNK, buffer.data(), 512), 512);
  // Files fail in whole chunks, and also when read through the library.
  for (const bool direct : {true, false}) {
    DiskOptions options;
    options.image.directReads = direct;
    const OpenedDisk store = openDisk(set + ".E01", 0, options);
    ASSERT_TRUE(store) << diskFailureText(store.failure);
    const auto& source = store.source;
    OpenedFile opened = source->openFile(1, 0, ReadPattern::WholeFile);
    ASSERT_NE(opened.file, nullptr) << opened.failure.reason;
    EXPECT_EQ(opened.file->blockSize(), CHUNK);
    EXPECT_EQ(opened.file->readAt(300032, buffer.data(), 16), -1) << direct;
  }
}

// Reads of an EWF set in many patterns give the raw disk's bytes, and a
// chunk that fails its checksum fails every read that touches it, however
// far ahead of the reads the chunks are decompressed. Only what the reads
// asked for counts as read.
TEST_F(BrokenImageTest, AnEwfSetReadsAsItsRawDiskInEveryPattern) {
  const std::string missing = testing::missingTools({"ewfacquire"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  constexpr std::uint64_t CHUNK = 32768, BAD = 61;
  // A last chunk of three sectors. Odd chunks shrink, even ones do not: a
  // compressed set holds chunks of both kinds, the bad one compressed.
  std::vector<std::uint8_t> disk = noise(96 * CHUNK + 1536, 17);
  for (std::size_t at = CHUNK; at < disk.size(); at += 2 * CHUNK)
    for (std::size_t i = at; i < std::min<std::size_t>(at + CHUNK, disk.size()); ++i)
      disk[i] = static_cast<std::uint8_t>('a' + i / 7 % 26);
  const std::string raw = work_.file("noise.raw");
  testing::writeBytes(raw, disk);
  for (const bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "stored plain");
    const std::string set = work_.path() + (compressed ? "/fast" : "/none");
    ASSERT_EQ(testing::makeEwfSet(raw, set, 1 * MIB, compressed ? "fast" : "none"), "");
    std::uintmax_t stored = 0;
    for (const auto& entry : fs::directory_iterator(work_.path()))
      if (entry.path().string().rfind(set + ".E", 0) == 0) stored += entry.file_size();
    ASSERT_EQ(stored < disk.size() * 3 / 4, compressed) << stored;
    ASSERT_EQ(testing::corruptEwfChunk(raw, set, BAD * CHUNK + 5, compressed), "");
    const std::uint64_t size = disk.size(), badFrom = BAD * CHUNK, badTo = badFrom + CHUNK;

    using Reads = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    auto stepping = [&](std::uint64_t from, std::uint64_t step, std::uint64_t length) {
      Reads reads;
      for (std::uint64_t at = from; at < size; at += step) reads.emplace_back(at, length);
      return reads;
    };
    Reads across, backward, scattered;
    for (std::uint64_t chunk = 1; chunk <= size / CHUNK + 1; ++chunk) across.emplace_back(chunk * CHUNK - 100, 200);
    for (std::uint64_t at = size; at > 50000; at -= 50000) backward.emplace_back(at - 50000, 3000);
    std::mt19937 random(5);
    for (int i = 0; i < 300; ++i) scattered.emplace_back(random() % (size + 1000), random() % (3 * CHUNK));
    struct {
      const char* name;
      Reads reads;
      bool reachesBad;
    } patterns[] = {
        {"headers a chunk or two apart, forward", stepping(0, 37000, 1024), true},
        {"256 KiB at a time", stepping(0, 256 * 1024, 256 * 1024), true},
        {"across every chunk end", across, true},
        {"forward, stopping before the bad chunk", stepping(0, 4096, 4096), false},
        {"backward", backward, true},
        {"everything at once", {{0, size}}, true},
        {"scattered", scattered, true},
    };
    patterns[3].reads.resize((BAD - 3) * 8);
    for (const auto& pattern : patterns) {
      SCOPED_TRACE(pattern.name);
      const OpenedImage set01 = openDiskImage(set + ".E01");
      ASSERT_TRUE(set01) << set01.failure.reason;
      const auto& image = set01.image;
      std::set<std::uint64_t> touched;
      bool badKnown = false;
      std::vector<std::uint8_t> buffer;
      for (const auto& [offset, asked] : pattern.reads) {
        SCOPED_TRACE(offset);
        buffer.assign(asked, 0);
        errno = 0;
        const std::int64_t got = image->readAt(offset, buffer.data(), asked);
        std::uint64_t length = offset >= size ? 0 : std::min(asked, size - offset);
        // Once the bad chunk has been met, reads stop short before it.
        if (badKnown && offset < badTo && offset + length > badFrom) length = offset < badFrom ? badFrom - offset : 0;
        for (std::uint64_t at = offset; at < offset + length; at = (at / CHUNK + 1) * CHUNK) touched.insert(at / CHUNK);
        if (offset < badTo && offset + length > badFrom) badKnown = true;
        if (offset >= badFrom && offset < badTo) {
          EXPECT_EQ(got, -1);
          EXPECT_EQ(errno, EIO);
          continue;
        }
        const std::uint64_t expected = offset < badFrom && offset + length > badFrom ? badFrom - offset : length;
        ASSERT_EQ(got, static_cast<std::int64_t>(expected));
        EXPECT_TRUE(
            std::equal(buffer.begin(), buffer.begin() + got, disk.begin() + static_cast<std::ptrdiff_t>(offset)));
      }
      const ChunkChecks::Tally tally = image->info().chunkChecks->tally();
      EXPECT_EQ(tally.chunksRead, touched.size());
      ASSERT_EQ(tally.failed.size(), pattern.reachesBad ? 1u : 0u);
      if (pattern.reachesBad) {
        EXPECT_EQ(tally.failed[0].offset, badFrom);
      }
    }

    // Two readers going forward at once.
    const OpenedImage opened = openDiskImage(set + ".E01");
    ASSERT_TRUE(opened) << opened.failure.reason;
    const auto& image = opened.image;
    auto reader = [&](std::uint64_t step) {
      int wrong = 0;
      std::vector<std::uint8_t> buffer(step);
      for (std::uint64_t at = 0; at + step <= badFrom; at += step) {
        if (image->readAt(at, buffer.data(), step) != static_cast<std::int64_t>(step) ||
            !std::equal(buffer.begin(), buffer.end(), disk.begin() + static_cast<std::ptrdiff_t>(at)))
          ++wrong;
      }
      return wrong;
    };
    auto other = std::async(std::launch::async, reader, 48 * 1024);
    EXPECT_EQ(reader(20000), 0);
    EXPECT_EQ(other.get(), 0);
  }
}

TEST_F(BrokenImageTest, KindsOtherThanRegularFilesAreNotRecordingFiles) {
  // A folder where a recording file should be, and a symbolic link.
  fs::remove(root_ + "dir00000/file0005.dat");
  fs::create_directories(root_ + "dir00000/file0005.dat");
  fs::remove(root_ + "dir00000/file0006.dat");
  fs::create_symlink("file0007.dat", root_ + "dir00000/file0006.dat");
  ASSERT_EQ(testing::makeExt4Image(root_, work_.file("kinds.img"), 16 * MIB),
            "");
  const OpenedDisk opened = openDisk(work_.file("kinds.img"), 0);
  ASSERT_TRUE(opened) << diskFailureText(opened.failure);
  const auto &source = opened.source;
  const OpenedFile folder = source->openFile(0, 5, ReadPattern::WholeFile);
  EXPECT_EQ(folder.file, nullptr);
  EXPECT_FALSE(folder.failure.missing());
  EXPECT_EQ(folder.failure.reason, "a folder, not a recording file");
  const OpenedFile link = source->openFile(0, 6, ReadPattern::WholeFile);
  EXPECT_EQ(link.file, nullptr);
  EXPECT_FALSE(link.failure.missing());
  EXPECT_NE(link.failure.reason.find("symbolic link"), std::string::npos) << link.failure.reason;
  const OpenedFile absentFolder = source->openFile(7, 0, ReadPattern::WholeFile);
  EXPECT_TRUE(absentFolder.failure.missing());
  // dirlist.txt is counted but is no folder: its files are missing, as
  // opening through a plain file says ENOTDIR.
  EXPECT_TRUE(source->openFile(2, 0, ReadPattern::WholeFile).failure.missing());
}

// A disk cut off after its first partition's file system (the store, in
// FAT32): its second partition starts past the end, as a cut-off
// acquisition leaves it. On GPT the first partition's name is made of
// terminal escapes.
std::string cutOffDisk(const TempDir& work, const std::string& root, const std::string& label, std::string& error) {
  const bool gpt = label == "gpt";
  error = testing::makeFat32Image(root, work.file("p1.img"), 40 * MIB - 64 * 1024);
  if (error.empty()) error = testing::makeExt4Image(work.path() + "/store/dir00001", work.file("p2.img"), 2 * MIB);
  const std::string image = work.file(label + "-cut.img");
  if (error.empty())
    error = testing::makePartitionedImage(image, {{work.file("p1.img"), gpt ? "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7" : "c",
                                                   gpt ? "\x1b[31mred\x1b]0;title\x07" : ""},
                                                  {work.file("p2.img"), gpt ? "0FC63DAF-8483-4772-8E79-3D69D8477DE4" : "83"}},
                                          label);
  if (error.empty()) fs::resize_file(image, 41 * MIB - 32 * 1024);
  return image;
}

TEST_F(BrokenImageTest, ABadEntryOfThePartitionTableKeepsTheGoodOnes) {
  for (const std::string label : {"dos", "gpt"}) {
    SCOPED_TRACE(label);
    std::string error;
    const std::string image = cutOffDisk(work_, root_, label, error);
    ASSERT_EQ(error, "");
    const std::vector<std::uint8_t> bytes = testing::readBytes(image);
    // An access time before the last change: any read would move it, even
    // on a file system mounted relatime.
    FileStamp before = stampOf(image);
    const timespec times[2] = {{before.mtime.tv_sec - 100, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(utimensat(AT_FDCWD, image.c_str(), times, 0), 0) << std::strerror(errno);
    before = stampOf(image);

    const PartitionList listed = listPartitions(image);
    const auto& partitions = listed.partitions;
    ASSERT_EQ(partitions.size(), 2u) << listed.failure.reason;
    EXPECT_EQ(partitions[0].fileSystem, "fat32");
    EXPECT_TRUE(partitions[0].holdsStore);
    EXPECT_EQ(partitions[0].problem, "");
    EXPECT_EQ(partitions[1].index, 2);
    EXPECT_EQ(partitions[1].fileSystem, "");
    EXPECT_EQ(partitions[1].problem, "starts at byte " + std::to_string(41 * MIB) + ", past the end of the disk (" +
                                         std::to_string(41 * MIB - 32 * 1024) + " bytes)");
    if (label == "gpt") {
      EXPECT_EQ(printableText(partitions[0].description), "\\x1b[31mred\\x1b]0;title\\x07");
    }
    for (const int partition : {0, 1}) {
      const OpenedDisk opened = openDisk(image, partition);
      ASSERT_TRUE(opened) << diskFailureText(opened.failure);
      const auto& source = opened.source;
      EXPECT_EQ(describeDisk(*source).partition.index, 1);
      if (partition == 0) expectSameStore(*source, root_);
      EXPECT_EQ(source->describe().find('\x1b'), std::string::npos) << source->describe();
    }
    const OpenedDisk bad = openDisk(image, 2);
    EXPECT_EQ(bad.source, nullptr);
    EXPECT_EQ(bad.failure.code, FailureCode::DiskUnreadable);
    EXPECT_NE(bad.failure.reason.find("partition 2 of " + image +
                                      " is a bad entry of its partition table: it starts at byte"),
              std::string::npos)
        << bad.failure.reason;

    expectUnchanged(image, before);
    EXPECT_EQ(stampOf(image).atime.tv_sec, before.atime.tv_sec) << "the access time is kept";
    EXPECT_EQ(stampOf(image).atime.tv_nsec, before.atime.tv_nsec);
    EXPECT_TRUE(testing::readBytes(image) == bytes);
  }
}

// FAT's listing passes over a record whose fields are impossible; the file
// is still there, and so cannot be the store's normal end.
TEST_F(BrokenImageTest, ADamagedFatRecordIsAFailureNotAMissingFile) {
  const std::vector<std::uint8_t> good = testing::readBytes(fat32Image());
  const auto hugeCluster = [](std::uint8_t* record) {
    record[20] = record[21] = record[27] = 0xff;
    record[26] = 0xf0;
  };
  struct Damage {
    const char* name;
    const char* record;  // the short name of the records damaged
    std::function<void(std::uint8_t*)> apply;
    int folder, file;
    const char* says;
  };
  const Damage damages[] = {
      {"first cluster", "FILE0001DAT", hugeCluster,
       0, 1, "exists but cannot be read: its folder record gives it a first cluster (4294967280) outside"},
      {"size", "FILE0001DAT", [](std::uint8_t* r) { testing::putLe32(r + 28, 0xffffffff); }, 0, 1,
       "exists but cannot be read: its folder record gives it 4294967295 bytes, more than the file system holds"},
      {"volume label", "FILE0001DAT", [](std::uint8_t* r) { r[11] = 0x08; }, 1, 1,
       "exists but cannot be read: its folder record is marked as a volume label (attributes 0x08)"},
      {"folder", "DIR00001   ", hugeCluster, 1, 0,
       "the folder dir00001 exists but cannot be read: its folder record gives it a first cluster (4294967280)"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    std::vector<std::uint8_t> bytes = good;
    // Folder records are 32 bytes, each starting with its 11-byte short name.
    for (std::size_t at = 0; at + 32 <= bytes.size(); at += 32) {
      if (std::memcmp(&bytes[at], d.record, 11) == 0) d.apply(&bytes[at]);
    }
    const std::string image = work_.file(std::string("damaged-") + d.name + ".img");
    testing::writeBytes(image, bytes);
    const OpenedDisk disk = openDisk(image, 0);
    ASSERT_TRUE(disk) << diskFailureText(disk.failure);
    const auto& source = disk.source;
    EXPECT_EQ(source->countFolders(), 3);
    const OpenedFile opened = source->openFile(d.folder, d.file, ReadPattern::WholeFile);
    EXPECT_EQ(opened.file, nullptr);
    EXPECT_FALSE(opened.failure.missing());
    EXPECT_NE(opened.failure.reason.find(d.says), std::string::npos) << opened.failure.reason;
    EXPECT_TRUE(source->openFile(7, 0, ReadPattern::WholeFile).failure.missing()) << "what is not there is missing";
  }
}

TEST(DiskKindsTest, WhatIsNoDiskIsRefusedAtOnceSayingWhatItIs) {
  TempDir work;
  const std::string pipe = work.file("pipe"), socketPath = work.file("socket");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0) << std::strerror(errno);
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  ASSERT_EQ(bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
  const std::pair<std::string, const char*> cases[] = {
      {pipe, "(a FIFO (named pipe))"}, {socketPath, "(a socket)"}, {"/dev/null", "(a character device)"}};
  for (const auto& [path, kind] : cases) {
    SCOPED_TRACE(path);
    auto opening = std::async(std::launch::async, [&path = path] {
      const OpenedDisk opened = openDisk(path, 0);
      return opened ? std::string("opened") : diskFailureText(opened.failure);
    });
    if (opening.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      ADD_FAILURE() << "the open waits for a writer";
      const int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);  // lets it go on
      opening.wait();
      if (writer >= 0) close(writer);
      continue;
    }
    EXPECT_EQ(opening.get(), path + " is neither a disk image file nor a block device " + kind);
  }
  close(listening);
}

TEST(PrintableTextTest, ControlCharactersFromTheDiskAreShownEscaped) {
  const std::pair<std::string, const char*> cases[] = {
      {"Linux (0x83)", "Linux (0x83)"},
      {"\x1b[2J\x1b]0;x\x07", "\\x1b[2J\\x1b]0;x\\x07"},
      {"tab\tnew\nline\r", "tab\\x09new\\x0aline\\x0d"},
      {"del\x7f", "del\\x7f"},
      {"c1 \xc2\x9b" "31m \xc2\x85", "c1 \\xc2\\x9b31m \\xc2\\x85"},
      {"caf\xc3\xa9 \xe5\xbd\x95\xe5\x83\x8f \xc2\xa0", "caf\xc3\xa9 \xe5\xbd\x95\xe5\x83\x8f \xc2\xa0"},
      {"stray \x9b and cut \xe5\xbd", "stray \\x9b and cut \\xe5\\xbd"},
      {"overlong \xc0\xaf, surrogate \xed\xa0\x80", "overlong \\xc0\\xaf, surrogate \\xed\\xa0\\x80"},
      {"back\\slash", "back\\\\slash"},
  };
  for (const auto& [raw, shown] : cases) EXPECT_EQ(printableText(raw), shown) << raw;
}

TEST(ExfatImageTest, TheFileSystemIsRecognised) {
  const std::string missing = testing::missingTools({"mkfs.exfat"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  TempDir work;
  ASSERT_EQ(testing::makeExfatImage(work.file("exfat.img"), 8 * MIB), "");
  const PartitionList listed = listPartitions(work.file("exfat.img"));
  const auto& partitions = listed.partitions;
  ASSERT_EQ(partitions.size(), 1u) << listed.failure.reason;
  EXPECT_EQ(partitions[0].fileSystem, "exfat");
  EXPECT_FALSE(partitions[0].holdsStore);
  const OpenedDisk opened = openDisk(work.file("exfat.img"), 0);
  EXPECT_EQ(opened.failure.code, FailureCode::NoStore);
  EXPECT_NE(opened.failure.reason.find("holds no recorder store"), std::string::npos) << opened.failure.reason;
}

TEST(ExfatImageTest, AStoreOnExfatReadsAsItsFolder) {
  GTEST_SKIP() << "exFAT is recognised (test above), but no Debian tool puts files into an exFAT image without mounting it, so "
                  "a store on exFAT is not compared with its folder";
}

}  // namespace
}  // namespace korvex
