#include "support/media_probe.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "support/temp_dir.h"

extern char** environ;

namespace korvex::testing {

ProgramRun runProgram(const std::vector<std::string>& args) {
  ProgramRun run;
  if (args.empty()) return run;
  // Captured into files rather than pipes: nothing can block on a full pipe.
  TempDir capture;
  const std::string outPath = capture.file("stdout");
  const std::string errPath = capture.file("stderr");

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return run;
  const bool redirected =
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600) ==
          0 &&
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600) ==
          0;
  if (!redirected) {
    posix_spawn_file_actions_destroy(&actions);
    return run;
  }

  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t child = -1;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;

  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return run;
  }
  run.started = true;
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readTextFile(outPath);
  run.err = readTextFile(errPath);
  return run;
}

bool programOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::stringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return true;
  }
  return false;
}

std::vector<ProbeFields> MediaProbe::streamsOfType(const std::string& codecType) const {
  std::vector<ProbeFields> found;
  for (const ProbeFields& stream : streams) {
    const auto type = stream.find("codec_type");
    if (type != stream.end() && type->second == codecType) found.push_back(stream);
  }
  return found;
}

MediaProbe probeMedia(const std::string& path) {
  MediaProbe probe;
  probe.run = runProgram({"ffprobe", "-v", "error", "-count_frames", "-count_packets", "-show_entries",
                          "stream=index,codec_type,codec_name,codec_tag_string,width,height,sample_rate,channels,"
                          "bits_per_sample,nb_frames,nb_read_frames,nb_read_packets:format=format_name,nb_streams,"
                          "duration",
                          "-of", "compact=nk=0", path});
  // Lines such as "stream|index=0|codec_name=h264|..." and "format|...".
  std::stringstream lines(probe.run.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::stringstream fields(line);
    std::string section, field;
    if (!std::getline(fields, section, '|')) continue;
    ProbeFields parsed;
    while (std::getline(fields, field, '|')) {
      const auto equals = field.find('=');
      if (equals != std::string::npos) parsed[field.substr(0, equals)] = field.substr(equals + 1);
    }
    if (section == "stream") probe.streams.push_back(parsed);
    if (section == "format") probe.format = parsed;
  }
  return probe;
}

PictureHashes pictureHashes(const std::string& path, const std::vector<std::string>& inputOptions,
                            std::size_t pictures) {
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error"};
  args.insert(args.end(), inputOptions.begin(), inputOptions.end());
  for (const std::string& arg : {std::string("-i"), path, std::string("-map"), std::string("0:v"),
                                 std::string("-frames:v"), std::to_string(pictures), std::string("-f"),
                                 std::string("framemd5"), std::string("-")})
    args.push_back(arg);
  PictureHashes result;
  result.run = runProgram(args);
  // Lines "stream, dts, pts, duration, size, hash" after '#' comments.
  std::stringstream lines(result.run.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t hash = line.find_first_not_of(' ', line.rfind(',') + 1);
    if (hash != std::string::npos) result.hashes.push_back(line.substr(hash));
  }
  return result;
}

ProgramRun decodeMedia(const std::string& path) {
  return runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"});
}

}  // namespace korvex::testing
