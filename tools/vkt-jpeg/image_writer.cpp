// PNG (through libpng) and PNM output of vkt-jpeg decode, to a file or to
// standard output ("-"). A failed or short write removes the partial file,
// so no truncated picture is left behind. The Windows build has no libpng
// (VKT_JPEG_TOOL_NO_PNG): its decode command refuses PNG names up front.
#include "image_writer.h"

#ifndef VKT_JPEG_TOOL_NO_PNG
#include <png.h>
#endif

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace vkt::jpegtool {
namespace {

bool write_pnm(FILE* file, const Image& image) {
  std::fprintf(file, "P%c\n%u %u\n255\n", image.channels == 1 ? '5' : '6', image.width, image.height);
  return std::fwrite(image.pixels.data(), 1, image.pixels.size(), file) == image.pixels.size();
}

#ifdef VKT_JPEG_TOOL_NO_PNG
bool write_png(FILE*, const Image&) { return false; }
#else
bool write_png(FILE* file, const Image& image) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  // libpng reports its errors by longjmp; nothing with a destructor lives
  // between here and the writes.
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, image.width, image.height, 8, image.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(image.width) * image.channels;
  for (uint32_t row = 0; row < image.height; ++row)
    png_write_row(png, const_cast<png_bytep>(image.pixels.data() + row * stride));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}
#endif

}  // namespace

bool write_image(const std::string& path, ImageFormat format, const Image& image, std::string& reason) {
  const bool standard_output = path == "-";
  FILE* file = standard_output ? stdout : std::fopen(path.c_str(), "wb");
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  errno = 0;
  bool written = format == ImageFormat::kPng ? write_png(file, image) : write_pnm(file, image);
  written = std::fflush(file) == 0 && written;
  const int saved_errno = errno;
  if (!standard_output) written = std::fclose(file) == 0 && written;
  if (!written) {
    reason = saved_errno ? std::strerror(saved_errno) : "write failed";
    if (!standard_output) std::remove(path.c_str());
  }
  return written;
}

}  // namespace vkt::jpegtool
