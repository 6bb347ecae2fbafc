// The reads vkt-jpeg-bench times, each done by our decoder and by
// libjpeg-turbo with matching settings: BGR output, the precise (ISLOW)
// transform (or the fast one), chroma by replication (no fancy upsampling) or by the
// triangle filter (fancy upsampling), a scale of 1, 2, 4 or 8, or a
// region cropped and skipped to.
#pragma once
#include <cstdint>
#include <vector>

#include "vktjpeg.h"

struct BenchRead {
  int scale = 1;         // 1, 2, 4 or 8
  bool region = false;   // the centre 256x256 pixels at full scale
  bool same_record = false;  // a region read again on the record of the previous one
  bool triangle = false;     // chroma by the triangle filter (libjpeg-turbo's fancy upsampling)
  bool fast = false;         // the fast transform (libjpeg-turbo's IFAST) instead of the precise one
};

struct ImageSize {
  int width = 0;
  int height = 0;
};

// The frame size from the header; zero on a picture neither decoder reads.
ImageSize jpeg_size(const std::vector<uint8_t>& jpeg);
// The region the region reads ask for.
JpegRegion centre_region(ImageSize size);
// Pixels a read writes: the scaled picture or the region.
int64_t output_pixels(ImageSize size, const BenchRead& read);

// Our decoder: one read into `picture` (resized as needed) on `record`,
// which the caller initialised; `size` is the picture's, found by the
// caller once, outside the timed reads. False when the read fails.
bool read_ours(JPEG_PROPERTIES& record, const std::vector<uint8_t>& jpeg, ImageSize size, const BenchRead& read,
               std::vector<uint8_t>& picture);

// libjpeg-turbo: one read into `picture`. False when it fails.
bool read_turbo(const std::vector<uint8_t>& jpeg, const BenchRead& read, std::vector<uint8_t>& picture);
