// Shared by the reconstruction tests: libjpeg's decode with the options
// that matter for comparison (transform, upsampling, scale, BGR output),
// our decode of a whole picture through the public interface, and the
// largest per-sample difference of two pictures.
#pragma once
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <memory>
#include <vector>

#include "jpeg_record.h"

struct LibjpegOptions {
  bool fancy_upsampling = false;
  bool fast_dct = false;
  int scale_denom = 1;  // 1, 2, 4, 8
  bool grey_output = false;  // one byte per pixel instead of BGR
  bool ycbcr_output = false;  // Y, Cb, Cr unconverted instead of BGR
  bool cmyk_output = false;   // four bytes per pixel (four-component images)
};

struct Picture {
  int width = 0;
  int height = 0;
  int channels = 3;
  std::vector<uint8_t> bytes;  // rows top first, no padding
};

namespace recon_detail {
struct ErrorJump {
  jpeg_error_mgr manager;
  jmp_buf jump;
};
inline void jump_on_error(j_common_ptr info) { longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1); }
inline void stay_silent(j_common_ptr, int) {}
}  // namespace recon_detail

// libjpeg's BGR (3 bytes, grey repeated), YCbCr, CMYK or grey picture;
// empty on failure.
inline Picture decode_reference(const std::vector<uint8_t>& jpeg, const LibjpegOptions& options) {
  Picture picture;
  jpeg_decompress_struct info{};
  recon_detail::ErrorJump error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = recon_detail::jump_on_error;
  error.manager.emit_message = recon_detail::stay_silent;
  jpeg_create_decompress(&info);
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return Picture{};
  }
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = options.grey_output    ? JCS_GRAYSCALE
                         : options.ycbcr_output ? JCS_YCbCr
                         : options.cmyk_output  ? JCS_CMYK
                                                : JCS_EXT_BGR;
  info.dct_method = options.fast_dct ? JDCT_IFAST : JDCT_ISLOW;
  info.do_fancy_upsampling = options.fancy_upsampling ? TRUE : FALSE;
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned>(options.scale_denom);
  jpeg_start_decompress(&info);
  picture.width = static_cast<int>(info.output_width);
  picture.height = static_cast<int>(info.output_height);
  picture.channels = options.grey_output ? 1 : options.cmyk_output ? 4 : 3;
  const size_t stride = static_cast<size_t>(picture.width) * picture.channels;
  picture.bytes.resize(stride * picture.height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &picture.bytes[info.output_scanline * stride];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return picture;
}

// Settings of one of our reads, beyond the defaults of JpegInit.
struct ReadSettings {
  JpegReadMode mode = READ_IMAGE_BUFFER;
  uint32_t dct_kind = 1;
  uint32_t upsampling_kind = 0;
  JpegColor picture_color = COLOR_BGR;
  uint32_t channels = 3;
  JpegRegion region{};
  int width = 0;   // picture size; 0 = the image size divided by the scale
  int height = 0;
  BlockDecoder block_decoder = nullptr;  // another member for slot 55
};

struct OurRead {
  JpegStatus status = JPEG_SUCCESS;
  Picture picture;
};

inline int scale_of_mode(JpegReadMode mode) {
  return mode >= READ_EIGHTH_FILE ? 8 : mode >= READ_QUARTER_FILE ? 4 : mode >= READ_HALF_FILE ? 2 : 1;
}

// Parameter read for the size, then the picture read into a fresh buffer.
inline OurRead decode_ours(const std::vector<uint8_t>& jpeg, const ReadSettings& settings) {
  OurRead result;
  auto properties = std::make_unique<JPEG_PROPERTIES>();
  JPEG_PROPERTIES& p = *properties;
  if (JpegInit(&p) != JPEG_SUCCESS) return {JPEG_ERR_MEMORY, {}};
  if (settings.block_decoder != nullptr) state_of(p).ops.decode_block = settings.block_decoder;
  p.jpeg_bytes = jpeg.data();
  p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
  result.status = JpegRead(&p, READ_PARAMS_BUFFER);
  if (result.status == JPEG_SUCCESS) {
    const int scale = scale_of_mode(settings.mode);
    Picture& picture = result.picture;
    picture.width = settings.width ? settings.width : static_cast<int>((p.jpeg_width + scale - 1) / scale);
    picture.height = settings.height ? settings.height : static_cast<int>((p.jpeg_height + scale - 1) / scale);
    picture.channels = static_cast<int>(settings.channels);
    picture.bytes.assign(static_cast<size_t>(picture.width) * picture.height * picture.channels, 0);
    p.jpeg_bytes = jpeg.data();
    p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
    p.picture_bytes = picture.bytes.data();
    p.picture_width = static_cast<uint32_t>(picture.width);
    p.picture_height = picture.height;
    p.picture_channels = settings.channels;
    p.picture_color = settings.picture_color;
    p.dct_kind = settings.dct_kind;
    p.upsampling_kind = settings.upsampling_kind;
    p.region = settings.region;
    result.status = JpegRead(&p, settings.mode);
  }
  JpegFree(&p);
  return result;
}

// Largest difference of corresponding samples; -1 when the shapes differ.
inline int max_difference(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height || a.bytes.size() != b.bytes.size()) return -1;
  int largest = 0;
  for (size_t i = 0; i < a.bytes.size(); ++i) largest = std::max(largest, std::abs(a.bytes[i] - b.bytes[i]));
  return largest;
}
