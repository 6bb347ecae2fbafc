// Snapshots of a channel's last picture (VKT_SavePicture): which file the
// name asks for, a kind-7100 picture decoded again from its bytes at the
// reduction it was shown at, and the copy of the last kind-5200 picture
// that the decoding thread keeps for the application's thread.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

enum class SnapshotFormat { kBmp, kJpeg, kUnknown };

// By the name's ending, in any case: ".bmp", ".jpg" or ".jpeg".
SnapshotFormat SnapshotFormatOf(const char* fileName);

// Decodes a kind-7100 packet at `divisor` and writes it as a BMP.
bool SaveJpegPacketAsBmp(const std::vector<uint8_t>& packet, uint32_t divisor, const char* fileName);

// The last picture of a channel, copied on the thread that decoded it and
// written on the thread that asks for it.
class LastPicture {
 public:
  // Replaces the kept picture; false (and nothing kept) without memory.
  bool Keep(const uint8_t* bgr, uint32_t width, uint32_t height);
  // False before the first picture or when the file cannot be written.
  bool SaveBmp(const char* fileName) const;

 private:
  mutable std::mutex mutex_;
  std::vector<uint8_t> pixels_;  // rows of exactly width x 3 bytes
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};
