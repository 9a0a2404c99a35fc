// korvex-fuzz-seeds FOLDER: writes recording files that reach every branch
// of the reader and the jobs, as the fuzzer's starting corpus.
#include <cstdio>
#include <string>

#include "support/media_samples.h"
#include "support/store_writer.h"

using korvex::testing::FrameSpec;
using korvex::testing::RecordingFileBuilder;

namespace {

FrameSpec frame(std::int32_t channel, std::int32_t kind, std::int32_t keys, std::int32_t t, std::size_t size) {
  FrameSpec f;
  f.channel = channel;
  f.frameKind = kind;
  f.segmentKeyA = f.segmentKeyB = keys;
  f.timeStamp = t;
  f.recordType = 1 << (channel % 4);
  f.videoWidth = 176;
  f.videoHeight = 144;
  f.frameRate = 25;
  f.audioSampleRate = 8000;
  f.audioBits = 8;
  f.payload.assign(size, static_cast<std::uint8_t>(channel + t));
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvex-fuzz-seeds FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::int32_t t0 = 1336118950;

  RecordingFileBuilder av;
  av.times(t0, t0 + 2);
  for (int i = 0; i < 6; ++i) {
    av.frame(frame(0, i % 3 == 0 ? 1 : 2, 5, t0 + i / 3, 60 + i));
    av.frame(frame(0, 0, 5, t0 + i / 3, 324));
    av.frame(frame(1, 1, 7 + i / 4, t0 + i / 2, 33));
  }
  av.writeTo(folder + "/audio-video.dat");

  RecordingFileBuilder(av).truncate(8192 + 300).writeTo(folder + "/truncated.dat");
  RecordingFileBuilder().times(t0, t0).frame(frame(40, 1, 1, t0, 10)).frame(frame(2, 1, 0, t0, 11))
      .frame(frame(3, 1, 9, t0, 12)).writeTo(folder + "/odd-channels.dat");

  FrameSpec sample = frame(0, 1, 3, t0, 0);
  sample.payload = korvex::testing::sampleVideo().front().bytes;
  RecordingFileBuilder().times(t0, t0).frame(sample).writeTo(folder + "/h264.dat");

  RecordingFileBuilder().raw(std::vector<std::uint8_t>(100, 0)).writeTo(folder + "/empty-frames.dat");
  return 0;
}
