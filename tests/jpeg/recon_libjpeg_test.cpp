// Whole pictures against libjpeg: every stream of the standard corpus
// (baseline, extended, progressive, restarts, 4:4:4 / 4:2:2 / 4:2:0,
// grey, odd sizes) read into BGR with each transform kind, the triangle
// filter (against libjpeg's fancy upsampling) and each reduced size, compared sample by sample with libjpeg's decode of the
// same stream with the matching settings. This is the second layer: the
// arithmetic itself is checked exactly against models elsewhere. The
// tolerances are the measured maxima: the colour conversion works with 8-bit fractions that floor
// (libjpeg: 16-bit, rounded; G = Y + 1 for neutral chroma here), and the
// scaled transforms are not libjpeg's. The fast kind is not compared on
// the quality-3 extended stream, whose quantisers saturate its 16-bit
// prepared table.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "jpeg_corpus.h"
#include "recon_reference.h"

namespace {

struct Comparison {
  const char* name;
  ReadSettings ours;
  LibjpegOptions reference;
  int tolerance;
};

const Comparison kComparisons[] = {
    {"precise", {}, {}, 3},
    {"fast", {READ_IMAGE_BUFFER, 0}, {false, true, 1}, 6},
    {"triangle", {READ_IMAGE_BUFFER, 1, 1}, {true, false, 1}, 3},
    {"half", {READ_HALF_BUFFER}, {false, false, 2}, 2},
    {"quarter", {READ_QUARTER_BUFFER}, {false, false, 4}, 1},
    {"eighth", {READ_EIGHTH_BUFFER}, {false, false, 8}, 1},
    {"eighth fast", {READ_EIGHTH_BUFFER, 0}, {false, true, 8}, 2},
};

// Without its DHT segments a stream reads exactly as with them, whole and
// as a region, and like libjpeg's read of it: cameras leave DHT out and
// rely on the standard tables, which libjpeg writes when it does not
// optimise (progressive streams it always optimises).
TEST(ReconstructionVsLibjpeg, EveryCorpusStreamInEveryReadKind) {
  for (const CorpusEntry& entry : standard_corpus()) {
    const std::vector<uint8_t> stripped = without_huffman_tables(entry.bytes);
    for (const Comparison& comparison : kComparisons) {
      if (entry.options.extended && comparison.ours.dct_kind == 0) continue;
      SCOPED_TRACE(entry.name + " " + comparison.name);
      const Picture expected = decode_reference(entry.bytes, comparison.reference);
      ASSERT_FALSE(expected.bytes.empty());
      const OurRead ours = decode_ours(entry.bytes, comparison.ours);
      ASSERT_EQ(ours.status, JPEG_SUCCESS);
      const int difference = max_difference(ours.picture, expected);
      EXPECT_GE(difference, 0) << "picture sizes differ";
      EXPECT_LE(difference, comparison.tolerance);
      RecordProperty(entry.name + "_" + comparison.name, difference);
      if (entry.options.progressive) continue;
      EXPECT_EQ(max_difference(decode_ours(stripped, comparison.ours).picture, ours.picture), 0);
      EXPECT_LE(max_difference(ours.picture, decode_reference(stripped, comparison.reference)), comparison.tolerance);
      ReadSettings region = comparison.ours;
      region.region = {1, 3, ours.picture.width, ours.picture.height};
      region.width = ours.picture.width - 1;
      region.height = ours.picture.height - 3;
      EXPECT_EQ(max_difference(decode_ours(stripped, region).picture, decode_ours(entry.bytes, region).picture), 0);
    }
  }
}

// make_test_pattern compressed with the given factors and, when not
// empty, a sequential scan script (components in separate scans).
std::vector<uint8_t> encode_layout(int width, int height, std::vector<std::pair<int, int>> factors,
                                   std::vector<std::vector<int>> scans) {
  EncodeOptions options;
  options.width = width;
  options.height = height;
  options.factors = std::move(factors);
  for (std::vector<int>& components : scans) options.scans.push_back(ScanEntry{std::move(components)});
  return encode_jpeg(options);
}

// Layouts without a fast routine and images whose components arrive in
// separate scans go through the component writer and, for multi-scan
// images, the conversion at EOI; full size and half size.
TEST(ReconstructionVsLibjpeg, GeneralLayoutsAndMultiScanImages) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> factors;
    std::vector<std::vector<int>> scans;
  };
  const Case cases[] = {
      {"440", {{1, 2}, {1, 1}, {1, 1}}, {}},
      {"411", {{4, 1}, {1, 1}, {1, 1}}, {}},
      {"chroma of two blocks", {{2, 2}, {1, 2}, {1, 2}}, {}},
      {"420 Y then CbCr", {{2, 2}, {1, 1}, {1, 1}}, {{0}, {1, 2}}},
      {"444 three scans", {{1, 1}, {1, 1}, {1, 1}}, {{0}, {1}, {2}}},
      {"422 three scans", {{2, 1}, {1, 1}, {1, 1}}, {{0}, {2}, {1}}},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> jpeg = encode_layout(45, 37, c.factors, c.scans);
    for (int scale : {1, 2}) {
      SCOPED_TRACE(std::string(c.name) + " scale " + std::to_string(scale));
      ReadSettings settings;
      settings.mode = scale == 1 ? READ_IMAGE_BUFFER : READ_HALF_BUFFER;
      const OurRead ours = decode_ours(jpeg, settings);
      ASSERT_EQ(ours.status, JPEG_SUCCESS);
      const Picture expected = decode_reference(jpeg, {false, false, scale});
      const int difference = max_difference(ours.picture, expected);
      EXPECT_GE(difference, 0);
      EXPECT_LE(difference, 3);
    }
  }
}

// Grey pictures of one cosine across (or down) every 8x8 block: each block
// holds its DC and a single AC coefficient in the first row (column), a
// shape random and natural pictures seldom give and that a shortcut for
// blocks without AC terms must not take for flat.
TEST(ReconstructionVsLibjpeg, BlocksWithOneCoefficientInTheFirstRowOrColumn) {
  for (int frequency = 1; frequency < 8; ++frequency) {
    for (const bool across : {true, false}) {
      std::vector<uint8_t> pixels;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
          pixels.push_back(static_cast<uint8_t>(
              128 + std::lround(90 * std::cos((2 * ((across ? x : y) % 8) + 1) * frequency * std::numbers::pi / 16))));
      EncodeOptions options;
      options.width = options.height = 16;
      options.components = 1;
      options.quality = 50;
      const std::vector<uint8_t> jpeg = encode_pixels(options, pixels);
      for (const Comparison& comparison : kComparisons) {
        SCOPED_TRACE(testing::Message() << frequency << (across ? " across " : " down ") << comparison.name);
        const OurRead ours = decode_ours(jpeg, comparison.ours);
        ASSERT_EQ(ours.status, JPEG_SUCCESS);
        const int difference = max_difference(ours.picture, decode_reference(jpeg, comparison.reference));
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, comparison.tolerance);
      }
    }
  }
}

}  // namespace
