// korvex-bench-recovery [--check]
//
// What the backup keeps of damaged disks, measured against exact ground
// truth. Small stores are written by the recorder simulator (the sample
// H.264 pictures and A-law sound), with every frame's bytes and place kept
// as it is written; each payload carries the frame's serial number in its
// last 4 bytes, so that every frame's bytes are unique. A copy of the store
// is damaged in one way per row, backed up once by the plain reading rules
// and once with recovery, and every chunk of every AVI file is matched
// against the frames:
//   intact     a frame whose bytes (header and payload) the damage left as
//              they were written, and whose reads do not fail;
//   recall     intact frames exported / intact frames present;
//   precision  chunks that are exactly the payload of a frame as it lies on
//              the damaged disk, in a file of the frame's channel / chunks.
// A chunk that is a frame's payload with the damage in it (zeroed bytes
// that no reader can tell) counts as that frame's bytes, and is listed apart
// as a damaged frame exported.
//
// --check: exit status 1 when a row breaks what must hold: recovery's
// precision below 100 %, a frame the plain job exports that the recovery job
// does not, or an AVI file that does not parse.
// Everything is seeded: the same build prints the same table.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "jobs/backup_worker.h"
#include "jobs/job_settings.h"
#include "jobs/job_state.h"
#include "jobs/selection.h"
#include "store/memory_source.h"
#include "store/recording_source.h"
#include "support/avi_contents.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"

namespace {

using korvex::RecorderTime;
using korvex::testing::FrameSpec;
using korvex::testing::SimulatedPlace;
using korvex::testing::SimulatedSegment;
using korvex::testing::SimulationOptions;

// The recordings start on 2026-12-01 at 08:00 recorder time.
constexpr RecorderTime FIRST_TIME = 1796112000;
// Where a recorder's clock starts again after it lost its battery.
constexpr RecorderTime CLOCK_RESET_TIME = 946684800;  // 2000-01-01 00:00
constexpr std::uint64_t FILE_BYTES = 512 * 1024;
constexpr std::uint64_t SECTOR = 512;
constexpr std::size_t HEADER = korvex::FRAME_HEADER_SIZE;

// One frame as the simulator wrote it.
struct TruthFrame {
  SimulatedPlace place;
  std::int32_t channel = 0;
  bool audio = false;
  std::vector<std::uint8_t> bytes;  // header and payload
  std::size_t payloadLength() const { return bytes.size() - HEADER; }
};

using FileKey = std::pair<int, int>;  // folder, file

// Reads of [from, to) of a file fail with EIO.
struct FailingRange {
  FileKey file;
  std::uint64_t from = 0;
  std::uint64_t to = 0;
};

// A store in memory, the frames written into it and the damage done to it.
struct Store {
  std::map<FileKey, std::vector<std::uint8_t>> files;
  std::vector<TruthFrame> frames;
  std::vector<FailingRange> failing;  // only a memory source can play these
};

std::uint64_t fnv1a(const std::uint8_t* bytes, std::size_t length) {
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = 0; i < length; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "korvex-bench-recovery: %s\n", what.c_str());
  std::exit(1);
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot read " + path.string());
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the simulator into a temporary folder and takes the store into
// memory. `change` may alter each frame before it is written; serials count
// on from `serial`.
Store simulate(const std::vector<SimulatedSegment>& segments, SimulationOptions options, std::uint32_t serial,
               const std::function<void(FrameSpec&)>& change = {}) {
  Store store;
  options.media = korvex::testing::SimulatedMedia::Samples;
  options.onFrame = [&](FrameSpec& frame, const SimulatedPlace& place) {
    if (change) change(frame);
    if (frame.payload.size() < 4) fail("a payload too short for its serial");
    korvex::testing::putLe32(frame.payload.data() + frame.payload.size() - 4, serial++);
    TruthFrame truth;
    truth.place = place;
    truth.channel = frame.channel;
    truth.audio = frame.frameKind == korvex::FRAME_KIND_AUDIO;
    truth.bytes.resize(HEADER);
    korvex::testing::encodeFrameHeader(frame, truth.bytes.data());
    truth.bytes.insert(truth.bytes.end(), frame.payload.begin(), frame.payload.end());
    store.frames.push_back(std::move(truth));
  };
  const korvex::testing::TempDir folder;
  korvex::testing::simulateRecorder(folder.root(), segments, options);
  for (const auto& dir : std::filesystem::directory_iterator(folder.path())) {
    const int folderNumber = std::atoi(dir.path().filename().string().c_str() + 3);  // "dir%05d"
    for (const auto& file : std::filesystem::directory_iterator(dir.path())) {
      const int fileNumber = std::atoi(file.path().filename().string().c_str() + 4);  // "file%04d.dat"
      store.files[{folderNumber, fileNumber}] = readFile(file.path());
    }
  }
  return store;
}

SimulatedSegment segment(std::int32_t channel, std::int32_t recordType, RecorderTime start, int seconds, bool audio) {
  SimulatedSegment s;
  s.channel = channel;
  s.recordType = recordType;
  s.start = start;
  s.seconds = seconds;
  s.audio = audio;
  return s;
}

// A minute of three channels, two with sound; channels 1 and 3 change
// segment on the way. About 3 MiB of frames in recording files of 512 KiB.
std::vector<SimulatedSegment> minuteOfThreeChannels(RecorderTime start, int seconds) {
  const int half = seconds / 2;
  return {segment(0, 1, start, half, true), segment(0, 2, start + half, seconds - half, true),
          segment(1, 1, start, seconds, true), segment(2, 4, start, seconds / 3, false),
          segment(2, 8, start + seconds / 3, seconds - seconds / 3, false)};
}

SimulationOptions fileOptions(std::uint64_t fileBytes = FILE_BYTES) {
  SimulationOptions options;
  options.fileBytes = fileBytes;
  return options;
}

Store baseStore(const std::function<void(FrameSpec&)>& change = {}) {
  return simulate(minuteOfThreeChannels(FIRST_TIME, 60), fileOptions(), 1, change);
}

// The files that hold frames, in the store's order.
std::vector<FileKey> filesWithFrames(const Store& store) {
  std::set<FileKey> keys;
  for (const TruthFrame& frame : store.frames) keys.insert({frame.place.folder, frame.place.file});
  return {keys.begin(), keys.end()};
}

std::uint32_t below(std::mt19937& random, std::size_t n) { return static_cast<std::uint32_t>(random() % n); }

// `count` frames that pass `fits`, each in a file of its own where the
// store has files enough, chosen by `random`; in store order.
std::vector<std::size_t> pickFrames(const Store& store, std::mt19937& random, std::size_t count,
                                    const std::function<bool(const TruthFrame&)>& fits) {
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < store.frames.size(); ++i)
    if (fits(store.frames[i])) candidates.push_back(i);
  if (candidates.empty()) fail("no frame fits the damage");
  std::vector<std::size_t> picked;
  std::set<FileKey> used;
  for (int tries = 0; picked.size() < count && tries < 1000; ++tries) {
    const std::size_t i = candidates[below(random, candidates.size())];
    const FileKey key{store.frames[i].place.folder, store.frames[i].place.file};
    if ((used.count(key) != 0 && tries < 500) || std::find(picked.begin(), picked.end(), i) != picked.end()) continue;
    used.insert(key);
    picked.push_back(i);
  }
  std::sort(picked.begin(), picked.end());
  return picked;
}

// Frames away from the store's first and last file, so that the damage has
// frames before and after it.
std::function<bool(const TruthFrame&)> inMiddleFile(const Store& store) {
  const std::vector<FileKey> files = filesWithFrames(store);
  return [first = files.front(), last = files.back()](const TruthFrame& frame) {
    const FileKey key{frame.place.folder, frame.place.file};
    return key != first && key != last;
  };
}

void zero(Store& store, const FileKey& key, std::uint64_t from, std::uint64_t to) {
  std::vector<std::uint8_t>& bytes = store.files.at(key);
  to = std::min<std::uint64_t>(to, bytes.size());
  for (std::uint64_t at = from; at < to; ++at) bytes[at] = 0;
}

FileKey fileOf(const TruthFrame& frame) { return {frame.place.folder, frame.place.file}; }

// The sector holding the middle of a frame's header, zeroed.
void zeroHeaderSectors(Store& store, std::mt19937& random, std::size_t count, std::int32_t channel = -1) {
  const auto middle = inMiddleFile(store);
  const auto picked = pickFrames(store, random, count, [&](const TruthFrame& frame) {
    return middle(frame) && (channel < 0 || frame.channel == channel);
  });
  for (std::size_t i : picked) {
    const TruthFrame& frame = store.frames[i];
    const std::uint64_t sector = (frame.place.offset + HEADER / 2) / SECTOR * SECTOR;
    zero(store, fileOf(frame), sector, sector + SECTOR);
  }
}

// --- The damage of each row ---------------------------------------------

Store undamaged() { return baseStore(); }

Store zeroedInPayloads() {
  Store store = baseStore();
  std::mt19937 random(11);
  // Pictures that hold a whole sector of the disk inside their payload.
  const auto picked = pickFrames(store, random, 6, [](const TruthFrame& frame) {
    const std::uint64_t start = frame.place.offset + HEADER;
    const std::uint64_t sector = (start + SECTOR - 1) / SECTOR * SECTOR;
    return !frame.audio && sector + SECTOR <= start + frame.payloadLength();
  });
  for (std::size_t i : picked) {
    const TruthFrame& frame = store.frames[i];
    const std::uint64_t sector = (frame.place.offset + HEADER + SECTOR - 1) / SECTOR * SECTOR;
    zero(store, fileOf(frame), sector, sector + SECTOR);
  }
  return store;
}

Store zeroedInHeaders() {
  Store store = baseStore();
  std::mt19937 random(12);
  zeroHeaderSectors(store, random, 4);
  return store;
}

Store flippedHeaderBits() {
  Store store = baseStore();
  std::mt19937 random(13);
  // The fields that decide where frames end and what they belong to: the
  // magic words, the segment keys, the payload length, the time. A flipped
  // channel number leaves no trace any reader could see, so it is left out.
  static const std::uint64_t fields[] = {0, 4, 40, 60, 72, 124};
  const auto picked = pickFrames(store, random, 8, inMiddleFile(store));
  for (std::size_t i : picked) {
    const TruthFrame& frame = store.frames[i];
    const std::uint64_t field = fields[below(random, std::size(fields))];
    const unsigned bit = below(random, 32);
    store.files.at(fileOf(frame))[frame.place.offset + field + bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  return store;
}

Store garbageRuns() {
  Store store = baseStore();
  std::mt19937 random(14);
  const auto picked = pickFrames(store, random, 3, inMiddleFile(store));
  for (std::size_t i : picked) {
    std::vector<std::uint8_t>& bytes = store.files.at(fileOf(store.frames[i]));
    // From somewhere inside the frame on, header or payload.
    const std::uint64_t from = store.frames[i].place.offset + below(random, store.frames[i].bytes.size());
    for (std::uint64_t at = from; at < std::min<std::uint64_t>(from + 2000, bytes.size()); ++at)
      bytes[at] = static_cast<std::uint8_t>(random());
  }
  return store;
}

Store cutShort() {
  Store store = baseStore();
  const std::vector<FileKey> files = filesWithFrames(store);
  std::vector<std::uint8_t>& bytes = store.files.at(files[files.size() / 2]);
  bytes.resize(bytes.size() / 2 / SECTOR * SECTOR);
  return store;
}

Store failingReads() {
  Store store = baseStore();
  std::mt19937 random(15);
  const auto picked = pickFrames(store, random, 3, inMiddleFile(store));
  for (std::size_t i : picked) {
    const std::uint64_t from = store.frames[i].place.offset / SECTOR * SECTOR;
    store.failing.push_back({fileOf(store.frames[i]), from, from + 8 * SECTOR});
  }
  return store;
}

// The recorder went round: the newest recording starts in the store's
// third file, over older frames that lie behind its end, and goes on in
// the fourth, which it wrote anew.
Store wrappedRecorder() {
  Store store = baseStore();
  SimulationOptions options = fileOptions(FILE_BYTES / 2);
  options.fillLastFolder = false;
  Store newest = simulate(minuteOfThreeChannels(FIRST_TIME + 3600, 8), options, 1u << 24, [](FrameSpec& frame) {
    frame.segmentKeyA += 1000;
    frame.segmentKeyB += 1000;
  });
  if (newest.files.size() != 2) fail("the newest recording should fill two files");
  const std::vector<FileKey> files = filesWithFrames(store);
  const FileKey first = files[2], next = files[3];
  const std::vector<std::uint8_t>& start = newest.files.at({0, 0});
  std::vector<std::uint8_t>& over = store.files.at(first);
  if (over.size() <= start.size()) fail("the older file should be longer than the newest recording's first");
  std::copy(start.begin(), start.end(), over.begin());
  store.files.at(next) = newest.files.at({0, 1});
  for (TruthFrame& frame : newest.frames) {
    const FileKey key = frame.place.file == 0 ? first : next;
    frame.place.folder = key.first;
    frame.place.file = key.second;
    store.frames.push_back(std::move(frame));
  }
  return store;
}

// Channel 2's frames are stamped a second behind channel 1's beside them
// (as people number them), and headers of channel 1 are damaged, so that recovery's search resumes
// among frames of both.
Store laggingChannel() {
  Store store = baseStore([](FrameSpec& frame) {
    if (frame.channel == 1) --frame.timeStamp;
  });
  std::mt19937 random(16);
  zeroHeaderSectors(store, random, 2, 0);
  return store;
}

// Three folders of 20 s each, dir00001 gone.
Store missingFolder() {
  Store store;
  for (int folder = 0; folder < 3; ++folder) {
    SimulationOptions options = fileOptions();
    options.firstFolder = folder;
    Store part = simulate(minuteOfThreeChannels(FIRST_TIME + 20 * folder, 20), options,
                          static_cast<std::uint32_t>(folder + 1) << 20);
    store.files.merge(part.files);
    for (TruthFrame& frame : part.frames) store.frames.push_back(std::move(frame));
  }
  std::erase_if(store.files, [](const auto& entry) { return entry.first.first == 1; });
  return store;
}

// Ten seconds in the middle of the minute stamped from 2000-01-01 on.
Store clockReset() {
  return baseStore([](FrameSpec& frame) {
    const RecorderTime from = FIRST_TIME + 25;
    if (frame.timeStamp >= from && frame.timeStamp < from + 10) frame.timeStamp = CLOCK_RESET_TIME + (frame.timeStamp - from);
  });
}

struct Row {
  const char* name;
  Store (*make)();
};

const Row ROWS[] = {
    {"undamaged control", undamaged},
    {"zeroed sectors mid-payload", zeroedInPayloads},
    {"zeroed sectors mid-header", zeroedInHeaders},
    {"bit flips in headers", flippedHeaderBits},
    {"garbage runs", garbageRuns},
    {"file cut short", cutShort},
    {"EIO regions", failingReads},
    {"wrapped recorder", wrappedRecorder},
    {"lagging channel after a resync", laggingChannel},
    {"missing middle folder", missingFolder},
    {"clock reset", clockReset},
};

// --- Ground truth of a damaged store --------------------------------------

// The bytes of a payload that an AVI chunk holds: the sound of a recorder
// audio chunk without its prefix, any other payload whole.
std::pair<const std::uint8_t*, std::size_t> keptBytes(const std::uint8_t* payload, std::size_t length, bool audio) {
  if (audio && length == korvex::RECORDER_AUDIO_CHUNK)
    return {payload + korvex::RECORDER_AUDIO_PREFIX, length - korvex::RECORDER_AUDIO_PREFIX};
  return {payload, length};
}

struct Truth {
  std::vector<bool> intact;
  std::size_t intactCount = 0;
  // The kept bytes of every frame whose payload lies whole on the damaged
  // disk, by their hash: what a chunk must be.
  std::unordered_multimap<std::uint64_t, std::size_t> byHash;
  std::vector<std::pair<const std::uint8_t*, std::size_t>> onDisk;
};

bool touchesFailing(const Store& store, const TruthFrame& frame) {
  for (const FailingRange& range : store.failing) {
    if (range.file == fileOf(frame) && frame.place.offset < range.to &&
        range.from < frame.place.offset + frame.bytes.size())
      return true;
  }
  return false;
}

Truth groundTruth(const Store& store) {
  Truth truth;
  truth.intact.assign(store.frames.size(), false);
  truth.onDisk.assign(store.frames.size(), {nullptr, 0});
  for (std::size_t i = 0; i < store.frames.size(); ++i) {
    const TruthFrame& frame = store.frames[i];
    const auto file = store.files.find(fileOf(frame));
    if (file == store.files.end() || file->second.size() < frame.place.offset + frame.bytes.size()) continue;
    const std::uint8_t* at = file->second.data() + frame.place.offset;
    truth.intact[i] = std::memcmp(at, frame.bytes.data(), frame.bytes.size()) == 0 && !touchesFailing(store, frame);
    truth.intactCount += truth.intact[i] ? 1 : 0;
    truth.onDisk[i] = keptBytes(at + HEADER, frame.payloadLength(), frame.audio);
    truth.byHash.emplace(fnv1a(truth.onDisk[i].first, truth.onDisk[i].second), i);
  }
  return truth;
}

// --- The jobs -----------------------------------------------------------

struct Measured {
  korvex::JobOutcome end = korvex::JobOutcome::Failed;
  std::size_t aviFiles = 0;
  std::size_t chunks = 0;
  std::size_t trueChunks = 0;
  std::size_t intactExported = 0;
  std::size_t damagedExported = 0;
  std::size_t twice = 0;         // frames found in more than one chunk
  std::size_t unreadableAvi = 0; // AVI files that do not parse
  std::set<std::size_t> exported;
};

Measured backUp(const Store& store, const Truth& truth, const korvex::RecordingSource& source, bool recover) {
  const korvex::testing::TempDir out;
  korvex::JobSettings settings;
  korvex::selectEverything(settings);
  settings.outputFolder = out.path();
  settings.recover = recover;
  korvex::JobState state;
  const korvex::StopRequest never;
  const korvex::BackupResult result = korvex::backupWorker(settings, source, state, never);

  Measured measured;
  measured.end = result.end;
  measured.aviFiles = result.files.size();
  for (const korvex::ExportedFile& file : result.files) {
    const korvex::testing::AviContents avi = korvex::testing::readAviContents(file.path);
    if (!avi.valid) ++measured.unreadableAvi;
    for (const korvex::testing::AviChunk& chunk : avi.chunks) {
      const bool audio = chunk.id.size() == 4 && chunk.id.compare(2, 2, "wb") == 0;
      ++measured.chunks;
      std::size_t found = SIZE_MAX;
      bool foundBefore = false;
      const auto [from, to] = truth.byHash.equal_range(fnv1a(chunk.data.data(), chunk.data.size()));
      for (auto it = from; it != to; ++it) {
        const std::size_t i = it->second;
        const TruthFrame& frame = store.frames[i];
        if (frame.channel != file.channel || frame.audio != audio || truth.onDisk[i].second != chunk.data.size() ||
            std::memcmp(truth.onDisk[i].first, chunk.data.data(), chunk.data.size()) != 0)
          continue;
        // Two frames can lie on disk alike only when damage made them so.
        const bool before = measured.exported.count(i) != 0;
        if (found == SIZE_MAX || (foundBefore && !before)) {
          found = i;
          foundBefore = before;
        }
      }
      if (found == SIZE_MAX) continue;
      ++measured.trueChunks;
      if (foundBefore) {
        ++measured.twice;
        continue;
      }
      measured.exported.insert(found);
      ++(truth.intact[found] ? measured.intactExported : measured.damagedExported);
    }
  }
  return measured;
}

// A share in percent, never rounded up to 100.
std::string percent(std::size_t part, std::size_t whole) {
  if (whole == 0) return "-";
  if (part == whole) return "100 %";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", std::floor(1000.0 * static_cast<double>(part) / static_cast<double>(whole)) / 10);
  return text;
}

// Writes the store into a folder, as a recorder's disk mounted read-only
// would show it.
void writeStore(const Store& store, const std::string& root) {
  korvex::testing::StoreWriter writer(root);
  std::set<int> folders;
  for (const auto& [key, bytes] : store.files) {
    if (folders.insert(key.first).second) writer.makeFolder(key.first);
    std::ofstream out(writer.filePath(key.first, key.second), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write " + writer.filePath(key.first, key.second));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc == 2 && std::strcmp(argv[1], "--check") == 0;
  if (argc > 2 || (argc == 2 && !check)) {
    std::fputs("usage: korvex-bench-recovery [--check]\n", stderr);
    return 2;
  }
  // The AVI names hold calendar times; one zone for every run.
  setenv("TZ", "UTC0", 1);
  tzset();
  const auto started = std::chrono::steady_clock::now();

  std::puts("| damage | mode | job end | intact frames present | intact exported | recall | damaged frames exported "
            "| precision | AVI files | plain intact frames recovery misses |");
  std::puts("|---|---|---|---:|---:|---:|---:|---:|---:|---:|");
  std::vector<std::string> notes;
  bool broken = false;
  for (const Row& row : ROWS) {
    const Store store = row.make();
    const Truth truth = groundTruth(store);
    Measured plain, recovered;
    if (store.failing.empty()) {
      const korvex::testing::TempDir disk;
      writeStore(store, disk.root());
      const korvex::FolderSource source(disk.root());
      plain = backUp(store, truth, source, false);
      recovered = backUp(store, truth, source, true);
    } else {
      korvex::MemorySource source;
      for (const auto& [key, bytes] : store.files) source.setFile(key.first, key.second, bytes);
      for (const FailingRange& range : store.failing)
        source.setDamage(range.file.first, range.file.second, range.from, range.to);
      plain = backUp(store, truth, source, false);
      recovered = backUp(store, truth, source, true);
    }
    std::size_t missed = 0;
    // Intact frames only: a damaged frame the plain rules take with a wrong
    // length is one recovery must not export.
    for (std::size_t i : plain.exported) missed += truth.intact[i] && recovered.exported.count(i) == 0 ? 1 : 0;
    for (const Measured* m : {&plain, &recovered}) {
      const bool isPlain = m == &plain;
      std::printf("| %s | %s | %s | %zu | %zu | %s | %zu | %s | %zu | ", row.name, isPlain ? "plain" : "recovery",
                  korvex::jobOutcomeName(m->end), truth.intactCount, m->intactExported, percent(m->intactExported, truth.intactCount).c_str(),
                  m->damagedExported, percent(m->trueChunks, m->chunks).c_str(), m->aviFiles);
      if (isPlain) std::puts("- |");
      else std::printf("%zu |\n", missed);
      // The plain rules take a damaged payload length as it stands; only
      // recovery can be held to exact chunks.
      broken = broken || m->unreadableAvi != 0 || (!isPlain && m->trueChunks != m->chunks);
      if (m->twice != 0)
        notes.push_back(std::string(row.name) + ", " + (isPlain ? "plain" : "recovery") + ": " +
                        std::to_string(m->twice) + " frames exported more than once");
      if (m->unreadableAvi != 0)
        notes.push_back(std::string(row.name) + ", " + (isPlain ? "plain" : "recovery") + ": " +
                        std::to_string(m->unreadableAvi) + " AVI files that do not parse");
    }
    broken = broken || missed != 0;
  }
  for (const std::string& note : notes) std::printf("\n- %s\n", note.c_str());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(stderr, "korvex-bench-recovery: %zu rows in %.1f s\n", std::size(ROWS), seconds);
  return check && broken ? 1 : 0;
}
