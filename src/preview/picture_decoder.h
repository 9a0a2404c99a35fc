// Decodes one H.264 access unit (a key frame's payload, with its parameter
// sets) into an RGB picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/failure.h"

namespace korvex {

// 8-bit RGB, three bytes a pixel, rows packed without padding.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

struct DecodedPicture {
  RgbPicture picture;
  // Why there is no picture (NotDecoded, or NoMemory), the reason for people.
  Failure failure;
  bool ok() const { return !failure.failed(); }
  // A picture that did not decode, and why.
  static DecodedPicture notDecoded(std::string reason) {
    DecodedPicture result;
    result.failure = {FailureCode::NotDecoded, 0, {}, std::move(reason)};
    return result;
  }
};

// Silences FFmpeg's own log, once for the process: damaged pictures are
// the evidence's normal state, and the decoder's complaints would only
// clutter the terminal.
void quietDecoderLog();

// The picture at its own size when width and height are 0; otherwise scaled
// to fit inside width x height, keeping its shape.
DecodedPicture decodeH264Picture(const std::uint8_t* data, std::size_t size, int width = 0, int height = 0);

}  // namespace korvex
