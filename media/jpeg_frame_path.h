// The path of a kind-7100 picture packet: one complete JPEG picture whose
// byte 10 names the channel, decoded with the system's JPEG decoder into a
// BGR picture at the size the channel's window shows, and drawn by that
// channel's renderer. The decode pool (jpeg_decode_pool.h) runs it on its
// workers, one JpegPictureDecoder each.
//
// Untrusted input: the packet length is checked before byte 10 is read, the
// picture's size is bounded before anything is allocated for it (a picture
// beyond the limit leaves a debug line), and a picture that cannot be
// decoded or shown is dropped without a word.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "picture_scale.h"
#include "vktjpeg.h"

class VideoRenderer;

// Every channel's renderer is configured for this picture size when the
// channel opens; each decoded picture of another size reconfigures it, so
// the renderer always reads exactly the picture. Pictures beyond the size
// limit (picture_size_limit.h) are refused before any allocation.
constexpr uint32_t kChannelPictureWidth = 352;
constexpr uint32_t kChannelPictureHeight = 288;
// The low four bits of this byte of the packet carry the channel number.
constexpr uint32_t kPictureChannelByte = 10;
constexpr int kPictureChannels = 16;
// The result when a picture was not drawn; also
// PictureChannel's for a packet too short to name a channel.
constexpr int32_t kPictureDropped = -1;

// One decoded kind-7100 picture, as the frame path hands it on.
struct JpegPicture {
  const uint8_t* pixels = nullptr;  // blue, green, red; rows of exactly width x 3 bytes, top first
  uint32_t width = 0;               // as decoded (reduced for a small window)
  uint32_t height = 0;
  uint32_t sourceWidth = 0;  // as the camera sent it
  uint32_t sourceHeight = 0;
  uint32_t divisor = 1;  // the reduction it was read at: 1, 2, 4 or 8
};

// The channel a packet names, or kPictureDropped when it is too short.
int32_t PictureChannel(const uint8_t* packet, uint32_t length);

// A decoder record and a picture buffer that live from one picture to the
// next, so a steady stream of same-size pictures allocates nothing. Used
// by one thread at a time.
class JpegPictureDecoder {
 public:
  JpegPictureDecoder();
  ~JpegPictureDecoder();
  JpegPictureDecoder(const JpegPictureDecoder&) = delete;
  JpegPictureDecoder& operator=(const JpegPictureDecoder&) = delete;

  // Decodes one JPEG picture at the largest reduction that still covers
  // `shown` (picture_scale.h), or at `fixedDivisor` (1, 2, 4 or 8) when
  // that is not 0. On failure the buffer is released, the record starts
  // afresh and false is returned.
  bool Decode(const uint8_t* packet, uint32_t length, ShownSize shown, JpegPicture& picture,
              uint32_t fixedDivisor = 0);
  // Bytes the picture buffer holds now.
  size_t BufferBytes() const { return capacity_; }

 private:
  bool Read(const uint8_t* packet, uint32_t length, ShownSize shown, uint32_t fixedDivisor, JpegPicture& picture);
  bool Reserve(size_t bytes);
  void Release();

  std::unique_ptr<JPEG_PROPERTIES> record_;
  bool recordReady_ = false;
  uint8_t* bytes_ = nullptr;  // malloc'ed; grows, freed after a failed picture
  size_t capacity_ = 0;
};

// The client area of the renderer's window; 0 x 0 when it has none.
ShownSize RendererShownSize(const VideoRenderer& renderer);

// Draws a decoded picture, the renderer's surface following its size;
// returns the renderer's result.
int32_t ShowJpegPicture(const JpegPicture& picture, VideoRenderer& renderer);
