#include "support/avi_contents.h"

#include "store/frame_header.h"
#include "support/media_samples.h"

namespace korvex::testing {

std::size_t AviContents::count(const std::string& id) const {
  std::size_t n = 0;
  for (const auto& chunk : chunks) n += chunk.id == id;
  return n;
}

std::vector<AviChunk> AviContents::ofId(const std::string& id) const {
  std::vector<AviChunk> found;
  for (const auto& chunk : chunks)
    if (chunk.id == id) found.push_back(chunk);
  return found;
}

std::string AviContents::indexMismatch() const {
  if (index.size() != indexEntries) return "idx1 announces " + std::to_string(indexEntries) + " entries, holds " +
                                            std::to_string(index.size());
  if (index.size() != chunks.size()) return std::to_string(index.size()) + " index entries for " +
                                            std::to_string(chunks.size()) + " chunks";
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const AviIndexRecord& entry = index[i];
    const AviChunk& chunk = chunks[i];
    if (entry.id != chunk.id || entry.offset != chunk.offset || entry.length != chunk.data.size()) {
      return "entry " + std::to_string(i) + " (" + entry.id + " at " + std::to_string(entry.offset) + ", " +
             std::to_string(entry.length) + " bytes) for chunk " + chunk.id + " at " + std::to_string(chunk.offset) +
             ", " + std::to_string(chunk.data.size()) + " bytes";
    }
  }
  return "";
}

AviContents readAviContents(const std::string& path) {
  AviContents avi;
  const std::vector<std::uint8_t> b = readWholeFile(path);
  auto id = [&](std::size_t at) { return std::string(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 4)); };
  if (b.size() < 2048 + 8 || id(0) != "RIFF" || id(8) != "AVI " || id(2036) != "LIST" || id(2044) != "movi")
    return avi;
  avi.totalFrames = readLe32(b.data() + 48);
  avi.streams = readLe32(b.data() + 56);
  avi.width = readLe32Signed(b.data() + 64);
  avi.height = readLe32Signed(b.data() + 68);
  avi.videoHandler = id(112);

  const std::size_t moviEnd = 2044 + std::size_t{readLe32(b.data() + 2040)};
  if (moviEnd > b.size()) return avi;
  std::size_t at = 2048;
  while (at + 8 <= moviEnd) {
    const std::uint32_t length = readLe32(b.data() + at + 4);
    if (at + 8 + length > moviEnd) return avi;
    avi.chunks.push_back({id(at),
                          std::vector<std::uint8_t>(b.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                                    b.begin() + static_cast<std::ptrdiff_t>(at + 8 + length)),
                          static_cast<std::uint32_t>(at)});
    at += 8 + length + (length & 1);
  }
  if (at + 8 <= b.size() && id(at) == "idx1") {
    avi.indexEntries = readLe32(b.data() + at + 4) / 16;
    for (std::size_t e = at + 8; e + 16 <= b.size() && avi.index.size() < avi.indexEntries; e += 16)
      avi.index.push_back({id(e), readLe32(b.data() + e + 4), readLe32(b.data() + e + 8), readLe32(b.data() + e + 12)});
  }
  avi.valid = at == moviEnd;
  return avi;
}

}  // namespace korvex::testing
