// The decoder's interface: status texts, JpegInit defaults, the mode and
// field validation of JpegRead, and the record's lifecycle.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "marker_stream.h"

namespace {

TEST(JpegErrorText, EveryStatusHasItsText) {
  const std::vector<std::pair<JpegStatus, std::string>> texts = {
      {2, "ROI Success"}, {1, "Interrupt Success"}, {0, "Success"}, {-1, "Exception detected"},
      {-2, "Invalid Encoder"}, {-3, "Unsupported subsampling"}, {-4, "Unsupported bytes per pixel"},
      {-5, "Memory error"}, {-6, "Bad Huffman table"}, {-7, "Bad Quantization table"},
      {-8, "Invalid JPEG_PROPERTIES"}, {-9, "Error close file"}, {-10, "Invalid file name"}, {-11, "Error EOF"},
      {-12, "Not supported"}, {-13, "Not JPEG"}, {-14, "Error COMP"}, {-15, "Error SOF"}, {-16, "Error DNL"},
      {-17, "No Huffman table"}, {-18, "No Quantization table"}, {-19, "No frame"}, {-20, "Multiply frame"},
      {-21, "Data error"}, {-22, "No image"}, {-23, "File error"}, {-24, "Internal error"},
      {-25, "Bad RST marker"}, {-26, "Thumbnail too small"}, {-27, "Thumbnail has wrong color"},
      {-28, "Output buffer too small"}, {-29, "Unsupported frame was found"},
      {-30, "Error access to jpeg_comment buffer"}, {-99, "Reserved"}};
  for (const auto& [status, text] : texts) EXPECT_EQ(JpegErrorText(status), text) << status;
  for (JpegStatus unknown : {3, -31, -98, -100, 1000}) EXPECT_STREQ(JpegErrorText(unknown), "Unknown error code");
}

TEST(JpegInit, FillsTheDefaultsAndTheTable) {
  DecoderRecord record;
  EXPECT_EQ(record->picture_channels, 3u);
  EXPECT_EQ(record->picture_color, static_cast<JpegColor>(COLOR_BGR));
  EXPECT_EQ(record->jpeg_channels, 3u);
  EXPECT_EQ(record->jpeg_color, static_cast<JpegColor>(COLOR_YCBCR));
  EXPECT_EQ(record->jpeg_subsampling, 1u);
  EXPECT_EQ(record->color_conversion_required, 1u);
  EXPECT_EQ(record->upsampling_required, 1u);
  EXPECT_EQ(record->quality, 75u);
  EXPECT_EQ(record->mode, MODE_NONE);
  EXPECT_EQ(record->dct_kind, 1u);
  EXPECT_EQ(record->markers.adobe_version, 100);
  EXPECT_EQ(record->markers.jfif_version, 0x0101);
  const DecoderState& state = record.state();
  EXPECT_EQ(state.frame_pending, 1u);
  // The current transforms wait for the first image read; the current
  // dequantiser starts as the fast one; no output routine is chosen.
  EXPECT_EQ(state.ops.current_idct_8x8, nullptr);
  EXPECT_EQ(state.ops.current_idct_1x1, nullptr);
  EXPECT_EQ(state.ops.mcu_output, nullptr);
  EXPECT_EQ(state.ops.current_dequantise, state.ops.dequantise_fast);
  EXPECT_NE(state.ops.dequantise_fast, nullptr);
}

TEST(JpegRead, RefusesModesOutsideTheReadModes) {
  DecoderRecord record;
  const std::vector<uint8_t> stream = MarkerStream().soi().grey_image().eoi().bytes();
  for (JpegReadMode mode : {-1, 22, 8, 9, 10, 11, 12, 13, -100}) {
    EXPECT_EQ(record.read_buffer(stream, mode), JPEG_ERR_INVALID_PROPERTIES) << mode;
    EXPECT_EQ(record->mode, mode);
  }
  // Even with validation switched off, the mode must be a read mode.
  record->use_inner_fields = 1;
  EXPECT_EQ(record.read_buffer(stream, 22), JPEG_ERR_INVALID_PROPERTIES);
}

class PictureModeValidation : public ::testing::TestWithParam<JpegReadMode> {
 protected:
  void SetUp() override {
    record->picture_bytes = picture.data();
    record->picture_width = 8;
    record->picture_height = 8;
    record->jpeg_file_name = "/nonexistent/picture.jpg";
  }
  // A read of a valid stream in the parameter's mode.
  JpegStatus read() { return record.read_buffer(stream, GetParam()); }

  DecoderRecord record;
  std::vector<uint8_t> picture = std::vector<uint8_t>(8 * 8 * 4);
  std::vector<uint8_t> stream = MarkerStream().soi().grey_image().eoi().bytes();
};

TEST_P(PictureModeValidation, ChecksEveryPictureField) {
  const JpegStatus valid = read();
  EXPECT_NE(valid, JPEG_ERR_INVALID_PROPERTIES);
  EXPECT_NE(valid, JPEG_ERR_UNSUPPORTED_SUBSAMPLING);

  record->picture_bytes = nullptr;
  EXPECT_EQ(read(), JPEG_ERR_INVALID_PROPERTIES);
  record->picture_bytes = picture.data();
  for (uint32_t width : {0u, 65536u}) {
    record->picture_width = width;
    EXPECT_EQ(read(), JPEG_ERR_INVALID_PROPERTIES) << width;
  }
  record->picture_width = 8;
  for (int32_t height : {-65536, 65536}) {
    record->picture_height = height;
    EXPECT_EQ(read(), JPEG_ERR_INVALID_PROPERTIES) << height;
  }
  record->picture_height = -8;
  EXPECT_EQ(read(), valid);
  // The sides' limit, 65535, is inclusive: one row that wide, one column
  // that high, either row order.
  std::vector<uint8_t> large(65535 * 4);
  record->picture_bytes = large.data();
  for (const auto& [width, height] : {std::pair{65535u, 1}, std::pair{1u, 65535}, std::pair{1u, -65535}}) {
    record->picture_width = width;
    record->picture_height = height;
    EXPECT_NE(read(), JPEG_ERR_INVALID_PROPERTIES) << width << "x" << height;
  }
  record->picture_bytes = picture.data();
  record->picture_width = 8;
  record->picture_height = 8;
  for (uint32_t channels : {0u, 256u}) {
    record->picture_channels = channels;
    EXPECT_EQ(read(), JPEG_ERR_INVALID_PROPERTIES) << channels;
  }
  // Only colour "other" on both sides takes any channel count, so there the
  // count's own limit decides: 255 reads, 256 does not (thumbnails need RGB).
  if (GetParam() != READ_THUMBNAIL_FILE && GetParam() != READ_THUMBNAIL_BUFFER) {
    record->jpeg_color = COLOR_OTHER;
    record->picture_color = COLOR_OTHER;
    record->picture_bytes = large.data();
    record->picture_channels = 255;
    EXPECT_NE(read(), JPEG_ERR_INVALID_PROPERTIES);
    record->picture_channels = 256;
    EXPECT_EQ(read(), JPEG_ERR_INVALID_PROPERTIES);
  }
  record->jpeg_color = COLOR_YCBCR;
  record->picture_color = COLOR_BGR;
  record->picture_bytes = picture.data();
  record->picture_channels = 3;
  record->picture_pad_bytes = 0x7FFFFFF0;  // the row stride would overflow
  EXPECT_EQ(read(), JPEG_ERR_INVALID_PROPERTIES);
  record->picture_pad_bytes = 0;
  record->picture_subsampling = 2;  // only with a YCbCr picture
  EXPECT_EQ(read(), JPEG_ERR_UNSUPPORTED_SUBSAMPLING);
  record->picture_subsampling = 1;
  EXPECT_EQ(read(), JPEG_ERR_UNSUPPORTED_SUBSAMPLING);
}

TEST_P(PictureModeValidation, ThumbnailModesNeedAnRgbOrBgrPicture) {
  record->picture_color = COLOR_YCBCR;
  const JpegStatus status = read();
  const JpegReadMode mode = GetParam();
  if (mode == READ_THUMBNAIL_FILE || mode == READ_THUMBNAIL_BUFFER) {
    EXPECT_EQ(status, JPEG_ERR_THUMBNAIL_COLOR);
  } else {
    EXPECT_NE(status, JPEG_ERR_THUMBNAIL_COLOR);
  }
}

INSTANTIATE_TEST_SUITE_P(AllPictureModes, PictureModeValidation,
                         ::testing::Values(2, 3, 6, 7, 14, 15, 16, 17, 18, 19, 20, 21));

TEST(JpegRead, ChecksTheInputAndTheColours) {
  DecoderRecord record;
  const std::vector<uint8_t> stream = MarkerStream().soi().grey_image().eoi().bytes();
  ASSERT_EQ(record.read_buffer(stream), JPEG_SUCCESS);

  record->jpeg_size_bytes = 0;
  EXPECT_EQ(JpegRead(record.get(), READ_PARAMS_BUFFER), JPEG_ERR_INVALID_PROPERTIES);
  record->jpeg_bytes = nullptr;
  record->jpeg_size_bytes = 10;
  EXPECT_EQ(JpegRead(record.get(), READ_PARAMS_BUFFER), JPEG_ERR_INVALID_PROPERTIES);
  EXPECT_EQ(JpegRead(record.get(), READ_PARAMS_FILE), JPEG_ERR_INVALID_PROPERTIES);  // no file name
  record->jpeg_file_name = "/nonexistent/dir/picture.jpg";
  EXPECT_EQ(JpegRead(record.get(), READ_PARAMS_FILE), JPEG_ERR_FILE_NAME);

  DecoderRecord colours;
  colours->jpeg_channels = 0;
  EXPECT_EQ(colours.read_buffer(stream), JPEG_ERR_INVALID_PROPERTIES);
  colours->jpeg_channels = 257;
  EXPECT_EQ(colours.read_buffer(stream), JPEG_ERR_INVALID_PROPERTIES);
  colours->jpeg_channels = 256;  // the most, with colours that take any count
  colours->jpeg_color = colours->picture_color = COLOR_OTHER;
  EXPECT_EQ(colours.read_buffer(stream), JPEG_SUCCESS);
  colours->jpeg_channels = 3;
  colours->jpeg_color = COLOR_RGB;  // RGB streams have no grey picture
  colours->picture_color = COLOR_GRAY;
  colours->picture_channels = 1;
  EXPECT_EQ(colours.read_buffer(stream), JPEG_ERR_INVALID_PROPERTIES);
  colours->jpeg_color = COLOR_YCBCR;  // YCbCr streams have
  EXPECT_EQ(colours.read_buffer(stream), JPEG_SUCCESS);
  colours->dct_kind = 2;
  EXPECT_EQ(colours.read_buffer(stream), JPEG_ERR_INVALID_PROPERTIES);
}

TEST(JpegFree, ReleasesOnceAndAllowsANewInit) {
  auto p = std::make_unique<JPEG_PROPERTIES>();
  ASSERT_EQ(JpegInit(p.get()), JPEG_SUCCESS);
  EXPECT_EQ(JpegFree(p.get()), JPEG_SUCCESS);
  EXPECT_EQ(JpegFree(p.get()), JPEG_ERR_INVALID_PROPERTIES);
  EXPECT_EQ(JpegRead(p.get(), READ_PARAMS_BUFFER), JPEG_ERR_INVALID_PROPERTIES);
  EXPECT_EQ(JpegInit(p.get()), JPEG_SUCCESS);
  EXPECT_EQ(JpegFree(p.get()), JPEG_SUCCESS);
  EXPECT_EQ(JpegInit(nullptr), JPEG_ERR_INVALID_PROPERTIES);
  EXPECT_EQ(JpegRead(nullptr, READ_PARAMS_BUFFER), JPEG_ERR_INVALID_PROPERTIES);
  EXPECT_EQ(JpegFree(nullptr), JPEG_ERR_INVALID_PROPERTIES);
}

}  // namespace
