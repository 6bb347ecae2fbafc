// Snapshot files of a channel's last picture (see picture_snapshot.h).
#include "picture_snapshot.h"

#include <cctype>
#include <cstring>
#include <new>
#include <string>

#include "bmp_file.h"
#include "jpeg_frame_path.h"

namespace {

bool EndsWith(const char* name, const char* ending) {
  const size_t nameLength = std::strlen(name);
  const size_t endingLength = std::strlen(ending);
  if (nameLength <= endingLength) return false;
  for (size_t i = 0; i < endingLength; ++i) {
    if (std::tolower(static_cast<unsigned char>(name[nameLength - endingLength + i])) != ending[i]) return false;
  }
  return true;
}

}  // namespace

SnapshotFormat SnapshotFormatOf(const char* fileName) {
  if (!fileName) return SnapshotFormat::kUnknown;
  if (EndsWith(fileName, ".bmp")) return SnapshotFormat::kBmp;
  if (EndsWith(fileName, ".jpg") || EndsWith(fileName, ".jpeg")) return SnapshotFormat::kJpeg;
  return SnapshotFormat::kUnknown;
}

bool SaveJpegPacketAsBmp(const std::vector<uint8_t>& packet, uint32_t divisor, const char* fileName) {
  JpegPictureDecoder decoder;
  JpegPicture picture;
  if (!decoder.Decode(packet.data(), static_cast<uint32_t>(packet.size()), kShowFullSize, picture, divisor))
    return false;
  return WriteBmpFile(fileName, picture.pixels, picture.width, picture.height, size_t{picture.width} * 3);
}

bool LastPicture::Keep(const uint8_t* bgr, uint32_t width, uint32_t height) {
  std::lock_guard<std::mutex> hold(mutex_);
  try {
    pixels_.assign(bgr, bgr + size_t{width} * height * 3);
  } catch (const std::bad_alloc&) {
    pixels_.clear();
    width_ = height_ = 0;
    return false;
  }
  width_ = width;
  height_ = height;
  return true;
}

bool LastPicture::SaveBmp(const char* fileName) const {
  std::lock_guard<std::mutex> hold(mutex_);
  return WriteBmpFile(fileName, pixels_.data(), width_, height_, size_t{width_} * 3);
}
