#include "jobs/custody_log.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <nlohmann/json.hpp>

#include "jobs/output_folder.h"
#include "jobs/recovery_log.h"
#include "jobs/segment_texts.h"
#include "store/record_types.h"
#include "store/recording_source.h"
#include "store/recording_store.h"

#ifndef KORVEX_VERSION
#define KORVEX_VERSION "unknown"
#endif

namespace korvex {

namespace {

using Json = nlohmann::ordered_json;

// Grown in steps, so that a job with many files asks the disk rarely.
constexpr std::uint64_t RESERVE_STEP = 16 * 1024;

// An object with room for `keys` members. Its members sit in a vector whose
// keys are const, so every growth would copy each member's whole value.
Json objectWithRoom(std::size_t keys) {
  Json object = Json::object();
  object.get_ref<Json::object_t&>().reserve(keys);
  return object;
}

Json arrayWithRoom(std::size_t elements) {
  Json array = Json::array();
  array.get_ref<Json::array_t&>().reserve(elements);
  return array;
}

void putMembers(Json&) {}

template <typename Value, typename... Rest>
void putMembers(Json& object, const char* key, Value&& value, Rest&&... rest) {
  object.get_ref<Json::object_t&>().emplace(key, Json(std::forward<Value>(value)));
  putMembers(object, std::forward<Rest>(rest)...);
}

// An object of the members given (key, value, key, value, ...), in that
// order. Each is put in place once: from an initializer list every member
// would first be built as an array of its key and value, then copied.
template <typename... Members>
Json objectOf(Members&&... members) {
  static_assert(sizeof...(Members) % 2 == 0, "keys and values in pairs");
  Json object = objectWithRoom(sizeof...(Members) / 2);
  putMembers(object, std::forward<Members>(members)...);
  return object;
}

Json timeValue(RecorderTime time) { return objectOf("recorder", time, "text", calendarText(time)); }

Json recordTypeValue(std::uint32_t code) {
  return objectOf("code", code, "name", recordTypeName(static_cast<std::int32_t>(code)));
}

// A text that may be absent: null then.
Json textOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

std::string placeName(const FramePlace& place) { return recordingFileName(place.folder, place.file); }

// What was checked of an EWF set: its completeness when it was opened, and
// the checksum of every chunk this job read.
Json ewfVerificationValue(const DiskImageInfo& disk) {
  const ChunkChecks::Tally tally = disk.chunkChecks ? disk.chunkChecks->tally() : ChunkChecks::Tally{};
  Json failures = arrayWithRoom(tally.failed.size());
  std::uint64_t failedChunks = 0;
  for (const MediaRange& range : tally.failed) {
    failures.push_back(objectOf("offset", range.offset, "length", range.length));
    if (disk.chunkBytes != 0) failedChunks += range.length / disk.chunkBytes;
  }
  Json check = objectWithRoom(10);
  check["segmentsFound"] = disk.segments.size();
  check["segmentsExpected"] = disk.segmentsExpected != 0 ? Json(disk.segmentsExpected) : Json(nullptr);
  // A set that is not whole is refused when it is opened.
  check["complete"] = true;
  check["chunkBytes"] = disk.chunkBytes;
  check["chunks"] = disk.chunks;
  check["chunksRead"] = tally.chunksRead;
  check["chunksFailedChecksum"] = failedChunks;
  check["everyChunkReadPassedChecksum"] = tally.failed.empty();
  check["checksumFailures"] = std::move(failures);
  check["storedHashes"] = "not verified: the acquisition's MD5 and SHA-1 as the set stores them";
  return check;
}

Json diskValue(const DiskDescription& d) {
  Json disk = objectWithRoom(12);
  disk["path"] = d.disk.path;
  disk["resolvedPath"] = textOrNull(d.resolvedPath);
  disk["format"] = d.disk.format;
  disk["device"] = textOrNull(d.device);
  disk["fileSystem"] = textOrNull(d.fileSystem);
  disk["mountPoint"] = textOrNull(d.mountPoint);
  disk["model"] = textOrNull(d.disk.model);
  disk["serial"] = textOrNull(d.disk.serial);
  if (d.disk.format == "raw" || d.disk.format == "ewf" || d.disk.format == "device") {
    Json image = objectWithRoom(5);
    image["path"] = d.disk.path;
    image["bytes"] = d.disk.sizeBytes;
    image["segments"] = d.disk.segments;
    image["md5"] = textOrNull(d.disk.md5);
    image["sha1"] = textOrNull(d.disk.sha1);
    if (d.disk.format == "ewf") {
      // The stored hashes are the acquisition's word: a job reads only the
      // chunks it needs, so it cannot say that the data matches them.
      image["storedHashesVerified"] = false;
      image["verification"] = ewfVerificationValue(d.disk);
    }
    disk["image"] = std::move(image);
    Json partition = objectWithRoom(6);
    partition["index"] = d.partition.index;
    partition["wholeDisk"] = !d.partitioned;
    partition["startBytes"] = d.partition.startBytes;
    partition["lengthBytes"] = d.partition.lengthBytes;
    partition["description"] = d.partition.description;
    partition["fileSystem"] = d.partition.fileSystem;
    disk["partition"] = std::move(partition);
  } else {
    disk["image"] = nullptr;
    disk["partition"] = nullptr;
  }
  return disk;
}

Json settingsValue(const JobSettings& s, bool backup) {
  Json settings = objectWithRoom(14);
  settings["diskRoot"] = s.diskRoot;
  settings["outputFolder"] = s.outputFolder;
  settings["folderStart"] = s.folderStart;
  settings["folderEnd"] = s.folderEnd;
  settings["recover"] = s.recover;
  if (s.timeFile) settings["timeFile"] = true;
  // The scan lists every channel and record type: only a backup selects.
  if (!backup) return settings;
  settings["beginTime"] = timeValue(s.beginTime);
  settings["endTime"] = timeValue(s.endTime);
  settings["maxDataSizeMB"] = s.maxDataSizeMB;
  Json channels = arrayWithRoom(s.channelEnabled.size());
  for (std::size_t i = 0; i < s.channelEnabled.size(); ++i)
    if (s.channelEnabled[i] != 0) channels.push_back(i + 1);
  settings["channels"] = std::move(channels);
  Json types = arrayWithRoom(s.recordTypeEnabled.size());
  for (std::size_t code = 0; code < s.recordTypeEnabled.size(); ++code)
    if (s.recordTypeEnabled[code] != 0) types.push_back(recordTypeValue(static_cast<std::uint32_t>(code)));
  settings["recordTypes"] = std::move(types);
  // Segments picked in the window: a frame is kept only inside one of them.
  if (!s.pickedWindows.empty()) {
    Json picked = Json::array();
    for (const PickedWindow& w : s.pickedWindows) {
      Json picks = Json::array();
      for (std::uint32_t c = 0; c < 32; ++c)
        if ((w.channelMask >> c) & 1u) picks.push_back(c + 1);
      Json pickedTypes = Json::array();
      for (std::uint32_t code = 0; code < 32; ++code)
        if ((w.recordTypeMask >> code) & 1u)
          pickedTypes.push_back(recordTypeValue(code));
      picked.push_back(objectOf("channels", std::move(picks), "recordTypes", std::move(pickedTypes), "begin",
                                timeValue(w.begin), "end", timeValue(w.end)));
    }
    settings["pickedWindows"] = std::move(picked);
  }
  return settings;
}

// The recorder clock's offset as given, and for a backup the time window
// as entered and as used.
Json clockOffsetValue(const JobSettings& s, bool backup) {
  const ClockOffset& c = *s.clockOffset;
  Json offset = objectWithRoom(8);
  offset["seconds"] = c.seconds;
  offset["text"] = offsetText(c.seconds);
  offset["recorderReading"] = textOrNull(c.recorderReading);
  offset["referenceReading"] = textOrNull(c.referenceReading);
  offset["givenBy"] = textOrNull(c.givenBy);
  offset["givenAt"] = c.givenAt != 0 ? Json(isoLocalTime(c.givenAt)) : Json(nullptr);
  if (backup) {
    const bool corrected = s.windowClock == WindowClock::Corrected;
    Json window = objectWithRoom(3);
    window["enteredIn"] = corrected ? "corrected" : "recorder";
    window["entered"] = corrected ? objectOf("begin", timeValue(s.enteredBeginTime), "end", timeValue(s.enteredEndTime))
                                  : objectOf("begin", timeValue(s.beginTime), "end", timeValue(s.endTime));
    window["used"] = objectOf("begin", timeValue(s.beginTime), "end", timeValue(s.endTime));
    offset["timeWindow"] = std::move(window);
  }
  return offset;
}

// The frames against their stamps; null without a video frame.
Json rateValue(const StampRate& r) {
  if (r.videoFrames == 0) return nullptr;
  const auto rounded = [](double value) { return std::round(value * 1000.0) / 1000.0; };
  const std::optional<double> drift = r.driftPercent();
  return objectOf("nominal", r.nominal, "mean", rounded(r.mean()), "min", r.minPerSecond, "max", r.maxPerSecond,
                  "videoFrames", r.videoFrames, "stampSeconds", r.seconds(), "secondsWithoutFrame",
                  r.secondsWithoutFrame, "stampsBackwards", r.stampsBackwards, "driftPercent",
                  drift ? Json(rounded(*drift)) : Json(nullptr));
}

Json fileValue(const ExportedFile& f, bool recover, bool timeFile) {
  Json file = objectWithRoom(28);
  file["name"] = fileNameOf(f.path);
  file["bytes"] = f.hash.bytes;
  file["sha256"] = textOrNull(f.hash.sha256);
  if (f.hash.failure.failed()) file["hashFailure"] = f.hash.failure.reason;
  file["channel"] = f.channel + 1;
  file["recordType"] = recordTypeName(f.recordType);
  file["recordTypeCode"] = f.recordType;
  // A file that holds no frame has no first or last one, nor a place in the store.
  const bool framed = f.videoFrames + f.audioChunks > 0;
  file["firstFrame"] = framed ? timeValue(f.firstFrame) : Json(nullptr);
  file["lastFrame"] = framed ? timeValue(f.lastFrame) : Json(nullptr);
  file["videoFrames"] = f.videoFrames;
  file["audioChunks"] = f.audioChunks;
  file["width"] = f.width;
  file["height"] = f.height;
  file["frameRate"] = f.frameRate;
  file["audio"] = f.audioSampleRate == 0 ? Json(nullptr)
                                         : objectOf("sampleRate", f.audioSampleRate, "bits", f.audioBits);
  file["from"] = framed ? Json(placeName(f.from)) : Json(nullptr);
  file["to"] = framed ? Json(placeName(f.to)) : Json(nullptr);
  file["finished"] = f.finished;
  // Where its chunks came from, for a later check against the disk.
  Json sources = arrayWithRoom(f.sources.size());
  for (const SourceRun& run : f.sources)
    sources.push_back(objectOf("folder", run.folder, "file", run.file, "offset", run.offset, "frames", run.frames));
  file["sources"] = std::move(sources);
  file["payloadSha256"] = textOrNull(f.payloadSha256);
  if (recover) {
    file["recovered"] = f.recovered;
    file["residual"] = f.residual;
  }
  if (timeFile) {
    file["rate"] = rateValue(f.rate);
    if (f.timeFilePath.empty()) {
      file["timeFile"] = nullptr;
    } else {
      Json time = objectWithRoom(5);
      time["name"] = fileNameOf(f.timeFilePath);
      time["bytes"] = f.timeFileHash.bytes;
      time["sha256"] = textOrNull(f.timeFileHash.sha256);
      if (f.timeFileHash.failure.failed()) time["hashFailure"] = f.timeFileHash.failure.reason;
      time["cues"] = f.timeFileCues;
      file["timeFile"] = std::move(time);
    }
  }
  return file;
}

Json segmentValue(const SegmentRecord& s, bool recover, bool timeFile) {
  Json segment = objectWithRoom(13);
  segment["serial"] = s.serial;
  segment["channel"] = s.channel + 1;
  segment["recordType"] = recordTypeName(s.recordType);
  segment["recordTypeCode"] = s.recordType;
  segment["start"] = timeValue(s.startTime);
  segment["end"] = timeValue(s.endTime);
  segment["durationSeconds"] = segmentDuration(s.startTime, s.endTime).total;
  segment["bytes"] = s.byteCount;
  segment["size"] = segmentSizeTextWhole(s.byteCount);
  segment["startFolder"] = s.startFolder;
  if (recover) segment["recovered"] = s.recovered;
  if (timeFile) segment["rate"] = rateValue(s.rate);
  return segment;
}

// What recovery did: every resync, every unreadable region, every file
// passed over, every damaged frame and every run of frames outside the
// time window.
Json recoveryValue(const RecoveryLog& r) {
  Json resyncs = arrayWithRoom(r.resyncs.size());
  for (const Resync& x : r.resyncs)
    resyncs.push_back(
        objectOf("file", x.file, "endedAt", x.endedAt, "resumedAt", x.resumedAt, "bytesPassed", x.bytesPassed));
  Json regions = arrayWithRoom(r.unreadable.size());
  for (const UnreadableRegion& x : r.unreadable)
    regions.push_back(objectOf("file", x.file, "offset", x.offset, "length", x.length));
  Json skipped = arrayWithRoom(r.skipped.size());
  for (const SkippedFile& x : r.skipped) {
    Json entry = objectWithRoom(4);
    entry["file"] = x.file;
    // A run of files: the first, the last and how many.
    if (x.count() > 1) {
      entry["through"] = x.lastFile();
      entry["files"] = x.count();
    }
    entry["reason"] = x.reason;
    skipped.push_back(std::move(entry));
  }
  Json damaged = arrayWithRoom(r.damaged.size());
  for (const DamagedFrameEntry& x : r.damaged) {
    damaged.push_back(objectOf("file", x.file, "offset", x.offset, "payloadLength", x.payloadLength, "channel",
                               x.channel + 1, "time", timeValue(x.time), "reason", x.reason));
  }
  Json outside = arrayWithRoom(r.outsideWindow.size());
  for (const FramesOutsideWindowEntry& x : r.outsideWindow) {
    Json entry = objectWithRoom(7);
    entry["file"] = x.file;
    entry["offset"] = x.offset;
    entry["time"] = timeValue(x.firstTime);
    // A run of frames: the last, and how many.
    if (x.frames > 1) {
      entry["lastOffset"] = x.lastOffset;
      entry["lastTime"] = timeValue(x.lastTime);
      entry["frames"] = x.frames;
    }
    entry["bytes"] = x.bytes;
    outside.push_back(std::move(entry));
  }
  Json recovery = objectWithRoom(7);
  recovery["recoveredFrames"] = r.recoveredFrames;
  recovery["resyncs"] = std::move(resyncs);
  recovery["unreadableRegions"] = std::move(regions);
  recovery["passedOver"] = std::move(skipped);
  recovery["damagedFrames"] = std::move(damaged);
  recovery["framesOutsideTimeWindow"] = framesOutsideWindowCount(r);
  recovery["outsideTimeWindow"] = std::move(outside);
  return recovery;
}

// Well-formed UTF-8: no overlong form, no surrogate, nothing past U+10FFFF.
bool isUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // Trailing bytes, and the range of the first of them.
    std::size_t trailing = 0;
    unsigned char low = 0x80, high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) trailing = 1;
    else if (lead >= 0xe0 && lead <= 0xef) trailing = 2;
    else if (lead >= 0xf0 && lead <= 0xf4) trailing = 3;
    else return false;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
    if (text.size() - i <= trailing) return false;
    for (std::size_t k = 1; k <= trailing; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xbf)) return false;
    }
    i += trailing + 1;
  }
  return true;
}

bool isNonUtf8Text(const Json& value) {
  return value.is_string() && !isUtf8(value.get_ref<const std::string&>());
}

std::string hexOf(const std::string& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  return hex;
}

// JSON text is UTF-8, a path is bytes. A text member that is not UTF-8 is
// shown with U+FFFD for what is not, and followed by "<key>Hex": all of
// its bytes in hex, from which it is restored exactly.
void addHexOfNonUtf8Texts(Json& value) {
  if (value.is_array()) {
    for (Json& element : value) addHexOfNonUtf8Texts(element);
    return;
  }
  if (!value.is_object()) return;
  auto& members = value.get_ref<Json::object_t&>();
  bool found = false;
  for (auto& member : members) {
    addHexOfNonUtf8Texts(member.second);
    found = found || isNonUtf8Text(member.second);
  }
  if (!found) return;
  Json rebuilt = objectWithRoom(2 * members.size());
  auto& into = rebuilt.get_ref<Json::object_t&>();
  for (auto& member : members) {
    const bool raw = isNonUtf8Text(member.second);
    std::string hex = raw ? hexOf(member.second.get_ref<const std::string&>()) : std::string();
    into.emplace(member.first, std::move(member.second));
    if (raw) into.emplace(member.first + "Hex", Json(std::move(hex)));
  }
  value = std::move(rebuilt);
}

// The hash list's form of a name: one with a backslash or a line break in
// it is escaped and the line marked with a leading backslash, as
// sha256sum does.
std::string hashListLine(const std::string& sha256, const std::string& name) {
  if (name.find_first_of("\\\n") == std::string::npos) return sha256 + "  " + name + "\n";
  std::string escaped;
  for (const char c : name) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '\n') escaped += "\\n";
    else escaped += c;
  }
  return "\\" + sha256 + "  " + escaped + "\n";
}

}  // namespace

const char* jobOutcomeName(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Finished:
      return "finished";
    case JobOutcome::NoVideo:
      return "no-video";
    case JobOutcome::Stopped:
      return "stopped";
    case JobOutcome::SizeLimit:
      return "size-limit";
    case JobOutcome::Failed:
      return "failed";
    case JobOutcome::Interrupted:
      return "interrupted";
  }
  return "failed";
}

// Why an output file failed: the words of the failure of ours that caused
// it, or the system's for its errno.
static std::string outputReason(const Failure& failure) {
  return failure.cause != FailureCode::None ? failure.reason : std::strerror(failure.errorNumber);
}

std::string jobFailureText(const Failure& failure, bool backup) {
  switch (failure.code) {
    case FailureCode::None:
      return {};
    case FailureCode::NotEnded:
      return backup ? "the backup did not end" : "the scan did not end";
    case FailureCode::SourceUnreadable:
      return "cannot read the recording file " + failure.path + ": " + failure.reason;
    case FailureCode::RootUnlisted:
      return "cannot list the store's folder " + failure.path + ": " + failure.reason;
    case FailureCode::ReportNotCreated:
      return "cannot create the report " + failure.path + ": " + outputReason(failure);
    case FailureCode::ReportNotWritten:
      return "cannot write the report " + failure.path + ": " + outputReason(failure);
    case FailureCode::AviTooLarge:
    case FailureCode::AviNotCreated:
    case FailureCode::AviNotWritten:
    case FailureCode::AviIndexNotWritten:
    case FailureCode::AviNotClosed:
    case FailureCode::NoMemory:
    case FailureCode::AviTooManyTracks:
    case FailureCode::OutputNotWritten:
    case FailureCode::NotHashed:
    case FailureCode::LogNotWritten:
      return "cannot write " + failure.path + ": " + outputReason(failure);
    case FailureCode::Missing:  // the store's and the disk's, which end no job as a failure:
    case FailureCode::NotOpened:
    case FailureCode::NotCreated:  // an output file's, which a job gives as its own failure
    case FailureCode::NotWritten:
    case FailureCode::NotRead:
    case FailureCode::OutputFileReplaced:
    case FailureCode::OutputFolderReplaced:
    case FailureCode::StoreFolderPicked:
    case FailureCode::PartitionOnFolder:
    case FailureCode::NoSuchPartition:
    case FailureCode::NoStore:
    case FailureCode::DiskUnreadable:
    case FailureCode::OutputFolderMissing:  // the output folder's, refused before a job starts
    case FailureCode::OutputNotAFolder:
    case FailureCode::OutputNotWritable:
    case FailureCode::OutputInsideStore:
    case FailureCode::OutputOnEvidence:
    case FailureCode::OutputFolderBusy:
    case FailureCode::LogNotRead:  // a log's read back and a picture's, which no job has
    case FailureCode::NoKeyFrame:
    case FailureCode::NotDecoded:
      return failure.reason;
  }
  return {};
}

std::string custodyJson(const CustodyRecord& record) {
  Json log = objectWithRoom(16);
  log["program"] = "Korvex";
  log["version"] = KORVEX_VERSION;
  log["job"] = record.backup ? "backup" : "scan";
  log["started"] = isoLocalTime(record.started);
  log["ended"] = isoLocalTime(record.ended);
  log["outcome"] = jobOutcomeName(record.outcome);
  if (record.outcome == JobOutcome::Failed) log["reason"] = record.reason;
  if (const CaseDetails& c = record.settings.caseDetails; !c.empty()) {
    log["case"] = objectOf("number", textOrNull(c.number), "exhibit", textOrNull(c.exhibit), "examiner",
                           textOrNull(c.examiner), "organisation", textOrNull(c.organisation), "notes",
                           textOrNull(c.notes));
  }
  log["disk"] = diskValue(record.disk);
  log["settings"] = settingsValue(record.settings, record.backup);
  if (record.settings.clockOffset) log["clockOffset"] = clockOffsetValue(record.settings, record.backup);
  Json unreadable = Json::array();
  if (!record.source.unread.path.empty())
    unreadable.push_back(objectOf("path", record.source.unread.path, "reason", record.source.unread.reason));
  log["unreadable"] = std::move(unreadable);
  // A missing file is the store's normal end; with folders of the range
  // left after it, the log says so.
  log["missing"] = record.source.missingPath.empty()
                       ? Json(nullptr)
                       : objectOf("path", record.source.missingPath, "foldersNotRead", record.source.foldersNotRead);
  // Folders after a missing one that exist and were never read.
  if (!record.source.foldersLeft.empty()) {
    Json left = arrayWithRoom(record.source.foldersLeft.size());
    for (const std::int32_t folder : record.source.foldersLeft) left.push_back(storeFolderName(folder));
    log["missing"]["foldersLeft"] = std::move(left);
  }
  if (record.settings.recover) log["recovery"] = recoveryValue(record.recovery);
  if (record.backup) {
    Json files = arrayWithRoom(record.files.size());
    for (const ExportedFile& file : record.files)
      files.push_back(fileValue(file, record.settings.recover, record.settings.timeFile));
    log["files"] = std::move(files);
  } else {
    if (record.report.path.empty()) {
      log["report"] = nullptr;
    } else {
      Json report = objectWithRoom(4);
      report["name"] = fileNameOf(record.report.path);
      report["bytes"] = record.report.hash.bytes;
      report["sha256"] = textOrNull(record.report.hash.sha256);
      if (record.report.hash.failure.failed()) report["hashFailure"] = record.report.hash.failure.reason;
      log["report"] = std::move(report);
    }
    Json segments = arrayWithRoom(record.segments.size());
    for (const SegmentRecord& segment : record.segments)
      segments.push_back(segmentValue(segment, record.settings.recover, record.settings.timeFile));
    log["segments"] = std::move(segments);
  }
  // Paths are bytes: whatever is not UTF-8 is shown as U+FFFD rather than
  // ending the job's log, and kept beside in hex.
  addHexOfNonUtf8Texts(log);
  return log.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string diskJsonText(const DiskDescription& disk) { return diskValue(disk).dump(); }

std::string hashList(const std::vector<LoggedFile>& files) {
  std::string list;
  for (const LoggedFile& file : files) {
    if (file.hash.sha256.empty()) continue;
    list += hashListLine(file.hash.sha256, fileNameOf(file.path));
  }
  return list;
}

std::string isoLocalTime(std::time_t moment) {
  std::tm local{};
  if (localtime_r(&moment, &local) == nullptr) return {};
  char text[64];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) return {};
  const long offset = local.tm_gmtoff;
  // Offsets lie within a day.
  const int minutes = static_cast<int>((offset < 0 ? -offset : offset) / 60 % (24 * 60));
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return std::string(text) + zone;
}

std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string backupLogStem(const std::string& outputFolder, const CalendarTime& started) {
  char name[96];
  const int n = std::snprintf(name, sizeof name, "BackupLog_%d_%d_%d_%d_%d_%d", started.year, started.month,
                              started.day, started.hour, started.minute, started.second);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return {};
  if (outputFolder.empty()) return name;
  return outputFolder.back() == '/' ? outputFolder + name : outputFolder + "/" + name;
}

CustodyLogFiles::~CustodyLogFiles() {
  // Never written: a job that did not get to its end leaves no empty log.
  for (LogFile* file : {&hashList_, &json_}) {
    if (!file->file) continue;
    file->file.reset();
    output_.remove(file->path);
  }
}

bool CustodyLogFiles::create(const std::string& stem) {
  OutputNames names;
  int error = 0;
  const std::string list = names.create(stem, std::string(HASH_LIST_EXTENSION), [&](const std::string& path) {
    CreatedFile listFile = output_.createNew(path);
    if (!listFile) return listFile.failure.errorNumber;
    // Both names under one stem, or the next stem.
    const std::string json = path.substr(0, path.size() - HASH_LIST_EXTENSION.size()) + std::string(JOB_LOG_EXTENSION);
    CreatedFile jsonFile = output_.createNew(json);
    if (!jsonFile) {
      listFile.file.reset();
      output_.remove(path);
      return jsonFile.failure.errorNumber;
    }
    hashList_.path = path;
    hashList_.file = std::move(listFile.file);
    json_.path = json;
    json_.file = std::move(jsonFile.file);
    return 0;
  }, error);
  if (list.empty()) {
    noteFailure(stem + std::string(JOB_LOG_EXTENSION), error);
    return false;
  }
  return true;
}

void CustodyLogFiles::LogFile::reserve(std::uint64_t bytes) {
  if (!file || bytes <= reserved) return;
  const std::uint64_t wanted = (bytes + RESERVE_STEP - 1) / RESERVE_STEP * RESERVE_STEP;
  if (file->reserve(wanted) == 0) reserved = wanted;
}

int CustodyLogFiles::LogFile::write(const std::string& text) {
  iovec part{const_cast<char*>(text.data()), text.size()};
  const WriteResult written = file->writeAt(&part, 1, 0);
  int error = written.failure.errorNumber;
  // Room kept past the end is given back: a cut to a shorter length frees
  // it, and the file is first made as long as the room it kept.
  if (error == 0 && reserved > text.size()) {
    error = file->truncate(reserved);
    if (error == 0) error = file->truncate(text.size());
  }
  if (error == 0) error = file->sync();
  if (const int closing = file->close(); error == 0) error = closing;
  file.reset();
  return error;
}

void CustodyLogFiles::reserve(std::uint64_t hashListBytes, std::uint64_t jsonBytes) {
  hashList_.reserve(hashListBytes);
  json_.reserve(jsonBytes);
}

void CustodyLogFiles::noteFailure(const std::string& path, int errorNumber) {
  if (failure_.failed()) return;
  failure_ = {FailureCode::LogNotWritten, errorNumber, path, {}};
}

bool CustodyLogFiles::write(const std::string& list, const std::string& json) {
  if (!created()) return false;
  for (auto [file, text] : {std::pair{&hashList_, &list}, std::pair{&json_, &json}}) {
    const int error = file->write(*text);
    if (error != 0) noteFailure(file->path, error);
  }
  if (!failure_.failed()) return true;
  // The two are one log: a list without its record, or a record whose
  // list is cut short, would pass for what it is not.
  for (LogFile* file : {&hashList_, &json_}) {
    output_.remove(file->path);
    file->path.clear();
  }
  return false;
}

}  // namespace korvex
