// korvex-bench-job scan|backup|reads|writes|floor|hashes ROOT OUT
// korvex-bench-job reads DISK OUT [--direct]
//
// Runs a scan or a backup of everything (the companion's defaults) on the
// calling thread and nothing else: no progress display, no waiting for a
// worker thread. The benchmarks time it beside korvex-cli to tell the jobs'
// own cost from the companion's.
//
// Two more commands split the backup's cost in two:
//   reads   every payload read into the payload buffer as the backup reads
//           it, nothing written;
//   writes  the AVI chunks the backup writes, one file per channel, with the
//           payload lengths of the store: pictures get their room in the
//           file's buffer as in the backup (which reads them into it), sound
//           is copied from memory; the store is read only for its frame
//           headers.
//   floor   the same bytes as writes, per channel file, written from memory
//           in 1 MiB pieces as the frame headers come: what writing them
//           costs at least. Like writes it reads the store's frame headers.
//   hashes  the SHA-256 of every AVI file in OUT (after a backup), as the
//           backup's hashing thread reads them back: the work that thread
//           does beside the backup.
// reads and writes together take about as long as the backup; each on its
// own shows the floor of its half. `reads` takes any disk the companion
// takes: a folder, or a disk image or device whose store is read without
// mounting (--direct: the recording files' bytes straight from the image
// where they lie in plain runs, not through the file system library).
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "avi/avi_file.h"
#include "jobs/backup_worker.h"
#include "jobs/file_hasher.h"
#include "jobs/job_settings.h"
#include "jobs/job_state.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "store/disk_source.h"
#include "store/frame_header.h"
#include "store/recording_file_reader.h"
#include "store/recording_source.h"
#include "store/recording_store.h"
#include "store/store_walk.h"

namespace {

// Calls `each` with every frame of every recording file, in the jobs' order
// and through the jobs' own walk; `pattern` tells how the payloads will be
// used. False when the walk ended before the store's end.
template <typename Each>
bool forEachFrame(const korvex::RecordingSource& source, korvex::ReadPattern pattern, Each each) {
  const korvex::FolderRange range{0, source.countFolders()};
  const korvex::StopRequest never;
  korvex::StoreWalker walker;
  walker.visitFile = [&](std::int32_t, int, korvex::RecordingFileReader& reader) {
    korvex::RecordingFileHeader fileHeader;
    if (!reader.readFileHeader(fileHeader)) return korvex::WalkVerdict::Continue;
    korvex::FrameHeader frame;
    while (reader.nextFrame(frame)) {
      if (!each(reader, frame)) return korvex::WalkVerdict::Stop;
    }
    return korvex::WalkVerdict::Continue;
  };
  const korvex::WalkEnd end = korvex::walkStore(source, range, pattern, never, walker);
  return end.kind == korvex::WalkEnd::Kind::RangeDone ||
         (end.kind == korvex::WalkEnd::Kind::FileMissing && end.folder == range.limit - 1);
}

int readsAlone(const std::string& disk, bool direct) {
  korvex::DiskOptions options;
  options.image.directReads = direct;
  const korvex::OpenedDisk opened = korvex::openDisk(disk, 0, options);
  if (!opened) {
    std::fprintf(stderr, "korvex-bench-job: %s\n", korvex::diskFailureText(opened.failure).c_str());
    return 1;
  }
  const auto& source = opened.source;
  korvex::PayloadBuffer payload;
  std::uint64_t bytes = 0;
  const bool done = forEachFrame(*source, korvex::ReadPattern::WholeFile,
                                 [&](korvex::RecordingFileReader& reader, const korvex::FrameHeader&) {
                                   if (!reader.readPayload(payload)) return true;
                                   bytes += payload.size();
                                   return true;
                                 });
  std::printf("%llu bytes read\n", static_cast<unsigned long long>(bytes));
  return done ? 0 : 1;
}

int writesAlone(const std::string& root, const std::string& out) {
  // Any bytes do: the kernel's cost of a write does not depend on them. Real
  // memory, grown to the largest payload as the payload buffer is.
  std::vector<std::uint8_t> data;
  std::array<std::unique_ptr<korvex::AviFile>, korvex::CHANNEL_TABLE_SIZE> writers;
  korvex::Failure failure;
  std::array<bool, korvex::CHANNEL_TABLE_SIZE> audioReady{};
  std::uint64_t bytes = 0;
  bool failed = false;
  const korvex::FolderSource source(root);
  const bool done = forEachFrame(
      source, korvex::ReadPattern::HeadersOnly, [&](korvex::RecordingFileReader& reader, const korvex::FrameHeader& frame) {
        reader.skipPayload();
        const auto c = static_cast<std::size_t>(frame.channel);
        if (!writers[c]) {
          if (frame.frameKind != korvex::FRAME_KIND_KEY) return true;  // files begin with a key frame
          const std::string path = out + "/writes-ch" + std::to_string(c + 1) + ".avi";
          writers[c] = korvex::AviFile::create(path, failure);
          if (!writers[c]) {
            failed = true;
            return false;
          }
          writers[c]->defineVideo(frame.videoWidth, frame.videoHeight, static_cast<double>(frame.frameRate), "X264");
        }
        korvex::AviFile* writer = writers[c].get();
        bool written = true;
        if (frame.frameKind != korvex::FRAME_KIND_AUDIO) {
          // As the backup does: the picture's room is reserved in the file's
          // buffer (the backup reads the payload into it) and committed.
          written = writer->reserveChunk(frame.payloadLength) != nullptr &&
                    writer->commitVideoFrame(frame.frameKind == korvex::FRAME_KIND_KEY);
        } else {
          if (data.size() < frame.payloadLength) data.resize(frame.payloadLength, 0x5a);
          if (!audioReady[c]) {
            writer->addAudioTrack(1, frame.audioSampleRate, frame.audioBits, korvex::ALAW_FORMAT_TAG,
                                  korvex::AUDIO_BITRATE_KBPS);
            audioReady[c] = true;
          }
          const std::uint32_t length = frame.payloadLength == korvex::RECORDER_AUDIO_CHUNK
                                           ? korvex::RECORDER_AUDIO_CHUNK - korvex::RECORDER_AUDIO_PREFIX
                                           : frame.payloadLength;
          written = writer->putAudio(data.data(), static_cast<std::int32_t>(length));
        }
        if (!written) {
          failure = writer->lastFailure();
          failed = true;
          return false;
        }
        bytes += frame.payloadLength;
        return true;
      });
  for (auto& writer : writers) {
    if (writer && !writer->finish()) {
      failure = writer->lastFailure();
      failed = true;
    }
  }
  if (failed) {
    std::fprintf(stderr, "korvex-bench-job: cannot write into %s: %s (%s)\n", out.c_str(),
                 korvex::aviErrorMessage(failure.code), std::strerror(failure.errorNumber));
    return 1;
  }
  std::printf("%llu bytes written\n", static_cast<unsigned long long>(bytes));
  return done ? 0 : 1;
}

int writeFloor(const std::string& root, const std::string& out) {
  constexpr std::size_t PIECE = 1024 * 1024;
  const std::vector<std::uint8_t> piece(PIECE, 0x5a);
  struct ChannelFile {
    int fd = -1;
    std::uint64_t pending = 0;  // bytes owed to the file
    std::uint64_t offset = 0;
    std::uint64_t chunks = 0;
  };
  std::array<ChannelFile, korvex::CHANNEL_TABLE_SIZE> files;
  bool failed = false;
  const auto writeOut = [&](ChannelFile& file, std::uint64_t least) {
    while (!failed && file.pending >= least && file.pending > 0) {
      const std::size_t count = file.pending < PIECE ? static_cast<std::size_t>(file.pending) : PIECE;
      const ssize_t written = pwrite(file.fd, piece.data(), count, static_cast<off_t>(file.offset));
      if (written <= 0) {
        failed = true;
        return;
      }
      file.pending -= static_cast<std::uint64_t>(written);
      file.offset += static_cast<std::uint64_t>(written);
    }
  };
  std::uint64_t bytes = 0;
  const bool done = forEachFrame(
      korvex::FolderSource(root), korvex::ReadPattern::HeadersOnly, [&](korvex::RecordingFileReader& reader, const korvex::FrameHeader& frame) {
        reader.skipPayload();
        ChannelFile& file = files[static_cast<std::size_t>(frame.channel)];
        if (file.fd < 0) {
          if (frame.frameKind != korvex::FRAME_KIND_KEY) return true;  // as the AVI files, from a key frame on
          const std::string path = out + "/floor-ch" + std::to_string(frame.channel + 1) + ".bin";
          file.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
          if (file.fd < 0) {
            failed = true;
            return false;
          }
          file.pending = korvex::AVI_HEADER_BLOCK_SIZE;
        }
        std::uint32_t length = frame.payloadLength;
        if (frame.frameKind == korvex::FRAME_KIND_AUDIO && length == korvex::RECORDER_AUDIO_CHUNK)
          length -= korvex::RECORDER_AUDIO_PREFIX;
        file.pending += 8 + length + (length & 1u);
        ++file.chunks;
        bytes += frame.payloadLength;
        writeOut(file, PIECE);
        return !failed;
      });
  for (ChannelFile& file : files) {
    if (file.fd < 0) continue;
    file.pending += 8 + 16 * file.chunks;  // the index
    writeOut(file, 1);
    if (close(file.fd) != 0) failed = true;
  }
  if (failed) {
    std::fprintf(stderr, "korvex-bench-job: cannot write into %s: %s\n", out.c_str(), std::strerror(errno));
    return 1;
  }
  std::printf("%llu bytes written\n", static_cast<unsigned long long>(bytes));
  return done ? 0 : 1;
}

}  // namespace

// The backup's second thread alone: the SHA-256 of every AVI file in the
// output folder, read back as the hasher reads them.
int hashesAlone(const std::string& outputFolder) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(outputFolder)) {
    if (entry.path().extension() == ".avi") files.push_back(entry.path().string());
  }
  std::uint64_t bytes = 0;
  for (const std::string& path : files) {
    const korvex::FileHash hash = korvex::sha256OfFile(path);
    if (hash.sha256.empty()) {
      std::fprintf(stderr, "korvex-bench-job: cannot hash %s: %s\n", path.c_str(), hash.failure.reason.c_str());
      return 1;
    }
    bytes += hash.bytes;
  }
  std::printf("%zu files, %llu bytes hashed\n", files.size(), static_cast<unsigned long long>(bytes));
  return 0;
}

int main(int argc, char** argv) {
  const std::string command = argc == 4 || argc == 5 ? argv[1] : "";
  const bool direct = argc == 5 && std::string(argv[4]) == "--direct";
  if ((command != "scan" && command != "backup" && command != "reads" && command != "writes" && command != "floor" &&
       command != "hashes") ||
      (argc == 5 && (command != "reads" || !direct))) {
    std::fputs("usage: korvex-bench-job scan|backup|reads|writes|floor|hashes ROOT OUT\n"
               "       korvex-bench-job reads DISK OUT [--direct]\n", stderr);
    return 2;
  }
  korvex::JobSettings settings;
  settings.diskRoot = argv[2];
  if (settings.diskRoot.empty() || settings.diskRoot.back() != '/') settings.diskRoot += '/';
  settings.outputFolder = argv[3];

  if (command == "reads") return readsAlone(argv[2], direct);
  if (command == "writes") return writesAlone(settings.diskRoot, settings.outputFolder);
  if (command == "floor") return writeFloor(settings.diskRoot, settings.outputFolder);
  if (command == "hashes") return hashesAlone(settings.outputFolder);

  korvex::JobState state;
  if (command == "scan") {
    const korvex::ScanResult result = korvex::scanWorker(settings, state);
    if (result.end != korvex::JobOutcome::Finished) {
      std::fprintf(stderr, "korvex-bench-job: the scan ended early (%d)\n", static_cast<int>(result.end));
      return 1;
    }
    std::printf("%zu segments\n", result.segments.size());
    return 0;
  }

  korvex::selectEverything(settings);
  const korvex::BackupResult result = korvex::backupWorker(settings, state);
  if (result.end != korvex::JobOutcome::Finished) {
    std::fprintf(stderr, "korvex-bench-job: the backup ended early (%d)\n", static_cast<int>(result.end));
    return 1;
  }
  std::printf("%llu bytes exported\n", static_cast<unsigned long long>(result.totalBytesWritten));
  return 0;
}
