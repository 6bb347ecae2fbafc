// The bridge between a kind-5200 session and the video decoding library:
// one video box in Annex-B form goes in through CODECAPI_DecodeFrameVideo,
// decoded pictures come back through DecoderPictureCallback to the session.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decoder_api.h"
#include "picture_size_limit.h"
#include "stream_parser.h"

// The stream buffer holds the Annex-B form of one video box. It starts at
// 2 MiB and grows to the largest box a device can send: a whole data block
// (the transport refuses frames over 8 MiB), with the parameter sets in
// front. The Annex-B form of a box is exactly its payload plus that prefix,
// so a box either fits whole or is over this bound and is dropped.
constexpr uint32_t kStreamBufferSize = 2 * 1024 * 1024;
constexpr uint32_t kMaxVideoBoxBytes = 8u * 1024 * 1024;
constexpr uint32_t kMaxStreamBufferSize = kMaxVideoBoxBytes + kMaxParameterSetBytes;
// Room for the largest picture accepted (picture_size_limit.h), so a
// stream that changes to a larger picture size keeps being decoded.
constexpr uint32_t kFrameBufferSize = kMaxPictureBytes;
// What the callback returns to the library for a missing argument.
constexpr int32_t kPictureRefused = static_cast<int32_t>(0xF0F0F0F0u);

// Where decoded pictures go; the callback's user value points at one.
class PictureSink {
 public:
  virtual int32_t OnPicture(const DecodedPicture* picture) = 0;

 protected:
  ~PictureSink() = default;
};

// The registered picture callback: hands the picture to the PictureSink at
// `user`.
int32_t CODECAPI_CALL DecoderPictureCallback(void* user, DecodedPicture* picture);

// Fills the request for `inputLength` bytes of Annex-B data and decodes it
// under the fault guard (decode_fault_guard.h); clears the decoder's memory
// when it fails, so later boxes still decode. True when the decoder
// accepted the data. When the library faulted, *faulted (if given) is set
// and the decoder is left as it is: it is to be made anew.
bool DecodeAnnexB(int32_t decoder, DecodeRequest& request, uint8_t* input, uint32_t inputLength,
                  uint8_t* output, uint32_t outputCapacity, bool* faulted = nullptr);
