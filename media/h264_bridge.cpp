// Feeding the video decoding library and taking its pictures back. The
// library is outside this code: the call is guarded so that an exception
// escaping it costs one box, not the session.
#include "h264_bridge.h"

int32_t CODECAPI_CALL DecoderPictureCallback(void* user, DecodedPicture* picture) {
  if (!user || !picture) return kPictureRefused;
  static_cast<PictureSink*>(user)->OnPicture(picture);
  return 0;
}

bool DecodeAnnexB(int32_t decoder, DecodeRequest& request, uint8_t* input, uint32_t inputLength, uint8_t* output,
                  uint32_t outputCapacity) {
  request.input = input;
  request.inputLength = inputLength;
  request.output = output;
  request.outputCapacity = outputCapacity;
  bool accepted = false;
  try {
    accepted = CODECAPI_DecodeFrameVideo(decoder, 0, &request) > 0;
  } catch (...) {
    accepted = false;
  }
  if (!accepted) CODECAPI_DecodeMemClear(decoder, 0);
  return accepted;
}
