// BMP and plain snapshot files (see bmp_file.h).
#include "bmp_file.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void PutLittleEndian(uint8_t* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes what `write` produces into `path` through a temporary file.
template <typename Write>
bool WriteThroughTemporary(const char* path, Write write) {
  if (!path || !*path) return false;
  const std::string temporary = std::string(path) + ".part";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return false;
  const bool written = write(file);
  const bool closed = std::fclose(file) == 0;
  std::remove(path);  // rename does not replace a file on every system
  if (written && closed && std::rename(temporary.c_str(), path) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}

}  // namespace

bool WriteBmpFile(const char* path, const uint8_t* bgr, uint32_t width, uint32_t height, size_t stride) {
  if (!bgr || width == 0 || height == 0 || stride < size_t{width} * 3) return false;
  const uint32_t rowBytes = (width * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * height;
  constexpr uint32_t kHeaderBytes = 14 + 40;
  uint8_t header[kHeaderBytes] = {'B', 'M'};
  PutLittleEndian(header + 2, kHeaderBytes + imageBytes, 4);
  PutLittleEndian(header + 10, kHeaderBytes, 4);
  PutLittleEndian(header + 14, 40, 4);  // BITMAPINFOHEADER
  PutLittleEndian(header + 18, width, 4);
  PutLittleEndian(header + 22, height, 4);  // positive: bottom row first
  PutLittleEndian(header + 26, 1, 2);       // planes
  PutLittleEndian(header + 28, 24, 2);      // bits per pixel
  PutLittleEndian(header + 34, imageBytes, 4);
  return WriteThroughTemporary(path, [&](std::FILE* file) {
    if (std::fwrite(header, 1, sizeof header, file) != sizeof header) return false;
    std::vector<uint8_t> row(rowBytes, 0);
    for (uint32_t y = height; y-- > 0;) {
      const uint8_t* source = bgr + stride * y;
      std::copy(source, source + size_t{width} * 3, row.begin());
      if (std::fwrite(row.data(), 1, row.size(), file) != row.size()) return false;
    }
    return true;
  });
}

bool WriteBytesFile(const char* path, const uint8_t* bytes, size_t length) {
  if (!bytes || length == 0) return false;
  return WriteThroughTemporary(path, [&](std::FILE* file) { return std::fwrite(bytes, 1, length, file) == length; });
}
