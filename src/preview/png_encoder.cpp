#include "preview/png_encoder.h"

#include <cstring>
#include <memory>
#include <string>

#include "preview/av_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace korvex {

namespace {

using namespace av;

// Larger than any recorder's picture: refused rather than encoded.
constexpr int MAX_SIDE = 8192;

}  // namespace

std::vector<std::uint8_t> encodePng(const RgbPicture& picture, std::string& problem) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.rgb.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3) {
    problem = "there is no picture to save";
    return {};
  }
  if (picture.width > MAX_SIDE || picture.height > MAX_SIDE) {
    problem = "the picture is larger than " + std::to_string(MAX_SIDE) + " pixels a side";
    return {};
  }
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!codec) {
    problem = "no PNG encoder in this FFmpeg";
    return {};
  }
  CodecContext context(avcodec_alloc_context3(codec));
  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
  if (!context || !frame || !packet) {
    problem = "out of memory";
    return {};
  }
  context->width = picture.width;
  context->height = picture.height;
  context->pix_fmt = AV_PIX_FMT_RGB24;
  context->time_base = {1, 25};
  if (avcodec_open2(context.get(), codec, nullptr) < 0) {
    problem = "the PNG encoder could not be opened";
    return {};
  }
  frame->width = picture.width;
  frame->height = picture.height;
  frame->format = AV_PIX_FMT_RGB24;
  if (av_frame_get_buffer(frame.get(), 0) < 0) {
    problem = "out of memory";
    return {};
  }
  const std::size_t row = static_cast<std::size_t>(picture.width) * 3;
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0],
                picture.rgb.data() + static_cast<std::size_t>(y) * row, row);
  std::vector<std::uint8_t> png;
  if (avcodec_send_frame(context.get(), frame.get()) < 0 || avcodec_send_frame(context.get(), nullptr) < 0) {
    problem = "the picture could not be encoded as PNG";
    return {};
  }
  while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
    png.insert(png.end(), packet->data, packet->data + packet->size);
    av_packet_unref(packet.get());
  }
  if (png.empty()) problem = "the picture could not be encoded as PNG";
  return png;
}

}  // namespace korvex
