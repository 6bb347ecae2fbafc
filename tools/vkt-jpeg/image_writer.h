// Writes a decoded picture (8-bit grey or RGB, rows top first, no padding)
// as PNG or as binary PNM (PGM for grey, PPM for colour).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vkt::jpegtool {

enum class ImageFormat { kPng, kPnm };

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channels = 0;  // 1 or 3
  std::vector<uint8_t> pixels;
};

// To the file `path`, or to standard output for "-". False with a reason
// when the picture cannot be written completely.
bool write_image(const std::string& path, ImageFormat format, const Image& image, std::string& reason);

}  // namespace vkt::jpegtool
