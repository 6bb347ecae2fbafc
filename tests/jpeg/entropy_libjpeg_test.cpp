// Entropy decoding checked against libjpeg: streams that libjpeg encodes
// here (baseline, extended sequential, progressive with spectral selection
// and successive approximation, restart intervals, several samplings, odd
// sizes with partial edge MCUs) are read by our decoder with its
// coefficients kept, and every quantised block must equal what libjpeg's
// jpeg_read_coefficients returns.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "entropy_decode.h"
#include "huffman_standard.h"
#include "huffman_table.h"
#include "jpeg_corpus.h"
#include "jpeg_record.h"
#include "marker_stream.h"
#include "mcu_layout.h"
#include "temp_file.h"
#include "vktjpeg.h"

namespace {

struct LibjpegError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowLibjpegError(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  throw LibjpegError(message);
}

struct EncodeCase {
  std::string name;
  int width = 37;
  int height = 29;
  std::vector<std::pair<int, int>> factors = {{2, 2}, {1, 1}, {1, 1}};  // (H, V), one per component
  int quality = 75;
  bool extended = false;  // 16-bit quantisers: SOF1
  bool optimize = false;  // image-specific Huffman tables, longer codes
  int restart_interval = 0;
  bool simple_progression = false;
  std::vector<ScanEntry> script;  // custom progression when not empty
  bool from_file = false;              // read through the 4096-byte file buffer
  bool other_block_decoder = false;    // slot 55 holds another member than ours
};

// Another member in slot 55 (ours behind a counter): the scan loop must
// call it for every block.
int blocks_through_slot = 0;
JpegStatus CountedBlockDecoder(JpegInput& in, const HuffmanTable& dc_table, const HuffmanTable& ac_table,
                               int16_t& prediction, CoefficientBlock& block) {
  ++blocks_through_slot;
  return decode_block_sequential(in, dc_table, ac_table, prediction, block);
}

// Edges, gradients, flat areas and noise, so that both long EOB runs and
// dense blocks occur.
std::vector<uint8_t> MakePattern(int width, int height, int components) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * components);
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        noise = noise * 1103515245u + 12345u;
        int value;
        if (y < height / 3) {
          value = 128 + 20 * c;  // flat: empty AC bands
        } else if (x < width / 2) {
          value = ((x / 3 + y / 5 + c) % 2) * 200 + 20;  // sharp edges
        } else {
          value = (x * 9 + y * 5 + c * 60) % 256 + static_cast<int>((noise >> 16) % 40) - 20;
        }
        pixels[(static_cast<size_t>(y) * width + x) * components + c] =
            static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
  return pixels;
}

std::vector<uint8_t> Encode(const EncodeCase& test) {
  EncodeOptions options;
  options.width = test.width;
  options.height = test.height;
  options.factors = test.factors;
  options.quality = test.quality;
  options.extended = test.extended;
  options.optimize = test.optimize;
  options.restart_interval = test.restart_interval;
  options.progressive = test.simple_progression;
  options.scans = test.script;
  std::vector<uint8_t> out =
      encode_pixels(options, MakePattern(test.width, test.height, static_cast<int>(test.factors.size())));
  if (out.empty()) ADD_FAILURE() << "libjpeg cannot encode " << test.name;
  return out;
}

// Quantised blocks of one component, block rows top first.
struct ComponentBlocks {
  uint32_t wide = 0;
  uint32_t high = 0;
  std::vector<std::array<int16_t, 64>> blocks;
};

std::vector<ComponentBlocks> ReferenceCoefficients(const std::vector<uint8_t>& jpeg) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  error.error_exit = ThrowLibjpegError;
  std::vector<ComponentBlocks> result;
  jpeg_create_decompress(&info);
  try {
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
    for (int c = 0; c < info.num_components; ++c) {
      const jpeg_component_info& component = info.comp_info[c];
      ComponentBlocks blocks;
      blocks.wide = component.width_in_blocks;
      blocks.high = component.height_in_blocks;
      for (uint32_t row = 0; row < blocks.high; ++row) {
        JBLOCKARRAY rows = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info),
                                                           arrays[c], row, 1, FALSE);
        for (uint32_t column = 0; column < blocks.wide; ++column) {
          std::array<int16_t, 64>& block = blocks.blocks.emplace_back();
          for (int k = 0; k < 64; ++k) block[k] = rows[0][column][k];
        }
      }
      result.push_back(std::move(blocks));
    }
    jpeg_finish_decompress(&info);
  } catch (const LibjpegError& e) {
    ADD_FAILURE() << "libjpeg cannot read the coefficients: " << e.what();
  }
  jpeg_destroy_decompress(&info);
  return result;
}

// Runs our whole-image read with the coefficients kept and compares them
// with libjpeg's, block by block.
void ExpectSameCoefficients(const EncodeCase& test) {
  SCOPED_TRACE(test.name);
  const std::vector<uint8_t> jpeg = Encode(test);
  ASSERT_FALSE(jpeg.empty());
  const std::vector<ComponentBlocks> reference = ReferenceCoefficients(jpeg);
  ASSERT_EQ(reference.size(), test.factors.size());

  JPEG_PROPERTIES properties{};
  ASSERT_EQ(JpegInit(&properties), JPEG_SUCCESS);
  DecoderState& state = state_of(properties);
  state.keep_coefficients = 1;
  blocks_through_slot = 0;
  if (test.other_block_decoder) state.ops.decode_block = CountedBlockDecoder;
  const int channels = test.factors.size() == 4 ? 4 : 3;
  std::vector<uint8_t> picture(static_cast<size_t>(test.width) * test.height * channels);
  // A file of its own: the suite runs once per processor kind in parallel.
  std::unique_ptr<TempFile> file;
  if (test.from_file) {
    file = std::make_unique<TempFile>(jpeg);
    properties.jpeg_file_name = file->path();
  }
  properties.jpeg_bytes = jpeg.data();
  properties.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
  properties.jpeg_channels = static_cast<uint32_t>(test.factors.size());
  properties.jpeg_color = test.factors.size() == 1 ? COLOR_GRAY : test.factors.size() == 3 ? COLOR_YCBCR : COLOR_FOUR;
  properties.picture_bytes = picture.data();
  properties.picture_width = static_cast<uint32_t>(test.width);
  properties.picture_height = test.height;
  properties.picture_channels = static_cast<uint32_t>(channels);
  properties.picture_color = channels == 4 ? COLOR_FOUR : COLOR_BGR;
  const JpegStatus status = JpegRead(&properties, test.from_file ? READ_IMAGE_FILE : READ_IMAGE_BUFFER);
  EXPECT_EQ(status, JPEG_SUCCESS);
  ASSERT_NE(state.coefficients, nullptr);
  if (test.other_block_decoder) {
    EXPECT_EQ(static_cast<size_t>(blocks_through_slot), whole_image_blocks(state.frame));
  }

  const FrameInfo& frame = state.frame;
  ASSERT_EQ(frame.component_count, reference.size());
  for (uint32_t c = 0; c < frame.component_count; ++c) {
    const ComponentBlocks& expected = reference[c];
    ASSERT_EQ(component_blocks_wide(frame, c), expected.wide) << "component " << c;
    ASSERT_EQ(component_blocks_high(frame, c), expected.high) << "component " << c;
    const ScanComponentPlan plan = frame_component_plan(frame, c);
    int mismatched = 0;
    for (uint32_t row = 0; row < expected.high; ++row) {
      for (uint32_t column = 0; column < expected.wide; ++column) {
        const size_t index = whole_image_block(plan, row, column);
        ASSERT_LT(index, state.coefficient_blocks);
        const CoefficientBlock& ours = state.coefficients[index];
        const std::array<int16_t, 64>& theirs = expected.blocks[row * expected.wide + column];
        for (int k = 0; k < 64; ++k) {
          if (ours.coef[k] != theirs[k] && ++mismatched <= 5) {
            ADD_FAILURE() << "component " << c << " block row " << row << " column " << column
                          << " coefficient " << k << ": ours " << ours.coef[k] << ", libjpeg " << theirs[k];
          }
        }
      }
    }
    EXPECT_EQ(mismatched, 0) << "component " << c;
  }
  EXPECT_EQ(JpegFree(&properties), JPEG_SUCCESS);
}

ScanEntry Scan(std::initializer_list<int> components, int ss, int se, int ah, int al) {
  return ScanEntry{components, ss, se, ah, al};
}

TEST(EntropyLibjpeg, SequentialSamplingsAtOddSizes) {
  EncodeCase test;
  test.name = "baseline 4:2:0";
  ExpectSameCoefficients(test);
  test.name = "baseline 4:2:0 through another block decoder";
  test.other_block_decoder = true;
  ExpectSameCoefficients(test);
  test.other_block_decoder = false;
  test.name = "baseline 4:2:2";
  test.factors = {{2, 1}, {1, 1}, {1, 1}};
  ExpectSameCoefficients(test);
  test.name = "baseline 4:4:4";
  test.factors = {{1, 1}, {1, 1}, {1, 1}};
  ExpectSameCoefficients(test);
  test.name = "baseline 4:4:0";
  test.factors = {{1, 2}, {1, 1}, {1, 1}};
  ExpectSameCoefficients(test);
  test.name = "grey";
  test.factors = {{1, 1}};
  ExpectSameCoefficients(test);
  test.name = "four components, two subsampled";
  test.factors = {{2, 2}, {1, 1}, {1, 1}, {2, 2}};
  ExpectSameCoefficients(test);
  test.name = "chroma at a finer grid than luma";
  test.factors = {{1, 1}, {2, 2}, {1, 2}};
  test.width = 45;
  test.height = 19;
  ExpectSameCoefficients(test);
}

TEST(EntropyLibjpeg, ExtendedSequentialAndOptimisedTables) {
  EncodeCase test;
  test.name = "extended sequential, 16-bit quantisers";
  test.extended = true;
  test.quality = 3;
  ExpectSameCoefficients(test);
  test.name = "optimised tables at high quality";
  test.extended = false;
  test.quality = 98;
  test.optimize = true;
  test.width = 123;
  test.height = 77;
  ExpectSameCoefficients(test);
  test.name = "quality 100 grey";
  test.quality = 100;
  test.factors = {{1, 1}};
  ExpectSameCoefficients(test);
}

TEST(EntropyLibjpeg, SequentialScanPerComponent) {
  EncodeCase test;
  test.name = "three sequential scans, 4:2:0, restarts";
  test.script = {Scan({0}, 0, 63, 0, 0), Scan({2}, 0, 63, 0, 0), Scan({1}, 0, 63, 0, 0)};
  test.restart_interval = 4;
  ExpectSameCoefficients(test);
  test.name = "luma alone, then both chroma interleaved";
  test.script = {Scan({0}, 0, 63, 0, 0), Scan({1, 2}, 0, 63, 0, 0)};
  test.restart_interval = 0;
  ExpectSameCoefficients(test);
}

TEST(EntropyLibjpeg, RestartIntervals) {
  EncodeCase test;
  for (int interval : {1, 2, 3, 7}) {
    test.name = "4:2:0 restart " + std::to_string(interval);
    test.factors = {{2, 2}, {1, 1}, {1, 1}};
    test.restart_interval = interval;
    ExpectSameCoefficients(test);
    test.name = "4:2:2 restart " + std::to_string(interval);
    test.factors = {{2, 1}, {1, 1}, {1, 1}};
    ExpectSameCoefficients(test);
  }
  test.name = "grey restart 5";
  test.factors = {{1, 1}};
  test.restart_interval = 5;
  ExpectSameCoefficients(test);
}

TEST(EntropyLibjpeg, SimpleProgression) {
  EncodeCase test;
  test.simple_progression = true;
  test.name = "progressive 4:2:0";
  ExpectSameCoefficients(test);
  test.name = "progressive 4:4:4";
  test.factors = {{1, 1}, {1, 1}, {1, 1}};
  ExpectSameCoefficients(test);
  test.name = "progressive grey";
  test.factors = {{1, 1}};
  ExpectSameCoefficients(test);
  test.name = "progressive 4:2:2 large, optimised";
  test.factors = {{2, 1}, {1, 1}, {1, 1}};
  test.width = 203;
  test.height = 141;
  test.optimize = true;
  ExpectSameCoefficients(test);
}

TEST(EntropyLibjpeg, SpectralSelectionOnly) {
  EncodeCase test;
  test.name = "spectral selection without approximation";
  test.script = {Scan({0, 1, 2}, 0, 0, 0, 0), Scan({0}, 1, 5, 0, 0),  Scan({0}, 6, 63, 0, 0),
                 Scan({1}, 1, 63, 0, 0),       Scan({2}, 1, 2, 0, 0),   Scan({2}, 3, 63, 0, 0)};
  ExpectSameCoefficients(test);
  // Chroma's DC table is another than luma's: each scan takes its own.
  test.name = "DC first scans one component at a time";
  test.script = {Scan({0}, 0, 0, 0, 0), Scan({2}, 0, 0, 0, 0), Scan({1}, 0, 0, 0, 0),
                 Scan({0}, 1, 63, 0, 0), Scan({1}, 1, 63, 0, 0), Scan({2}, 1, 63, 0, 0)};
  ExpectSameCoefficients(test);
}

TEST(EntropyLibjpeg, DeepSuccessiveApproximation) {
  EncodeCase test;
  test.name = "successive approximation, DC first scans split";
  test.script = {Scan({0}, 0, 0, 0, 3),       Scan({1, 2}, 0, 0, 0, 3),   Scan({0}, 1, 9, 0, 4),
                 Scan({0}, 10, 63, 0, 2),     Scan({1}, 1, 63, 0, 3),     Scan({2}, 1, 63, 0, 1),
                 Scan({0, 1, 2}, 0, 0, 3, 2), Scan({0}, 1, 9, 4, 3),      Scan({0}, 1, 9, 3, 2),
                 Scan({0, 1, 2}, 0, 0, 2, 1), Scan({0}, 1, 9, 2, 1),      Scan({0}, 10, 63, 2, 1),
                 Scan({1}, 1, 63, 3, 2),      Scan({1}, 1, 63, 2, 1),     Scan({0, 1, 2}, 0, 0, 1, 0),
                 Scan({0}, 1, 9, 1, 0),       Scan({0}, 10, 63, 1, 0),    Scan({1}, 1, 63, 1, 0),
                 Scan({2}, 1, 63, 1, 0)};
  ExpectSameCoefficients(test);
  test.name = "successive approximation with optimised tables and restarts";
  test.optimize = true;
  test.restart_interval = 3;
  test.width = 97;
  test.height = 61;
  ExpectSameCoefficients(test);
}

TEST(EntropyLibjpeg, ProgressiveWithRestartIntervals) {
  EncodeCase test;
  test.simple_progression = true;
  for (int interval : {1, 4}) {
    test.name = "progressive 4:2:0 restart " + std::to_string(interval);
    test.restart_interval = interval;
    ExpectSameCoefficients(test);
  }
  test.name = "progressive grey restart 2, long EOB runs";
  test.factors = {{1, 1}};
  test.width = 160;
  test.height = 120;
  test.restart_interval = 2;
  ExpectSameCoefficients(test);
}

TEST(EntropyLibjpeg, FileInputAcrossBufferRefills) {
  EncodeCase test;
  test.from_file = true;
  test.width = 203;
  test.height = 141;
  test.quality = 95;
  test.name = "baseline from a file";
  test.restart_interval = 5;
  ExpectSameCoefficients(test);
  test.name = "progressive from a file";
  test.simple_progression = true;
  ExpectSameCoefficients(test);
}

}  // namespace

// Tables a scan uses that no DHT defined: ids 0 and 1 take the standard
// ones, equal to those libjpeg writes when it does not optimise; ids 2
// and 3 refuse the scan. A DC refinement uses no table, a DC first scan
// no AC table, an AC scan no DC table.
TEST(EntropyHuffmanTable, UndefinedTablesOfAScanTakeTheStandardOnesOrAreRefused) {
  DecoderRecord libjpeg;
  ASSERT_EQ(libjpeg.read_buffer(encode_jpeg(EncodeOptions{})), JPEG_SUCCESS);
  auto codes = [](const HuffmanTable& t) {  // HUFFVAL and the code ranges per length
    return std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(t.values), reinterpret_cast<const uint8_t*>(t.valptr + 17));
  };
  // Scan Ss, Se, Ah, Td << 4 | Ta; the status; the tables defined after it (DC ids in bits 0..3, AC in 4..7).
  struct Case { uint32_t ss, se, ah, tables; JpegStatus status; uint32_t defined; };
  const Case cases[] = {{0, 63, 0, 0x00, JPEG_SUCCESS, 0x11}, {0, 63, 0, 0x11, JPEG_SUCCESS, 0x22},
                        {0, 63, 0, 0x20, JPEG_ERR_NO_HUFFMAN_TABLE, 0}, {0, 63, 0, 0x13, JPEG_ERR_NO_HUFFMAN_TABLE, 0x02},
                        {0, 0, 0, 0x23, JPEG_ERR_NO_HUFFMAN_TABLE, 0}, {0, 0, 0, 0x13, JPEG_SUCCESS, 0x02},
                        {0, 0, 1, 0x23, JPEG_SUCCESS, 0},        {1, 5, 0, 0x21, JPEG_SUCCESS, 0x20}};
  for (const Case& c : cases) {
    DecoderRecord record;
    ScanInfo scan{1, c.ss, c.se, c.ah, 0, 0, 0, 0, {}, {}};
    scan.components[0].dc_table = c.tables >> 4;
    scan.components[0].ac_table = c.tables & 15;
    EXPECT_EQ(supply_standard_huffman_tables(record.state(), scan), c.status) << c.tables;
    EXPECT_EQ(record.state().huffman_defined, c.defined) << c.tables;
    for (uint32_t id = 0; id < 2; ++id) {
      EXPECT_TRUE(!(c.defined >> id & 1) || codes(dc_table(record.state(), id)) == codes(dc_table(libjpeg.state(), id)));
      EXPECT_TRUE(!(c.defined >> id & 16) || codes(ac_table(record.state(), id)) == codes(ac_table(libjpeg.state(), id)));
    }
  }
}
