// The kind-7100 picture path: which packets are drawn where, which are
// dropped, and how the picture buffer follows the pictures' sizes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "jpeg_frame_path.h"
#include "tests/display/display_test_support.h"
#include "tests/media/test_pictures.h"
#include "video_renderer.h"

namespace {

using vkt::test::EncodeSolidJpeg;
using vkt::test::JpegSpec;

class JpegFramePath : public ::testing::Test {
 protected:
  ~JpegFramePath() override {
    std::free(bytes_);
    delete renderers_[0];
  }

  // A renderer for channel 0, configured as a channel opening does.
  void OpenChannelZero() {
    renderers_[0] = new VideoRenderer();
    renderers_[0]->Initialize();
    renderers_[0]->Configure(window_.handle(), kChannelPictureWidth, kChannelPictureHeight, kFormatRgb);
  }

  int32_t Show(const std::vector<uint8_t>& packet) { return Show(packet, static_cast<uint32_t>(packet.size())); }
  int32_t Show(const std::vector<uint8_t>& packet, uint32_t length) {
    return ShowJpegPicture(packet.data(), length, renderers_, Buffer());
  }
  bool Decode(const std::vector<uint8_t>& packet, DecodedPicture& picture) {
    return DecodeJpegPicture(packet.data(), static_cast<uint32_t>(packet.size()), Buffer(), picture);
  }
  PictureBuffer Buffer() { return PictureBuffer{bytes_, capacity_}; }
  uint32_t CentrePixel() const {
    const std::vector<uint32_t> pixels = window_.ReadPixels();
    return pixels.empty() ? 0 : pixels[pixels.size() / 2 + kChannelPictureWidth / 2];
  }

  display_test::TestWindow window_{0, 0, kChannelPictureWidth, kChannelPictureHeight};
  VideoRenderer* renderers_[kPictureChannels] = {};
  uint8_t* bytes_ = nullptr;
  size_t capacity_ = 0;
};

TEST_F(JpegFramePath, PacketsThatCannotBeShownAreDroppedUndecoded) {
  OpenChannelZero();
  const std::vector<uint8_t> good = EncodeSolidJpeg(JpegSpec{});
  const std::vector<uint8_t> forChannelThree = EncodeSolidJpeg(JpegSpec{.channel = 3});
  const std::vector<uint8_t> highBitsChannelThree = EncodeSolidJpeg(JpegSpec{.channel = 0x23});
  EXPECT_EQ(ShowJpegPicture(nullptr, 100, renderers_, Buffer()), kPictureDropped);
  EXPECT_EQ(Show(good, 0), kPictureDropped);
  EXPECT_EQ(Show(good, 10), kPictureDropped);  // byte 10 lies outside
  EXPECT_EQ(Show(forChannelThree), kPictureDropped);
  EXPECT_EQ(Show(highBitsChannelThree), kPictureDropped);
  // No renderer to draw into: nothing was decoded, so nothing allocated.
  EXPECT_EQ(bytes_, nullptr);
  EXPECT_EQ(CentrePixel(), 0u);
}

TEST_F(JpegFramePath, BrokenPicturesAreDroppedAndReleaseTheBuffer) {
  OpenChannelZero();
  const std::vector<uint8_t> good = EncodeSolidJpeg(JpegSpec{});
  bytes_ = static_cast<uint8_t*>(std::malloc(64));
  capacity_ = 64;
  std::vector<uint8_t> notJpeg(good.size(), 0x5A);
  notJpeg[10] = 0;
  std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 120);
  const std::vector<std::vector<uint8_t>> broken = {
      notJpeg,
      std::vector<uint8_t>(good.begin(), good.begin() + 11),
      headerOnly,
      EncodeSolidJpeg(JpegSpec{.commentBytes = 2000}),  // the comment stops the parameter read early
      EncodeSolidJpeg(JpegSpec{.width = 4097, .height = 8}),
  };
  for (size_t i = 0; i < broken.size(); ++i) {
    EXPECT_EQ(Show(broken[i]), kPictureDropped) << "picture " << i;
    EXPECT_EQ(bytes_, nullptr) << "picture " << i;
    EXPECT_EQ(capacity_, 0u) << "picture " << i;
  }
  EXPECT_EQ(CentrePixel(), 0u);
}

TEST_F(JpegFramePath, GoodPictureIsDrawnIntoItsChannel) {
  if (!vkt::test::DecoderReadsWholeImages()) GTEST_SKIP() << vkt::test::kNoWholeImageReads;
  OpenChannelZero();
  const uint32_t colour = 0x20A040;
  EXPECT_NE(Show(EncodeSolidJpeg(JpegSpec{.rgb = colour, .channel = 0x10})), kPictureDropped);
  EXPECT_LE(display_test::ColourDistance(CentrePixel(), colour), 12);
  // A broken picture in between changes nothing on the screen, and the next
  // good one is shown again.
  EXPECT_EQ(Show(std::vector<uint8_t>(64, 0xFF)), kPictureDropped);
  EXPECT_NE(Show(EncodeSolidJpeg(JpegSpec{.rgb = 0xC02020})), kPictureDropped);
  EXPECT_LE(display_test::ColourDistance(CentrePixel(), 0xC02020), 12);
}

TEST_F(JpegFramePath, BufferGrowsWithThePicturesAndKeepsRowsPadded) {
  if (!vkt::test::DecoderReadsWholeImages()) GTEST_SKIP() << vkt::test::kNoWholeImageReads;
  struct Case {
    int width, height;
    size_t capacity;  // after the picture
  };
  const Case cases[] = {
      {10, 4, 32 * 4},      // 30 bytes a row, padded to 32
      {352, 288, 1056 * 288},
      {16, 16, 1056 * 288},  // smaller pictures reuse the buffer
  };
  for (const Case& c : cases) {
    DecodedPicture picture;
    ASSERT_TRUE(Decode(EncodeSolidJpeg(JpegSpec{.width = c.width, .height = c.height, .rgb = 0x4080C0}), picture));
    EXPECT_EQ(picture.width, static_cast<uint32_t>(c.width));
    EXPECT_EQ(picture.height, static_cast<uint32_t>(c.height));
    EXPECT_EQ(capacity_, c.capacity);
    const uint8_t* last = picture.pixels + ((c.width * 3 + 3) & ~3) * (c.height - 1) + (c.width - 1) * 3;
    EXPECT_NEAR(last[0], 0xC0, 8);  // blue first
    EXPECT_NEAR(last[2], 0x40, 8);
  }
}

TEST_F(JpegFramePath, PicturesOfAnotherSizeAreNotDrawn) {
  if (!vkt::test::DecoderReadsWholeImages()) GTEST_SKIP() << vkt::test::kNoWholeImageReads;
  OpenChannelZero();
  EXPECT_EQ(Show(EncodeSolidJpeg(JpegSpec{.width = 704, .height = 576})), kPictureDropped);
  EXPECT_EQ(CentrePixel(), 0u);
}

}  // namespace
