#include "jobs/still_export.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/output_files.h"
#include "jobs/clock_offset.h"
#include "jobs/custody_log.h"
#include "jobs/file_hasher.h"
#include "jobs/output_folder.h"
#include "jobs/segment_texts.h"

#ifndef KORVEX_VERSION
#define KORVEX_VERSION "unknown"
#endif

namespace korvex {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* PNG_EXTENSION = ".png";

Json timeValue(RecorderTime time) {
  Json value = Json::object();
  value["recorder"] = time;
  value["text"] = calendarText(time);
  return value;
}

std::string withoutExtension(const std::string& path, const std::string& extension) {
  return path.substr(0, path.size() - extension.size());
}

int writeWhole(OutputFile& file, const std::uint8_t* bytes, std::size_t size) {
  iovec part{const_cast<std::uint8_t*>(bytes), size};
  const WriteResult written = file.writeAt(&part, 1, 0);
  int error = written.failure.errorNumber;
  if (error == 0) error = file.truncate(size);
  if (error == 0) error = file.sync();
  const int closed = file.close();
  return error != 0 ? error : closed;
}

int writeWhole(OutputFile& file, const std::string& text) {
  return writeWhole(file, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

std::string stillStem(const std::string& outputFolder, std::int32_t channel, RecorderTime timeStamp) {
  std::string folder = outputFolder;
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + "still_chn" + std::to_string(channel + 1) + "_" + calendarText(timeStamp);
}

std::string stillJson(const StillFacts& facts, const std::string& pngName, const FileHash& pngHash) {
  Json still = Json::object();
  still["job"] = "still";
  still["program"] = "Korvex";
  still["version"] = KORVEX_VERSION;
  still["saved"] = isoLocalTime(facts.savedAt);
  still["disk"] = Json::parse(diskJsonText(facts.disk));
  Json frame = Json::object();
  frame["channel"] = facts.channel + 1;
  frame["recordingFile"] = facts.recordingFile;
  frame["folder"] = facts.folder;
  frame["file"] = facts.file;
  frame["offset"] = facts.offset;
  frame["frameInSegment"] = facts.frameInSegment ? Json(*facts.frameInSegment) : Json(nullptr);
  frame["keyFrame"] = facts.keyFrame;
  frame["width"] = facts.width;
  frame["height"] = facts.height;
  still["frame"] = std::move(frame);
  still["recorderTime"] = timeValue(facts.timeStamp);
  if (facts.clockOffsetSeconds) {
    Json corrected = timeValue(correctedTime(facts.timeStamp, *facts.clockOffsetSeconds));
    corrected["clockOffsetSeconds"] = *facts.clockOffsetSeconds;
    still["correctedTime"] = std::move(corrected);
  } else {
    still["correctedTime"] = nullptr;
  }
  Json png = Json::object();
  png["name"] = pngName;
  png["bytes"] = pngHash.bytes;
  png["sha256"] = pngHash.sha256;
  still["png"] = std::move(png);
  return still.dump(2) + "\n";
}

StillFiles writeStill(const std::string& outputFolder, const StillFacts& facts, const std::vector<std::uint8_t>& png) {
  StillFiles result;
  DiskFolderOutput output(outputFolder);
  if (output.openError() != 0) {
    result.failure = outputFolder + ": " + std::strerror(output.openError());
    return result;
  }
  std::unique_ptr<OutputFile> pngFile, jsonFile, listFile;
  OutputNames names;
  int error = 0;
  const std::string pngPath =
      names.create(stillStem(outputFolder, facts.channel, facts.timeStamp), PNG_EXTENSION,
                   [&](const std::string& path) {
                     CreatedFile created = output.createNew(path);
                     if (!created) return created.failure.errorNumber;
                     pngFile = std::move(created.file);
                     // All three under one stem, or the next stem.
                     const std::string stem = withoutExtension(path, PNG_EXTENSION);
                     created = output.createNew(stem + std::string(JOB_LOG_EXTENSION));
                     jsonFile = std::move(created.file);
                     if (jsonFile) {
                       created = output.createNew(stem + std::string(HASH_LIST_EXTENSION));
                       listFile = std::move(created.file);
                     }
                     const int reason = created.failure.errorNumber;
                     if (!listFile) {
                       if (jsonFile) {
                         jsonFile.reset();
                         output.remove(stem + std::string(JOB_LOG_EXTENSION));
                       }
                       pngFile.reset();
                       output.remove(path);
                       return reason;
                     }
                     return 0;
                   },
                   error);
  if (pngPath.empty()) {
    result.failure = stillStem(outputFolder, facts.channel, facts.timeStamp) + PNG_EXTENSION + ": " +
                     std::strerror(error);
    return result;
  }
  const std::string stem = withoutExtension(pngPath, PNG_EXTENSION);
  result.pngPath = pngPath;
  result.jsonPath = stem + std::string(JOB_LOG_EXTENSION);
  result.hashListPath = stem + std::string(HASH_LIST_EXTENSION);

  const auto fail = [&](const std::string& path, const std::string& reason) {
    for (const std::string* made : {&result.pngPath, &result.jsonPath, &result.hashListPath}) output.remove(*made);
    result.failure = path + ": " + reason;
    return result;
  };
  if (const int written = writeWhole(*pngFile, png.data(), png.size()); written != 0)
    return fail(result.pngPath, std::strerror(written));
  // The hashes are of the files as they lie on the disk, read back.
  result.pngHash = sha256OfFile(result.pngPath, output);
  if (result.pngHash.sha256.empty()) return fail(result.pngPath, result.pngHash.failure.reason);
  if (const int written = writeWhole(*jsonFile, stillJson(facts, fileNameOf(result.pngPath), result.pngHash));
      written != 0)
    return fail(result.jsonPath, std::strerror(written));
  const FileHash jsonHash = sha256OfFile(result.jsonPath, output);
  if (jsonHash.sha256.empty()) return fail(result.jsonPath, jsonHash.failure.reason);
  const std::string list = hashList({{result.pngPath, result.pngHash}, {result.jsonPath, jsonHash}});
  if (const int written = writeWhole(*listFile, list); written != 0)
    return fail(result.hashListPath, std::strerror(written));
  result.ok = true;
  return result;
}

}  // namespace korvex
