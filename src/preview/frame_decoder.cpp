#include "preview/frame_decoder.h"

#include <cerrno>
#include <cstring>

#include "store/frame_header.h"
#include "store/recording_file_reader.h"

#include "preview/av_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace korvex {

namespace {

using namespace av;

}  // namespace

struct FrameDecoder::State {
  CodecContext context;
  std::unique_ptr<AVPacket, PacketCloser> packet{av_packet_alloc()};
  std::unique_ptr<AVFrame, FrameCloser> frame{av_frame_alloc()};
  std::string openProblem;

  State() {
    quietDecoderLog();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
      openProblem = "no H.264 decoder in this FFmpeg";
      return;
    }
    context.reset(avcodec_alloc_context3(codec));
    if (!context) {
      openProblem = "out of memory";
      return;
    }
    context->thread_count = 1;
    // A picture for every access unit, the moment it is sent.
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
      context.reset();
      openProblem = "the H.264 decoder could not be opened";
    }
  }
};

FrameDecoder::FrameDecoder() : state_(std::make_unique<State>()) {}
FrameDecoder::~FrameDecoder() = default;

void FrameDecoder::reset() {
  if (state_->context) avcodec_flush_buffers(state_->context.get());
}

DecodedPicture FrameDecoder::decode(const std::uint8_t* data, std::size_t size) {
  State& s = *state_;
  if (!s.context) return DecodedPicture::notDecoded(s.openProblem);
  if (!s.packet || !s.frame) return DecodedPicture::notDecoded("out of memory");
  if (size == 0 || size > MAX_PAYLOAD_BYTES) return DecodedPicture::notDecoded("the payload is empty or too large");
  av_packet_unref(s.packet.get());
  if (av_new_packet(s.packet.get(), static_cast<int>(size)) < 0) return DecodedPicture::notDecoded("out of memory");
  std::memcpy(s.packet->data, data, size);
  if (avcodec_send_packet(s.context.get(), s.packet.get()) < 0)
    return DecodedPicture::notDecoded("the payload does not decode");
  const int received = avcodec_receive_frame(s.context.get(), s.frame.get());
  if (received < 0) return DecodedPicture::notDecoded("the payload gives no picture");
  AVFrame* frame = s.frame.get();
  // A picture the decoder had to patch up is not the recorded one.
  if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame->width <= 0 ||
      frame->height <= 0) {
    av_frame_unref(frame);
    return DecodedPicture::notDecoded("the payload is damaged");
  }
  std::unique_ptr<SwsContext, ScaleCloser> scaler(
      sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                     frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!scaler) {
    av_frame_unref(frame);
    return DecodedPicture::notDecoded("the picture's pixel format cannot be converted");
  }
  DecodedPicture result;
  result.picture.width = frame->width;
  result.picture.height = frame->height;
  result.picture.rgb.resize(static_cast<std::size_t>(frame->width) * static_cast<std::size_t>(frame->height) * 3);
  std::uint8_t* planes[4] = {result.picture.rgb.data(), nullptr, nullptr, nullptr};
  int strides[4] = {frame->width * 3, 0, 0, 0};
  const bool converted =
      sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) == frame->height;
  av_frame_unref(frame);
  if (!converted) return DecodedPicture::notDecoded("the picture could not be converted to RGB");
  return result;
}

bool SegmentDecoder::readPayload(const IndexedFrame& frame, std::string& problem) {
  if (frame.payloadLength == 0 || frame.payloadLength > MAX_PAYLOAD_BYTES) {
    problem = "the frame's payload length is out of bounds";
    return false;
  }
  if (!file_ || fileFolder_ != frame.folder || fileNumber_ != frame.file) {
    file_.reset();
    OpenedFile opened = source_.openFile(frame.folder, frame.file, ReadPattern::WholeFile);
    if (!opened.file) {
      problem = source_.filePath(frame.folder, frame.file) + ": " +
                (opened.failure.missing() ? std::string("missing") : opened.failure.reason);
      return false;
    }
    file_ = std::move(opened.file);
    fileFolder_ = frame.folder;
    fileNumber_ = frame.file;
  }
  payload_.resize(frame.payloadLength);
  const std::int64_t got = file_->readAt(frame.offset + FRAME_HEADER_SIZE, payload_.data(), payload_.size());
  if (got != static_cast<std::int64_t>(payload_.size())) {
    problem = source_.filePath(frame.folder, frame.file) + ": " +
              (got < 0 ? std::string(std::strerror(errno)) : std::string("the payload is cut short"));
    return false;
  }
  return true;
}

void SegmentDecoder::decodeFrame(std::size_t i) {
  decodedUpTo_ = i;
  current_.index = i;
  current_.problem.clear();
  std::string problem;
  DecodedPicture decoded;
  if (readPayload(index_.frames[i], problem)) {
    decoded = decoder_.decode(payload_.data(), payload_.size());
    problem = decoded.failure.reason;
  } else {
    decoded = DecodedPicture::notDecoded(problem);
  }
  current_.decoded = decoded.ok();
  if (decoded.ok()) {
    lastGood_ = std::move(decoded.picture);
  } else {
    current_.problem = problem;
  }
}

SegmentPicture SegmentDecoder::picture(std::size_t i) {
  if (i >= index_.frames.size()) {
    SegmentPicture none;
    none.problem = "no such frame in the segment";
    return none;
  }
  if (decodedUpTo_ == NO_FRAME || i != decodedUpTo_ + 1) {
    if (i == decodedUpTo_) {
      current_.picture = lastGood_;
      return current_;
    }
    // From the key frame before it; without one, from the segment's start
    // (its pictures then do not decode, and say so).
    const std::size_t key = index_.keyAtOrBefore(i);
    const std::size_t start = key == NO_FRAME ? 0 : key;
    decoder_.reset();
    lastGood_ = {};
    for (std::size_t k = start; k < i; ++k) decodeFrame(k);
  }
  decodeFrame(i);
  current_.picture = lastGood_;
  return current_;
}

}  // namespace korvex
