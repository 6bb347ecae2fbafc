// libjpeg-turbo's side of the benchmark reads. A region read crops the
// scanlines to the region's columns (widened to whole iMCUs, as the library
// requires), skips the rows above it, reads its rows and stops there.
#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "bench_reads.h"

namespace {

struct ErrorJump {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void on_error(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1); }
void no_message(j_common_ptr, int) {}

}  // namespace

ImageSize jpeg_size(const std::vector<uint8_t>& jpeg) {
  jpeg_decompress_struct info{};
  ErrorJump error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = on_error;
  error.manager.emit_message = no_message;
  ImageSize size;
  if (setjmp(error.jump) == 0) {
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    size = {static_cast<int>(info.image_width), static_cast<int>(info.image_height)};
  }
  jpeg_destroy_decompress(&info);
  return size;
}

bool read_turbo(const std::vector<uint8_t>& jpeg, const BenchRead& read, std::vector<uint8_t>& picture) {
  jpeg_decompress_struct info{};
  ErrorJump error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = on_error;
  error.manager.emit_message = no_message;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  info.dct_method = read.fast ? JDCT_IFAST : JDCT_ISLOW;
  info.do_fancy_upsampling = read.triangle ? TRUE : FALSE;
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned>(read.scale);
  jpeg_start_decompress(&info);
  JDIMENSION first_row = 0, end_row = info.output_height;
  if (read.region) {
    const JpegRegion region = centre_region({static_cast<int>(info.image_width), static_cast<int>(info.image_height)});
    JDIMENSION left = static_cast<JDIMENSION>(region.left);
    JDIMENSION width = static_cast<JDIMENSION>(region.right - region.left);
    jpeg_crop_scanline(&info, &left, &width);
    first_row = static_cast<JDIMENSION>(region.top);
    end_row = static_cast<JDIMENSION>(region.bottom);
    if (first_row > 0) jpeg_skip_scanlines(&info, first_row);
  }
  const size_t stride = static_cast<size_t>(info.output_width) * 3;
  picture.resize(stride * (end_row - first_row));
  while (info.output_scanline < end_row) {
    JSAMPROW rows[16];
    const JDIMENSION count = std::min<JDIMENSION>(16, end_row - info.output_scanline);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = &picture[(info.output_scanline + i - first_row) * stride];
    jpeg_read_scanlines(&info, rows, count);
  }
  if (read.region) {
    jpeg_abort_decompress(&info);
  } else {
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  return true;
}
