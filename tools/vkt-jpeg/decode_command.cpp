// vkt-jpeg decode IN OUT [--scale 1/2|1/4|1/8] [--region L,T,R,B] [--fast]
// [--triangle] [--grey]
//
// Decodes IN in memory with a parameter read, then a picture read in the
// mode of the scale (3, 15, 17 or 19), into RGB or grey, and writes the
// picture as PNG or PNM. A region is in output pixels and is clamped to the
// picture; the output is the clamped region. A grey stream gives grey
// output. Four-component streams have no RGB output and are refused.
// Chroma is replicated (djpeg -nosmooth) unless --triangle is given. A
// stream cut short is decoded up to where it stops, the rest of the picture
// as the decoder fills it, and written with a warning (exit status 2).
#include <cstdio>
#include <limits>
#include <new>

#include "decode_options.h"
#include "jpeg_tool.h"
#include "vktjpeg.h"

namespace vkt::jpegtool {
namespace {

// Beyond this the picture would not be worth holding in memory; the
// decoder itself accepts frames up to 65535 x 65535.
constexpr uint64_t kMaxPictureBytes = uint64_t{1} << 31;

JpegReadMode read_mode(int scale) {
  switch (scale) {
    case 2: return READ_HALF_BUFFER;
    case 4: return READ_QUARTER_BUFFER;
    case 8: return READ_EIGHTH_BUFFER;
    default: return READ_IMAGE_BUFFER;
  }
}

// Clamps the region to a picture of width x height; false when nothing of
// it is left.
bool clamp_region(JpegRegion& region, uint32_t width, uint32_t height) {
  if (region.right > static_cast<int32_t>(width)) region.right = static_cast<int32_t>(width);
  if (region.bottom > static_cast<int32_t>(height)) region.bottom = static_cast<int32_t>(height);
  return region.left < region.right && region.top < region.bottom;
}

// Holds the record from JpegInit to JpegFree.
class DecoderRecord {
 public:
  DecoderRecord() : status_(JpegInit(&properties_)) {}
  ~DecoderRecord() { JpegFree(&properties_); }
  DecoderRecord(const DecoderRecord&) = delete;
  DecoderRecord& operator=(const DecoderRecord&) = delete;
  JPEG_PROPERTIES& properties() { return properties_; }
  JpegStatus init_status() const { return status_; }

 private:
  JPEG_PROPERTIES properties_;
  JpegStatus status_;
};

// Decodes `bytes` into `image` on a record of its own; false with the
// reason when the stream or the options give no picture.
bool decode_into(const std::vector<uint8_t>& bytes, const DecodeOptions& options, Image& image, std::string& reason) {
  DecoderRecord record;
  JPEG_PROPERTIES& p = record.properties();
  if (record.init_status() != JPEG_SUCCESS) {
    reason = status_reason(record.init_status());
    return false;
  }
  p.jpeg_bytes = bytes.data();
  p.jpeg_size_bytes = static_cast<uint32_t>(bytes.size());
  JpegStatus status = JpegRead(&p, READ_PARAMS_BUFFER);
  if (status != JPEG_SUCCESS) {
    reason = status_reason(status, bytes);
    return false;
  }
  if (p.jpeg_channels == 4) {
    reason = "four-component pictures have no RGB or grey output";
    return false;
  }
  image.channels = options.grey || p.jpeg_channels == 1 ? 1 : 3;
  image.width = (p.jpeg_width + options.scale - 1) / options.scale;
  image.height = (p.jpeg_height + options.scale - 1) / options.scale;
  if (options.has_region) {
    p.region = options.region;
    if (!clamp_region(p.region, image.width, image.height)) {
      reason = "the region lies outside the " + std::to_string(image.width) + "x" + std::to_string(image.height) +
               " picture";
      return false;
    }
    image.width = static_cast<uint32_t>(p.region.right - p.region.left);
    image.height = static_cast<uint32_t>(p.region.bottom - p.region.top);
  }
  const uint64_t picture_bytes = uint64_t{image.width} * image.height * image.channels;
  if (picture_bytes > kMaxPictureBytes) {
    reason = "the picture is too large to hold in memory";
    return false;
  }
  try {
    image.pixels.assign(picture_bytes, 0);
  } catch (const std::bad_alloc&) {
    reason = status_reason(JPEG_ERR_MEMORY);
    return false;
  }

  p.picture_bytes = image.pixels.data();
  p.picture_width = image.width;
  p.picture_height = static_cast<int32_t>(image.height);
  p.picture_pad_bytes = 0;
  p.picture_channels = image.channels;
  p.picture_color = image.channels == 1 ? COLOR_GRAY : COLOR_RGB;
  p.picture_subsampling = 0;
  p.dct_kind = options.fast ? 0 : 1;
  p.upsampling_kind = options.triangle ? 1 : 0;
  status = JpegRead(&p, read_mode(options.scale));
  if (status != JPEG_SUCCESS && status != JPEG_ROI_SUCCESS) {
    reason = status_reason(status, bytes);
    return false;
  }
  return true;
}

bool ends_with_eoi(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 2 && bytes[bytes.size() - 2] == 0xFF && bytes.back() == 0xD9;
}

int decode(const DecodeOptions& options) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!read_input(options.input, bytes, reason)) return fail(options.input, reason);
  if (bytes.empty()) return fail(options.input, status_reason(JPEG_ERR_NOT_JPEG));
  // Two bytes of room for the end marker a cut stream is given.
  if (bytes.size() > std::numeric_limits<uint32_t>::max() - 2) return fail(options.input, "larger than 4 GiB");

  Image image;
  bool premature_end = false;
  if (!decode_into(bytes, options, image, reason)) {
    // A stream cut short: decode it again with an end marker where the
    // data stops, as djpeg does, and keep what that gives. A stream that
    // has its end marker failed for another reason.
    std::string ignored;
    std::vector<uint8_t> ended = bytes;
    ended.insert(ended.end(), {0xFF, 0xD9});
    if (ends_with_eoi(bytes) || !decode_into(ended, options, image, ignored)) return fail(options.input, reason);
    premature_end = true;
    std::fprintf(stderr, "vkt-jpeg: %s: Premature end of JPEG file\n", options.input.c_str());
  }
  if (!write_image(options.output, options.format, image, reason)) return fail(options.output, reason);
  return premature_end ? kExitWarning : 0;
}

}  // namespace

int run_decode(int argc, char** argv) {
  DecodeOptions options;
  std::string error;
  if (!parse_decode_options(argc, argv, options, error)) return tools::usageError(kJpegTool, error);
  return decode(options);
}

}  // namespace vkt::jpegtool
