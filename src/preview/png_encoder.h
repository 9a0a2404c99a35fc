// A picture as PNG bytes, for pages that carry their pictures inside
// themselves (an examination report's thumbnails).
#pragma once

#include <cstdint>
#include <vector>

#include "preview/picture_decoder.h"

namespace korvex {

// The picture as a PNG file's bytes, through libavcodec's PNG encoder;
// empty when it cannot be encoded (no pixels, or no encoder).
std::vector<std::uint8_t> encodePng(const RgbPicture& picture);

}  // namespace korvex
