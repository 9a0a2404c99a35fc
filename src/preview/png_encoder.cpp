#include "preview/png_encoder.h"

#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace korvex {

namespace {

struct CodecContextCloser {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameCloser {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// Pictures larger than this are no thumbnails.
constexpr int MAX_SIDE = 8192;

}  // namespace

std::vector<std::uint8_t> encodePng(const RgbPicture& picture) {
  if (picture.width <= 0 || picture.height <= 0 || picture.width > MAX_SIDE || picture.height > MAX_SIDE) return {};
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(picture.width);
  if (picture.rgb.size() < rowBytes * static_cast<std::size_t>(picture.height)) return {};
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!codec) return {};
  std::unique_ptr<AVCodecContext, CodecContextCloser> context(avcodec_alloc_context3(codec));
  if (!context) return {};
  context->width = picture.width;
  context->height = picture.height;
  context->pix_fmt = AV_PIX_FMT_RGB24;
  context->time_base = AVRational{1, 1};
  context->thread_count = 1;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};

  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  if (!frame) return {};
  frame->format = AV_PIX_FMT_RGB24;
  frame->width = picture.width;
  frame->height = picture.height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0],
                picture.rgb.data() + static_cast<std::size_t>(y) * rowBytes, rowBytes);

  std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
  if (!packet) return {};
  if (avcodec_send_frame(context.get(), frame.get()) < 0) return {};
  avcodec_send_frame(context.get(), nullptr);
  if (avcodec_receive_packet(context.get(), packet.get()) < 0 || packet->size <= 0) return {};
  return std::vector<std::uint8_t>(packet->data, packet->data + packet->size);
}

}  // namespace korvex
