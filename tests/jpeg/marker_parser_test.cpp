// The marker parser on hand-made streams: refused frames, tables and scan
// headers, comments, JFIF and Adobe values, thumbnails, fill bytes and the
// resource limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marker_stream.h"

namespace {

JpegStatus read_params(const MarkerStream& stream) {
  DecoderRecord record;
  return record.read_buffer(stream.bytes());
}

TEST(MarkerParser, ParameterReadsStartWithSoi) {
  EXPECT_EQ(read_params(MarkerStream().eoi().soi().grey_image().eoi()), JPEG_ERR_NOT_JPEG);
  EXPECT_EQ(read_params(MarkerStream().raw({0x00, 0x01}).dqt(0)), JPEG_ERR_NOT_JPEG);
  // Fill bytes before a marker are not a marker of their own.
  EXPECT_EQ(read_params(MarkerStream().raw({0xFF, 0xFF, 0xFF}).soi().grey_image().eoi()), JPEG_SUCCESS);
}

TEST(MarkerParser, RefusesFramesItCannotDecode) {
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC3, 8, 8, 8, {{1, 0x11, 0}}).eoi()), JPEG_ERR_UNSUPPORTED_FRAME);
  for (uint8_t code : {0xC5, 0xC8, 0xC9, 0xCB, 0xCF}) {
    EXPECT_EQ(read_params(MarkerStream().soi().sof(code, 8, 8, 8, {{1, 0x11, 0}}).eoi()), JPEG_ERR_UNSUPPORTED_FRAME);
  }
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC0, 12, 8, 8, {{1, 0x11, 0}}).eoi()), JPEG_ERR_UNSUPPORTED_FRAME);
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC0, 8, 0, 8, {{1, 0x11, 0}}).eoi()), JPEG_ERR_DNL);
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC0, 8, 8, 8, {}).eoi()), JPEG_ERR_COMPONENTS);
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC0, 8, 8, 0, {{1, 0x11, 0}}).eoi()), JPEG_ERR_SOF);
}

TEST(MarkerParser, RefusesComponentsBeyondTheTable) {
  // Five components: the table has room for four; nothing is written past it.
  DecoderRecord record;
  const MarkerStream five = MarkerStream().soi().sof(
      0xC0, 8, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}, {5, 0x11, 0}});
  EXPECT_EQ(record.read_buffer(five.bytes()), JPEG_ERR_COMPONENTS);
  EXPECT_EQ(record.state().frame_pending, 1u);
  // Sampling factors outside 1..4, and MCUs of more than 10 blocks.
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC0, 8, 8, 8, {{1, 0x01, 0}})), JPEG_ERR_COMPONENTS);
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC0, 8, 8, 8, {{1, 0x15, 0}})), JPEG_ERR_COMPONENTS);
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC0, 8, 8, 8, {{1, 0x33, 0}, {2, 0x22, 0}})), JPEG_ERR_COMPONENTS);
  EXPECT_EQ(read_params(MarkerStream().soi().sof(0xC0, 8, 8, 8, {{1, 0x22, 0}, {2, 0x22, 0}, {3, 0x21, 0}}).eoi()),
            JPEG_SUCCESS);
}

TEST(MarkerParser, RefusesBadTables) {
  EXPECT_EQ(read_params(MarkerStream().soi().dqt(4)), JPEG_ERR_BAD_QUANT_TABLE);
  EXPECT_EQ(read_params(MarkerStream().soi().segment(0xDB, std::vector<uint8_t>(40, 0))), JPEG_ERR_BAD_QUANT_TABLE);
  EXPECT_EQ(read_params(MarkerStream().soi().segment(0xDB, std::vector<uint8_t>(517, 0))), JPEG_ERR_DATA);
  std::vector<uint8_t> four_wide_tables(4 * 129, 1);  // the largest body taken
  for (uint8_t id = 0; id < 4; ++id) four_wide_tables[id * 129u] = 0x10 | id;
  EXPECT_EQ(read_params(MarkerStream().soi().segment(0xDB, four_wide_tables).grey_image().eoi()), JPEG_SUCCESS);
  EXPECT_EQ(read_params(MarkerStream().soi().dht(0x20)), JPEG_ERR_BAD_HUFFMAN_TABLE);
  EXPECT_EQ(read_params(MarkerStream().soi().dht(0x04)), JPEG_ERR_BAD_HUFFMAN_TABLE);
  // Counts that promise three symbols where the segment holds one.
  std::vector<uint8_t> short_values(18, 0);
  short_values[3] = 3;
  EXPECT_EQ(read_params(MarkerStream().soi().segment(0xC4, short_values)), JPEG_ERR_BAD_HUFFMAN_TABLE);
  EXPECT_EQ(read_params(MarkerStream().soi().segment(0xC4, std::vector<uint8_t>(1092, 0))), JPEG_ERR_DATA);
}

TEST(MarkerParser, StoresTablesForTheTransformKind) {
  std::vector<uint8_t> body(1 + 128);
  body[0] = 0x12;  // 16-bit values, table 2
  for (int i = 0; i < 64; ++i) body[2 + 2 * i] = static_cast<uint8_t>(i + 1);
  DecoderRecord record;
  ASSERT_EQ(record.read_buffer(MarkerStream().soi().segment(0xDB, body).grey_image().eoi().bytes()), JPEG_SUCCESS);
  const QuantTable& table = record.state().quant[2];
  EXPECT_EQ(table.precision, 1u);
  EXPECT_EQ(table.zigzag[0], 1);
  EXPECT_EQ(table.zigzag[63], 64);
  EXPECT_EQ(table.prepared[1], 2);  // precise kind: natural order, unscaled
  EXPECT_EQ(table.prepared[8], 3);
  EXPECT_EQ(record.state().quant_ids_seen, 3u);
  EXPECT_EQ(record.state().quant_tables_read, 2u);
}

MarkerStream scan_with(std::initializer_list<ScanComponentSpec> components, uint8_t ss, uint8_t se, uint8_t ah_al,
                       uint8_t frame_code = 0xC0) {
  MarkerStream stream;
  stream.soi().dqt(0).dht(0x00).dht(0x10).sof(frame_code, 8, 16, 16, {{1, 0x11, 0}, {2, 0x11, 0}});
  stream.sos(components, ss, se, ah_al);
  return stream;
}

TEST(MarkerParser, RefusesScanHeadersOutsideTheStandardsRanges) {
  EXPECT_EQ(read_params(scan_with({{1, 0x00}}, 0, 63, 0)), JPEG_SUCCESS);
  EXPECT_EQ(read_params(scan_with({{1, 0x40}}, 0, 63, 0)), JPEG_ERR_DATA);  // DC table 4
  EXPECT_EQ(read_params(scan_with({{1, 0x04}}, 0, 63, 0)), JPEG_ERR_DATA);  // AC table 4
  EXPECT_EQ(read_params(scan_with({{9, 0x00}}, 0, 63, 0)), JPEG_ERR_DATA);  // no such component
  EXPECT_EQ(read_params(scan_with({}, 0, 63, 0)), JPEG_ERR_DATA);
  EXPECT_EQ(read_params(scan_with({{1, 0}, {2, 0}, {1, 0}}, 0, 63, 0)), JPEG_ERR_DATA);  // Ns above Nc
  EXPECT_EQ(read_params(scan_with({{1, 0}, {2, 0}, {1, 0}, {2, 0}, {1, 0}}, 0, 63, 0)), JPEG_ERR_DATA);
  EXPECT_EQ(read_params(scan_with({{1, 0x00}}, 0, 64, 0)), JPEG_ERR_DATA);    // Se above 63
  EXPECT_EQ(read_params(scan_with({{1, 0x00}}, 5, 4, 0)), JPEG_ERR_DATA);     // Ss above Se
  EXPECT_EQ(read_params(scan_with({{1, 0x00}}, 1, 63, 0x0E)), JPEG_ERR_DATA);  // Al above 13
  EXPECT_EQ(read_params(scan_with({{1, 0x00}}, 1, 63, 0xE0)), JPEG_ERR_DATA);  // Ah above 13
  // A frame component whose Tq names no table is refused when a scan uses it.
  MarkerStream bad_tq;
  bad_tq.soi().sof(0xC0, 8, 8, 8, {{1, 0x11, 4}}).sos({{1, 0x00}});
  EXPECT_EQ(read_params(bad_tq), JPEG_ERR_DATA);
}

TEST(MarkerParser, ProgressiveScansFollowTheStandardsShapes) {
  DecoderRecord record;
  std::vector<uint8_t> picture(16 * 16 * 3);
  record->picture_bytes = picture.data();
  record->picture_width = 16;
  record->picture_height = 16;
  // A DC scan that also codes AC coefficients, and an interleaved AC scan.
  MarkerStream dc_with_ac = scan_with({{1, 0x00}}, 0, 5, 0, 0xC2);
  EXPECT_EQ(record.read_buffer(dc_with_ac.raw({0, 0}).eoi().bytes(), READ_IMAGE_BUFFER), JPEG_ERR_DATA);
  MarkerStream interleaved_ac = scan_with({{1, 0x00}, {2, 0x00}}, 1, 5, 0, 0xC2);
  EXPECT_EQ(record.read_buffer(interleaved_ac.raw({0, 0}).eoi().bytes(), READ_IMAGE_BUFFER), JPEG_ERR_DATA);
}

TEST(MarkerParser, ScanBeforeFrameIsRefused) {
  EXPECT_EQ(read_params(MarkerStream().soi().dqt(0).sos({{1, 0x00}})), JPEG_ERR_NO_FRAME);
}

TEST(MarkerParser, CopiesTheCommentBeforeTheFrame) {
  const std::string long_comment(2000, 'c');
  std::vector<uint8_t> buffer(1100, 0xEE);
  DecoderRecord record;
  record->jpeg_comment = buffer.data();
  record->jpeg_comment_size = 1024;
  EXPECT_EQ(record.read_buffer(MarkerStream().soi().comment(long_comment).grey_image().eoi().bytes()),
            JPEG_ERR_COMMENT_BUFFER);
  EXPECT_EQ(record->jpeg_comment_size, 2000);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 1024), long_comment.substr(0, 1024));
  EXPECT_EQ(buffer[1024], 0xEE);
  EXPECT_EQ(record->jpeg_width, 0u);  // the read ended at the comment

  record->jpeg_comment_size = 1024;
  EXPECT_EQ(record.read_buffer(MarkerStream().soi().comment("short").grey_image().eoi().bytes()), JPEG_SUCCESS);
  EXPECT_EQ(record->jpeg_comment_size, 5);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 6), std::string("shortc"));  // no terminating zero

  // After the frame header a comment is neither copied nor an error.
  record->jpeg_comment_size = 3;
  MarkerStream late;
  late.soi().dqt(0).dht(0x00).dht(0x10).grey_frame().comment(long_comment).sos({{1, 0x00}});
  EXPECT_EQ(record.read_buffer(late.bytes()), JPEG_SUCCESS);
  EXPECT_EQ(record->jpeg_comment_size, 3);
}

std::vector<uint8_t> jfif_body(uint8_t thumb_w, uint8_t thumb_h, size_t thumb_bytes) {
  std::vector<uint8_t> body = {'J', 'F', 'I', 'F', 0, 1, 2, 1, 0, 72, 0, 96, thumb_w, thumb_h};
  for (size_t i = 0; i < thumb_bytes; ++i) body.push_back(static_cast<uint8_t>(i + 1));
  return body;
}

TEST(MarkerParser, TakesJfifAndAdobeValues) {
  DecoderRecord record;
  record->thumbnail_width = 7;
  MarkerStream stream;
  stream.soi().segment(0xE0, jfif_body(0, 0, 0)).grey_image().eoi();
  ASSERT_EQ(record.read_buffer(stream.bytes()), JPEG_SUCCESS);
  EXPECT_EQ(record->markers.jfif_seen, 1u);
  EXPECT_EQ(record->markers.jfif_version, 0x0102);
  EXPECT_EQ(record->markers.density_unit, 1);
  EXPECT_EQ(record->markers.x_density, 72);
  EXPECT_EQ(record->markers.y_density, 96);
  EXPECT_EQ(record->thumbnail_width, 7u);  // 0x0 thumbnail: unchanged
  EXPECT_EQ(record->jpeg_color, static_cast<JpegColor>(COLOR_GRAY));

  // Three components: Adobe transform 0 means RGB; four with transform 2, YCCK.
  const std::vector<uint8_t> adobe_rgb = {'A', 'd', 'o', 'b', 'e', 0, 101, 0, 1, 0, 2, 0};
  MarkerStream rgb;
  rgb.soi().segment(0xEE, adobe_rgb).dqt(0).sof(0xC0, 8, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
  rgb.sos({{1, 0}, {2, 0}, {3, 0}});
  DecoderRecord adobe;
  ASSERT_EQ(adobe.read_buffer(rgb.bytes()), JPEG_SUCCESS);
  EXPECT_EQ(adobe->jpeg_color, static_cast<JpegColor>(COLOR_RGB));
  EXPECT_EQ(adobe->markers.adobe_version, 101);
  EXPECT_EQ(adobe->markers.adobe_flags0, 1);
  EXPECT_EQ(adobe->markers.adobe_flags1, 2);

  std::vector<uint8_t> adobe_ycck = adobe_rgb;
  adobe_ycck[11] = 2;
  MarkerStream cmyk;
  cmyk.soi().segment(0xEE, adobe_ycck).sof(0xC0, 8, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}});
  cmyk.sos({{1, 0}, {2, 0}, {3, 0}, {4, 0}});
  DecoderRecord four;
  ASSERT_EQ(four.read_buffer(cmyk.bytes()), JPEG_SUCCESS);
  EXPECT_EQ(four->jpeg_color, static_cast<JpegColor>(COLOR_YCBCR_FOUR));
  EXPECT_EQ(four->picture_color, static_cast<JpegColor>(COLOR_FOUR));
  EXPECT_EQ(four->picture_channels, 4u);
  EXPECT_EQ(four->jpeg_subsampling, 0u);
}

TEST(MarkerParser, ThreeComponentsWithoutMarkersKeepTheCallersColour) {
  MarkerStream stream;
  stream.soi().sof(0xC0, 8, 16, 16, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}}).sos({{1, 0}, {2, 0}, {3, 0}});
  DecoderRecord record;
  record->jpeg_color = COLOR_RGB;
  ASSERT_EQ(record.read_buffer(stream.bytes()), JPEG_SUCCESS);
  EXPECT_EQ(record->jpeg_color, static_cast<JpegColor>(COLOR_RGB));
  EXPECT_EQ(record->jpeg_subsampling, 1u);
  EXPECT_EQ(record->jpeg_width, 16u);
}

// jpeg_subsampling from the frame's (H, V) factors: 0 when no component
// is subsampled (grey whatever its factors), 1 and 2 for 4:2:0 and 4:2:2,
// 3 and 4 for the same with a fourth component like the first, 255 else.
TEST(MarkerParser, ReportsTheSubsamplingCodeOfTheFactors) {
  struct Case {
    std::vector<uint8_t> factors;  // H << 4 | V per component
    uint32_t expected;
  };
  const Case cases[] = {
      {{0x22}, 0},
      {{0x11, 0x11}, 0},
      {{0x11, 0x11, 0x11}, 0},
      {{0x22, 0x11, 0x11}, 1},
      {{0x21, 0x11, 0x11}, 2},
      {{0x12, 0x11, 0x11}, 255},
      {{0x22, 0x11, 0x11, 0x22}, 3},
      {{0x21, 0x11, 0x11, 0x21}, 4},
      {{0x22, 0x11, 0x11, 0x11}, 255},
      {{0x21, 0x11, 0x11, 0x22}, 255},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> frame = {8, 0, 16, 0, 16, static_cast<uint8_t>(c.factors.size())};
    for (size_t i = 0; i < c.factors.size(); ++i) append_bytes(frame, {static_cast<uint8_t>(i + 1), c.factors[i], 0});
    MarkerStream stream;
    stream.soi().dqt(0).segment(0xC0, frame).sos({{1, 0}});
    DecoderRecord record;
    ASSERT_EQ(record.read_buffer(stream.bytes()), JPEG_SUCCESS) << testing::PrintToString(c.factors);
    EXPECT_EQ(record->jpeg_subsampling, c.expected) << testing::PrintToString(c.factors);
  }
}

class ThumbnailRead : public ::testing::Test {
 protected:
  JpegStatus read(uint32_t width, int32_t height, JpegColor color) {
    picture.assign(16 * 16 * 3, 0);
    record->picture_bytes = picture.data();
    record->picture_width = width;
    record->picture_height = height;
    record->picture_color = color;
    MarkerStream stream;
    stream.soi().segment(0xE0, jfif_body(2, 2, 12)).grey_image().eoi();
    return record.read_buffer(stream.bytes(), READ_THUMBNAIL_BUFFER);
  }
  DecoderRecord record;
  std::vector<uint8_t> picture;
};

TEST_F(ThumbnailRead, CopiesTheThumbnailInThePicturesByteOrder) {
  ASSERT_EQ(read(2, 2, COLOR_RGB), JPEG_SUCCESS);
  EXPECT_EQ(record->thumbnail_width, 2u);
  EXPECT_EQ(record->thumbnail_height, 2u);
  EXPECT_EQ(std::vector<uint8_t>(picture.begin(), picture.begin() + 12),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  ASSERT_EQ(read(2, -2, COLOR_BGR), JPEG_SUCCESS);  // bottom-up, red and blue exchanged
  EXPECT_EQ(std::vector<uint8_t>(picture.begin(), picture.begin() + 12),
            (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

TEST_F(ThumbnailRead, RefusesAPictureTooSmallForTheThumbnail) {
  EXPECT_EQ(read(1, 2, COLOR_RGB), JPEG_ERR_OUTPUT_TOO_SMALL);
  EXPECT_EQ(read(2, -1, COLOR_RGB), JPEG_ERR_OUTPUT_TOO_SMALL);
  EXPECT_TRUE(std::all_of(picture.begin(), picture.end(), [](uint8_t b) { return b == 0; }));
}

TEST(MarkerParser, SkipsWhatItDoesNotRead) {
  MarkerStream stream;
  stream.soi().segment(0xE1, {'E', 'x', 'i', 'f', 0xFF, 0xD9}).raw({0xFF, 0x00}).marker(0xD3);
  stream.segment(0xDD, {0, 7}).grey_image().eoi();
  DecoderRecord record;
  ASSERT_EQ(record.read_buffer(stream.bytes()), JPEG_SUCCESS);
  EXPECT_EQ(record.state().restart_interval, 7u);
  EXPECT_EQ(record->jpeg_width, 8u);
  // A SOF2 after the frame is skipped whole: the frame header of height 0
  // inside it is never read.
  MarkerStream late_frame;
  late_frame.soi().dqt(0).dht(0x00).dht(0x10).grey_frame();
  late_frame.segment(0xC2, {0xFF, 0xC0, 0x00, 0x0B, 8, 0, 0, 0, 8, 1, 1, 0x11, 0}).sos({{1, 0x00}});
  EXPECT_EQ(record.read_buffer(late_frame.bytes()), JPEG_SUCCESS);
  // An APP0 whose length cannot hold itself is passed over, not read.
  MarkerStream short_app0;
  short_app0.soi().raw({0xFF, 0xE0, 0x00, 0x01}).grey_image(16, 8).eoi();
  EXPECT_EQ(record.read_buffer(short_app0.bytes()), JPEG_SUCCESS);
  EXPECT_EQ(record->jpeg_width, 16u);
}

TEST(MarkerParser, ReportsTruncatedInput) {
  MarkerStream truncated;
  truncated.soi().raw({0xFF, 0xC0, 0x00, 0x0B, 8, 0});
  EXPECT_EQ(read_params(truncated), JPEG_ERR_DATA);
  EXPECT_EQ(read_params(MarkerStream().soi().dqt(0)), JPEG_ERR_MEMORY);  // the search runs out
  EXPECT_EQ(read_params(MarkerStream().soi().raw({0xFF, 0xDB, 0x00, 0x01})), JPEG_ERR_DATA);
}

TEST(MarkerParser, EndOfImageBeforeAFrame) {
  std::vector<uint8_t> picture(64);
  DecoderRecord record;
  record->picture_bytes = picture.data();
  record->picture_width = 8;
  record->picture_height = 8;
  record->picture_channels = 1;
  record->picture_color = COLOR_GRAY;
  EXPECT_EQ(record.read_buffer(MarkerStream().soi().eoi().dqt(0).bytes(), READ_IMAGE_BUFFER), JPEG_ERR_NO_IMAGE);
}

// Limits against decompression bombs (docs/jpeg.md).
class ResourceLimits : public ::testing::Test {
 protected:
  JpegStatus read_image(const MarkerStream& stream) {
    picture.assign(8 * 8 * 3, 0);
    record->picture_bytes = picture.data();
    record->picture_width = 8;
    record->picture_height = 8;
    return record.read_buffer(stream.bytes(), READ_IMAGE_BUFFER);
  }
  DecoderRecord record;
  std::vector<uint8_t> picture;
};

TEST_F(ResourceLimits, RefusesAHugeCoefficientBuffer) {
  MarkerStream stream;
  stream.soi().dqt(0).dht(0x00).sof(0xC2, 8, 65535, 65535, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
  stream.sos({{1, 0x00}}, 0, 0, 0).raw({0, 0}).eoi();
  EXPECT_EQ(read_image(stream), JPEG_ERR_MEMORY);
  EXPECT_EQ(record.state().coefficients, nullptr);
}

TEST_F(ResourceLimits, EndsAProgressiveImageWithTooManyScans) {
  auto stream_with_refinements = [](int refinements) {
    MarkerStream stream;
    stream.soi().dqt(0).dht(0x00).grey_frame(8, 8, 0xC2).sos({{1, 0x00}}, 0, 0, 0x01).raw({0x00});
    for (int i = 0; i < refinements; ++i) stream.sos({{1, 0x00}}, 0, 0, 0x10).raw({0x00});
    return stream.eoi();
  };
  const MarkerStream within = stream_with_refinements(kMaxProgressiveScans - 1);
  EXPECT_EQ(read_image(within), JPEG_SUCCESS);
  EXPECT_EQ(record.state().progressive_scans, kMaxProgressiveScans);
  // The limit is per read: the same record reads the image again.
  EXPECT_EQ(read_image(within), JPEG_SUCCESS);
  EXPECT_EQ(record.state().progressive_scans, kMaxProgressiveScans);
  EXPECT_EQ(read_image(stream_with_refinements(kMaxProgressiveScans)), JPEG_ERR_DATA);
}

TEST_F(ResourceLimits, RefusesAFrameAfterTheReadsScans) {
  // The read was sized by the 8x8 frame: a later 65535x65535 header, as a
  // second SOF or as a new image begun without an EOI, is refused.
  for (uint8_t code : {0xC0, 0xC2}) {
    for (bool new_image : {false, true}) {
      MarkerStream stream;
      stream.soi().dqt(0).dht(0x00).dht(0x10).grey_frame(8, 8, code).sos({{1, 0x00}}, 0, code == 0xC0 ? 63 : 0);
      if (new_image) stream.raw({0x00}).soi();
      stream.sof(0xC0, 8, 65535, 65535, {{1, 0x11, 0}}).sos({{1, 0x00}}).eoi();
      EXPECT_EQ(read_image(stream), JPEG_ERR_MULTIPLE_FRAMES) << int{code} << new_image;
    }
  }
  // Before any scan a later frame header still replaces the first.
  MarkerStream two_headers;
  two_headers.soi().dqt(0).dht(0x00).dht(0x10).grey_frame(16, 16).grey_frame(8, 8).sos({{1, 0x00}}).raw({0x00}).eoi();
  EXPECT_EQ(read_image(two_headers), JPEG_SUCCESS);
  EXPECT_EQ(record->jpeg_width, 8u);
}

}  // namespace
