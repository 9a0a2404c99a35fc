#include "jobs/scan_log_reader.h"

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "store/frame_header.h"

namespace korvex {

namespace {

// A log of a disk bigger than any recorder's still reads; anything larger
// is not a scan's log.
constexpr std::streamoff MAX_LOG_BYTES = 512ll * 1024 * 1024;

using Json = nlohmann::json;

template <class Integer>
Integer integerField(const Json& object, const char* key, std::int64_t low, std::int64_t high) {
  const auto field = object.find(key);
  if (field == object.end() || !field->is_number_integer()) throw std::runtime_error(std::string("no whole number \"") + key + "\"");
  const std::int64_t value = field->get<std::int64_t>();
  if (value < low || value > high) throw std::runtime_error(std::string("\"") + key + "\" out of range");
  return static_cast<Integer>(value);
}

RecorderTime recorderField(const Json& object, const char* key) {
  const auto field = object.find(key);
  if (field == object.end() || !field->is_object()) throw std::runtime_error(std::string("no \"") + key + "\" time");
  return integerField<RecorderTime>(*field, "recorder", std::numeric_limits<RecorderTime>::min(),
                                    std::numeric_limits<RecorderTime>::max());
}

// A segment's frames against their stamps, where the scan counted them:
// none when the log has no "rate" (or a null one).
StampRate rateField(const Json& segment) {
  StampRate rate;
  const auto field = segment.find("rate");
  if (field == segment.end() || field->is_null()) return rate;
  if (!field->is_object()) throw std::runtime_error("\"rate\" is not an object");
  constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
  rate.nominal = integerField<std::int32_t>(*field, "nominal", std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max());
  rate.videoFrames = integerField<std::uint64_t>(*field, "videoFrames", 0, most);
  rate.minPerSecond = integerField<std::uint64_t>(*field, "min", 0, most);
  rate.maxPerSecond = integerField<std::uint64_t>(*field, "max", 0, most);
  rate.secondsWithoutFrame = integerField<std::uint64_t>(*field, "secondsWithoutFrame", 0, most);
  rate.stampsBackwards = integerField<std::uint64_t>(*field, "stampsBackwards", 0, most);
  const auto seconds = integerField<std::uint64_t>(*field, "stampSeconds", 0, most);
  if (seconds < rate.secondsWithoutFrame) throw std::runtime_error("\"stampSeconds\" below \"secondsWithoutFrame\"");
  rate.secondsWithFrames = seconds - rate.secondsWithoutFrame;
  return rate;
}

}  // namespace

ScanLog parseScanLog(const std::string& text, const std::string& name) {
  ScanLog log;
  const Json record = Json::parse(text, nullptr, false);
  if (record.is_discarded() || !record.is_object()) {
    log.failure = {FailureCode::LogNotRead, 0, name, "not a JSON record"};
    return log;
  }
  const auto job = record.find("job");
  if (job == record.end() || *job != "scan") {
    log.failure = {FailureCode::LogNotRead, 0, name, "not the log of a scan"};
    return log;
  }
  const auto segments = record.find("segments");
  if (segments == record.end() || !segments->is_array()) {
    log.failure = {FailureCode::LogNotRead, 0, name, "the log lists no segments"};
    return log;
  }
  // The disk is what the segments' places and times belong to.
  if (const auto disk = record.find("disk"); disk != record.end() && disk->is_object()) {
    if (const auto path = disk->find("path"); path != disk->end() && path->is_string()) log.disk = *path;
    if (const auto partition = disk->find("partition"); partition != disk->end() && partition->is_object()) {
      const auto index = partition->find("index");
      if (index != partition->end() && index->is_number_integer() && *index >= 0 && *index <= 1024)
        log.partition = index->get<int>();
    }
  }
  log.segments.reserve(segments->size());
  std::size_t index = 0;
  try {
    for (const Json& entry : *segments) {
      ++index;
      if (!entry.is_object()) throw std::runtime_error("not a record");
      SegmentRecord segment;
      segment.serial = integerField<std::int32_t>(entry, "serial", 0, std::numeric_limits<std::int32_t>::max());
      segment.channel = integerField<std::int32_t>(entry, "channel", 1, CHANNEL_TABLE_SIZE) - 1;
      segment.recordType = integerField<std::int32_t>(entry, "recordTypeCode", std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::max());
      segment.startTime = recorderField(entry, "start");
      segment.endTime = recorderField(entry, "end");
      segment.byteCount = integerField<std::uint64_t>(entry, "bytes", 0, std::numeric_limits<std::int64_t>::max());
      segment.startFolder = integerField<std::int32_t>(entry, "startFolder", 0, std::numeric_limits<std::int32_t>::max());
      // Only a scan with recovery on writes it.
      const auto recovered = entry.find("recovered");
      segment.recovered = recovered != entry.end() && recovered->is_boolean() && recovered->get<bool>();
      segment.rate = rateField(entry);
      log.segments.push_back(segment);
    }
  } catch (const std::exception& error) {
    log.segments.clear();
    log.failure = {FailureCode::LogNotRead, 0, name, "segment " + std::to_string(index) + ": " + error.what()};
    return log;
  }
  return log;
}

ScanLog readScanLog(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    ScanLog log;
    log.failure = {FailureCode::NotOpened, 0, path, "cannot be opened"};
    return log;
  }
  const std::streamoff size = in.tellg();
  if (size < 0 || size > MAX_LOG_BYTES) {
    ScanLog log;
    log.failure = {FailureCode::LogNotRead, 0, path, "too large for a scan's log"};
    return log;
  }
  in.seekg(0);
  std::ostringstream text;
  text << in.rdbuf();
  return parseScanLog(text.str(), path);
}

}  // namespace korvex
