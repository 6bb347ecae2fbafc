// Parsing of the decode command's arguments: the output format from OUT's
// extension, the scale, the region and the decoder switches.
#include "decode_options.h"

#include <cstdint>
#include <string_view>

#include "common/parse_number.h"

namespace vkt::jpegtool {
namespace {

bool parse_scale(std::string_view text, int& scale) {
  for (int s : {1, 2, 4, 8}) {
    if (text == "1/" + std::to_string(s)) {
      scale = s;
      return true;
    }
  }
  return false;
}

// L,T,R,B: four non-negative numbers with L < R and T < B; R and B may lie
// past the picture (the region is clamped to it).
bool parse_region(std::string_view text, JpegRegion& region) {
  int32_t values[4];
  for (int i = 0; i < 4; ++i) {
    const size_t comma = text.find(',');
    if ((i < 3) != (comma != std::string_view::npos)) return false;
    if (!tools::parseNumber<int32_t>(text.substr(0, comma), 0, INT32_MAX, values[i])) return false;
    if (i < 3) text.remove_prefix(comma + 1);
  }
  region = {values[0], values[1], values[2], values[3]};
  return region.left < region.right && region.top < region.bottom;
}

bool format_of(const std::string& path, ImageFormat& format, bool& grey) {
  if (path == "-") {  // standard output: PPM, or PGM for grey pictures
    format = ImageFormat::kPnm;
    return true;
  }
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
#ifndef VKT_JPEG_TOOL_NO_PNG
  if (extension == "png") {
    format = ImageFormat::kPng;
    return true;
  }
#endif
  if (extension == "ppm" || extension == "pnm") {
    format = ImageFormat::kPnm;
  } else if (extension == "pgm") {
    format = ImageFormat::kPnm;
    grey = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool parse_decode_options(int argc, char** argv, DecodeOptions& options, std::string& error) {
  if (argc < 2) {
    error = "decode needs IN and OUT";
    return false;
  }
  options.input = argv[0];
  options.output = argv[1];
  if (!format_of(options.output, options.format, options.grey)) {
#ifdef VKT_JPEG_TOOL_NO_PNG
    error = "OUT must end in .ppm, .pgm or .pnm, or be - (this build writes no PNG)";
#else
    error = "OUT must end in .png, .ppm, .pgm or .pnm, or be -";
#endif
    return false;
  }
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--scale" && has_value) {
      if (!parse_scale(argv[++i], options.scale)) {
        error = "--scale takes 1/2, 1/4 or 1/8";
        return false;
      }
    } else if (arg == "--region" && has_value) {
      if (!parse_region(argv[++i], options.region)) {
        error = "--region takes L,T,R,B with L < R and T < B";
        return false;
      }
      options.has_region = true;
    } else if (arg == "--fast") {
      options.fast = true;
    } else if (arg == "--triangle") {
      options.triangle = true;
    } else if (arg == "--grey") {
      options.grey = true;
    } else {
      error = "unknown option " + std::string(arg);
      return false;
    }
  }
  return true;
}

}  // namespace vkt::jpegtool
