// Runs ffprobe and ffmpeg over media files that tests wrote, so that real
// players judge them. Both must be on PATH.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace korvex::testing {

struct ProgramRun {
  bool started = false;  // false: the program could not be run at all
  int exitStatus = -1;   // exit status, or -1 when it ended by a signal
  std::string out;       // what it wrote to stdout
  std::string err;       // what it wrote to stderr
};

// Runs args[0], looked up on PATH, with the other arguments; stdin is
// /dev/null, stdout and stderr are captured apart.
ProgramRun runProgram(const std::vector<std::string>& args);

// True when `name` is an executable file in a folder of PATH.
bool programOnPath(const std::string& name);

// One section of ffprobe's output: field name to value, as printed.
using ProbeFields = std::map<std::string, std::string>;

struct MediaProbe {
  ProgramRun run;
  ProbeFields format;                // format_name, nb_streams, duration
  std::vector<ProbeFields> streams;  // in stream order

  // The streams of one type ("video", "audio").
  std::vector<ProbeFields> streamsOfType(const std::string& codecType) const;
};

// ffprobe's view of the file. The frame and packet counts
// (nb_read_frames, nb_read_packets) come from decoding the whole file;
// nb_frames is what the file's header declares.
MediaProbe probeMedia(const std::string& path);

struct PictureHashes {
  ProgramRun run;
  std::vector<std::string> hashes;  // one per picture, in the order decoded
};

// The MD5 of each of the first `pictures` video pictures ffmpeg decodes
// from `path` (its framemd5 output); `inputOptions` go before the input,
// e.g. {"-ss", "1.5"} for a seek.
PictureHashes pictureHashes(const std::string& path, const std::vector<std::string>& inputOptions,
                            std::size_t pictures);

// Decodes every stream of the file to nowhere with `ffmpeg -v error`; a
// sound file gives exit status 0 and nothing on stderr.
ProgramRun decodeMedia(const std::string& path);

}  // namespace korvex::testing
