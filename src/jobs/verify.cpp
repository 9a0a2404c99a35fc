#include "jobs/verify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>

#include "base/output_files.h"
#include "jobs/backup_worker.h"
#include "jobs/custody_log.h"
#include "jobs/file_hasher.h"
#include "jobs/sha256_digest.h"
#include "store/disk_source.h"
#include "store/recording_file_reader.h"

namespace korvex {

namespace {

using Json = nlohmann::json;

// A job's log is a few MiB at most; anything far larger is not one.
constexpr std::uint64_t MAX_LOG_BYTES = 256u * 1024 * 1024;
constexpr std::size_t INDEX_ENTRY_BYTES = 16;

struct FileCloser {
  int fd = -1;
  ~FileCloser() {
    if (fd >= 0) ::close(fd);
  }
};

std::string errorText(int error) { return std::strerror(error); }

// "2012-05-04 08:09:11", recorder time as the recorder showed it.
std::string frameTimeText(RecorderTime time) {
  const CalendarTime t = recorderTimeToCalendar(time);
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                              t.minute, t.second);
  return n < 0 ? std::string() : std::string(text);
}

int openForReading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW); }

// Reads `count` bytes at `offset`: 0, or the errno (EIO for a file shorter
// than that).
int readFully(int fd, std::uint8_t* into, std::size_t count, std::uint64_t offset) {
  while (count > 0) {
    const ssize_t n = ::pread(fd, into, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    into += n;
    count -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return 0;
}

std::uint32_t le32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

const Json* member(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

std::optional<std::string> textOf(const Json& object, const char* key) {
  const Json* value = member(object, key);
  if (value == nullptr || !value->is_string()) return std::nullopt;
  return value->get_ref<const std::string&>();
}

std::optional<std::uint64_t> numberOf(const Json& object, const char* key) {
  const Json* value = member(object, key);
  if (value == nullptr || !value->is_number_unsigned()) return std::nullopt;
  return value->get<std::uint64_t>();
}

// A name that is not UTF-8 is restored from the hex the log keeps beside it.
std::optional<std::string> nameOf(const Json& entry) {
  if (const auto hex = textOf(entry, "nameHex"); hex && hex->size() % 2 == 0) {
    std::string bytes;
    for (std::size_t i = 0; i < hex->size(); i += 2) {
      const auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
      bytes += static_cast<char>(digit((*hex)[i]) * 16 + digit((*hex)[i + 1]));
    }
    return bytes;
  }
  return textOf(entry, "name");
}

// A file the log lists with its hash.
struct Listed {
  std::string name;
  std::optional<std::string> sha256;
  const Json* entry = nullptr;  // a backup's entry, for its sources
};

// "<hex>  <name>" lines as sha256sum writes them, a leading backslash
// marking an escaped name.
bool parseHashLine(std::string line, std::string& sha256, std::string& name) {
  const bool escaped = !line.empty() && line[0] == '\\';
  if (escaped) line.erase(0, 1);
  if (line.size() < 66 || (line[64] != ' ') || (line[65] != ' ' && line[65] != '*')) return false;
  sha256 = line.substr(0, 64);
  if (sha256.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
  name.clear();
  for (std::size_t i = 66; i < line.size(); ++i) {
    if (escaped && line[i] == '\\' && i + 1 < line.size()) {
      name += line[i + 1] == 'n' ? '\n' : line[i + 1];
      ++i;
    } else {
      name += line[i];
    }
  }
  return !name.empty();
}

struct AviChunk {
  char id[4];
  std::uint64_t offset = 0;  // of its header in the file
  std::uint32_t size = 0;
};

// The chunks an AVI file's idx1 index lists, in order; false with `why`.
bool readAviIndex(int fd, std::vector<AviChunk>& chunks, std::string& why) {
  struct stat info{};
  if (::fstat(fd, &info) != 0) {
    why = errorText(errno);
    return false;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  std::uint8_t head[12];
  if (size < sizeof head || readFully(fd, head, sizeof head, 0) != 0 || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "AVI ", 4) != 0) {
    why = "it is not an AVI file";
    return false;
  }
  std::uint64_t moviId = 0;
  std::uint64_t at = 12;
  while (at + 8 <= size) {
    std::uint8_t chunk[12];
    const std::size_t want = at + 12 <= size ? 12 : 8;
    if (const int error = readFully(fd, chunk, want, at); error != 0) {
      why = errorText(error);
      return false;
    }
    const std::uint64_t length = le32(chunk + 4);
    if (at + 8 + length > size) break;
    if (std::memcmp(chunk, "LIST", 4) == 0 && want == 12 && std::memcmp(chunk + 8, "movi", 4) == 0) moviId = at + 8;
    if (std::memcmp(chunk, "idx1", 4) == 0) {
      std::vector<std::uint8_t> index(length - length % INDEX_ENTRY_BYTES);
      if (const int error = readFully(fd, index.data(), index.size(), at + 8); error != 0) {
        why = errorText(error);
        return false;
      }
      chunks.reserve(index.size() / INDEX_ENTRY_BYTES);
      // Offsets count from the file's start, or (as some writers have it)
      // from the movi list's name: the first chunk's id tells which.
      std::uint64_t base = 0;
      for (std::size_t i = 0; i < index.size(); i += INDEX_ENTRY_BYTES) {
        AviChunk entry;
        std::memcpy(entry.id, &index[i], 4);
        entry.offset = le32(&index[i + 8]);
        entry.size = le32(&index[i + 12]);
        if (i == 0) {
          std::uint8_t id[4] = {};
          if (readFully(fd, id, 4, entry.offset) != 0 || std::memcmp(id, entry.id, 4) != 0) base = moviId;
        }
        entry.offset += base;
        chunks.push_back(entry);
      }
      return true;
    }
    at += 8 + length + (length & 1);
  }
  why = "it has no index (idx1)";
  return false;
}

// The log as JSON; false with a difference noted when it is none.
bool readJobLog(const std::string& logPath, Json& log, std::vector<std::string>& differences) {
  FileCloser file{openForReading(logPath)};
  struct stat info{};
  if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
    differences.push_back(logPath + ": cannot read the log: " + errorText(errno));
    return false;
  }
  if (!S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > MAX_LOG_BYTES) {
    const char* why = S_ISREG(info.st_mode) ? "too large" : "not a regular file";
    differences.push_back(logPath + ": not a job's log (" + why + ")");
    return false;
  }
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  if (const int error = readFully(file.fd, reinterpret_cast<std::uint8_t*>(text.data()), text.size(), 0);
      error != 0) {
    differences.push_back(logPath + ": cannot read the log: " + errorText(error));
    return false;
  }
  log = Json::parse(text, nullptr, false);
  if (log.is_discarded() || !log.is_object() || !member(log, "job")) {
    differences.push_back(logPath + ": not a job's log (no JSON record of a job)");
    return false;
  }
  return true;
}

class LogCheck {
 public:
  LogCheck(const std::string& logPath, const RecordingSource* disk, const StopRequest* stop)
      : logPath_(logPath), disk_(disk), stop_(stop) {
    const std::size_t slash = logPath.rfind('/');
    folder_ = slash == std::string::npos ? std::string() : logPath.substr(0, slash + 1);
  }

  VerifyOutcome run() {
    Json log;
    if (!readLog(log)) return std::move(outcome_);
    const bool backup = textOf(log, "job") == std::optional<std::string>("backup");
    std::vector<Listed> listed;
    if (backup) {
      const Json* files = member(log, "files");
      if (files == nullptr || !files->is_array()) return fail(logPath_ + ": the log lists no files");
      for (const Json& entry : *files) {
        const auto name = nameOf(entry);
        if (!name) return fail(logPath_ + ": a file of the log has no name");
        listed.push_back({*name, textOf(entry, "sha256"), &entry});
        // The subtitle file of the recorder's time beside it, by its hash.
        if (const Json* time = member(entry, "timeFile"); time != nullptr && time->is_object()) {
          const auto timeName = nameOf(*time);
          if (!timeName) return fail(logPath_ + ": a time file of the log has no name");
          listed.push_back({*timeName, textOf(*time, "sha256"), nullptr});
        }
      }
    } else if (const Json* report = member(log, "report"); report != nullptr && report->is_object()) {
      const auto name = nameOf(*report);
      if (!name) return fail(logPath_ + ": the report of the log has no name");
      listed.push_back({*name, textOf(*report, "sha256"), nullptr});
    }
    for (const Listed& file : listed) checkHash(file);
    checkHashList(listed);
    if (disk_ != nullptr && backup) {
      const Json* settings = member(log, "settings");
      const Json* recover = settings != nullptr ? member(*settings, "recover") : nullptr;
      const bool recovering = recover != nullptr && recover->is_boolean() && recover->get<bool>();
      for (const Listed& file : listed) {
        if (stopAsked()) break;
        if (file.entry == nullptr) continue;  // no chunks of the disk
        // A file that cannot be read is named once, by its hash.
        if (file.sha256 && actualHash(file.name).failure.failed()) continue;
        checkAgainstDisk(file, recovering);
      }
    }
    outcome_.stopped = stopAsked();
    return std::move(outcome_);
  }

 private:
  bool stopAsked() const { return stop_ != nullptr && stop_->requested(); }
  void note(std::string difference) { outcome_.differences.push_back(std::move(difference)); }
  VerifyOutcome fail(std::string difference) {
    note(std::move(difference));
    return std::move(outcome_);
  }

  bool readLog(Json& log) { return readJobLog(logPath_, log, outcome_.differences); }

  const FileHash& actualHash(const std::string& name) {
    auto found = hashes_.find(name);
    if (found == hashes_.end()) {
      found = hashes_.emplace(name, sha256OfFile(folder_ + name)).first;
      ++outcome_.filesChecked;
    }
    return found->second;
  }

  void checkHash(const Listed& file) {
    const std::string path = folder_ + file.name;
    if (!file.sha256) {
      note(path + ": the log holds no SHA-256 of it");
      return;
    }
    const FileHash& hash = actualHash(file.name);
    if (hash.failure.failed()) note(path + ": cannot be read: " + hash.failure.reason);
    else if (hash.sha256 != *file.sha256)
      note(path + ": its SHA-256 is " + hash.sha256 + ", the log gives " + *file.sha256);
  }

  void checkHashList(const std::vector<Listed>& listed) {
    std::string listPath = logPath_;
    if (listPath.size() > JOB_LOG_EXTENSION.size() &&
        listPath.compare(listPath.size() - JOB_LOG_EXTENSION.size(), JOB_LOG_EXTENSION.size(), JOB_LOG_EXTENSION) == 0)
      listPath.resize(listPath.size() - JOB_LOG_EXTENSION.size());
    listPath += HASH_LIST_EXTENSION;
    std::string text;
    const Failure read = diskOutput().readBack(listPath, [&](const std::uint8_t* bytes, std::size_t count) {
      if (text.size() + count > MAX_LOG_BYTES) return false;
      text.append(reinterpret_cast<const char*>(bytes), count);
      return true;
    });
    if (read.failed()) {
      note(listPath + ": cannot read the hash list: " +
           (read.errorNumber != 0 ? std::string(std::strerror(read.errorNumber)) : read.reason));
      return;
    }
    std::map<std::string, std::string> inList;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      start = end + 1;
      ++lineNumber;
      std::string sha256, name;
      if (!parseHashLine(line, sha256, name)) {
        note(listPath + ": line " + std::to_string(lineNumber) + " is not a hash and a name");
        continue;
      }
      inList[name] = sha256;
    }
    std::map<std::string, const Listed*> byName;
    for (const Listed& file : listed) byName[file.name] = &file;
    for (const auto& [name, sha256] : inList) {
      const auto found = byName.find(name);
      if (found == byName.end()) note(listPath + ": lists " + name + ", which the log does not");
      else if (found->second->sha256 != sha256) note(listPath + ": gives " + name + " another SHA-256 than the log");
    }
    for (const Listed& file : listed)
      if (file.sha256 && inList.find(file.name) == inList.end()) note(listPath + ": does not list " + file.name);
  }

  // The runs of frames the file's entry gives; false with a difference
  // noted when it gives none that can be read.
  bool sourcesOf(const Listed& file, std::vector<SourceRun>& runs) {
    const std::string path = folder_ + file.name;
    const Json* sources = member(*file.entry, "sources");
    if (sources == nullptr || !sources->is_array()) {
      note(path + ": the log does not say which frames it holds");
      return false;
    }
    for (const Json& run : *sources) {
      const auto folder = numberOf(run, "folder"), number = numberOf(run, "file");
      const auto offset = numberOf(run, "offset"), frames = numberOf(run, "frames");
      if (!folder || !number || !offset || !frames || *frames == 0 || *folder > INT32_MAX || *number > INT32_MAX) {
        note(path + ": a run of its frames in the log is not a folder, file, offset and count");
        return false;
      }
      runs.push_back({static_cast<std::int32_t>(*folder), static_cast<std::int32_t>(*number), *offset, *frames});
    }
    return true;
  }

  void checkAgainstDisk(const Listed& file, bool recovering) {
    const std::string path = folder_ + file.name;
    std::vector<SourceRun> runs;
    if (!sourcesOf(file, runs)) return;
    const auto channelNumber = numberOf(*file.entry, "channel");
    if (!channelNumber || *channelNumber < 1 || *channelNumber > CHANNEL_TABLE_SIZE) {
      note(path + ": the log gives it no channel");
      return;
    }
    const auto channel = static_cast<std::int32_t>(*channelNumber - 1);
    FileCloser avi{openForReading(path)};
    if (avi.fd < 0) {
      note(path + ": cannot be read: " + errorText(errno));
      return;
    }
    std::vector<AviChunk> chunks;
    if (std::string why; !readAviIndex(avi.fd, chunks, why)) {
      note(path + ": cannot list its chunks: " + why);
      return;
    }
    Sha256Digest digest;
    std::size_t next = 0;          // the AVI's chunk the next frame must be
    std::uint64_t differing = 0;   // chunks unlike their frame
    std::string firstDifference;
    std::vector<std::uint8_t> chunkBytes;
    PayloadBuffer payload;
    RecordingFileReader reader;
    reader.setRecovery(recovering);
    reader.setStopRequest(stop_);
    bool aligned = true;  // the frames still meet the chunks one for one
    for (std::size_t r = 0; r < runs.size() && aligned && !stopAsked();) {
      const SourceRun& first = runs[r];
      std::size_t groupEnd = r;
      while (groupEnd < runs.size() && runs[groupEnd].folder == first.folder && runs[groupEnd].file == first.file)
        ++groupEnd;
      const std::string recording = disk_->filePath(first.folder, first.file);
      if (!reader.open(disk_->openFile(first.folder, first.file, ReadPattern::WholeFile))) {
        note(path + ": cannot open the recording file " + recording + ": " + reader.failure().reason);
        aligned = false;
        break;
      }
      RecordingFileHeader header;
      reader.readFileHeader(header);
      FrameHeader frame;
      bool taking = false;
      std::uint64_t left = 0;
      while (r < groupEnd && aligned && reader.nextFrame(frame)) {
        const std::uint64_t at = reader.frameOffset();
        if (!taking) {
          if (at < runs[r].offset) {
            reader.skipPayload();
            continue;
          }
          if (at > runs[r].offset || frame.channel != channel) {
            note(path + ": " + recording + " holds no frame of channel " + std::to_string(channel + 1) +
                 " at offset " + std::to_string(runs[r].offset));
            aligned = false;
            break;
          }
          taking = true;
          left = runs[r].frames;
        }
        if (frame.channel != channel) {
          reader.skipPayload();
          continue;
        }
        if (!reader.readPayload(payload)) {
          note(path + ": cannot read the frame at offset " + std::to_string(at) + " of " + recording);
          aligned = false;
          break;
        }
        const std::uint8_t* data = payload.data();
        std::size_t length = payload.size();
        if (frame.frameKind == FRAME_KIND_AUDIO && length == RECORDER_AUDIO_CHUNK) {
          data += RECORDER_AUDIO_PREFIX;
          length -= RECORDER_AUDIO_PREFIX;
        }
        digest.add(data, length);
        if (next >= chunks.size()) {
          note(path + ": holds " + std::to_string(chunks.size()) + " chunks, fewer than the frames the log gives");
          aligned = false;
          break;
        }
        if (!sameChunk(avi.fd, chunks[next], data, length, chunkBytes)) {
          if (differing++ == 0) {
            firstDifference = path + ": chunk " + std::to_string(next + 1) +
                              " is not the payload of its frame: channel " + std::to_string(channel + 1) + ", " +
                              recording + " at offset " + std::to_string(at) + ", " + frameTimeText(frame.timeStamp);
          }
        }
        ++next;
        ++outcome_.chunksChecked;
        if (--left == 0) {
          taking = false;
          ++r;
        }
      }
      if (aligned && r < groupEnd) {
        note(path + ": " + recording + " ends before the frames the log gives from offset " +
             std::to_string(runs[r].offset));
        aligned = false;
      }
      r = groupEnd;
    }
    if (differing > 0) {
      note(firstDifference + (differing > 1 ? " (" + std::to_string(differing) + " chunks differ)" : ""));
    }
    if (!aligned || stopAsked()) return;
    if (next != chunks.size()) {
      note(path + ": holds " + std::to_string(chunks.size()) + " chunks, the log's frames give " +
           std::to_string(next));
    }
    const auto logged = textOf(*file.entry, "payloadSha256");
    if (!logged) note(path + ": the log holds no digest of its payloads");
    else if (digest.finish() != *logged)
      note(path + ": the payloads read from the disk do not give the log's payloadSha256");
  }

  // Whether the AVI's chunk holds exactly `data` (its pad byte aside).
  static bool sameChunk(int fd, const AviChunk& chunk, const std::uint8_t* data, std::size_t length,
                        std::vector<std::uint8_t>& bytes) {
    if (chunk.size != length) return false;
    bytes.resize(8 + length);
    if (readFully(fd, bytes.data(), bytes.size(), chunk.offset) != 0) return false;
    if (std::memcmp(bytes.data(), chunk.id, 4) != 0 || le32(bytes.data() + 4) != length) return false;
    return length == 0 || std::memcmp(bytes.data() + 8, data, length) == 0;
  }

  std::string logPath_;
  std::string folder_;
  const RecordingSource* disk_;
  const StopRequest* stop_;
  std::map<std::string, FileHash> hashes_;
  VerifyOutcome outcome_;
};

}  // namespace

VerifyOutcome verifyLog(const std::string& logPath, const RecordingSource* disk, const StopRequest* stop) {
  return LogCheck(logPath, disk, stop).run();
}

VerifyOutcome verifyLogOnItsDisk(const std::string& logPath, const StopRequest* stop) {
  Json log;
  std::vector<std::string> problems;
  if (!readJobLog(logPath, log, problems) || textOf(log, "job") != std::optional<std::string>("backup"))
    return verifyLog(logPath, nullptr, stop);
  const Json* disk = member(log, "disk");
  // Where the job found the disk, links resolved: the log may have been
  // written from another working folder.
  auto path = disk != nullptr ? textOf(*disk, "resolvedPath") : std::nullopt;
  if (!path && disk != nullptr) path = textOf(*disk, "path");
  const Json* partition = disk != nullptr ? member(*disk, "partition") : nullptr;
  const auto index = partition != nullptr ? numberOf(*partition, "index") : std::nullopt;
  if (!path) {
    VerifyOutcome outcome = verifyLog(logPath, nullptr, stop);
    outcome.differences.push_back(logPath + ": the log names no disk");
    return outcome;
  }
  OpenedDisk opened = openDisk(*path, index && *index <= 128 ? static_cast<int>(*index) : 0);
  if (!opened) {
    VerifyOutcome outcome = verifyLog(logPath, nullptr, stop);
    outcome.differences.push_back(diskFailureText(opened.failure));
    return outcome;
  }
  return verifyLog(logPath, opened.source.get(), stop);
}

std::string verifySummary(const VerifyOutcome& outcome) {
  const std::string counted = std::to_string(outcome.filesChecked) + " files and " +
                              std::to_string(outcome.chunksChecked) + " chunks";
  if (outcome.stopped) return "stopped after " + counted;
  if (outcome.differences.empty()) return "all of " + counted + " hold";
  const std::size_t n = outcome.differences.size();
  return std::to_string(n) + (n == 1 ? " difference in " : " differences in ") + counted;
}

}  // namespace korvex
