// libavcodec encoding loop behind h264_test_encoder.h: one picture at a
// time in, every packet appended as it comes out, then the encoder flushed.
#include "tests/common/h264_test_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace vkt::test {

std::vector<uint8_t> encodeH264(const H264TestSettings& settings, int pictures, const H264PictureFill& fill) {
  std::vector<uint8_t> stream;
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
  AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  const int chroma = settings.chromaFormat;
  const AVPixelFormat format = chroma == 422   ? AV_PIX_FMT_YUV422P
                               : chroma == 444 ? AV_PIX_FMT_YUV444P
                               : chroma == 400 ? AV_PIX_FMT_GRAY8
                                               : AV_PIX_FMT_YUV420P;
  if (context && frame && packet) {
    context->width = settings.width;
    context->height = settings.height;
    context->time_base = {1, 25};
    context->gop_size = settings.keyInterval;
    context->max_b_frames = settings.bFrames;
    context->slices = settings.slices;
    context->pix_fmt = format;
    const char* chromaProfile = chroma == 420 ? "main" : chroma == 400 ? "high" : chroma == 422 ? "high422" : "high444";
    av_opt_set(context->priv_data, "profile", settings.profile ? settings.profile : chromaProfile, 0);
    if (settings.x264Params) av_opt_set(context->priv_data, "x264-params", settings.x264Params, 0);
    if (settings.preset) av_opt_set(context->priv_data, "preset", settings.preset, 0);
    if (settings.tune) av_opt_set(context->priv_data, "tune", settings.tune, 0);
    frame->format = format;
    frame->width = settings.width;
    frame->height = settings.height;
    if (avcodec_open2(context, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
      auto drain = [&] {
        while (avcodec_receive_packet(context, packet) == 0) {
          stream.insert(stream.end(), packet->data, packet->data + packet->size);
          av_packet_unref(packet);
        }
      };
      for (int index = 0; index < pictures; ++index) {
        av_frame_make_writable(frame);
        fill(index, frame->data, frame->linesize);
        frame->pts = index;
        avcodec_send_frame(context, frame);
        drain();
      }
      avcodec_send_frame(context, nullptr);
      drain();
    }
  }
  avcodec_free_context(&context);
  av_frame_free(&frame);
  av_packet_free(&packet);
  return stream;
}

}  // namespace vkt::test
