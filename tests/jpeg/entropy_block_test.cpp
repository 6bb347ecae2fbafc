// Block routines on hand-made streams: sequential blocks at the edges of
// the zigzag sequence, DC prediction arithmetic, markers inside a block,
// DC-only decoding, progressive end-of-band runs and refinement.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "entropy_decode.h"
#include "entropy_stream_writer.h"
#include "entropy_tables.h"

namespace {

// DC table: categories 0..11 with codes of 4 bits.
const std::vector<uint8_t> kDcCounts = {0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kDcValues = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
// AC table: EOB, ZRL, run 0/size 1, run 15/size 1, EOB runs 0x10 and 0x20.
const std::vector<uint8_t> kAcCounts = {0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// 0x02 (size 2) is no refinement symbol: a refinement reads one bit after it all the same.
const std::vector<uint8_t> kAcValues = {0x00, 0xF0, 0x01, 0xF1, 0x10, 0x20, 0x02};

class EntropyBlock : public ::testing::Test {
 protected:
  EntropyBlock()
      : dc_(make_huffman_table(kDcCounts, kDcValues, 0)),
        ac_(make_huffman_table(kAcCounts, kAcValues, 1)),
        dc_code_(kDcCounts, kDcValues),
        ac_code_(kAcCounts, kAcValues) {}

  // DC difference `diff` (|diff| < 2048) as category and magnitude bits.
  void PutDc(int diff) {
    int size = 0;
    for (int magnitude = diff < 0 ? -diff : diff; magnitude != 0; magnitude >>= 1) ++size;
    dc_code_.Put(out_, static_cast<uint8_t>(size));
    const int bits = diff < 0 ? diff + (1 << size) - 1 : diff;
    out_.PutBits(static_cast<uint32_t>(bits), size);
  }
  void PutAc(uint8_t rs, int bits = -1, int bit_count = 0) {
    ac_code_.Put(out_, rs);
    if (bit_count > 0) out_.PutBits(static_cast<uint32_t>(bits), bit_count);
  }
  void Start() {
    bytes_ = out_.bytes();
    input_reset_buffer(input_, bytes_.data(), static_cast<uint32_t>(bytes_.size()));
  }

  HuffmanTable dc_, ac_;
  HuffmanEncoder dc_code_, ac_code_;
  EntropyStreamWriter out_;
  std::vector<uint8_t> bytes_;
  JpegInput input_{};
};

TEST_F(EntropyBlock, AcRunEndingAtCoefficient63NeedsNoEob) {
  PutDc(5);
  for (int k = 1; k < 64; ++k) PutAc(0x01, k & 1, 1);  // +1 and -1 alternating
  PutDc(-3);                                          // the next block, no EOB in between
  PutAc(0x00);
  out_.PutMarker(0xD9);
  Start();
  int16_t prediction = 0;
  CoefficientBlock block;
  ASSERT_EQ(decode_block_sequential(input_, dc_, ac_, prediction, block), 0);
  EXPECT_EQ(block.coef[0], 5);
  for (int k = 1; k < 64; ++k) ASSERT_EQ(block.coef[kZigzagToNatural[k]], (k & 1) ? 1 : -1) << k;
  ASSERT_EQ(decode_block_sequential(input_, dc_, ac_, prediction, block), 0);
  EXPECT_EQ(prediction, 2);
  EXPECT_EQ(block.coef[0], 2);
}

TEST_F(EntropyBlock, RunPastTheLastCoefficientLandsOnCoefficient63) {
  PutDc(0);
  PutAc(0x01, 1, 1);                            // k = 1
  for (int i = 0; i < 3; ++i) PutAc(0xF0);      // k = 2 + 48 = 50
  PutAc(0xF1, 1, 1);                            // run 15 from 50: position 65
  PutDc(1);
  PutAc(0x00);
  out_.PutMarker(0xD9);
  Start();
  int16_t prediction = 0;
  CoefficientBlock block;
  ASSERT_EQ(decode_block_sequential(input_, dc_, ac_, prediction, block), 0);
  EXPECT_EQ(block.coef[kZigzagToNatural[1]], 1);
  EXPECT_EQ(block.coef[63], 1);
  int nonzero = 0;
  for (int16_t c : block.coef) nonzero += c != 0;
  EXPECT_EQ(nonzero, 2);
  // The block ended there: the next one starts at the right bit.
  ASSERT_EQ(decode_block_sequential(input_, dc_, ac_, prediction, block), 0);
  EXPECT_EQ(block.coef[0], 1);
}

TEST_F(EntropyBlock, DcPredictionWrapsAt16Bits) {
  PutDc(1);
  PutAc(0x00);
  out_.PutMarker(0xD9);
  Start();
  int16_t prediction = 32767;
  CoefficientBlock block;
  ASSERT_EQ(decode_block_sequential(input_, dc_, ac_, prediction, block), 0);
  EXPECT_EQ(prediction, -32768);
  EXPECT_EQ(block.coef[0], -32768);
}

TEST_F(EntropyBlock, MarkerInsideABlockEndsItWithSuccess) {
  PutDc(7);
  PutAc(0x01, 1, 1);
  out_.PutMarker(0xD3);  // the AC data stops here, without EOB
  Start();
  int16_t prediction = 0;
  CoefficientBlock block;
  for (int16_t& c : block.coef) c = 99;
  ASSERT_EQ(decode_block_sequential(input_, dc_, ac_, prediction, block), 0);
  EXPECT_EQ(block.coef[0], 7);
  EXPECT_EQ(block.coef[1], 1);
  for (int i = 2; i < 64; ++i) ASSERT_EQ(block.coef[i], 0) << i;
  EXPECT_EQ(input_.pending_marker, 0xD3);
  // Later blocks of the scan find only the marker: they end at once.
  ASSERT_EQ(decode_block_sequential(input_, dc_, ac_, prediction, block), 0);
  EXPECT_EQ(prediction, 7);
}

TEST_F(EntropyBlock, DcOnlyDecodingKeepsPredictionAndPositionOfTheFullDecoder) {
  for (int b = 0; b < 3; ++b) {
    PutDc(100 - 70 * b);
    for (int k = 0; k < 5 + b; ++k) PutAc(0x01, k & 1, 1);
    PutAc(0xF1, 0, 1);
    PutAc(0x00);
  }
  out_.PutMarker(0xD9);
  Start();
  int16_t prediction = 0;
  CoefficientBlock blocks[3];
  std::vector<int64_t> positions;
  std::vector<int> counts;
  for (CoefficientBlock& block : blocks) {
    ASSERT_EQ(decode_block_sequential(input_, dc_, ac_, prediction, block), 0);
    positions.push_back(input_.position);
    counts.push_back(input_.bit_count);
  }
  const int16_t full_prediction = prediction;
  // The MCU form: the same blocks, prediction and position in one call.
  Start();
  prediction = 0;
  const SequentialBlock sequence[3] = {{&dc_, &ac_, &prediction}, {&dc_, &ac_, &prediction}, {&dc_, &ac_, &prediction}};
  CoefficientBlock mcu[3];
  ASSERT_EQ(decode_blocks_sequential(input_, sequence, 3, mcu), 0);
  for (int b = 0; b < 3; ++b) EXPECT_EQ(std::memcmp(mcu[b].coef, blocks[b].coef, sizeof mcu[b].coef), 0) << b;
  EXPECT_EQ(input_.position, positions[2]);
  EXPECT_EQ(input_.bit_count, counts[2]);
  EXPECT_EQ(prediction, full_prediction);
  Start();
  prediction = 0;
  for (int b = 0; b < 3; ++b) {
    int16_t dc = 0;
    ASSERT_EQ(decode_block_dc_only(input_, dc_, ac_, prediction, dc), 0);
    EXPECT_EQ(dc, prediction);
    EXPECT_EQ(input_.position, positions[b]);
    EXPECT_EQ(input_.bit_count, counts[b]);
  }
  EXPECT_EQ(prediction, full_prediction);
  EXPECT_EQ(prediction, 100 + 30 - 40);
}

TEST_F(EntropyBlock, EobRunOfFourFromSymbol0x20AndBits01) {
  PutAc(0x20, 0b01, 2);  // EOBRUN = 4 + 1, this block included
  PutAc(0x01, 1, 1);     // first coefficient of the sixth block
  PutAc(0x00);
  out_.PutMarker(0xD9);
  Start();
  CoefficientBlock block{};
  ASSERT_EQ(decode_ac_first_blocks(input_, ac_, 1, 63, 0, &block, 1), 0);
  EXPECT_EQ(input_.eob_run, 4);
  const int64_t position = input_.position;
  const int bit_count = input_.bit_count;
  for (int skipped = 0; skipped < 4; ++skipped) {
    CoefficientBlock untouched;
    for (int16_t& c : untouched.coef) c = 3;
    ASSERT_EQ(decode_ac_first_blocks(input_, ac_, 1, 63, 0, &untouched, 1), 0);
    for (int16_t c : untouched.coef) ASSERT_EQ(c, 3);
  }
  EXPECT_EQ(input_.eob_run, 0);
  EXPECT_EQ(input_.position, position);
  EXPECT_EQ(input_.bit_count, bit_count);
  CoefficientBlock sixth{};
  ASSERT_EQ(decode_ac_first_blocks(input_, ac_, 1, 63, 2, &sixth, 1), 0);
  EXPECT_EQ(sixth.coef[kZigzagToNatural[1]], 1 << 2);  // shifted by Al = 2
}

// One call over a run of blocks: an end-of-band run passes its blocks
// inside the call and the block after it is decoded; a marker ends the
// block it falls in, and the later blocks stay as they were.
TEST_F(EntropyBlock, RunOfBlocksPassesEobRunAndStopsAtMarker) {
  PutAc(0x01, 1, 1);     // block 0: +1 at position 1
  PutAc(0x10, 0b0, 1);   // EOBRUN 2: the rest of block 0 and block 1
  PutAc(0x01, 0, 1);     // block 2: -1 at position 1, then the data ends
  out_.PutMarker(0xD9);
  Start();
  CoefficientBlock blocks[4];
  for (CoefficientBlock& block : blocks)
    for (int16_t& c : block.coef) c = 0;
  blocks[3].coef[kZigzagToNatural[1]] = 7;
  ASSERT_EQ(decode_ac_first_blocks(input_, ac_, 1, 63, 1, blocks, 4), 0);
  EXPECT_EQ(blocks[0].coef[kZigzagToNatural[1]], 2);  // shifted by Al = 1
  EXPECT_EQ(blocks[1].coef[kZigzagToNatural[1]], 0);
  EXPECT_EQ(blocks[2].coef[kZigzagToNatural[1]], -2);
  EXPECT_EQ(blocks[3].coef[kZigzagToNatural[1]], 7);
  EXPECT_EQ(input_.eob_run, 0);
}

TEST_F(EntropyBlock, ProgressiveRunsPastTheBandStayInsideTheBlock) {
  PutAc(0xF1, 1, 1);  // band 63..63: run 15 reaches position 78
  out_.PutMarker(0xD9);
  Start();
  CoefficientBlock block{};
  ASSERT_EQ(decode_ac_first_blocks(input_, ac_, 63, 63, 0, &block, 1), 0);
  EXPECT_EQ(block.coef[63], 1);
  EXPECT_EQ(input_.eob_run, 0);
}

// AC refinement at Al = 1 (steps of 2), one block per row: correction bits
// of the non-zero coefficients in zigzag order (after a new value's sign
// bit), a new value after `run` zero-history positions, one that finds
// none left in the band landing at Se + 1 as in libjpeg, and a correction
// bit of 1 on a coefficient that has that bit already; a run whose target
// lies past the next 16 positions, more than 32 correction bits in a row,
// and a marker that cuts the correction bits short.
TEST_F(EntropyBlock, RefinementCorrectsNonZeroCoefficientsAndPlacesNewOnes) {
  struct Code {
    int rs;  // -1: bits only
    uint32_t bits;
    int bit_count;
  };
  using Values = std::vector<std::pair<int, int>>;  // zigzag position, value
  // Positions from..to holding one value, for each (from, to, value).
  const auto spans = [](std::initializer_list<std::array<int, 3>> list) {
    Values values;
    for (const auto& [from, to, value] : list)
      for (int k = from; k <= to; ++k) values.push_back({k, value});
    return values;
  };
  struct Row {
    const char* name;
    int ss, se;
    Values before;
    std::vector<Code> codes;
    Values after;
    int eob_run;
  };
  const Row rows[] = {
      {"new value after a correction, then EOB", 1, 5, {{1, 4}, {3, -4}},
       {{0x01, 0b11, 2}, {0x00, 0, 0}, {-1, 1, 1}}, {{1, 6}, {2, 2}, {3, -6}}, 0},
      {"no zero-history position left: Se + 1", 1, 3, {{1, 4}}, {{0xF1, 0b00, 2}}, {{1, 4}, {4, -2}}, 0},
      {"end-of-band run, bit already set", 1, 63, {{2, 6}, {63, -4}}, {{0x10, 0b111, 3}}, {{2, 6}, {63, -6}}, 2},
      {"run of 15 past the next 16 positions", 1, 63, {{2, 4}}, {{0xF1, 0b01, 2}}, {{2, 6}, {17, -2}}, 0},
      {"40 correction bits in a row", 1, 63, spans({{1, 40, -4}}), {{0x00, 0, 0}, {-1, ~0u, 32}, {-1, 0b10000000, 8}},
       spans({{1, 32, -6}, {33, 33, -6}, {34, 40, -4}}), 0},
      {"marker after 5 correction bits", 1, 63, spans({{1, 40, 4}}), {{0x00, 0, 0}, {-1, 0b10100, 5}},
       spans({{1, 1, 6}, {2, 2, 4}, {3, 3, 6}, {4, 40, 4}}), 1},
      // The bit after the one read would make a size-2 magnitude of -2 or +2.
      {"size 2 reads one bit: negative", 1, 5, {}, {{0x02, 0, 1}, {0x20, 0, 2}}, {{1, -2}}, 3},
      {"size 2 reads one bit: positive", 1, 5, {}, {{0x02, 1, 1}, {0x01, 1, 1}, {0x00, 0, 0}}, {{1, 2}, {2, 2}}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    out_ = EntropyStreamWriter();
    for (const Code& code : row.codes) {
      if (code.rs >= 0) ac_code_.Put(out_, static_cast<uint8_t>(code.rs));
      if (code.bit_count > 0) out_.PutBits(code.bits, code.bit_count);
    }
    out_.PutMarker(0xD9);
    input_ = JpegInput{};
    Start();
    CoefficientBlock block{}, expected{};
    for (const auto& [k, value] : row.before) block.coef[kZigzagToNatural[k]] = static_cast<int16_t>(value);
    for (const auto& [k, value] : row.after) expected.coef[kZigzagToNatural[k]] = static_cast<int16_t>(value);
    ASSERT_EQ(decode_ac_refine_blocks(input_, ac_, row.ss, row.se, 1, zigzag_nonzero_mask, &block, 1), 0);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(block.coef[i], expected.coef[i]) << i;
    EXPECT_EQ(input_.eob_run, row.eob_run);
  }
}

}  // namespace
