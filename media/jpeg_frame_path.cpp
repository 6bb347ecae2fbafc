// Decoding and drawing of kind-7100 picture packets (see jpeg_frame_path.h).
//
// The decoder record lives for one picture only: no state survives from one
// picture to the next except the picture buffer, so a steady stream of
// same-size pictures allocates nothing.
#include "jpeg_frame_path.h"

#include <cstdlib>
#include <cstring>

#include "picture_size_limit.h"
#include "video_renderer.h"
#include "vktjpeg.h"

namespace {

constexpr uint16_t kCommentBufferSize = 1024;

void ReleaseBuffer(PictureBuffer buffer) {
  std::free(buffer.bytes);
  buffer.bytes = nullptr;
  buffer.capacity = 0;
}

// Makes room for `bytes`; the old contents need not survive.
bool ReserveBuffer(PictureBuffer buffer, size_t bytes) {
  if (bytes <= buffer.capacity) return true;
  ReleaseBuffer(buffer);
  buffer.bytes = static_cast<uint8_t*>(std::malloc(bytes));
  if (!buffer.bytes) return false;
  buffer.capacity = bytes;
  return true;
}

// Both reads of one picture on a record that `record` already initialised.
bool ReadPicture(JPEG_PROPERTIES& record, const uint8_t* packet, uint32_t length, PictureBuffer buffer,
                 JpegPicture& picture) {
  uint8_t comment[kCommentBufferSize];
  comment[0] = 0;
  record.jpeg_bytes = packet;
  record.jpeg_size_bytes = length;
  record.jpeg_channels = 3;
  record.jpeg_comment = comment;
  record.jpeg_comment_size = kCommentBufferSize;
  // A comment too long for the buffer still leaves a usable picture.
  const JpegStatus params = JpegRead(&record, READ_PARAMS_BUFFER);
  if (params != JPEG_SUCCESS && params != JPEG_ERR_COMMENT_BUFFER) return false;

  const uint32_t width = record.jpeg_width;
  const uint32_t height = record.jpeg_height;
  // No size at all (the parameter read stopped early) is a broken picture,
  // not one to report.
  if (width == 0 || height == 0 || !AcceptPictureSize(width, height, "kind-7100 picture")) return false;
  const size_t rowBytes = size_t{width} * 3;
  const size_t paddedRow = (rowBytes + 3) & ~size_t{3};
  if (!ReserveBuffer(buffer, paddedRow * height)) return false;

  record.picture_bytes = buffer.bytes;
  record.picture_width = width;
  record.picture_height = static_cast<int32_t>(height);
  record.picture_channels = 3;
  record.picture_color = COLOR_BGR;
  record.picture_pad_bytes = static_cast<uint32_t>(paddedRow - rowBytes);
  if (JpegRead(&record, READ_IMAGE_BUFFER) != JPEG_SUCCESS) return false;
  picture = JpegPicture{buffer.bytes, width, height};
  return true;
}

// The renderer reads rows of exactly width x 3 bytes: close the gaps that
// the decoder's 4-byte row padding left. Rows only move towards the start,
// so this works in place.
void RemoveRowPadding(uint8_t* pixels, uint32_t width, uint32_t height) {
  const size_t rowBytes = size_t{width} * 3;
  const size_t paddedRow = (rowBytes + 3) & ~size_t{3};
  if (paddedRow == rowBytes) return;
  for (size_t row = 1; row < height; ++row) std::memmove(pixels + row * rowBytes, pixels + row * paddedRow, rowBytes);
}

}  // namespace

bool DecodeJpegPicture(const uint8_t* packet, uint32_t length, PictureBuffer buffer, JpegPicture& picture) {
  JPEG_PROPERTIES record;
  const bool decoded = JpegInit(&record) == JPEG_SUCCESS && ReadPicture(record, packet, length, buffer, picture);
  JpegFree(&record);
  if (!decoded) ReleaseBuffer(buffer);
  return decoded;
}

int32_t ShowJpegPicture(const uint8_t* packet, uint32_t length, VideoRenderer* const (&renderers)[kPictureChannels],
                        PictureBuffer buffer) {
  if (!packet || length <= kPictureChannelByte) return kPictureDropped;
  VideoRenderer* renderer = renderers[packet[kPictureChannelByte] & 0x0F];
  // Nobody would see it: not worth decoding.
  if (!renderer) return kPictureDropped;
  JpegPicture picture;
  if (!DecodeJpegPicture(packet, length, buffer, picture)) return kPictureDropped;
  RemoveRowPadding(buffer.bytes, picture.width, picture.height);
  // The channel opens at one size; the camera may send another, or change
  // size mid-stream: the renderer follows the pictures.
  if (renderer->PictureWidth() != picture.width || renderer->PictureHeight() != picture.height)
    renderer->Resize(picture.width, picture.height);
  return renderer->DrawPicture(picture.pixels, nullptr);
}
