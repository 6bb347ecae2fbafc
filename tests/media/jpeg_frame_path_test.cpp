// The kind-7100 picture path: which packets are drawn where, which are
// dropped, how the picture buffer follows the pictures' sizes, and the
// reduction chosen for the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "channel_picture.h"
#include "jpeg_frame_path.h"
#include "picture_size_limit.h"
#include "tests/common/guard_page.h"
#include "tests/display/display_test_support.h"
#include "video_renderer.h"

namespace {

struct JpegSpec {
  int width = 352;
  int height = 288;
  uint32_t rgb = 0x3070C0;
  uint8_t channelByte = 0;  // byte 10
  uint16_t commentBytes = 0;  // a COM segment of this size after the JFIF one, 0 for none
};

std::vector<uint8_t> EncodeSolidJpeg(const JpegSpec& spec) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < spec.width * spec.height; ++i) {
    rgb.insert(rgb.end(), {uint8_t(spec.rgb >> 16), uint8_t(spec.rgb >> 8), uint8_t(spec.rgb)});
  }
  std::vector<uint8_t> picture = vkt::devsim::encodeJpeg(rgb.data(), spec.width, spec.height);
  picture[kPictureChannelByte] = spec.channelByte;
  if (spec.commentBytes) {
    const size_t afterJfif = 4 + (picture[4] << 8 | picture[5]);
    std::vector<uint8_t> comment = {0xFF, 0xFE, uint8_t((spec.commentBytes + 2) >> 8), uint8_t(spec.commentBytes + 2)};
    comment.resize(comment.size() + spec.commentBytes, 'c');
    picture.insert(picture.begin() + afterJfif, comment.begin(), comment.end());
  }
  return picture;
}

class JpegFramePath : public ::testing::Test {
 protected:
  JpegFramePath() {
    renderers_[0] = new VideoRenderer();  // channel 0 open, as the session opens it
    renderers_[0]->Initialize();
    renderers_[0]->Configure(window_.handle(), kChannelPictureWidth, kChannelPictureHeight, kFormatRgb);
  }
  ~JpegFramePath() override { delete renderers_[0]; }
  // What a worker does with a packet: to its channel's renderer, if any.
  int32_t Show(const uint8_t* packet, size_t length) {
    const int32_t channel = PictureChannel(packet, static_cast<uint32_t>(length));
    if (channel == kPictureDropped || !renderers_[channel]) return kPictureDropped;
    JpegPicture picture;
    if (!decoder_.Decode(packet, static_cast<uint32_t>(length), RendererShownSize(*renderers_[channel]), picture))
      return kPictureDropped;
    return ShowJpegPicture(picture, *renderers_[channel]);
  }
  int32_t Show(const std::vector<uint8_t>& packet) { return Show(packet.data(), packet.size()); }
  bool Decode(const std::vector<uint8_t>& packet, JpegPicture& picture) {
    return decoder_.Decode(packet.data(), static_cast<uint32_t>(packet.size()), kShowFullSize, picture);
  }
  int CentreDistance(uint32_t rgb) const {
    const std::vector<uint32_t> pixels = window_.ReadPixels();
    return pixels.empty() ? 255 : display_test::ColourDistance(pixels[pixels.size() / 2 + 176], rgb);
  }

  display_test::TestWindow window_{0, 0, kChannelPictureWidth, kChannelPictureHeight};
  VideoRenderer* renderers_[kPictureChannels] = {};
  JpegPictureDecoder decoder_;
};

TEST_F(JpegFramePath, PacketsForNoRendererOrTooShortAreDroppedUndecoded) {
  const std::vector<uint8_t> good = EncodeSolidJpeg({});
  EXPECT_EQ(Show(nullptr, 100), kPictureDropped);
  // Byte 10 lies outside a 10-byte packet, which ends at a guard page: a
  // read of it faults.
  const vkt::test::BytesAgainstAGuardPage tooShort(good.data(), kPictureChannelByte);
  EXPECT_EQ(Show(tooShort.bytes(), kPictureChannelByte), kPictureDropped);
  EXPECT_EQ(Show(EncodeSolidJpeg({.channelByte = 3})), kPictureDropped);
  EXPECT_EQ(Show(EncodeSolidJpeg({.channelByte = 0x23})), kPictureDropped);  // channel 3 too
  EXPECT_EQ(decoder_.BufferBytes(), 0u);
  EXPECT_GT(CentreDistance(0x3070C0), 100);
}

// Every channel number 0..15 reaches its own renderer and no other,
// whatever the packet's high nibble holds.
TEST_F(JpegFramePath, EveryChannelNumberReachesItsOwnRenderer) {
  VideoRenderer* const renderer = renderers_[0];
  renderers_[0] = nullptr;
  for (int channel = 0; channel < kPictureChannels; ++channel) {
    renderers_[channel] = renderer;
    for (const uint8_t high : {0x00, 0xF0}) {
      SCOPED_TRACE(testing::Message() << "channel " << channel << " high nibble " << int{high});
      EXPECT_NE(Show(EncodeSolidJpeg({.channelByte = uint8_t(high | channel)})), kPictureDropped);
      const int other = (channel + 8) % kPictureChannels;
      EXPECT_EQ(Show(EncodeSolidJpeg({.channelByte = uint8_t(high | other)})), kPictureDropped);
    }
    renderers_[channel] = nullptr;
  }
  renderers_[0] = renderer;
}

// The size limit at its edge, in each direction.
TEST_F(JpegFramePath, PictureSizeLimitIsInclusive) {
  const int limit = static_cast<int>(kMaxPictureSide);
  struct Case {
    int width, height;
    bool decoded;
  };
  for (const Case& c : {Case{limit - 1, 8, true}, Case{limit, 8, true}, Case{limit + 1, 8, false},
                        Case{8, limit - 1, true}, Case{8, limit, true}, Case{8, limit + 1, false}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    JpegPicture picture;
    const std::vector<uint8_t> packet = EncodeSolidJpeg({.width = c.width, .height = c.height});
    EXPECT_EQ(Decode(packet, picture), c.decoded);
  }
}

// The reduction for a window around each threshold: the largest whose
// output (sides rounded up) still covers the client area both ways.
TEST(PictureScale, LargestReductionThatCoversTheWindow) {
  const struct {
    uint32_t width, height;
    ShownSize shown;
    uint32_t divisor;
  } cases[] = {{1920, 1080, {240, 135}, 8}, {1920, 1080, {241, 135}, 4}, {1920, 1080, {240, 136}, 4},
               {1920, 1080, {480, 270}, 4}, {1920, 1080, {481, 270}, 2}, {1920, 1080, {480, 271}, 2},
               {1920, 1080, {960, 540}, 2}, {1920, 1080, {961, 540}, 1}, {1920, 1080, {960, 541}, 1},
               {1920, 1080, {4000, 10}, 1}, {1920, 1080, {0, 0}, 8},     {1917, 1079, {240, 135}, 8},
               {1917, 1079, {240, 136}, 4}, {9, 9, {2, 2}, 8},           {1920, 1080, kShowFullSize, 1}};
  const JpegReadMode modes[] = {READ_IMAGE_BUFFER, READ_HALF_BUFFER, READ_QUARTER_BUFFER, READ_EIGHTH_BUFFER};
  for (const auto& c : cases) {
    const PictureScale scale = ChoosePictureScale(c.width, c.height, c.shown);
    EXPECT_EQ(scale.divisor, c.divisor) << c.width << "x" << c.height << " in " << c.shown.width << "x"
                                        << c.shown.height;
    EXPECT_EQ(scale.mode, modes[std::countr_zero(scale.divisor)]);
  }
}

// The limit both kinds share: each side and the pixel count at their edges,
// upright pictures too.
TEST(PictureSizeLimit, SidesAndPixelsAtTheirEdges) {
  const uint32_t side = kMaxPictureSide, rows = kMaxPicturePixels / kMaxPictureSide;
  const struct {
    uint32_t width, height;
    bool accepted;
  } cases[] = {
      {1, 1, true},         {0, 8, false},           {8, 0, false},
      {side, rows, true},   {side, rows + 1, false}, {side - 1, rows + 1, false},
      {rows, side, true},   {rows + 1, side, false}, {side + 1, 1, false},
      {1, side + 1, false}, {side, 1, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AcceptPictureSize(c.width, c.height, "test"), c.accepted) << c.width << "x" << c.height;
}

TEST_F(JpegFramePath, BrokenPicturesAreDroppedAndReleaseTheBuffer) {
  const std::vector<uint8_t> good = EncodeSolidJpeg({});
  std::vector<uint8_t> notJpeg(good.size(), 0x5A);
  notJpeg[kPictureChannelByte] = 0;
  const std::vector<std::vector<uint8_t>> broken = {
      notJpeg,
      {good.begin(), good.begin() + 11},
      {good.begin(), good.begin() + 300},               // cut inside the tables
      {good.begin(), good.begin() + good.size() / 2},   // cut inside the scan
      EncodeSolidJpeg({.width = kMaxPictureSide + 1, .height = 8}),  // beyond the size limit
      EncodeSolidJpeg({.width = 8, .height = kMaxPictureSide + 1}),
  };
  for (size_t i = 0; i < broken.size(); ++i) {
    JpegPicture picture;
    ASSERT_TRUE(Decode(EncodeSolidJpeg({.width = 16, .height = 16}), picture));
    EXPECT_EQ(Show(broken[i]), kPictureDropped) << "picture " << i;
    EXPECT_EQ(decoder_.BufferBytes(), 0u) << "picture " << i;
  }
  EXPECT_GT(CentreDistance(0x3070C0), 100);
  // The next good picture is shown, with a comment that fits the buffer or
  // one that does not.
  for (const uint16_t comment : {1000, 2000}) {
    Show(EncodeSolidJpeg({.rgb = 0x102030}));
    EXPECT_NE(Show(EncodeSolidJpeg({.commentBytes = comment})), kPictureDropped) << comment;
    EXPECT_LE(CentreDistance(0x3070C0), 12) << comment;
  }
}

// A camera that changes picture size mid-stream: every size up to the
// limit is drawn, the renderer following each change at the size decoded
// for its 352x288 window. Each picture is two halves, so rows read with the
// wrong length would show up as a slanted border.
TEST_F(JpegFramePath, PictureSizeChangesKeepDrawing) {
  struct Case {
    uint32_t width, height;
    bool drawn;
    uint32_t decodedWidth, decodedHeight;
  };
  const Case cases[] = {{704, 576, true, 352, 288},   {176, 144, true, 176, 144}, {320, 240, true, 320, 240},
                        {175, 97, true, 175, 97},     {1280, 720, true, 640, 360}, {4100, 16, false, 0, 0},
                        {16, 4100, false, 0, 0},      {2816, 2304, true, 352, 288}, {352, 288, true, 352, 288}};
  uint32_t colour = 0x2040E0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    colour ^= 0x60C000;
    std::vector<uint8_t> rgb;
    for (uint32_t y = 0; y < c.height; ++y)
      for (uint32_t x = 0; x < c.width; ++x) {
        const uint32_t pixel = x < c.width / 2 ? colour : 0xF0F0F0;
        rgb.insert(rgb.end(), {uint8_t(pixel >> 16), uint8_t(pixel >> 8), uint8_t(pixel)});
      }
    std::vector<uint8_t> packet = vkt::devsim::encodeJpeg(rgb.data(), int(c.width), int(c.height));
    packet[kPictureChannelByte] = 0;
    const int32_t result = Show(packet);
    EXPECT_EQ(result != kPictureDropped, c.drawn);
    if (!c.drawn) continue;
    EXPECT_EQ(renderers_[0]->PictureWidth(), c.decodedWidth);
    EXPECT_EQ(renderers_[0]->PictureHeight(), c.decodedHeight);
    // Left and right of the border, near the top and near the bottom.
    const std::vector<uint32_t> pixels = window_.ReadPixels();
    ASSERT_EQ(pixels.size(), size_t{kChannelPictureWidth} * kChannelPictureHeight);
    for (uint32_t y : {10u, kChannelPictureHeight - 10}) {
      EXPECT_LE(display_test::ColourDistance(pixels[y * kChannelPictureWidth + 60], colour), 24) << y;
      EXPECT_LE(display_test::ColourDistance(pixels[y * kChannelPictureWidth + 290], 0xF0F0F0), 24) << y;
    }
  }
}

// Rows come out as the renderer reads them: exactly width x 3 bytes.
TEST_F(JpegFramePath, BufferGrowsWithThePicturesAndRowsAreUnpadded) {
  struct Case {
    int width, height;
    size_t capacity;  // after the picture
  };
  for (const Case& c : {Case{10, 4, 30 * 4}, Case{352, 288, 1056 * 288}, Case{16, 16, 1056 * 288}}) {
    JpegPicture picture;
    const std::vector<uint8_t> packet = EncodeSolidJpeg({.width = c.width, .height = c.height, .rgb = 0x4080C0});
    ASSERT_TRUE(Decode(packet, picture));
    EXPECT_EQ(picture.width, static_cast<uint32_t>(c.width));
    EXPECT_EQ(picture.height, static_cast<uint32_t>(c.height));
    EXPECT_EQ(decoder_.BufferBytes(), c.capacity);
    const uint8_t* last = picture.pixels + c.width * 3 * c.height - 3;
    EXPECT_NEAR(last[0], 0xC0, 8);  // blue first
    EXPECT_NEAR(last[2], 0x40, 8);
  }
}

}  // namespace
