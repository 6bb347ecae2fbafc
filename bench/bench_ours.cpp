// Our decoder's side of the benchmark reads: the picture is sized for the
// scale or the region, and the record is set up as the read needs.
#include <algorithm>

#include "bench_reads.h"

JpegRegion centre_region(ImageSize size) {
  const int width = std::min(256, size.width), height = std::min(256, size.height);
  const int left = (size.width - width) / 2, top = (size.height - height) / 2;
  return JpegRegion{left, top, left + width, top + height};
}

int64_t output_pixels(ImageSize size, const BenchRead& read) {
  if (read.region) {
    const JpegRegion region = centre_region(size);
    return int64_t{region.right - region.left} * (region.bottom - region.top);
  }
  return int64_t{(size.width + read.scale - 1) / read.scale} * ((size.height + read.scale - 1) / read.scale);
}

bool read_ours(JPEG_PROPERTIES& record, const std::vector<uint8_t>& jpeg, ImageSize size, const BenchRead& read,
               std::vector<uint8_t>& picture) {
  int width = (size.width + read.scale - 1) / read.scale, height = (size.height + read.scale - 1) / read.scale;
  record.region = JpegRegion{};
  if (read.region) {
    record.region = centre_region(size);
    width = record.region.right - record.region.left;
    height = record.region.bottom - record.region.top;
  }
  picture.resize(static_cast<size_t>(width) * height * 3);
  record.jpeg_bytes = jpeg.data();
  record.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
  record.picture_bytes = picture.data();
  record.picture_width = static_cast<uint32_t>(width);
  record.picture_height = height;
  record.picture_channels = 3;
  record.picture_color = COLOR_BGR;
  record.dct_kind = read.fast ? 0 : 1;
  record.upsampling_kind = read.triangle ? 1 : 0;
  const JpegReadMode mode = read.scale == 8   ? READ_EIGHTH_BUFFER
                            : read.scale == 4 ? READ_QUARTER_BUFFER
                            : read.scale == 2 ? READ_HALF_BUFFER
                                              : READ_IMAGE_BUFFER;
  const JpegStatus status = JpegRead(&record, mode);
  return status == JPEG_SUCCESS || status == JPEG_ROI_SUCCESS;
}
