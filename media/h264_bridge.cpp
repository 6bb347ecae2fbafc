// Feeding the video decoding library and taking its pictures back. The
// library is outside this code: the call is guarded so that a processor
// fault inside it, or an exception escaping it, costs one box, not the
// session.
#include "h264_bridge.h"

#include "decode_fault_guard.h"

int32_t CODECAPI_CALL DecoderPictureCallback(void* user, DecodedPicture* picture) {
  if (!user || !picture) return kPictureRefused;
  const FaultGuardLift sessionCode;
  static_cast<PictureSink*>(user)->OnPicture(picture);
  return 0;
}

bool DecodeAnnexB(int32_t decoder, DecodeRequest& request, uint8_t* input, uint32_t inputLength, uint8_t* output,
                  uint32_t outputCapacity, bool* faulted) {
  request.input = input;
  request.inputLength = inputLength;
  request.output = output;
  request.outputCapacity = outputCapacity;
  int32_t result = 0;
  GuardedCall call = GuardedCall::kReturned;
  try {
    call = GuardedDecodeFrameVideo(decoder, &request, &result);
  } catch (...) {
    LeaveFaultGuard();
  }
  if (faulted) *faulted = call == GuardedCall::kFaulted;
  // After a fault the caller decides: clearing a decoder whose state may be
  // corrupt could fault again, outside the guard.
  if (call == GuardedCall::kFaulted) return false;
  if (result <= 0) CODECAPI_DecodeMemClear(decoder, 0);
  return result > 0;
}
