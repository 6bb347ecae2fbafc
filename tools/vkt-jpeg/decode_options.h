// Options of `vkt-jpeg decode IN OUT [--scale 1/2|1/4|1/8]
// [--region L,T,R,B] [--fast] [--triangle] [--grey]`.
#pragma once
#include <string>

#include "image_writer.h"
#include "vktjpeg.h"

namespace vkt::jpegtool {

struct DecodeOptions {
  std::string input;
  std::string output;
  ImageFormat format = ImageFormat::kPng;  // from OUT's extension; PNM for "-"
  int scale = 1;                           // 1, 2, 4 or 8: output is 1/scale of the image
  bool has_region = false;
  JpegRegion region{};  // in output (scaled) pixels; right and bottom exclusive
  bool fast = false;      // fast inverse DCT
  bool triangle = false;  // triangle-filter chroma upsampling
  bool grey = false;      // one grey channel (also for a .pgm OUT)
};

// False with a message for anything malformed.
bool parse_decode_options(int argc, char** argv, DecodeOptions& options, std::string& error);

}  // namespace vkt::jpegtool
