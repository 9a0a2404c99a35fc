// Whatever a damaged disk holds, reading a recording file, scanning it and
// backing it up must neither crash nor read or write out of bounds.
//
// Every input is recording file 0 of folder 0 of a store in memory: the
// reader reads it, then both jobs run over that store. Some inputs are also
// put into a small FAT12 disk image built in memory, which is opened as a
// disk (partition table or none, file system, folders) and given to both
// jobs, so that the image's reading path sees the same damage. No file is
// read or written: the jobs' report, AVI files and logs stay in memory.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/output_files.h"
#include "jobs/backup_worker.h"
#include "jobs/scan_worker.h"
#include "store/disk_image.h"
#include "store/image_source.h"
#include "store/memory_source.h"
#include "store/recording_file_reader.h"
#include "store/recording_store.h"

// Every input allocates and frees the same few buffers. A smaller
// quarantine of freed blocks (still many inputs deep) and no handing of free
// pages back to the system keep those blocks in pages already mapped: a
// quarter less time per input, the same errors found.
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=16:allocator_release_to_os_interval_ms=-1";
}

namespace {

// The jobs' report, AVI files and logs: in memory, emptied after every
// input, so that no time goes to making and removing files.
korvex::MemoryOutputFiles& output() {
  static korvex::MemoryOutputFiles files;
  return files;
}

void readEveryFrame(const korvex::RecordingSource& source, bool readPayloads, bool recover) {
  korvex::RecordingFileReader reader;
  reader.setRecovery(recover);
  if (!reader.open(source.openFile(0, 0, readPayloads ? korvex::ReadPattern::WholeFile : korvex::ReadPattern::HeadersOnly)))
    return;
  korvex::RecordingFileHeader header;
  if (!reader.readFileHeader(header)) return;
  // One buffer for every input, as a job keeps one for every frame.
  static korvex::PayloadBuffer buffer;
  korvex::FrameHeader frame;
  std::uint64_t frameEnd = 0;
  while (reader.nextFrame(frame)) {
    // The frames given never share a byte.
    if (reader.frameOffset() < frameEnd) std::abort();
    frameEnd = reader.frameOffset() + korvex::FRAME_HEADER_SIZE + frame.payloadLength;
    if (!readPayloads) {
      reader.skipPayload();
    } else if (!reader.readPayload(buffer) || buffer.size() != frame.payloadLength) {
      if (!recover) break;
    }
  }
}

void put16(std::vector<std::uint8_t>& b, std::size_t at, unsigned value) {
  b[at] = static_cast<std::uint8_t>(value);
  b[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t value) {
  put16(b, at, value & 0xffff);
  put16(b, at + 2, value >> 16);
}

// A FAT12 entry: 12 bits, two entries in three bytes.
void putFat12(std::vector<std::uint8_t>& b, std::size_t fat, unsigned cluster, unsigned value) {
  const std::size_t at = fat + cluster * 3 / 2;
  if (cluster % 2 == 0) {
    b[at] = static_cast<std::uint8_t>(value);
    b[at + 1] = static_cast<std::uint8_t>((b[at + 1] & 0xf0) | ((value >> 8) & 0x0f));
  } else {
    b[at] = static_cast<std::uint8_t>((b[at] & 0x0f) | ((value << 4) & 0xf0));
    b[at + 1] = static_cast<std::uint8_t>(value >> 4);
  }
}

// A directory entry with an 8.3 name ("DIR00000   ", "FILE0000DAT").
void putEntry(std::vector<std::uint8_t>& b, std::size_t at, const char* name, std::uint8_t attributes,
              unsigned cluster, std::uint32_t size) {
  std::memcpy(b.data() + at, name, 11);
  b[at + 11] = attributes;
  put16(b, at + 26, cluster);
  put32(b, at + 28, size);
}

// A FAT12 file system holding dir00000/file0000.dat with `data` in it, as
// a recorder's disk formatted without a partition table would.
std::vector<std::uint8_t> fat12Image(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t SECTOR = 512, CLUSTER = 2048, ROOT_ENTRIES = 16, FAT_SECTORS = 1;
  const std::size_t fileClusters = (size + CLUSTER - 1) / CLUSTER;
  const std::size_t clusters = fileClusters + 1 + 8;  // the folder's cluster, and some free ones
  const std::size_t dataStart = (1 + 2 * FAT_SECTORS + ROOT_ENTRIES * 32 / SECTOR) * SECTOR;
  std::vector<std::uint8_t> b(dataStart + clusters * CLUSTER);
  b[0] = 0xeb, b[1] = 0x3c, b[2] = 0x90;
  std::memcpy(b.data() + 3, "KORVEX  ", 8);
  put16(b, 11, SECTOR);
  b[13] = CLUSTER / SECTOR;
  put16(b, 14, 1);  // reserved sectors
  b[16] = 2;        // copies of the table
  put16(b, 17, ROOT_ENTRIES);
  put16(b, 19, static_cast<unsigned>(b.size() / SECTOR));
  b[21] = 0xf8;
  put16(b, 22, FAT_SECTORS);
  put16(b, 24, 32), put16(b, 26, 2);
  b[38] = 0x29;
  std::memcpy(b.data() + 43, "NO NAME    FAT12   ", 19);
  b[510] = 0x55, b[511] = 0xaa;
  for (std::size_t copy = 0; copy < 2; ++copy) {
    const std::size_t fat = (1 + copy * FAT_SECTORS) * SECTOR;
    putFat12(b, fat, 0, 0xff8);
    putFat12(b, fat, 1, 0xfff);
    putFat12(b, fat, 2, 0xfff);  // the folder
    for (std::size_t k = 0; k < fileClusters; ++k)
      putFat12(b, fat, static_cast<unsigned>(3 + k), k + 1 == fileClusters ? 0xfff : static_cast<unsigned>(4 + k));
  }
  const std::size_t root = (1 + 2 * FAT_SECTORS) * SECTOR;
  putEntry(b, root, "DIR00000   ", 0x10, 2, 0);
  putEntry(b, dataStart, ".          ", 0x10, 2, 0);
  putEntry(b, dataStart + 32, "..         ", 0x10, 0, 0);
  putEntry(b, dataStart + 64, "FILE0000DAT", 0x20, size > 0 ? 3 : 0, static_cast<std::uint32_t>(size));
  if (size > 0) std::memcpy(b.data() + dataStart + CLUSTER, data, size);
  return b;
}

void runJobs(const korvex::RecordingSource& source, bool recover) {
  // The jobs' local times (report and AVI names) without reading the zone
  // file for every input.
  static const bool zoneSet = [] {
    setenv("TZ", "UTC0", 1);
    tzset();
    return true;
  }();
  (void)zoneSet;
  korvex::JobSettings settings;
  settings.recover = recover;
  settings.outputFolder = "out";
  settings.beginTime = korvex::RECORDER_TIME_MIN;
  settings.endTime = korvex::RECORDER_TIME_MAX;
  settings.channelEnabled.fill(1);
  settings.recordTypeEnabled.fill(1);
  // File 1 is missing, so each job ends after the input, with its report
  // rows and AVI files finished.
  korvex::JobState state;
  const korvex::StopRequest stop;
  korvex::ScanOptions scanOptions;
  scanOptions.startedAt = 0;  // no clock read: the report's name is fixed
  scanOptions.output = &output();
  korvex::scanWorker(settings, source, state, stop, scanOptions);
  state.reset();
  korvex::BackupOptions backupOptions;
  backupOptions.startedAt = 0;
  backupOptions.output = &output();
  korvex::backupWorker(settings, source, state, stop, backupOptions);
  output().clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  korvex::MemorySource memory;
  memory.setFile(0, 0, std::vector<std::uint8_t>(data, data + size));
  readEveryFrame(memory, true, false);
  readEveryFrame(memory, false, false);
  // Recovery for a part of the inputs, told by a bit of the file header's
  // first word (which nothing reads): the reader searches past the end of
  // the frames, and reads through an unreadable stretch placed by the next
  // two bytes.
  const bool recover = size > 2 && (data[0] & 1) != 0;
  if (recover) {
    readEveryFrame(memory, true, true);
    const std::uint64_t from = (std::uint64_t{data[1]} << 8 | data[2]) * 64;
    memory.setDamage(0, 0, from, from + 1 + data[1]);
    readEveryFrame(memory, false, true);
  }
  runJobs(memory, recover);

  // One input in 256 (by its length) also goes through a disk image: opening
  // one costs some twenty times what the jobs cost over the store in memory
  // (under AddressSanitizer, mostly mapping and poisoning the file system
  // library's 2 MiB record).
  if (size % 256 == 3) {
    const auto image = korvex::ImageSource::open(korvex::memoryDiskImage(fat12Image(data, size)), 0);
    if (!image) {
      std::fprintf(stderr, "the fuzz target's FAT12 image cannot be opened: %s\n", image.failure.reason.c_str());
      std::abort();
    }
    readEveryFrame(*image.source, true, false);
    runJobs(*image.source, recover);
  }
  return 0;
}
