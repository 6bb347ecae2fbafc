// How reconstructed pictures land in the caller's buffer: region reads
// (status 2, the region's top-left pixel first, equal to the crop of the
// whole picture), bottom-up rows, pad bytes, RGB against BGR, grey
// outputs, and truncated streams that must not write outside the picture.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>

#include "entropy_decode.h"
#include "fixed_point_models.h"
#include "jpeg_corpus.h"
#include "output_convert.h"
#include "recon_reference.h"

namespace {

Picture crop(const Picture& whole, const JpegRegion& region) {
  Picture part;
  part.width = region.right - region.left;
  part.height = region.bottom - region.top;
  part.channels = whole.channels;
  for (int y = region.top; y < region.bottom; ++y) {
    const uint8_t* row = &whole.bytes[(static_cast<size_t>(y) * whole.width + region.left) * whole.channels];
    part.bytes.insert(part.bytes.end(), row, row + static_cast<size_t>(part.width) * whole.channels);
  }
  return part;
}

std::vector<uint8_t> stream_of(const char* name) {
  for (const CorpusEntry& entry : standard_corpus())
    if (entry.name == name) return entry.bytes;
  ADD_FAILURE() << "no corpus stream " << name;
  return {};
}

// Our block decoder as another member of slot 55, which region reads
// call block by block.
JpegStatus OtherBlockDecoder(JpegInput& in, const HuffmanTable& dc_table, const HuffmanTable& ac_table,
                             int16_t& prediction, CoefficientBlock& block) {
  return decode_block_sequential(in, dc_table, ac_table, prediction, block);
}

TEST(RegionRead, WritesTheCropOfTheWholePictureAndReportsRoiSuccess) {
  struct Case {
    const char* stream;
    JpegRegion region;
    uint32_t upsampling_kind = 0;
    BlockDecoder block_decoder = nullptr;
  };
  // MCU-aligned and unaligned regions, first rows and last rows, through
  // the fast path (4:2:0, 4:2:2), restarts, grey and progressive images,
  // and the triangle filter, whose neighbours lie outside the region.
  const Case cases[] = {
      {"baseline_420", {5, 7, 41, 30}, 1},       {"restart_422", {17, 8, 70, 47}, 1},
      {"progressive_420", {8, 24, 60, 48}, 1},   {"baseline_420_odd_size", {17, 16, 75, 53}, 1},
      {"baseline_420", {0, 0, 32, 16}},          {"baseline_420", {16, 16, 48, 48}},
      {"baseline_420", {5, 7, 41, 30}},          {"baseline_422", {9, 3, 64, 11}},
      {"restart_422", {17, 8, 70, 47}},          {"grey_odd_size", {3, 2, 37, 21}},
      {"progressive_420", {8, 24, 60, 48}},      {"baseline_420_odd_size", {40, 33, 75, 53}},
      {"baseline_420", {5, 7, 41, 30}, 0, OtherBlockDecoder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stream);
    const std::vector<uint8_t> jpeg = stream_of(c.stream);
    ReadSettings settings;
    settings.upsampling_kind = c.upsampling_kind;
    const OurRead whole = decode_ours(jpeg, settings);
    ASSERT_EQ(whole.status, JPEG_SUCCESS);
    settings.region = c.region;
    settings.block_decoder = c.block_decoder;
    settings.width = c.region.right - c.region.left;
    settings.height = c.region.bottom - c.region.top;
    const OurRead part = decode_ours(jpeg, settings);
    EXPECT_EQ(part.status, JPEG_ROI_SUCCESS);
    EXPECT_EQ(max_difference(part.picture, crop(whole.picture, c.region)), 0)
        << c.region.left << "," << c.region.top << " " << c.region.right << "," << c.region.bottom;
  }
}

// A picture read with pad bytes and either row order, turned back into
// plain top-down rows; pads must keep their contents.
Picture read_with_layout(const std::vector<uint8_t>& jpeg, JpegColor colour, int height_sign, uint32_t pad,
                         JpegReadMode mode = READ_IMAGE_BUFFER) {
  ReferenceImage header;
  EXPECT_TRUE(decode_with_libjpeg(jpeg, header, false));
  const int scale = scale_of_mode(mode);
  header.width = (header.width + scale - 1) / scale;
  header.height = (header.height + scale - 1) / scale;
  const size_t row_bytes = static_cast<size_t>(header.width) * 3;
  const size_t stride = row_bytes + pad;
  std::vector<uint8_t> buffer(stride * header.height, 0xA5);
  JPEG_PROPERTIES p{};
  EXPECT_EQ(JpegInit(&p), JPEG_SUCCESS);
  p.jpeg_bytes = jpeg.data();
  p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
  p.picture_bytes = buffer.data();
  p.picture_width = static_cast<uint32_t>(header.width);
  p.picture_height = height_sign * header.height;
  p.picture_pad_bytes = pad;
  p.picture_color = colour;
  EXPECT_EQ(JpegRead(&p, mode), JPEG_SUCCESS);
  JpegFree(&p);
  Picture picture{header.width, header.height, 3, {}};
  for (int y = 0; y < header.height; ++y) {
    const int line = height_sign > 0 ? y : header.height - 1 - y;
    const uint8_t* row = &buffer[line * stride];
    picture.bytes.insert(picture.bytes.end(), row, row + row_bytes);
    for (size_t i = row_bytes; i < stride; ++i) EXPECT_EQ(row[i], 0xA5) << "pad byte of line " << line;
  }
  return picture;
}

TEST(PictureLayout, RowOrderPadBytesAndChannelOrder) {
  // A quarter read goes by whole rows, placed from the picture's first row.
  const std::pair<const char*, JpegReadMode> cases[] = {
      {"baseline_420", READ_IMAGE_BUFFER},           {"baseline_444", READ_IMAGE_BUFFER},
      {"progressive_444_odd_size", READ_IMAGE_BUFFER}, {"grey_odd_size", READ_IMAGE_BUFFER},
      {"baseline_420_odd_size", READ_QUARTER_BUFFER},
  };
  for (const auto& [name, mode] : cases) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> jpeg = stream_of(name);
    const Picture plain = read_with_layout(jpeg, COLOR_BGR, 1, 0, mode);
    EXPECT_EQ(max_difference(read_with_layout(jpeg, COLOR_BGR, -1, 0, mode), plain), 0);
    EXPECT_EQ(max_difference(read_with_layout(jpeg, COLOR_BGR, -1, 5, mode), plain), 0);
    EXPECT_EQ(max_difference(read_with_layout(jpeg, COLOR_BGR, 1, 3, mode), plain), 0);
    Picture rgb = read_with_layout(jpeg, COLOR_RGB, 1, 0, mode);
    for (size_t i = 0; i < rgb.bytes.size(); i += 3) std::swap(rgb.bytes[i], rgb.bytes[i + 2]);
    EXPECT_EQ(max_difference(rgb, plain), 0);
  }
}

TEST(PictureLayout, GreyPicturesHoldTheLuma) {
  // A one-byte grey picture holds the luma (libjpeg's grey output within
  // the transform's rounding: measured 1); a grey image read into BGR
  // repeats it.
  for (const char* name : {"grey_odd_size", "baseline_420", "progressive_444_odd_size"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> jpeg = stream_of(name);
    LibjpegOptions grey_reference;
    grey_reference.grey_output = true;
    const Picture expected = decode_reference(jpeg, grey_reference);
    ReadSettings grey_settings;
    grey_settings.picture_color = COLOR_GRAY;
    grey_settings.channels = 1;
    const OurRead grey = decode_ours(jpeg, grey_settings);
    ASSERT_EQ(grey.status, JPEG_SUCCESS);
    EXPECT_LE(max_difference(grey.picture, expected), 1);
    EXPECT_GE(max_difference(grey.picture, expected), 0);
  }
  const OurRead bgr = decode_ours(stream_of("grey_odd_size"), {});
  ASSERT_EQ(bgr.status, JPEG_SUCCESS);
  for (size_t i = 0; i < bgr.picture.bytes.size(); i += 3) {
    ASSERT_EQ(bgr.picture.bytes[i], bgr.picture.bytes[i + 1]);
    ASSERT_EQ(bgr.picture.bytes[i], bgr.picture.bytes[i + 2]);
  }
}

TEST(PictureLayout, FourChannelAndPackedYcbcrPictures) {
  for (const char* name : {"baseline_420", "baseline_422", "baseline_444", "progressive_444_odd_size"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> jpeg = stream_of(name);
    ReadSettings settings;
    settings.picture_color = COLOR_RGB;
    const OurRead rgb = decode_ours(jpeg, settings);
    settings.picture_color = COLOR_FOUR;
    settings.channels = 4;
    const OurRead four = decode_ours(jpeg, settings);
    ASSERT_EQ(rgb.status, JPEG_SUCCESS);
    ASSERT_EQ(four.status, JPEG_SUCCESS);
    ASSERT_EQ(four.picture.bytes.size() / 4, rgb.picture.bytes.size() / 3);
    for (size_t i = 0; i < rgb.picture.bytes.size() / 3; ++i) {
      ASSERT_EQ(std::memcmp(&four.picture.bytes[i * 4], &rgb.picture.bytes[i * 3], 3), 0) << "pixel " << i;
      ASSERT_EQ(four.picture.bytes[i * 4 + 3], 255) << "pixel " << i;
    }
  }
  // A 4:2:2 image into a 2-byte YCbCr picture: Y Cb Y Cr, luma as in a grey
  // picture, each chroma pair the one a 3-byte YCbCr read replicates over
  // both pixels; at full size and halved (the component writer's path).
  // Other sampling refuses.
  const std::vector<uint8_t> jpeg = stream_of("baseline_422");
  ReadSettings settings;
  for (JpegReadMode mode : {READ_IMAGE_BUFFER, READ_HALF_BUFFER}) {
    SCOPED_TRACE(mode);
    settings.mode = mode;
    settings.picture_color = COLOR_GRAY;
    settings.channels = 1;
    const OurRead grey = decode_ours(jpeg, settings);
    settings.picture_color = COLOR_YCBCR;
    settings.channels = 3;
    const OurRead ycc = decode_ours(jpeg, settings);
    settings.channels = 2;
    const OurRead packed = decode_ours(jpeg, settings);
    ASSERT_EQ(packed.status, JPEG_SUCCESS);
    ASSERT_EQ(ycc.status, JPEG_SUCCESS);
    for (size_t i = 0; i < grey.picture.bytes.size(); ++i) {
      ASSERT_EQ(packed.picture.bytes[i * 2], grey.picture.bytes[i]);
      ASSERT_EQ(packed.picture.bytes[i * 2 + 1], ycc.picture.bytes[(i & ~size_t{1}) * 3 + 1 + (i & 1)]) << i;
    }
  }
  EXPECT_EQ(decode_ours(stream_of("baseline_420"), settings).status, JPEG_ERR_INVALID_PROPERTIES);
}

TEST(PictureLayout, RefusesUpsamplingKindsWithoutAWriter) {
  // Upsampling kinds above the triangle filter have no writer: refused
  // before decoding.
  const std::vector<uint8_t> jpeg = stream_of("baseline_420");
  JPEG_PROPERTIES p{};
  ASSERT_EQ(JpegInit(&p), JPEG_SUCCESS);
  std::vector<uint8_t> picture(64 * 48 * 3, 0x33);
  p.jpeg_bytes = jpeg.data();
  p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
  p.picture_bytes = picture.data();
  p.picture_width = 64;
  p.picture_height = 48;
  p.upsampling_kind = 2;
  EXPECT_EQ(JpegRead(&p, READ_IMAGE_BUFFER), JPEG_ERR_INVALID_PROPERTIES);
  EXPECT_EQ(JpegRead(&p, READ_PARAMS_BUFFER), JPEG_SUCCESS);
  JpegFree(&p);
  for (uint8_t byte : picture) ASSERT_EQ(byte, 0x33);
}

TEST(PictureLayout, TruncatedStreamsFailWithoutWritingPastThePicture) {
  for (const char* name : {"baseline_420_odd_size", "progressive_420", "restart_422"}) {
    const std::vector<uint8_t> jpeg = stream_of(name);
    ReferenceImage header;
    ASSERT_TRUE(decode_with_libjpeg(jpeg, header, false));
    const size_t picture_bytes = static_cast<size_t>(header.width) * header.height * 3;
    for (size_t keep : {jpeg.size() / 3, jpeg.size() / 2, jpeg.size() - 3}) {
      SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(keep));
      const std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(keep));
      std::vector<uint8_t> buffer(picture_bytes + 256, 0x5A);
      JPEG_PROPERTIES p{};
      ASSERT_EQ(JpegInit(&p), JPEG_SUCCESS);
      p.jpeg_bytes = cut.data();
      p.jpeg_size_bytes = static_cast<uint32_t>(cut.size());
      p.picture_bytes = buffer.data();
      p.picture_width = static_cast<uint32_t>(header.width);
      p.picture_height = header.height;
      EXPECT_LT(JpegRead(&p, READ_IMAGE_BUFFER), 0);
      JpegFree(&p);
      for (size_t i = picture_bytes; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0x5A) << "byte " << i;
    }
  }
}

TEST(PictureLayout, ScaledReadsFillTheReducedPictureExactly) {
  // A picture one pixel smaller than the reduced size is filled without
  // a write past it; the full reduced size equals libjpeg's scaled size.
  const std::vector<uint8_t> jpeg = stream_of("baseline_420_odd_size");
  for (JpegReadMode mode : {READ_HALF_BUFFER, READ_QUARTER_BUFFER, READ_EIGHTH_BUFFER}) {
    SCOPED_TRACE(mode);
    ReadSettings settings;
    settings.mode = mode;
    const OurRead full = decode_ours(jpeg, settings);
    ASSERT_EQ(full.status, JPEG_SUCCESS);
    settings.width = full.picture.width - 1;
    settings.height = full.picture.height - 1;
    const OurRead smaller = decode_ours(jpeg, settings);
    ASSERT_EQ(smaller.status, JPEG_SUCCESS);
    JpegRegion inside{0, 0, settings.width, settings.height};
    EXPECT_EQ(max_difference(smaller.picture, crop(full.picture, inside)), 0);
  }
}

}  // namespace

namespace {

// What one full-MCU converter slot writes per pixel, from the samples of
// component 1, its chroma pair and the fourth component.
enum class Written { kGrey, kRgb, kBgr, kRgbx, kCopy3, kCopy3x, kYcbYcr, kInvertedRgbK, kCopy4 };

int channels_written(Written w) {
  switch (w) {
    case Written::kGrey: return 1;
    case Written::kYcbYcr: return 2;
    case Written::kRgb: case Written::kBgr: case Written::kCopy3: return 3;
    default: return 4;
  }
}

std::vector<int> expected_pixel(Written w, int y, int cb, int cr, int k, int x) {
  const model::Rgb c = model::convert_fast(y, cb, cr);
  switch (w) {
    case Written::kGrey: return {y};
    case Written::kRgb: return {c.r, c.g, c.b};
    case Written::kBgr: return {c.b, c.g, c.r};
    case Written::kRgbx: return {c.r, c.g, c.b, 255};
    case Written::kCopy3: return {y, cb, cr};
    case Written::kCopy3x: return {y, cb, cr, 255};
    case Written::kYcbYcr: return {y, x % 2 ? cr : cb};
    case Written::kInvertedRgbK: return {255 - c.r, 255 - c.g, 255 - c.b, k};
    case Written::kCopy4: return {y, cb, cr, k};
  }
  return {};
}

// Every full-MCU converter slot (35..53) against the conversion model, byte
// for byte: component 1 in h x v blocks, one Cb and one Cr block, a fourth
// component laid out like the first, samples random and at the extremes
// (neutral chroma, 0 and 255, which saturate).
TEST(McuConverters, EverySlotMatchesTheConversionModel) {
  struct Slot {
    int number;
    int h, v;
    Written written;
  };
  const Slot slots[] = {
      {35, 1, 1, Written::kGrey},   {36, 1, 1, Written::kRgb},         {37, 2, 1, Written::kRgb},
      {38, 2, 2, Written::kRgb},    {39, 1, 1, Written::kBgr},         {40, 2, 1, Written::kBgr},
      {41, 2, 2, Written::kBgr},    {42, 1, 1, Written::kRgbx},        {43, 2, 1, Written::kRgbx},
      {44, 2, 2, Written::kRgbx},   {45, 1, 1, Written::kCopy3},       {46, 2, 1, Written::kCopy3},
      {47, 2, 2, Written::kCopy3},  {48, 1, 1, Written::kCopy3x},      {49, 2, 1, Written::kYcbYcr},
      {50, 1, 1, Written::kInvertedRgbK}, {51, 2, 1, Written::kInvertedRgbK}, {52, 2, 2, Written::kInvertedRgbK},
      {53, 1, 1, Written::kCopy4},
  };
  JpegOps ops{};
  fill_output_converters(ops);
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> any(0, 255), pick(0, 4);
  const int extremes[] = {0, 1, 127, 128, 254, 255};
  for (const Slot& slot : slots) {
    SCOPED_TRACE(slot.number);
    const McuConverter converter = ops.output_converters[slot.number - kOutputConverterFirstSlot];
    ASSERT_NE(converter, nullptr);
    const int width = 8 * slot.h, height = 8 * slot.v, channels = channels_written(slot.written);
    const int luma_blocks = slot.h * slot.v, chroma = luma_blocks * 64, fourth = chroma + 128;
    for (int trial = 0; trial < 40; ++trial) {
      std::vector<int16_t> samples(static_cast<size_t>(fourth + luma_blocks * 64));
      for (int16_t& s : samples) s = static_cast<int16_t>(pick(rng) == 0 ? extremes[any(rng) % 6] : any(rng));
      if (trial == 0)  // neutral chroma: R = B = Y, G = Y + 1 (saturating)
        std::fill(samples.begin() + chroma, samples.begin() + fourth, int16_t{128});
      const ptrdiff_t stride = width * channels + 3;
      std::vector<uint8_t> picture(static_cast<size_t>(stride * height), 0xEE);
      converter(samples.data(), picture.data(), stride);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const int luma_at = ((y / 8) * slot.h + x / 8) * 64 + (y % 8) * 8 + x % 8;
          const int chroma_at = (y / slot.v) * 8 + x / slot.h;
          const std::vector<int> expected =
              expected_pixel(slot.written, samples[luma_at], samples[chroma + chroma_at],
                             samples[chroma + 64 + chroma_at], samples[fourth + luma_at], x);
          for (int d = 0; d < channels; ++d)
            ASSERT_EQ(picture[y * stride + x * channels + d], expected[d])
                << "trial " << trial << " pixel " << x << "," << y << " byte " << d;
        }
        for (ptrdiff_t pad = width * channels; pad < stride; ++pad) ASSERT_EQ(picture[y * stride + pad], 0xEE);
      }
    }
  }
}

}  // namespace

namespace {

// A 2x1 image through the triangle filter and the conversion in place,
// against the models: the packed Y Cb Y Cr picture gives the decoded
// planes (each chroma pair once per two pixels), from which every RGB,
// BGR and four-byte pixel follows exactly, edges included (46 pixels: a
// partial last MCU column whose last chroma sample is repeated), with
// either transform.
TEST(TriangleFilter, TwoByOneImageMatchesTheFilterAndConversionModels) {
  EncodeOptions options;
  options.width = 46;
  options.height = 13;
  options.factors = {{2, 1}, {1, 1}, {1, 1}};
  const std::vector<uint8_t> jpeg = encode_jpeg(options);
  const int width = options.width, chroma_width = width / 2;
  struct Output {
    JpegColor colour;
    uint32_t channels;
    uint32_t dct_kind;
  };
  for (const Output output : {Output{COLOR_RGB, 3, 1}, Output{COLOR_BGR, 3, 1}, Output{COLOR_FOUR, 4, 1},
                              Output{COLOR_BGR, 3, 0}}) {
    SCOPED_TRACE(testing::Message() << output.colour << ", DCT kind " << output.dct_kind);
    ReadSettings packed_settings;
    packed_settings.picture_color = COLOR_YCBCR;
    packed_settings.channels = 2;
    packed_settings.dct_kind = output.dct_kind;
    const OurRead packed = decode_ours(jpeg, packed_settings);
    ASSERT_EQ(packed.status, JPEG_SUCCESS);
    ReadSettings settings;
    settings.dct_kind = output.dct_kind;
    settings.upsampling_kind = 1;
    settings.picture_color = output.colour;
    settings.channels = output.channels;
    const OurRead filtered = decode_ours(jpeg, settings);
    ASSERT_EQ(filtered.status, JPEG_SUCCESS);
    for (int y = 0; y < options.height; ++y) {
      const uint8_t* row = &packed.picture.bytes[static_cast<size_t>(y) * width * 2];
      std::vector<uint8_t> cb(chroma_width), cr(chroma_width);
      for (int i = 0; i < chroma_width; ++i) cb[i] = row[4 * i + 1], cr[i] = row[4 * i + 3];
      for (int x = 0; x < width; ++x) {
        const model::Rgb c = model::convert_in_place(row[2 * x], model::filter_h2v1(cb.data(), chroma_width, x),
                                                     model::filter_h2v1(cr.data(), chroma_width, x));
        const std::vector<int> expected = output.colour == COLOR_BGR ? std::vector<int>{c.b, c.g, c.r}
                                          : output.channels == 4     ? std::vector<int>{c.r, c.g, c.b, 255}
                                                                     : std::vector<int>{c.r, c.g, c.b};
        for (uint32_t d = 0; d < output.channels; ++d)
          ASSERT_EQ(filtered.picture.bytes[(static_cast<size_t>(y) * width + x) * output.channels + d], expected[d])
              << "pixel " << x << "," << y << " byte " << d;
      }
    }
  }
}

}  // namespace

namespace {

// One record, three reads: a region, the whole picture, the region again.
// Nothing of a read may stay behind for the next (region, resume point,
// upsampling rows): each equals the same read on a fresh record.
TEST(RegionRead, RegionThenWholeThenRegionOnOneRecord) {
  for (const uint32_t upsampling_kind : {0u, 1u}) {
    SCOPED_TRACE(upsampling_kind);
    const std::vector<uint8_t> jpeg = stream_of("baseline_420_odd_size");
    ReadSettings settings;
    settings.upsampling_kind = upsampling_kind;
    const OurRead whole = decode_ours(jpeg, settings);
    ASSERT_EQ(whole.status, JPEG_SUCCESS);
    const JpegRegion region{17, 9, 50, 40};
    const Picture part = crop(whole.picture, region);

    JPEG_PROPERTIES p{};
    ASSERT_EQ(JpegInit(&p), JPEG_SUCCESS);
    auto read = [&](const JpegRegion& r, int width, int height, JpegStatus expected_status) {
      std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 3, 0);
      p.jpeg_bytes = jpeg.data();
      p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
      p.picture_bytes = bytes.data();
      p.picture_width = static_cast<uint32_t>(width);
      p.picture_height = height;
      p.picture_channels = 3;
      p.picture_color = COLOR_BGR;
      p.upsampling_kind = upsampling_kind;
      p.region = r;
      EXPECT_EQ(JpegRead(&p, READ_IMAGE_BUFFER), expected_status);
      return Picture{width, height, 3, bytes};
    };
    EXPECT_EQ(max_difference(read(region, part.width, part.height, JPEG_ROI_SUCCESS), part), 0);
    EXPECT_EQ(max_difference(read({}, whole.picture.width, whole.picture.height, JPEG_SUCCESS), whole.picture), 0);
    EXPECT_EQ(max_difference(read(region, part.width, part.height, JPEG_ROI_SUCCESS), part), 0);
    JpegFree(&p);
  }
}

}  // namespace

namespace {

// Grey pixels make both chroma planes exactly 128. The full-MCU converters
// then give R = B = Y and G = min(Y + 1, 255) (their green term rounds the
// sum, then negates it); the conversion in place after the triangle filter
// gives R = G = B = Y. Y is the luma of a one-byte grey read.
TEST(NeutralChroma, FastPathGreenIsOneAboveLumaAndInPlaceIsGrey) {
  const int width = 45, height = 37;
  std::vector<uint8_t> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.insert(pixels.end(), 3, static_cast<uint8_t>((x * 7 + y * 3) % 256));
  for (const auto& factors : {std::vector<std::pair<int, int>>{{2, 2}, {1, 1}, {1, 1}},
                              std::vector<std::pair<int, int>>{{2, 1}, {1, 1}, {1, 1}}}) {
    EncodeOptions options;
    options.width = width;
    options.height = height;
    options.factors = factors;
    options.quality = 95;
    const std::vector<uint8_t> jpeg = encode_pixels(options, pixels);
    ReadSettings grey_settings;
    grey_settings.picture_color = COLOR_GRAY;
    grey_settings.channels = 1;
    const OurRead grey = decode_ours(jpeg, grey_settings);
    ASSERT_EQ(grey.status, JPEG_SUCCESS);
    for (const uint32_t upsampling_kind : {0u, 1u}) {
      SCOPED_TRACE(testing::Message() << factors[0].second << " " << upsampling_kind);
      ReadSettings settings;
      settings.upsampling_kind = upsampling_kind;
      const OurRead bgr = decode_ours(jpeg, settings);
      ASSERT_EQ(bgr.status, JPEG_SUCCESS);
      for (size_t i = 0; i < grey.picture.bytes.size(); ++i) {
        const int y = grey.picture.bytes[i];
        const int green = upsampling_kind == 0 ? std::min(y + 1, 255) : y;
        ASSERT_EQ(bgr.picture.bytes[3 * i], y) << "pixel " << i;
        ASSERT_EQ(bgr.picture.bytes[3 * i + 1], green) << "pixel " << i;
        ASSERT_EQ(bgr.picture.bytes[3 * i + 2], y) << "pixel " << i;
      }
    }
  }
}

}  // namespace

namespace {

// A picture smaller than the region gets the region's top-left part, and
// nothing past its own right edge: the pad bytes of each row and the bytes
// after the last row keep their contents, on the fast path and the
// component writer alike.
TEST(RegionRead, PictureSmallerThanTheRegionStopsAtItsEdges) {
  for (const char* name : {"baseline_420", "baseline_444", "baseline_422"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> jpeg = stream_of(name);
    const OurRead whole = decode_ours(jpeg, {});
    ASSERT_EQ(whole.status, JPEG_SUCCESS);
    const JpegRegion region{8, 8, 56, 40};
    const int width = 45, height = 30, pad = 3;
    const size_t stride = width * 3 + pad;
    std::vector<uint8_t> buffer(stride * height + 16, 0xA5);
    JPEG_PROPERTIES p{};
    ASSERT_EQ(JpegInit(&p), JPEG_SUCCESS);
    p.jpeg_bytes = jpeg.data();
    p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
    p.picture_bytes = buffer.data();
    p.picture_width = width;
    p.picture_height = height;
    p.picture_pad_bytes = pad;
    p.region = region;
    EXPECT_GE(JpegRead(&p, READ_IMAGE_BUFFER), 0);
    JpegFree(&p);
    const Picture expected = crop(whole.picture, {region.left, region.top, region.left + width, region.top + height});
    for (int y = 0; y < height; ++y) {
      ASSERT_EQ(std::memcmp(&buffer[y * stride], &expected.bytes[y * width * 3], width * 3), 0) << "row " << y;
      for (size_t i = width * 3; i < stride; ++i) ASSERT_EQ(buffer[y * stride + i], 0xA5) << "pad of row " << y;
    }
    for (size_t i = stride * height; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xA5) << "byte " << i;
  }
}

}  // namespace

namespace {

// The 2x2 triangle filter exactly: an image of flat 16x16 colour squares
// has only DC coefficients, which every decoder turns into the same flat
// samples, so libjpeg's unconverted YCbCr output (its fancy upsampling
// uses the same weights and biases) gives the filtered planes; our RGB
// picture must be their conversion in place, byte for byte.
TEST(TriangleFilter, TwoByTwoImageMatchesTheFilterAndConversionModels) {
  const int width = 64, height = 48;
  std::vector<uint8_t> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int square = (y / 16) * 4 + x / 16;
      pixels.insert(pixels.end(), {static_cast<uint8_t>(square * 53 % 256), static_cast<uint8_t>(square * 97 % 256),
                                   static_cast<uint8_t>(255 - square * 31 % 256)});
    }
  EncodeOptions options;
  options.width = width;
  options.height = height;
  options.factors = {{2, 2}, {1, 1}, {1, 1}};
  options.quality = 100;
  const std::vector<uint8_t> jpeg = encode_pixels(options, pixels);
  LibjpegOptions reference;
  reference.fancy_upsampling = true;
  reference.ycbcr_output = true;
  const Picture planes = decode_reference(jpeg, reference);
  ASSERT_EQ(planes.bytes.size(), static_cast<size_t>(width * height * 3));
  ReadSettings settings;
  settings.upsampling_kind = 1;
  settings.picture_color = COLOR_RGB;
  const OurRead ours = decode_ours(jpeg, settings);
  ASSERT_EQ(ours.status, JPEG_SUCCESS);
  for (size_t i = 0; i < planes.bytes.size(); i += 3) {
    const model::Rgb c = model::convert_in_place(planes.bytes[i], planes.bytes[i + 1], planes.bytes[i + 2]);
    ASSERT_EQ(ours.picture.bytes[i], c.r) << "pixel " << i / 3;
    ASSERT_EQ(ours.picture.bytes[i + 1], c.g) << "pixel " << i / 3;
    ASSERT_EQ(ours.picture.bytes[i + 2], c.b) << "pixel " << i / 3;
  }
}

}  // namespace

namespace {

// Components the caller declares RGB are copied unconverted, at every
// sampling: into an RGB picture in their order, into a BGR picture reversed.
TEST(PictureLayout, RgbComponentsCopiedInThePicturesOrder) {
  for (const Sampling sampling : {Sampling::k444, Sampling::k422, Sampling::k420}) {
    EncodeOptions options;
    options.sampling = sampling;
    options.write_jfif = false;
    const std::vector<uint8_t> jpeg = encode_jpeg(options);
    auto read = [&](JpegColor colour) {
      std::vector<uint8_t> bytes(static_cast<size_t>(options.width) * options.height * 3, 0);
      JPEG_PROPERTIES p{};
      EXPECT_EQ(JpegInit(&p), JPEG_SUCCESS);
      p.jpeg_bytes = jpeg.data();
      p.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
      p.jpeg_color = COLOR_RGB;
      p.picture_bytes = bytes.data();
      p.picture_width = static_cast<uint32_t>(options.width);
      p.picture_height = options.height;
      p.picture_color = colour;
      EXPECT_EQ(JpegRead(&p, READ_IMAGE_BUFFER), JPEG_SUCCESS);
      JpegFree(&p);
      return bytes;
    };
    const std::vector<uint8_t> rgb = read(COLOR_RGB), bgr = read(COLOR_BGR);
    for (size_t i = 0; i < rgb.size(); i += 3) {
      ASSERT_EQ(bgr[i], rgb[i + 2]) << "pixel " << i / 3;
      ASSERT_EQ(bgr[i + 1], rgb[i + 1]) << "pixel " << i / 3;
      ASSERT_EQ(bgr[i + 2], rgb[i]) << "pixel " << i / 3;
    }
  }
}

}  // namespace

namespace {

// A YCCK image whose first component is 2x2 and the fourth 1x1 goes through
// the component writer and the conversion in place, which inverts the
// colour and keeps the fourth byte: the K samples (libjpeg passes K
// through its CMYK output unchanged; measured equal with the portable
// transform, and a processor's own transform may round one level apart).
TEST(PictureLayout, YcckKeepsTheFourthComponentThroughTheConversionInPlace) {
  EncodeOptions options;
  options.factors = {{2, 2}, {1, 1}, {1, 1}, {1, 1}};
  options.ycck = true;
  const std::vector<uint8_t> jpeg = encode_jpeg(options);
  LibjpegOptions reference;
  reference.cmyk_output = true;
  const Picture expected = decode_reference(jpeg, reference);
  ASSERT_FALSE(expected.bytes.empty());
  ReadSettings settings;
  settings.picture_color = COLOR_FOUR;
  settings.channels = 4;
  const OurRead ours = decode_ours(jpeg, settings);
  ASSERT_EQ(ours.status, JPEG_SUCCESS);
  ASSERT_EQ(ours.picture.bytes.size(), expected.bytes.size());
  int largest = 0;
  for (size_t i = 3; i < expected.bytes.size(); i += 4)
    largest = std::max(largest, std::abs(ours.picture.bytes[i] - expected.bytes[i]));
  EXPECT_LE(largest, 1);
}

}  // namespace
