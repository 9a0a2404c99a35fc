// Writes a store the way a recorder fills its disk: the frames of all
// channels interleaved in time order, files filled one after the other,
// 128 files to a folder. Used by tests that need real media, by the sample
// disk tool and by the benchmarks (which need stores of gigabytes, so the
// frames are streamed to disk, never held in memory).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/recorder_time.h"
#include "support/store_writer.h"

namespace korvex::testing {

struct SimulatedSegment {
  std::int32_t channel = 0;  // index, 0 to 31
  std::int32_t recordType = 1;
  RecorderTime start = 0;
  int seconds = 10;
  bool audio = true;  // one 324-byte audio chunk after every picture
};

// Where a frame goes: its recording file and the offset of its header.
struct SimulatedPlace {
  int folder = 0;
  int file = 0;
  std::uint64_t offset = 0;
};

enum class SimulatedMedia {
  Samples,    // the H.264 and A-law samples of tests/data (176x144)
  Synthetic,  // pictures of random sizes filled with a pattern (704x576)
};

struct SimulationOptions {
  std::uint64_t fileBytes = 2u * 1024 * 1024;  // a recording file ends once it holds this much
  int framesPerSecond = 25;
  SimulatedMedia media = SimulatedMedia::Samples;
  std::uint32_t syntheticMinBytes = 10000;
  std::uint32_t syntheticMaxBytes = 60000;
  std::uint32_t seed = 1;
  int firstFolder = 0;
  bool fillLastFolder = true;  // header-only files up to file0127.dat
  // Told every frame just before it is written, and where it goes; it may
  // change the frame (its time, its keys, its payload's bytes), and the
  // file header's times follow. Tools that need every frame's bytes and
  // place (ground truth for damaged stores) use it.
  std::function<void(FrameSpec&, const SimulatedPlace&)> onFrame;
};

struct SimulationResult {
  int folders = 0;
  int files = 0;
  std::uint64_t frames = 0;
  std::uint64_t videoFrames = 0;
  std::uint64_t payloadBytes = 0;
  std::uint64_t storeBytes = 0;
  RecorderTime firstTime = 0;
  RecorderTime lastTime = 0;
};

// Segment i gets the keys A = 100 + i and B = 100000 + i.
SimulationResult simulateRecorder(const std::string& root, const std::vector<SimulatedSegment>& segments,
                                  const SimulationOptions& options = {});

// The sample disk: three channels with sound on two, the four record
// types, recordings from 2026-12-01 08:00 recorder time on, in small files
// that fill more than one folder.
SimulationResult writeSampleDisk(const std::string& root);

}  // namespace korvex::testing
