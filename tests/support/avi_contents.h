// Reads back the chunks of an AVI file the writer produced, so that tests
// can say which frames went into it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvex::testing {

struct AviChunk {
  std::string id;  // "00db", "01wb"
  std::vector<std::uint8_t> data;
  std::uint32_t offset = 0;  // of its header, from the start of the file
};

// One idx1 entry as the file holds it.
struct AviIndexRecord {
  std::string id;
  std::uint32_t flags = 0;
  std::uint32_t offset = 0;  // of the chunk's header, from the start of the file
  std::uint32_t length = 0;
};

struct AviContents {
  bool valid = false;           // RIFF AVI with a movi list that parses
  std::uint32_t totalFrames = 0;  // the main header's frame count
  std::uint32_t streams = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::string videoHandler;  // the video stream's FourCC
  std::vector<AviChunk> chunks;  // the movi list in file order
  std::size_t indexEntries = 0;
  std::vector<AviIndexRecord> index;  // the idx1 entries that the file holds whole

  std::size_t count(const std::string& id) const;
  // Empty when the idx1 entries list exactly the chunks of the movi list, in
  // order, at their offsets and lengths; else what differs first.
  std::string indexMismatch() const;
  std::vector<AviChunk> ofId(const std::string& id) const;
};

AviContents readAviContents(const std::string& path);

}  // namespace korvex::testing
