// Decoding speed of our JPEG decoder (mode 3, BGR, precise transform)
// against libjpeg-turbo with matching settings (BGR, ISLOW, no fancy
// upsampling), on pictures compressed by libjpeg at start: 640x480 and
// 1920x1080, 4:2:0, quality 75 and 90, baseline and progressive. Prints
// the best of several rounds for each and the ratio ours / theirs.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "jpeg_corpus.h"
#include "vktjpeg.h"

namespace {

using Clock = std::chrono::steady_clock;

bool decode_ours(JPEG_PROPERTIES& p, const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& picture, int width,
                 int height) {
  p.jpeg_bytes = jpeg.data();
  p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
  p.picture_bytes = picture.data();
  p.picture_width = static_cast<uint32_t>(width);
  p.picture_height = height;
  p.picture_channels = 3;
  p.picture_color = COLOR_BGR;
  return JpegRead(&p, READ_IMAGE_BUFFER) == JPEG_SUCCESS;
}

void decode_turbo(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& picture) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = FALSE;
  jpeg_start_decompress(&info);
  const size_t stride = static_cast<size_t>(info.output_width) * 3;
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[16];
    for (int i = 0; i < 16; ++i) rows[i] = &picture[std::min<size_t>(info.output_scanline + i, info.output_height - 1) * stride];
    jpeg_read_scanlines(&info, rows, 16);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
}

// Best time of `rounds` rounds of `repeats` decodes, in microseconds per decode.
template <typename Decode>
double best_microseconds(int rounds, int repeats, Decode decode) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < repeats; ++i) decode();
    const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / repeats;
    best = std::min(best, elapsed);
  }
  return best;
}

}  // namespace

int main() {
  struct Case {
    int width, height, quality;
    bool progressive;
  };
  const Case cases[] = {{640, 480, 75, false}, {640, 480, 90, false}, {640, 480, 75, true},
                        {1920, 1080, 75, false}, {1920, 1080, 90, false}, {1920, 1080, 75, true}};
  JPEG_PROPERTIES properties{};
  if (JpegInit(&properties) != JPEG_SUCCESS) return 1;
  std::printf("%-28s %12s %12s %8s\n", "picture", "ours us", "turbo us", "ratio");
  for (const Case& c : cases) {
    EncodeOptions options;
    options.width = c.width;
    options.height = c.height;
    options.quality = c.quality;
    options.progressive = c.progressive;
    options.sampling = Sampling::k420;
    const std::vector<uint8_t> jpeg = encode_jpeg(options);
    std::vector<uint8_t> ours(static_cast<size_t>(c.width) * c.height * 3);
    std::vector<uint8_t> theirs(ours.size());
    if (!decode_ours(properties, jpeg, ours, c.width, c.height)) {
      std::printf("our decoder failed on %dx%d\n", c.width, c.height);
      return 1;
    }
    const int repeats = c.width > 1000 ? 5 : 20;
    const double our_time =
        best_microseconds(5, repeats, [&] { decode_ours(properties, jpeg, ours, c.width, c.height); });
    const double their_time = best_microseconds(5, repeats, [&] { decode_turbo(jpeg, theirs); });
    char name[64];
    std::snprintf(name, sizeof(name), "%dx%d q%d %s", c.width, c.height, c.quality,
                  c.progressive ? "progressive" : "baseline");
    std::printf("%-28s %12.0f %12.0f %8.2f\n", name, our_time, their_time, our_time / their_time);
  }
  JpegFree(&properties);
  return 0;
}
