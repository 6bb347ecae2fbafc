// The decoding bridge with the real stand-in decoder: frames of the
// simulator's stream, taken apart by the stream reader, come back through
// the callback as BGR pictures of the right size and colours; pictures
// that do not fit and unknown handles are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "device_content.h"
#include "h264_bridge.h"
#include "h264_stream.h"
#include "stream_parser.h"
#include "test_pattern.h"
#include "tests/common/guard_page.h"
#include "tests/common/h264_test_encoder.h"

using Bytes = std::vector<uint8_t>;

namespace {

struct PictureLog : PictureSink {
  int32_t OnPicture(const DecodedPicture* picture) override {
    sizes.push_back({picture->width, picture->height});
    last.assign(picture->pixels, picture->pixels + size_t(picture->width) * picture->height * 3);
    return 0;
  }
  std::vector<std::pair<int, int>> sizes;
  Bytes last;
};

class H264BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(encoder_.open(10));
    decoder_ = CODECAPI_DecodeInit(2, 8, nullptr, 0, 1);
    ASSERT_GT(decoder_, 0);
    CODECAPI_SetCallBack(decoder_, static_cast<PictureSink*>(&log_), DecoderPictureCallback, 0);
    request_.size = 36;
  }
  void TearDown() override { CODECAPI_DecodeUninit(decoder_); }

  // Decodes the next block of the stream; returns what the bridge said for
  // its video box.
  bool DecodeNextBlock() {
    Bytes block;
    EXPECT_TRUE(encoder_.nextBlock(block));
    size_t body = 0;
    ParameterSets sets;
    if (StartsWithRvdx(block.data(), block.size())) {
      const uint8_t n = block[kRvdxParameterLengthOffset];
      EXPECT_GT(ExtractParameterSets(block.data() + kRvdxHeaderSize - n, n, sets), 0u);
      body = kRvdxHeaderSize;
    }
    QboxHeader header{};
    EXPECT_TRUE(ReadQboxHeader(block.data() + body, block.size() - body, &header));
    const size_t n =
        ConvertToAnnexB(header, block.data() + body, sets.empty() ? nullptr : &sets, input_.data(), input_.size());
    return DecodeAnnexB(decoder_, request_, input_.data(), uint32_t(n), output_.data(), outputCapacity_);
  }

  vkt::devsim::H264StreamEncoder encoder_;
  int32_t decoder_ = -1;
  PictureLog log_;
  DecodeRequest request_{};
  Bytes input_ = Bytes(kStreamBufferSize);
  Bytes output_ = Bytes(kFrameBufferSize);
  uint32_t outputCapacity_ = kFrameBufferSize;
};

}  // namespace

TEST_F(H264BridgeTest, DeliversPicturesOfTheStreamSizeAndColours) {
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(DecodeNextBlock()) << i;
  ASSERT_EQ(log_.sizes.size(), 3u);
  for (const auto& size : log_.sizes) EXPECT_EQ(size, std::make_pair(vkt::devsim::kPatternWidth, vkt::devsim::kPatternHeight));
  // The bars, in the middle of each, top row first: row 40 is above the
  // moving band.
  for (int bar = 0; bar < 4; ++bar) {
    const int x = bar * vkt::devsim::kPatternWidth / 4 + vkt::devsim::kPatternWidth / 8;
    const auto colour = vkt::devsim::patternBarColour(x);
    const uint8_t* pixel = &log_.last[(40 * vkt::devsim::kPatternWidth + x) * 3];
    EXPECT_NEAR(pixel[0], colour.blue, 20) << bar;
    EXPECT_NEAR(pixel[1], colour.green, 20) << bar;
    EXPECT_NEAR(pixel[2], colour.red, 20) << bar;
  }
  // The bottom rows are black behind the counter.
  const uint8_t* corner = &log_.last[((vkt::devsim::kPatternHeight - 2) * vkt::devsim::kPatternWidth + 340) * 3];
  EXPECT_LT(corner[0] + corner[1] + corner[2], 60);
}

// Golden samples of the simulator's pictures, straight from their planes:
// video-range BT.601 of each bar, the square, the band down to its last
// row, the counter's first digit with the black row above it, and cells of
// the last digit in pictures 8 (an 8, not a 0) and 4. Decoded pictures are
// only compared within a tolerance; these pin the exact source.
TEST(TestPattern, PlanesHoldTheExactVideoRangeColours) {
  using namespace vkt::devsim;
  Bytes y(kPatternWidth * kPatternHeight), u(y.size() / 4), v(y.size() / 4);
  const struct {
    uint32_t frame;
    int x, row;
    uint8_t y, u, v;
  } samples[] = {
      {0, 44, 40, 91, 101, 211},   {0, 132, 40, 128, 84, 66},   {0, 220, 40, 72, 199, 113},
      {0, 308, 40, 218, 128, 128}, {0, 24, 120, 231, 128, 128}, {0, 200, 120, 93, 128, 128},
      {0, 200, 159, 93, 128, 128}, {0, 16, 208, 231, 128, 128}, {0, 16, 206, 16, 128, 128},
      {8, 144, 222, 231, 128, 128}, {8, 150, 222, 231, 128, 128}, {8, 144, 228, 16, 128, 128},
      {4, 144, 214, 16, 128, 128},  {4, 150, 214, 231, 128, 128},
  };
  for (const auto& s : samples) {
    drawTestPattern(s.frame, y.data(), kPatternWidth, u.data(), kPatternWidth / 2, v.data(), kPatternWidth / 2);
    const size_t chroma = size_t(s.row / 2) * (kPatternWidth / 2) + s.x / 2;
    EXPECT_EQ(std::vector<int>({y[size_t(s.row) * kPatternWidth + s.x], u[chroma], v[chroma]}),
              std::vector<int>({s.y, s.u, s.v}))
        << s.frame << ": " << s.x << "," << s.row;
  }
}

// The simulator's reader of H.264 files on their last bytes: zeros before
// a start code belong to no unit, those at the end stay with the last
// unit. Each file ends where readable memory does: a look past it faults.
TEST(SimulatorAnnexB, SplitsUnitsWithoutReadingPastTheFile) {
  using Units = std::vector<std::pair<size_t, size_t>>;
  const struct {
    Bytes file;
    Units units;
  } cases[] = {
      {{0, 0, 1, 0x65, 7, 0, 0, 0, 1, 0x41}, {{3, 5}, {9, 10}}},
      {{0, 0, 1, 0x65, 7, 0, 0}, {{3, 7}}},
      {{0, 0, 1, 0x65, 0, 0, 1}, {{3, 4}}},
  };
  for (const auto& c : cases) {
    const vkt::test::BytesAgainstAGuardPage file(c.file.data(), c.file.size());
    EXPECT_EQ(vkt::devsim::splitAnnexB(file.bytes(), c.file.size()), c.units) << c.file.size();
  }
}

TEST_F(H264BridgeTest, RefusesPicturesLargerThanTheOutputBuffer) {
  outputCapacity_ = 352 * 288 * 3 - 1;
  EXPECT_FALSE(DecodeNextBlock());
  EXPECT_TRUE(log_.sizes.empty());
  outputCapacity_ = kFrameBufferSize;
  for (int i = 0; i < 9; ++i) DecodeNextBlock();
  EXPECT_TRUE(DecodeNextBlock());  // the next key frame
  EXPECT_FALSE(log_.sizes.empty());
}

TEST(H264Bridge, UnknownDecoderHandlesAreRefused) {
  Bytes input = {0, 0, 0, 1, 0x65, 0x88};
  Bytes output(16);
  DecodeRequest request{};
  for (int32_t handle : {-1, 0, 9999}) {
    EXPECT_FALSE(DecodeAnnexB(handle, request, input.data(), uint32_t(input.size()), output.data(), 16));
    EXPECT_EQ(CODECAPI_DecodeUninit(handle), 0);
  }
  EXPECT_EQ(CODECAPI_AudioDecodeDeInit(-1, 2), 0);
  // A full table refuses the next handle; every slot, the last too, is
  // released again.
  std::vector<int32_t> handles;
  for (int32_t handle; handles.size() <= 64 && (handle = CODECAPI_AudioDecodeInit(2)) > 0;) handles.push_back(handle);
  EXPECT_EQ(handles.size(), 64u);
  for (const int32_t handle : handles) EXPECT_EQ(CODECAPI_AudioDecodeDeInit(handle, 2), 1) << handle;
}

// With B pictures the decoder holds a picture back until the next one in
// display order has come: a box that gives no picture yet is still taken.
TEST_F(H264BridgeTest, BoxesWhosePictureIsHeldBackAreTaken) {
  const Bytes stream = vkt::test::encodeH264(
      {.width = 64, .height = 48, .keyInterval = 30, .preset = "ultrafast", .profile = "high", .bFrames = 1}, 5,
      [](int index, uint8_t* const planes[3], const int strides[3]) {
        for (int plane = 0; plane < 3; ++plane)
          for (int y = 0; y < (plane ? 24 : 48); ++y)
            for (int x = 0; x < (plane ? 32 : 64); ++x) planes[plane][y * strides[plane] + x] = uint8_t(x * 3 + index * 8);
      });
  // One box per picture: each starts at a picture's slice, the first with
  // the parameter sets before it.
  std::vector<size_t> starts{0};
  for (size_t at = 4; at < stream.size(); ++at) {
    const int type = stream[at] & 0x1F;
    if (stream[at - 1] == 1 && stream[at - 2] == 0 && stream[at - 3] == 0 && (type == 1 || type == 5)) starts.push_back(at - 3);
  }
  starts.erase(starts.begin() + 1);
  starts.push_back(stream.size());
  ASSERT_EQ(starts.size(), 6u);
  Bytes box;
  for (size_t i = 0; i + 1 < starts.size(); ++i) {
    box.assign(stream.begin() + long(starts[i]), stream.begin() + long(starts[i + 1]));
    EXPECT_TRUE(DecodeAnnexB(decoder_, request_, box.data(), uint32_t(box.size()), output_.data(), outputCapacity_)) << i;
    if (i == 0) {
      EXPECT_TRUE(log_.sizes.empty());
    }
  }
  EXPECT_GE(log_.sizes.size(), 3u);
}

// One picture of each 8-bit chroma layout, colours that change along both
// axes: each is shown, close to the encoder's own input (BT.601 video
// range); 4:2:2 within 1 dB of the 4:2:0 case's PSNR or better.
TEST_F(H264BridgeTest, EveryEightBitChromaLayoutIsShown) {
  constexpr int kWidth = 352, kHeight = 288;
  double psnr420 = 0;
  for (const int format : {420, 422, 444, 400}) {
    SCOPED_TRACE(format);
    const int shiftX = format == 444 ? 0 : 1, shiftY = format == 420 ? 1 : 0;
    auto sample = [&](int plane, int x, int y) -> double {
      if (plane == 0) return 40 + 160.0 * x / kWidth + 20 * std::sin(y / 9.0);
      if (format == 400) return 128;
      x <<= shiftX, y <<= shiftY;
      return plane == 1 ? 128 + 60 * std::cos(y / 15.0) : 128 + 60 * std::cos(x / 13.0);
    };
    Bytes stream = vkt::test::encodeH264(
        {.width = kWidth, .height = kHeight, .keyInterval = 1, .preset = "ultrafast", .chromaFormat = format}, 1, [&](int, uint8_t* const planes[3], const int strides[3]) {
          for (int plane = 0; plane < (format == 400 ? 1 : 3); ++plane)
            for (int y = 0; y < (plane ? kHeight >> shiftY : kHeight); ++y)
              for (int x = 0; x < (plane ? kWidth >> shiftX : kWidth); ++x)
                planes[plane][y * strides[plane] + x] = uint8_t(std::lround(sample(plane, x, y)));
        });
    log_.sizes.clear();
    ASSERT_TRUE(DecodeAnnexB(decoder_, request_, stream.data(), uint32_t(stream.size()), output_.data(), outputCapacity_));
    ASSERT_EQ(log_.sizes.size(), 1u);
    double squares = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const double luma = 1.164 * (std::lround(sample(0, x, y)) - 16);
        const double cb = std::lround(sample(1, x >> shiftX, y >> shiftY)) - 128.0;
        const double cr = std::lround(sample(2, x >> shiftX, y >> shiftY)) - 128.0;
        const double bgr[3] = {luma + 2.017 * cb, luma - 0.392 * cb - 0.813 * cr, luma + 1.596 * cr};
        for (int c = 0; c < 3; ++c) {
          const double error = log_.last[(y * kWidth + x) * 3 + c] - std::clamp(bgr[c], 0.0, 255.0);
          squares += error * error;
        }
      }
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 * kWidth * kHeight * 3 / squares);
    if (format == 420) psnr420 = psnr;
    // Chroma read from the wrong samples gives some 20 dB.
    EXPECT_GT(psnr, format == 422 ? std::max(38.0, psnr420 - 1.0) : 38.0);
  }
}

// Lossless pictures of flat macroblocks, one colour each, come back exactly
// as BT.601 gives them (16.16 fixed point, rounded): black and white of
// video range, one step above black, both chroma signs, both clamps, and
// full range marked in the stream.
TEST_F(H264BridgeTest, FlatColoursConvertExactly) {
  struct Row {
    bool fullRange;
    uint8_t y, u, v;
    uint8_t blue, green, red;
  };
  const Row rows[] = {
      {false, 16, 128, 128, 0, 0, 0},       {false, 17, 128, 128, 1, 1, 1},
      {false, 235, 128, 128, 255, 255, 255}, {false, 126, 160, 96, 193, 142, 77},
      {false, 235, 240, 240, 255, 120, 255}, {false, 16, 16, 16, 0, 135, 0},
      {true, 100, 128, 128, 100, 100, 100},  {true, 100, 150, 90, 139, 120, 47},
  };
  for (const bool fullRange : {false, true}) {
    std::vector<Row> blocks;
    for (const Row& row : rows)
      if (row.fullRange == fullRange) blocks.push_back(row);
    const int width = 16 * int(blocks.size());
    Bytes stream = vkt::test::encodeH264({.width = width, .height = 16, .keyInterval = 1, .preset = "ultrafast",
                                          .profile = "high444", .x264Params = fullRange ? "qp=0:fullrange=on" : "qp=0"},
                                         1, [&](int, uint8_t* const planes[3], const int strides[3]) {
                                           for (int y = 0; y < 16; ++y)
                                             for (int x = 0; x < width; ++x) {
                                               const Row& row = blocks[x / 16];
                                               planes[0][y * strides[0] + x] = row.y;
                                               if (x % 2 || y % 2) continue;
                                               planes[1][y / 2 * strides[1] + x / 2] = row.u;
                                               planes[2][y / 2 * strides[2] + x / 2] = row.v;
                                             }
                                         });
    log_.sizes.clear();
    ASSERT_TRUE(DecodeAnnexB(decoder_, request_, stream.data(), uint32_t(stream.size()), output_.data(), outputCapacity_));
    ASSERT_EQ(log_.sizes.size(), 1u);
    for (int pixel = 0; pixel < width * 16; ++pixel) {
      const Row& row = blocks[pixel % width / 16];
      const uint8_t* bgr = &log_.last[pixel * 3];
      ASSERT_EQ(std::vector<int>({bgr[0], bgr[1], bgr[2]}), std::vector<int>({row.blue, row.green, row.red}))
          << "range " << fullRange << " y " << int(row.y) << " pixel " << pixel;
    }
  }
}

// After a clear (what the session does when a box fails) the pictures that
// refer to what was cleared are not shown as pictures; the next key picture is.
TEST_F(H264BridgeTest, AfterAClearPicturesResumeAtTheNextKeyPicture) {
  for (int i = 0; i < 3; ++i) DecodeNextBlock();
  CODECAPI_DecodeMemClear(decoder_, 0);
  log_.sizes.clear();
  for (int i = 3; i < 10; ++i) DecodeNextBlock();
  EXPECT_TRUE(log_.sizes.empty());
  DecodeNextBlock();
  EXPECT_EQ(log_.sizes.size(), 1u);
}
