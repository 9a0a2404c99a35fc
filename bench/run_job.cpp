// korvex-bench-job scan|backup|reads|writes ROOT OUT
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
//           payload lengths of the store but the data taken from memory: the
//           store is read only for its frame headers.
// The two together take about as long as the backup; each on its own shows
// the floor of its half. `reads` takes any disk the companion takes: a
// folder, or a disk image or device whose store is read without mounting
// (--direct: the recording files' bytes straight from the image where they
// lie in plain runs, not through the file system library).
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "avi/avi_writer.h"
#include "jobs/backup_worker.h"
#include "jobs/job_settings.h"
#include "jobs/job_state.h"
#include "jobs/scan_worker.h"
#include "jobs/selection.h"
#include "store/disk_source.h"
#include "store/frame_header.h"
#include "store/recording_file_reader.h"
#include "store/recording_store.h"

namespace {

// Calls `each` with every frame of every recording file, in the jobs' order;
// `pattern` tells how the payloads will be used. False when a file is missing
// in the middle of the store.
template <typename Each>
bool forEachFrame(const korvex::RecordingSource& source, korvex::ReadPattern pattern, Each each) {
  korvex::RecordingFileReader reader;
  const int folders = source.countFolders();
  for (int folder = 0; folder < folders; ++folder) {
    for (int file = 0; file < korvex::FILES_PER_FOLDER; ++file) {
      if (!reader.open(source.openFile(folder, file, pattern))) return folder == folders - 1;
      korvex::RecordingFileHeader fileHeader;
      if (!reader.readFileHeader(fileHeader)) continue;
      korvex::FrameHeader frame;
      while (reader.nextFrame(frame)) {
        if (!each(reader, frame)) return false;
      }
    }
  }
  return true;
}

int readsAlone(const std::string& disk, bool direct) {
  std::string error;
  korvex::ImageOptions options;
  options.directReads = direct;
  const auto source = korvex::openDiskSource(disk, 0, error, options);
  if (!source) {
    std::fprintf(stderr, "korvex-bench-job: %s\n", error.c_str());
    return 1;
  }
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
  std::array<korvex::AviWriterHandle, korvex::CHANNEL_TABLE_SIZE> writers;
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
          writers[c].reset(korvex::AVI_create_output(path.c_str()));
          if (!writers[c]) {
            failed = true;
            return false;
          }
          korvex::AVI_define_video(writers[c].get(), frame.videoWidth, frame.videoHeight,
                                   static_cast<double>(frame.frameRate), "X264");
        }
        korvex::AviWriter* writer = writers[c].get();
        if (data.size() < frame.payloadLength) data.resize(frame.payloadLength, 0x5a);
        int written = 0;
        if (frame.frameKind != korvex::FRAME_KIND_AUDIO) {
          written = korvex::AVI_put_video_frame(writer, data.data(), static_cast<std::int32_t>(frame.payloadLength),
                                                frame.frameKind);
        } else {
          if (!audioReady[c]) {
            korvex::AVI_add_audio_track(writer, 1, frame.audioSampleRate, frame.audioBits, korvex::ALAW_FORMAT_TAG,
                                        korvex::AUDIO_BITRATE_KBPS);
            audioReady[c] = true;
          }
          const std::uint32_t length = frame.payloadLength == korvex::RECORDER_AUDIO_CHUNK
                                           ? korvex::RECORDER_AUDIO_CHUNK - korvex::RECORDER_AUDIO_PREFIX
                                           : frame.payloadLength;
          written = korvex::AVI_put_audio(writer, data.data(), static_cast<std::int32_t>(length));
        }
        if (written != 0) {
          failed = true;
          return false;
        }
        bytes += frame.payloadLength;
        return true;
      });
  for (auto& writer : writers) {
    if (writer && korvex::AVI_finish(writer.release()) != 0) failed = true;
  }
  if (failed) {
    std::fprintf(stderr, "korvex-bench-job: cannot write into %s: %s\n", out.c_str(),
                 korvex::AVI_error_message(korvex::AVI_last_error));
    return 1;
  }
  std::printf("%llu bytes written\n", static_cast<unsigned long long>(bytes));
  return done ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 4 || argc == 5 ? argv[1] : "";
  const bool direct = argc == 5 && std::string(argv[4]) == "--direct";
  if ((command != "scan" && command != "backup" && command != "reads" && command != "writes") ||
      (argc == 5 && (command != "reads" || !direct))) {
    std::fputs("usage: korvex-bench-job scan|backup|reads|writes ROOT OUT\n"
               "       korvex-bench-job reads DISK OUT [--direct]\n", stderr);
    return 2;
  }
  korvex::JobSettings settings;
  settings.diskRoot = argv[2];
  if (settings.diskRoot.empty() || settings.diskRoot.back() != '/') settings.diskRoot += '/';
  settings.outputFolder = argv[3];

  if (command == "reads") return readsAlone(argv[2], direct);
  if (command == "writes") return writesAlone(settings.diskRoot, settings.outputFolder);

  korvex::JobState state;
  state.reset();
  if (command == "scan") {
    state.scanRunning = true;
    korvex::scanWorker(settings, state);
    if (state.scanEnd != korvex::ScanEnd::RangeDone) {
      std::fprintf(stderr, "korvex-bench-job: the scan ended early (%d)\n", static_cast<int>(state.scanEnd.load()));
      return 1;
    }
    std::printf("%d segments\n", state.segmentCount.load());
    return 0;
  }

  korvex::selectEverything(settings);
  state.backupRunning = true;
  korvex::backupWorker(settings, state);
  if (state.backupEnd != korvex::BackupEnd::RangeDone) {
    std::fprintf(stderr, "korvex-bench-job: the backup ended early (%d)\n", static_cast<int>(state.backupEnd.load()));
    return 1;
  }
  std::printf("%llu bytes exported\n", static_cast<unsigned long long>(state.totalBytesWritten.load()));
  return 0;
}
