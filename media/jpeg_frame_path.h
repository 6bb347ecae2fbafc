// The path of a kind-7100 picture packet: one complete JPEG picture whose
// byte 10 names the channel, decoded with the system's JPEG decoder into a
// BGR picture and drawn by that channel's renderer.
//
// Untrusted input: the packet length is checked before byte 10 is read, the
// picture's size is bounded before anything is allocated for it (a picture
// beyond the limit leaves a debug line), and a picture that cannot be
// decoded or shown is dropped without a word.
#pragma once
#include <cstddef>
#include <cstdint>

class VideoRenderer;

// Every channel's renderer is configured for this picture size when the
// channel opens; a picture of another size reconfigures it, so the renderer
// always reads exactly the picture. Pictures beyond the size limit
// (picture_size_limit.h) are refused before any allocation.
constexpr uint32_t kChannelPictureWidth = 352;
constexpr uint32_t kChannelPictureHeight = 288;
// The low four bits of this byte of the packet carry the channel number.
constexpr uint32_t kPictureChannelByte = 10;
constexpr int kPictureChannels = 16;
// ShowJpegPicture's result when the picture was not drawn.
constexpr int32_t kPictureDropped = -1;

// The session's decoded-picture buffer: heap memory from malloc (the
// session frees it with free), and the bytes it holds. It survives from one
// picture to the next and only grows.
struct PictureBuffer {
  uint8_t*& bytes;
  size_t& capacity;
};

// One decoded kind-7100 picture, as the frame path hands it on.
struct JpegPicture {
  const uint8_t* pixels = nullptr;  // blue, green, red; rows top first, padded to 4 bytes
  uint32_t width = 0;
  uint32_t height = 0;
};

// Decodes one JPEG picture into `buffer`, growing it when the picture needs
// more room. On failure the buffer is freed and emptied and false returned.
bool DecodeJpegPicture(const uint8_t* packet, uint32_t length, PictureBuffer buffer, JpegPicture& picture);

// Reads the channel from byte 10, decodes the picture if that channel has a
// renderer, and draws it there. Returns the renderer's result, or
// kPictureDropped.
int32_t ShowJpegPicture(const uint8_t* packet, uint32_t length, VideoRenderer* const (&renderers)[kPictureChannels],
                        PictureBuffer buffer);
