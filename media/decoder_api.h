// The two closed decoding libraries as the kind-5200 session sees them:
// DecodeSDK (video, five CODECAPI_ functions) and AudDecSDK (audio, opened
// and closed alongside the video decoder but never fed), with the records
// that cross the boundary.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#define CODECAPI_CALL __cdecl
#else
#define CODECAPI_CALL
#endif

#if defined(_WIN32)
#define CODECAPI_EXPORT __declspec(dllexport)
#else
#define CODECAPI_EXPORT __attribute__((visibility("default")))
#endif

// The request handed to CODECAPI_DecodeFrameVideo: 36 bytes of 32-bit
// fields on the 32-bit target. Pointers widen on a 64-bit build.
struct DecodeRequest {
  int32_t size;            // 36 on the 32-bit target
  uint32_t inputLength;    // bytes of Annex-B data at input
  uint8_t* input;
  uint32_t outputCapacity; // bytes the output buffer holds
  uint32_t reserved1;
  uint32_t reserved2;
  uint8_t* output;         // receives the picture, 3 bytes a pixel
  const void* outputFormat;  // OutputBitmapFormat: 24-bit BGR
  uint32_t reserved3;
};

// What the decoder hands to the picture callback: only width, height and
// pixels are read by the session.
struct DecodedPicture {
  int32_t size;
  int32_t reserved[3];
  int32_t width;           // pixels
  int32_t height;          // pixels
  uint8_t* pixels;         // width x height x 3 bytes, BGR, top row first
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(DecodeRequest) == 36, "decode request is 36 bytes");
#endif
static_assert(offsetof(DecodedPicture, width) == 16, "width sits at byte 16");
static_assert(offsetof(DecodedPicture, height) == 20, "height sits at byte 20");
static_assert(offsetof(DecodedPicture, pixels) == 24, "pixels pointer sits at byte 24");

// Called for every decoded picture with the user value given to
// CODECAPI_SetCallBack.
typedef int32_t(CODECAPI_CALL* DecodedPictureCallback)(void* user, DecodedPicture* picture);

extern "C" {
// DecodeSDK.
int32_t CODECAPI_CALL CODECAPI_DecodeInit(int32_t codec, int32_t threads, HWND window, int32_t reserved,
                                          int32_t mode);
int32_t CODECAPI_CALL CODECAPI_SetCallBack(int32_t decoder, void* user, DecodedPictureCallback callback,
                                           int32_t reserved);
int32_t CODECAPI_CALL CODECAPI_DecodeFrameVideo(int32_t decoder, int32_t reserved, DecodeRequest* request);
int32_t CODECAPI_CALL CODECAPI_DecodeMemClear(int32_t decoder, int32_t reserved);
int32_t CODECAPI_CALL CODECAPI_DecodeUninit(int32_t decoder);
// AudDecSDK.
int32_t CODECAPI_CALL CODECAPI_AudioDecodeInit(int32_t codec);
int32_t CODECAPI_CALL CODECAPI_AudioDecodeDeInit(int32_t decoder, int32_t codec);
}

// The output format the session asks for: a 40-byte bitmap information
// header (24 bits a pixel, uncompressed) and one grey colour entry.
#pragma pack(push, 1)
struct OutputBitmapFormat {
  uint32_t headerSize;     // 40
  int32_t width;
  int32_t height;
  uint16_t planes;         // 1
  uint16_t bitsPerPixel;   // 24
  uint32_t compression;    // 0: uncompressed
  uint32_t imageSize;
  int32_t xPixelsPerMeter;
  int32_t yPixelsPerMeter;
  uint32_t coloursUsed;
  uint32_t coloursImportant;
  uint8_t colourEntry[4];  // blue, green, red, reserved
};
#pragma pack(pop)
static_assert(sizeof(OutputBitmapFormat) == 44, "bitmap format is 44 bytes");
