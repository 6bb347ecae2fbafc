// Drawing and JPEG encoding of the simulated device's pictures (libjpeg,
// whose header needs size_t and FILE declared first).
#include "channel_picture.h"

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "camera_scene.h"

namespace vkt::devsim {
namespace {

constexpr int kBandTop = kPictureHeight - 32;
constexpr int kSquareSize = 12;
constexpr int kMarkerWidth = 16;

// Far apart from each other, and far from the band's black and white.
constexpr uint32_t kChannelColours[16] = {
    0xC03030, 0x30C030, 0x3030C0, 0xC0C030, 0xC030C0, 0x30C0C0, 0xE08020, 0x8020E0,
    0x20E080, 0x806040, 0x408060, 0x604080, 0xA0A0A0, 0x606060, 0xE0A0A0, 0xA0E0A0,
};

void fillRgb(uint8_t* pixel, uint32_t rgb) {
  pixel[0] = static_cast<uint8_t>(rgb >> 16);
  pixel[1] = static_cast<uint8_t>(rgb >> 8);
  pixel[2] = static_cast<uint8_t>(rgb);
}

uint32_t bandColourAt(int x, int y, unsigned channel, uint32_t frame) {
  const int row = y - kBandTop;
  const bool inSquareRow = row >= 10 && row < 10 + kSquareSize;
  const int squareSlot = x / (kSquareSize * 2);
  const bool inSquare = x % (kSquareSize * 2) < kSquareSize && squareSlot <= static_cast<int>(channel);
  if (inSquareRow && inSquare) return 0xFFFFFF;
  const int markerLeft = kPictureWidth / 2 + static_cast<int>(frame % (kPictureWidth / 2 - kMarkerWidth));
  if (x >= markerLeft && x < markerLeft + kMarkerWidth) return 0xFFFFFF;
  return 0x000000;
}

// The channel's camera scene above the band, drawn once per channel and
// process: the scene's shading costs far more than encoding, and the moving
// marker already makes every picture differ.
const std::vector<uint8_t>& cameraBackground(unsigned channel) {
  static std::array<std::once_flag, 16> drawn;
  static std::array<std::vector<uint8_t>, 16> backgrounds;
  channel &= 0x0F;
  std::call_once(drawn[channel], [channel] {
    std::vector<uint8_t>& rgb = backgrounds[channel];
    rgb.resize(static_cast<size_t>(kPictureWidth) * kBandTop * 3);
    for (int y = 0; y < kBandTop; ++y)
      for (int x = 0; x < kPictureWidth; ++x)
        for (int plane = 0; plane < 3; ++plane)
          rgb[(static_cast<size_t>(y) * kPictureWidth + x) * 3 + plane] = cameraSceneSample(x, y, plane, 0, channel);
  });
  return backgrounds[channel];
}

std::vector<uint8_t> drawPicture(unsigned channel, uint32_t frame, ChannelScene scene) {
  std::vector<uint8_t> rgb(static_cast<size_t>(kPictureWidth) * kPictureHeight * 3);
  const size_t bandStart = static_cast<size_t>(kBandTop) * kPictureWidth * 3;
  if (scene == ChannelScene::kCamera) {
    const std::vector<uint8_t>& background = cameraBackground(channel);
    std::copy(background.begin(), background.end(), rgb.begin());
  } else {
    for (size_t at = 0; at < bandStart; at += 3) fillRgb(&rgb[at], channelColour(channel));
  }
  for (int y = kBandTop; y < kPictureHeight; ++y)
    for (int x = 0; x < kPictureWidth; ++x)
      fillRgb(&rgb[(static_cast<size_t>(y) * kPictureWidth + x) * 3], bandColourAt(x, y, channel, frame));
  return rgb;
}

}  // namespace

uint32_t channelColour(unsigned channel) { return kChannelColours[channel & 0x0F]; }

std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height) {
  jpeg_compress_struct encoder{};
  jpeg_error_mgr errors{};
  encoder.err = jpeg_std_error(&errors);
  jpeg_create_compress(&encoder);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&encoder, &out, &outSize);
  encoder.image_width = static_cast<JDIMENSION>(width);
  encoder.image_height = static_cast<JDIMENSION>(height);
  encoder.input_components = 3;
  encoder.in_color_space = JCS_RGB;
  jpeg_set_defaults(&encoder);
  jpeg_set_quality(&encoder, 85, TRUE);
  jpeg_start_compress(&encoder, TRUE);
  while (encoder.next_scanline < encoder.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&rgb[static_cast<size_t>(encoder.next_scanline) * width * 3]);
    jpeg_write_scanlines(&encoder, &row, 1);
  }
  jpeg_finish_compress(&encoder);
  jpeg_destroy_compress(&encoder);
  std::vector<uint8_t> picture(out, out + outSize);
  std::free(out);
  return picture;
}

std::vector<uint8_t> encodeChannelPicture(unsigned channel, uint32_t frame, ChannelScene scene) {
  std::vector<uint8_t> picture = encodeJpeg(drawPicture(channel, frame, scene).data(), kPictureWidth, kPictureHeight);
  // SOI, then the JFIF APP0 segment whose identifier "JFIF\0" ends at byte
  // 10: that byte carries the channel, as the receivers expect.
  const bool jfifFirst = picture.size() > kPictureChannelByte && picture[2] == 0xFF && picture[3] == 0xE0 &&
                         std::memcmp(&picture[6], "JFIF", 4) == 0;
  if (!jfifFirst) {
    std::fprintf(stderr, "devsim: encoder wrote no JFIF segment first\n");
    return {};
  }
  picture[kPictureChannelByte] = static_cast<uint8_t>(channel & 0x0F);
  return picture;
}

}  // namespace vkt::devsim
