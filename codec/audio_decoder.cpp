// libAudDecSDK: the audio decoding library of kind 5200. The SDK opens one
// decoder per session and closes it again without feeding it, so a handle
// here is an opened G.711 decoder of libavcodec and nothing more.
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "decoder_api.h"
#include "decoder_table.h"

extern "C" {

CODECAPI_EXPORT int32_t CODECAPI_CALL CODECAPI_AudioDecodeInit(int32_t) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PCM_MULAW);
  if (!codec) return -1;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (!context) return -1;
  context->sample_rate = 8000;
  av_channel_layout_default(&context->ch_layout, 1);
  int32_t handle = -1;
  if (avcodec_open2(context, codec, nullptr) == 0) handle = codec::AddDecoder(context);
  if (handle < 0) avcodec_free_context(&context);
  return handle;
}

CODECAPI_EXPORT int32_t CODECAPI_CALL CODECAPI_AudioDecodeDeInit(int32_t handle, int32_t) {
  auto* context = static_cast<AVCodecContext*>(codec::RemoveDecoder(handle));
  if (!context) return 0;
  avcodec_free_context(&context);
  return 1;
}

}  // extern "C"
