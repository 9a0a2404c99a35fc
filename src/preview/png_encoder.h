// A picture as PNG bytes: a still as saved, or the thumbnails a page
// carries inside itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "preview/picture_decoder.h"

namespace korvex {

// The picture as a PNG file's bytes (lossless, full size) through
// libavcodec's PNG encoder; empty, with the reason in `problem`, when it
// cannot be encoded.
std::vector<std::uint8_t> encodePng(const RgbPicture& picture, std::string& problem);

inline std::vector<std::uint8_t> encodePng(const RgbPicture& picture) {
  std::string problem;
  return encodePng(picture, problem);
}

}  // namespace korvex
