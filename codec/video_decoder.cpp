// libDecodeSDK: the video decoding library of kind 5200. Each decoder
// handle owns an H.264 decoder of libavcodec; DecodeFrameVideo decodes one
// run of Annex-B data and, for every picture that comes out, writes it as
// 24-bit BGR into the request's output buffer and calls the registered
// callback on the caller's thread before returning. Every 8-bit layout of
// the format is shown: 4:2:0, 4:2:2, 4:4:4 and luma alone.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include "decoder_api.h"
#include "decoder_table.h"
#include "yuv_to_bgr.h"

namespace {

struct VideoDecoder {
  AVCodecContext* context = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  DecodedPictureCallback callback = nullptr;
  void* user = nullptr;
  std::vector<uint8_t> input;  // the request's data with libavcodec's padding
  std::vector<uint8_t> neutralChroma;  // one chroma row of 128 for pictures of luma alone
  int refusedFormat = AV_PIX_FMT_NONE;  // the layout last reported as not shown
};

// Where a picture's chroma samples lie, for the layouts that can be shown.
struct ChromaLayout {
  int shiftX;
  int shiftY;
  bool lumaOnly;
  bool fullRange;
};

bool LayoutOf(int format, ChromaLayout& layout) {
  switch (format) {
    case AV_PIX_FMT_YUV420P: layout = {1, 1, false, false}; return true;
    case AV_PIX_FMT_YUVJ420P: layout = {1, 1, false, true}; return true;
    case AV_PIX_FMT_YUV422P: layout = {1, 0, false, false}; return true;
    case AV_PIX_FMT_YUVJ422P: layout = {1, 0, false, true}; return true;
    case AV_PIX_FMT_YUV444P: layout = {0, 0, false, false}; return true;
    case AV_PIX_FMT_YUVJ444P: layout = {0, 0, false, true}; return true;
    case AV_PIX_FMT_GRAY8: layout = {0, 0, true, false}; return true;
    default: return false;
  }
}

// One debug line for each change to a layout that cannot be shown (a
// depth above 8 bits, for one), not one per picture.
void ReportRefusedLayout(VideoDecoder& decoder, int format) {
  if (decoder.refusedFormat == format) return;
  decoder.refusedFormat = format;
  const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(format));
  char line[160];
  std::snprintf(line, sizeof line, "DecodeSDK: pictures in the %s layout cannot be shown, dropped\n",
                name ? name : "unknown");
  OutputDebugStringA(line);
}

void FreeDecoder(VideoDecoder* decoder) {
  if (!decoder) return;
  avcodec_free_context(&decoder->context);
  av_packet_free(&decoder->packet);
  av_frame_free(&decoder->frame);
  delete decoder;
}

// libavcodec's messages (a damaged picture's "no frame!", hundreds a
// minute on a bad stream) belong on the debug line, never on the
// application's standard error; errors only, one line each.
void ForwardLibavMessage(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_ERROR) return;
  char message[256];
  int prefix = 1;
  av_log_format_line2(context, level, format, arguments, message, sizeof message, &prefix);
  char line[300];
  std::snprintf(line, sizeof line, "DecodeSDK: libavcodec: %s%s", message,
                std::strchr(message, '\n') ? "" : "\n");
  OutputDebugStringA(line);
}

VideoDecoder* OpenDecoder() {
  static std::once_flag logRouted;
  std::call_once(logRouted, [] { av_log_set_callback(ForwardLibavMessage); });
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (!codec) return nullptr;
  auto* decoder = new (std::nothrow) VideoDecoder;
  if (!decoder) return nullptr;
  decoder->context = avcodec_alloc_context3(codec);
  decoder->packet = av_packet_alloc();
  decoder->frame = av_frame_alloc();
  if (decoder->context) {
    // One thread and low delay: every picture leaves the decoder during the
    // call that brought its data.
    decoder->context->thread_count = 1;
    decoder->context->flags |= AV_CODEC_FLAG_LOW_DELAY;
  }
  if (!decoder->context || !decoder->packet || !decoder->frame || avcodec_open2(decoder->context, codec, nullptr) < 0) {
    FreeDecoder(decoder);
    return nullptr;
  }
  return decoder;
}

// Writes the frame into the request's buffer and hands it to the callback.
// False when the picture cannot be delivered: a layout that cannot be
// shown or a picture larger than the output buffer.
bool DeliverPicture(VideoDecoder& decoder, const AVFrame& frame, DecodeRequest& request) {
  ChromaLayout layout{};
  if (!LayoutOf(frame.format, layout)) {
    ReportRefusedLayout(decoder, frame.format);
    return false;
  }
  if (frame.width <= 0 || frame.height <= 0) return false;
  const uint64_t bytes = uint64_t{static_cast<uint32_t>(frame.width)} * static_cast<uint32_t>(frame.height) * 3;
  if (bytes > request.outputCapacity) {
    char line[128];
    std::snprintf(line, sizeof line, "DecodeSDK: %dx%d picture larger than the output buffer (%u bytes), dropped\n",
                  frame.width, frame.height, request.outputCapacity);
    OutputDebugStringA(line);
    return false;
  }
  YuvPlanes planes{frame.data[0], frame.data[1], frame.data[2], frame.linesize[0], frame.linesize[1],
                   frame.linesize[2], layout.shiftX, layout.shiftY};
  if (layout.lumaOnly) {
    try {
      decoder.neutralChroma.assign(static_cast<size_t>(frame.width), 128);
    } catch (const std::bad_alloc&) {
      return false;
    }
    planes.u = planes.v = decoder.neutralChroma.data();
    planes.uStride = planes.vStride = 0;
  }
  const bool fullRange = layout.fullRange || frame.color_range == AVCOL_RANGE_JPEG;
  ConvertYuvToBgr(planes, frame.width, frame.height, fullRange, request.output);
  if (decoder.callback) {
    DecodedPicture picture{};
    picture.size = sizeof picture;
    picture.width = frame.width;
    picture.height = frame.height;
    picture.pixels = request.output;
    decoder.callback(decoder.user, &picture);
  }
  return true;
}

}  // namespace

extern "C" {

CODECAPI_EXPORT int32_t CODECAPI_CALL CODECAPI_DecodeInit(int32_t, int32_t, HWND, int32_t, int32_t) {
  VideoDecoder* decoder = OpenDecoder();
  if (!decoder) return -1;
  const int32_t handle = codec::AddDecoder(decoder);
  if (handle < 0) FreeDecoder(decoder);
  return handle;
}

CODECAPI_EXPORT int32_t CODECAPI_CALL CODECAPI_SetCallBack(int32_t handle, void* user, DecodedPictureCallback callback,
                                                           int32_t) {
  auto* decoder = static_cast<VideoDecoder*>(codec::FindDecoder(handle));
  if (!decoder) return 0;
  decoder->callback = callback;
  decoder->user = user;
  return 1;
}

// Returns the number of pictures delivered plus one when the data was
// taken, 0 when it was refused or a picture could not be delivered.
CODECAPI_EXPORT int32_t CODECAPI_CALL CODECAPI_DecodeFrameVideo(int32_t handle, int32_t, DecodeRequest* request) {
  auto* decoder = static_cast<VideoDecoder*>(codec::FindDecoder(handle));
  if (!decoder || !request || !request->input || !request->output || request->inputLength == 0) return 0;
  try {
    decoder->input.assign(request->input, request->input + request->inputLength);
    decoder->input.resize(request->inputLength + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  decoder->packet->data = decoder->input.data();
  decoder->packet->size = static_cast<int>(request->inputLength);
  if (avcodec_send_packet(decoder->context, decoder->packet) < 0) return 0;
  int32_t delivered = 0;
  bool refused = false;
  while (avcodec_receive_frame(decoder->context, decoder->frame) == 0) {
    if (DeliverPicture(*decoder, *decoder->frame, *request))
      ++delivered;
    else
      refused = true;
    av_frame_unref(decoder->frame);
  }
  return refused ? 0 : delivered + 1;
}

CODECAPI_EXPORT int32_t CODECAPI_CALL CODECAPI_DecodeMemClear(int32_t handle, int32_t) {
  auto* decoder = static_cast<VideoDecoder*>(codec::FindDecoder(handle));
  if (!decoder) return 0;
  avcodec_flush_buffers(decoder->context);
  return 1;
}

CODECAPI_EXPORT int32_t CODECAPI_CALL CODECAPI_DecodeUninit(int32_t handle) {
  auto* decoder = static_cast<VideoDecoder*>(codec::RemoveDecoder(handle));
  if (!decoder) return 0;
  FreeDecoder(decoder);
  return 1;
}

}  // extern "C"
