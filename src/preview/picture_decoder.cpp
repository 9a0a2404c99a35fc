#include "preview/picture_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "preview/av_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace korvex {

namespace {

using namespace av;

DecodedPicture noMemory() {
  DecodedPicture result;
  result.failure = {FailureCode::NoMemory, ENOMEM, {}, "out of memory"};
  return result;
}

}  // namespace

void quietDecoderLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

DecodedPicture decodeH264Picture(const std::uint8_t* data, std::size_t size, int width, int height) {
  quietDecoderLog();
  if (size == 0 || size > static_cast<std::size_t>(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE))
    return DecodedPicture::notDecoded("the picture's payload is empty or too large");
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (!codec) return DecodedPicture::notDecoded("no H.264 decoder in this FFmpeg");
  std::unique_ptr<AVCodecContext, CodecContextCloser> context(avcodec_alloc_context3(codec));
  if (!context) return noMemory();
  context->thread_count = 1;
  if (avcodec_open2(context.get(), codec, nullptr) < 0)
    return DecodedPicture::notDecoded("the H.264 decoder could not be opened");

  std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
  if (!packet || av_new_packet(packet.get(), static_cast<int>(size)) < 0) return noMemory();
  std::memcpy(packet->data, data, size);
  packet->flags |= AV_PKT_FLAG_KEY;

  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  if (!frame) return noMemory();
  if (avcodec_send_packet(context.get(), packet.get()) < 0)
    return DecodedPicture::notDecoded("the payload is not an H.264 picture");
  avcodec_send_packet(context.get(), nullptr);
  if (avcodec_receive_frame(context.get(), frame.get()) < 0 || frame->width <= 0 || frame->height <= 0)
    return DecodedPicture::notDecoded("the payload does not decode to a picture");

  int outWidth = frame->width;
  int outHeight = frame->height;
  if (width > 0 && height > 0) {
    // Fit inside the box, keeping the picture's shape.
    const double scale = std::min(static_cast<double>(width) / frame->width, static_cast<double>(height) / frame->height);
    outWidth = std::max(1, static_cast<int>(frame->width * scale + 0.5));
    outHeight = std::max(1, static_cast<int>(frame->height * scale + 0.5));
  }
  std::unique_ptr<SwsContext, ScaleCloser> scaler(
      sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), outWidth, outHeight,
                     AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!scaler) return DecodedPicture::notDecoded("the picture's pixel format cannot be converted");

  DecodedPicture result;
  result.picture.width = outWidth;
  result.picture.height = outHeight;
  result.picture.rgb.resize(static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(outHeight) * 3);
  std::uint8_t* planes[4] = {result.picture.rgb.data(), nullptr, nullptr, nullptr};
  int strides[4] = {outWidth * 3, 0, 0, 0};
  if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) != outHeight)
    return DecodedPicture::notDecoded("the picture could not be converted to RGB");
  return result;
}

}  // namespace korvex
