// Whatever a damaged disk holds, reading a recording file, scanning it and
// backing it up must neither crash nor read or write out of bounds.
//
// The reader reads the input from memory. The jobs still take the store as a
// folder path, so they read it from a file written for each input; once they
// take a RecordingSource, they can be given the MemorySource too and the
// file (and its cost per input) goes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/backup_worker.h"
#include "jobs/scan_worker.h"
#include "store/memory_source.h"
#include "store/recording_file_reader.h"
#include "store/recording_store.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
  std::string root;  // the store: dir00000/file0000.dat holds the input
  std::string out;   // report and AVI files, emptied after every input
  Scratch() {
    // A memory file system where there is one: the jobs create and remove
    // their output files for every input, and a disk's journal costs more
    // than the jobs themselves.
    const std::string parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string();
    const std::string base = parent + "/korvex-fuzz-" + std::to_string(getpid());
    root = base + "/disk/";
    out = base + "/out";
    fs::create_directories(root + "dir00000");
    fs::create_directories(out);
  }
};

const Scratch& scratch() {
  static const Scratch s;
  return s;
}

void writeInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
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

  const Scratch& s = scratch();
  writeInput(korvex::recordingFilePath(s.root, 0, 0), data, size);

  korvex::JobSettings settings;
  settings.diskRoot = s.root;
  settings.outputFolder = s.out;
  settings.beginTime = korvex::RECORDER_TIME_MIN;
  settings.endTime = korvex::RECORDER_TIME_MAX;
  settings.channelEnabled.fill(1);
  settings.recordTypeEnabled.fill(1);
  settings.recover = recover;

  // Both jobs over the one-file store: file 1 is missing, so each ends after
  // the input, with its report rows and AVI files finished.
  korvex::JobState state;
  korvex::scanWorker(settings, state);
  state.reset();
  korvex::backupWorker(settings, state);

  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(s.out, ignored)) fs::remove(entry.path(), ignored);
  return 0;
}
