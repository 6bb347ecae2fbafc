// Decoding and drawing of kind-7100 picture packets (see jpeg_frame_path.h).
//
// The decoder record is initialised once and reused: every picture sets
// all the fields its reads take, and a failed picture gets a fresh record,
// so nothing of a broken stream reaches the next one.
#include "jpeg_frame_path.h"

#include <windows.h>

#include <cstdlib>
#include <new>

#include "picture_size_limit.h"
#include "video_renderer.h"

namespace {

constexpr uint16_t kCommentBufferSize = 1024;

}  // namespace

int32_t PictureChannel(const uint8_t* packet, uint32_t length) {
  if (!packet || length <= kPictureChannelByte) return kPictureDropped;
  return packet[kPictureChannelByte] & 0x0F;
}

JpegPictureDecoder::JpegPictureDecoder() : record_(new (std::nothrow) JPEG_PROPERTIES) {}

JpegPictureDecoder::~JpegPictureDecoder() {
  if (recordReady_) JpegFree(record_.get());
  Release();
}

void JpegPictureDecoder::Release() {
  std::free(bytes_);
  bytes_ = nullptr;
  capacity_ = 0;
}

// Makes room for `bytes`; the old contents need not survive.
bool JpegPictureDecoder::Reserve(size_t bytes) {
  if (bytes <= capacity_) return true;
  Release();
  bytes_ = static_cast<uint8_t*>(std::malloc(bytes));
  if (!bytes_) return false;
  capacity_ = bytes;
  return true;
}

bool JpegPictureDecoder::Decode(const uint8_t* packet, uint32_t length, ShownSize shown, JpegPicture& picture,
                                uint32_t fixedDivisor) {
  if (!record_) return false;
  if (!recordReady_) recordReady_ = JpegInit(record_.get()) == JPEG_SUCCESS;
  if (recordReady_ && Read(packet, length, shown, fixedDivisor, picture)) return true;
  if (recordReady_) JpegFree(record_.get());
  recordReady_ = false;
  Release();
  return false;
}

bool JpegPictureDecoder::Read(const uint8_t* packet, uint32_t length, ShownSize shown, uint32_t fixedDivisor,
                              JpegPicture& picture) {
  JPEG_PROPERTIES& record = *record_;
  uint8_t comment[kCommentBufferSize];
  comment[0] = 0;
  record.jpeg_bytes = packet;
  record.jpeg_size_bytes = length;
  record.jpeg_channels = 3;
  record.jpeg_comment = comment;
  record.jpeg_comment_size = kCommentBufferSize;
  // A parameter read that stops before the frame header leaves the size
  // alone: the last picture's must not stand in for it.
  record.jpeg_width = 0;
  record.jpeg_height = 0;
  // A comment too long for the buffer ends the parameter read before the
  // frame header: the read is made again passing comments over, so that
  // the picture is not lost for its comment.
  JpegStatus params = JpegRead(&record, READ_PARAMS_BUFFER);
  if (params == JPEG_ERR_COMMENT_BUFFER) {
    record.jpeg_comment = nullptr;
    record.jpeg_comment_size = 0;
    params = JpegRead(&record, READ_PARAMS_BUFFER);
  }
  if (params != JPEG_SUCCESS) return false;

  const uint32_t sourceWidth = record.jpeg_width;
  const uint32_t sourceHeight = record.jpeg_height;
  // No size at all (the parameter read stopped early) is a broken picture,
  // not one to report.
  if (sourceWidth == 0 || sourceHeight == 0 || !AcceptPictureSize(sourceWidth, sourceHeight, "kind-7100 picture"))
    return false;
  const PictureScale scale =
      fixedDivisor ? ReductionScale(fixedDivisor) : ChoosePictureScale(sourceWidth, sourceHeight, shown);
  const uint32_t width = ScaledSide(sourceWidth, scale.divisor);
  const uint32_t height = ScaledSide(sourceHeight, scale.divisor);
  // Rows without padding: exactly what the renderer reads.
  if (!Reserve(size_t{width} * 3 * height)) return false;

  record.picture_bytes = bytes_;
  record.picture_width = width;
  record.picture_height = static_cast<int32_t>(height);
  record.picture_channels = 3;
  record.picture_color = COLOR_BGR;
  record.picture_pad_bytes = 0;
  if (JpegRead(&record, scale.mode) != JPEG_SUCCESS) return false;
  picture = JpegPicture{bytes_, width, height, sourceWidth, sourceHeight, scale.divisor};
  return true;
}

ShownSize RendererShownSize(const VideoRenderer& renderer) {
  RECT client{};
  if (!GetClientRect(renderer.Window(), &client) || client.right <= client.left || client.bottom <= client.top)
    return {0, 0};
  return {static_cast<uint32_t>(client.right - client.left), static_cast<uint32_t>(client.bottom - client.top)};
}

int32_t ShowJpegPicture(const JpegPicture& picture, VideoRenderer& renderer) {
  // The channel opens at one size; the camera may send another, change
  // size mid-stream, or the window may grow or shrink: the renderer's
  // surface follows the decoded pictures.
  if (renderer.PictureWidth() != picture.width || renderer.PictureHeight() != picture.height)
    renderer.Resize(picture.width, picture.height);
  return renderer.DrawPicture(picture.pixels, nullptr);
}
