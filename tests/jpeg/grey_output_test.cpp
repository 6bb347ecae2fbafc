// Grey images have an output routine of their own at every scale, into 1-,
// 3- and 4-byte pictures. MCU by MCU it must write what the component
// writer writes for the same samples, out-of-range ones included; and a
// read into 3 or 4 bytes must hold, in bytes 0..2 of each pixel, the
// sample a one-byte grey read of the same image gives (slot 35 for whole
// MCUs, not the expanders), and 255 in byte 3, for whole, scaled, region,
// odd-size and cut-short reads, both row orders and pad bytes, without
// touching a byte outside the picture's pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "jpeg_corpus.h"
#include "mcu_output.h"
#include "output_convert.h"
#include "output_general.h"
#include "recon_reference.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;
constexpr size_t kGuard = 64;

struct Layout {
  uint32_t channels;
  JpegColor colour;
  int height_sign;  // -1: bottom-up picture
  uint32_t pad;
};

struct Request {
  JpegReadMode mode = READ_IMAGE_BUFFER;
  JpegRegion region{};
  int shrink = 0;  // picture this many pixels narrower and shorter than the read gives
};

struct GreyRead {
  JpegStatus status = JPEG_ERR_INTERNAL;
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // rows top first, no pads
};

// Reads `jpeg` into a picture with guard bytes before and after it, then
// returns its pixels in top-down order; pads and guards must keep their
// contents.
GreyRead read_picture(const std::vector<uint8_t>& jpeg, const Request& request, const Layout& layout) {
  GreyRead read;
  ReferenceImage header;
  EXPECT_TRUE(decode_with_libjpeg(jpeg, header, false));
  const int scale = scale_of_mode(request.mode);
  const JpegRegion& region = request.region;
  const bool cut = region.right != 0;
  read.width = (cut ? region.right - region.left : (header.width + scale - 1) / scale) - request.shrink;
  read.height = (cut ? region.bottom - region.top : (header.height + scale - 1) / scale) - request.shrink;
  const size_t row_bytes = static_cast<size_t>(read.width) * layout.channels;
  const size_t stride = row_bytes + layout.pad;
  std::vector<uint8_t> buffer(2 * kGuard + stride * read.height, kUntouched);
  JPEG_PROPERTIES p{};
  EXPECT_EQ(JpegInit(&p), JPEG_SUCCESS);
  p.jpeg_bytes = jpeg.data();
  p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
  p.picture_bytes = buffer.data() + kGuard;
  p.picture_width = static_cast<uint32_t>(read.width);
  p.picture_height = layout.height_sign * read.height;
  p.picture_pad_bytes = layout.pad;
  p.picture_channels = layout.channels;
  p.picture_color = layout.colour;
  p.region = region;
  read.status = JpegRead(&p, request.mode);
  JpegFree(&p);
  for (size_t i = 0; i < kGuard; ++i) {
    EXPECT_EQ(buffer[i], kUntouched) << "byte before the picture";
    EXPECT_EQ(buffer[buffer.size() - 1 - i], kUntouched) << "byte after the picture";
  }
  for (int y = 0; y < read.height; ++y) {
    const int line = layout.height_sign > 0 ? y : read.height - 1 - y;
    const uint8_t* row = buffer.data() + kGuard + line * stride;
    read.pixels.insert(read.pixels.end(), row, row + row_bytes);
    for (size_t i = row_bytes; i < stride; ++i) EXPECT_EQ(row[i], kUntouched) << "pad byte of line " << line;
  }
  return read;
}

std::vector<uint8_t> grey_stream(int width, int height, std::vector<std::pair<int, int>> factors, bool progressive,
                                 int restart_interval) {
  EncodeOptions options;
  options.components = 1;
  options.width = width;
  options.height = height;
  options.factors = std::move(factors);
  options.progressive = progressive;
  options.restart_interval = restart_interval;
  options.quality = 90;
  return encode_jpeg(options);
}

// Every MCU of a 13x11 picture (and one past each edge, which neither
// writes) through both writers, for each block size, byte count, row
// order, and with regions larger and smaller than the picture.
TEST(GreyOutput, RoutineWritesWhatTheComponentWriterWrites) {
  struct Case {
    uint32_t block_size;
    uint32_t channels;
    int height_sign;
    JpegRegion region;
  };
  const Case cases[] = {
      {8, 3, 1, {}},           {8, 4, -1, {}},          {4, 3, -1, {}},
      {4, 4, 1, {}},           {2, 3, 1, {}},           {1, 4, 1, {}},
      {1, 3, -1, {}},          {8, 3, 1, {3, 2, 14, 9}}, {8, 4, -1, {5, 9, 40, 30}},
      {4, 3, 1, {1, 3, 10, 9}}, {1, 4, -1, {2, 2, 9, 7}},  {8, 1, 1, {}},
      {8, 1, -1, {3, 2, 14, 9}}, {4, 1, 1, {}},          {2, 1, -1, {1, 3, 10, 9}},
      {1, 1, 1, {}},
  };
  constexpr int kWidth = 13, kHeight = 11;
  std::mt19937 random(11);
  std::uniform_int_distribution<int> sample(-40, 300);  // clamped to 0..255 by both
  for (const Case& c : cases) {
    SCOPED_TRACE("block " + std::to_string(c.block_size) + ", " + std::to_string(c.channels) + " channels, sign " +
                 std::to_string(c.height_sign) + ", region " + std::to_string(c.region.left));
    auto properties = std::make_unique<JPEG_PROPERTIES>();
    ASSERT_EQ(JpegInit(properties.get()), JPEG_SUCCESS);
    DecoderState& state = state_of(*properties);
    const ptrdiff_t stride = kWidth * c.channels + 2;
    std::vector<uint8_t> general(2 * kGuard + stride * kHeight, kUntouched), routine = general;
    ReadFields& fields = state.fields;
    fields.picture_width = kWidth;
    fields.picture_height = c.height_sign * kHeight;
    fields.picture_channels = c.channels;
    fields.picture_color = c.channels == 4 ? COLOR_FOUR : (c.channels == 1 ? COLOR_GRAY : COLOR_BGR);
    fields.row_stride = static_cast<int32_t>(c.height_sign * stride);
    fields.jpeg_color = COLOR_GRAY;
    state.frame.component_count = 1;
    state.region = c.region;
    OutputPlan& plan = state.output;
    plan.region_active = c.region.right != 0;
    plan.component_count = 1;
    plan.mcu_width = plan.mcu_height = c.block_size;
    plan.components[0] = OutputComponent{};
    plan.components[0].blocks_wide = plan.components[0].blocks_high = 1;
    plan.components[0].block_size = c.block_size;
    plan.components[0].ratio_h = plan.components[0].ratio_v = 1;
    place_samples(plan.components[0]);
    const McuOutput routine_of_channels = grey_routine(c.channels);
    ASSERT_NE(routine_of_channels, nullptr);
    const size_t first_line = c.height_sign > 0 ? 0 : static_cast<size_t>(stride) * (kHeight - 1);
    const uint32_t columns = (c.region.right != 0 ? c.region.right : kWidth) / c.block_size + 2;
    const uint32_t rows = (c.region.bottom != 0 ? c.region.bottom : kHeight) / c.block_size + 2;
    for (uint32_t row = 0; row < rows; ++row) {
      for (uint32_t column = 0; column < columns; ++column) {
        for (int16_t& s : state.mcu_blocks[0].coef) s = static_cast<int16_t>(sample(random));
        fields.picture_bytes = general.data() + kGuard + first_line;
        const JpegStatus general_status = write_components(state, column, row);
        fields.picture_bytes = routine.data() + kGuard + first_line;
        ASSERT_EQ(routine_of_channels(state, column, row), general_status) << "MCU " << column << "," << row;
        const auto differ = std::mismatch(routine.begin(), routine.end(), general.begin());
        ASSERT_TRUE(differ.first == routine.end())
            << "MCU " << column << "," << row << ": byte " << differ.first - routine.begin() - kGuard << " is "
            << int{*differ.first} << ", the component writer's " << int{*differ.second};
      }
    }
    EXPECT_NE(std::count(general.begin(), general.end(), kUntouched), static_cast<ptrdiff_t>(general.size()));
    JpegFree(properties.get());
  }
}

TEST(GreyOutput, ThreeAndFourBytePicturesRepeatTheGreyReadsSamples) {
  struct Stream {
    const char* name;
    std::vector<uint8_t> jpeg;
  };
  // MCU-multiple and odd sizes (edge MCUs of 1 to 7 pixels), a component
  // with factors above 1 (still one block per MCU), progressive and
  // restart intervals.
  const Stream streams[] = {
      {"grey 64x48", grey_stream(64, 48, {}, false, 0)},
      {"grey 37x21", grey_stream(37, 21, {}, false, 0)},
      {"grey 2x2 factors 41x27", grey_stream(41, 27, {{2, 2}}, false, 0)},
      {"grey progressive 45x19", grey_stream(45, 19, {}, true, 0)},
      {"grey restart 1 33x17", grey_stream(33, 17, {}, false, 1)},
  };
  const Request requests[] = {
      {READ_IMAGE_BUFFER, {}, 0},
      {READ_IMAGE_BUFFER, {}, 1},  // a picture smaller than the image: clipped edge MCUs everywhere
      {READ_HALF_BUFFER, {}, 0},
      {READ_QUARTER_BUFFER, {}, 0},
      {READ_QUARTER_BUFFER, {}, 1},
      {READ_EIGHTH_BUFFER, {}, 0},
      {READ_IMAGE_BUFFER, {3, 2, 30, 17}, 0},  // unaligned on every side
      {READ_IMAGE_BUFFER, {8, 8, 24, 16}, 0},  // whole MCUs only
      {READ_IMAGE_BUFFER, {9, 1, 17, 15}, 2},  // region and a picture smaller than it
      {READ_HALF_BUFFER, {2, 1, 15, 9}, 0},    // region of a scaled read
  };
  const Layout layouts[] = {
      {3, COLOR_BGR, 1, 0}, {3, COLOR_RGB, -1, 5}, {4, COLOR_FOUR, 1, 3}, {4, COLOR_FOUR, -1, 0},
  };
  for (const Stream& stream : streams) {
    ASSERT_FALSE(stream.jpeg.empty()) << stream.name;
    for (const Request& request : requests) {
      const std::string where = std::string(stream.name) + ", mode " + std::to_string(request.mode) + ", region " +
                                std::to_string(request.region.left) + "," + std::to_string(request.region.top) +
                                ", shrink " + std::to_string(request.shrink);
      SCOPED_TRACE(where);
      const GreyRead grey = read_picture(stream.jpeg, request, {1, COLOR_GRAY, 1, 0});
      const JpegStatus expected_status = request.region.right != 0 ? JPEG_ROI_SUCCESS : JPEG_SUCCESS;
      ASSERT_EQ(grey.status, expected_status);
      for (const Layout& layout : layouts) {
        const GreyRead read = read_picture(stream.jpeg, request, layout);
        ASSERT_EQ(read.status, expected_status) << layout.channels << " channels";
        ASSERT_EQ(read.pixels.size(), grey.pixels.size() * layout.channels);
        for (size_t i = 0; i < grey.pixels.size(); ++i) {
          const uint8_t* pixel = &read.pixels[i * layout.channels];
          const uint8_t value = grey.pixels[i];
          ASSERT_TRUE(pixel[0] == value && pixel[1] == value && pixel[2] == value &&
                      (layout.channels == 3 || pixel[3] == 255))
              << layout.channels << " channels, height sign " << layout.height_sign << ", pixel "
              << i % grey.width << "," << i / grey.width;
        }
      }
    }
  }
}

}  // namespace
