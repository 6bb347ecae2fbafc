// The coefficient lookup of the sequential decoder at its edges: values
// whose code and magnitude bits just fit the 10-bit lookup or just miss it,
// magnitudes of 7 and 8 bits (both in the entry's 16-bit value), runs, end of
// block symbols with a run nibble, and many blocks back to back, so that
// every symbol also meets the refill at another bit position.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "entropy_decode.h"
#include "entropy_stream_writer.h"
#include "entropy_tables.h"

namespace {

// DC: categories 0..11 with codes of 3, 4 and 5 bits.
const std::vector<uint8_t> kDcCounts = {0, 0, 4, 6, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kDcValues = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
// AC codes of 2, 3, 5 and 8 bits: with 7 magnitude bits a 3-bit code just
// fits 10 bits, a 5-bit code does not; 8 magnitude bits after a 2-bit code
// fit 10 bits and the entry; 0x10 ends a block like EOB.
const std::vector<uint8_t> kAcCounts = {0, 2, 2, 0, 3, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kAcValues = {0x00, 0x08, 0x01, 0x07, 0x13, 0x10, 0x27, 0x0A, 0xF0};

using Coefficients = std::vector<std::pair<uint8_t, int>>;  // (RS symbol, value)

int size_of(int value) {
  int size = 0;
  for (int magnitude = value < 0 ? -value : value; magnitude != 0; magnitude >>= 1) ++size;
  return size;
}

TEST(EntropyLookup, BlocksAtTheEdgesOfTheLookupDecodeToTheirCoefficients) {
  const Coefficients blocks[] = {
      {{0x07, 127}, {0x07, -127}, {0x07, 64}, {0x07, -64}, {0x00, 0}},
      {{0x08, 128}, {0x08, -255}, {0x08, 255}, {0x08, -128}, {0x10, 0}},
      {{0x13, 5}, {0x13, -7}, {0x27, 100}, {0x27, -65}, {0x00, 0}},
      {{0x0A, 1023}, {0x0A, -512}, {0x01, 1}, {0x01, -1}, {0xF0, 0}, {0x07, 70}, {0x00, 0}},
      {{0x01, -1}, {0x13, 4}, {0x10, 0}},
      {{0x00, 0}},
  };
  const HuffmanTable dc = make_huffman_table(kDcCounts, kDcValues, 0);
  const HuffmanTable ac = make_huffman_table(kAcCounts, kAcValues, 1);
  HuffmanEncoder dc_code(kDcCounts, kDcValues), ac_code(kAcCounts, kAcValues);
  EntropyStreamWriter out;
  const auto put_value = [&out](int value, int size) {
    if (size > 0) out.PutBits(static_cast<uint32_t>(value < 0 ? value + (1 << size) - 1 : value), size);
  };
  constexpr int kRounds = 23;  // shifts every block to other bit positions
  for (int round = 0; round < kRounds; ++round) {
    for (size_t b = 0; b < std::size(blocks); ++b) {
      const int diff = static_cast<int>(round * 37 + b * 11) % 2001 - 1000;
      dc_code.Put(out, static_cast<uint8_t>(size_of(diff)));
      put_value(diff, size_of(diff));
      for (const auto& [rs, value] : blocks[b]) {
        ac_code.Put(out, rs);
        put_value(value, rs & 0x0F);
      }
    }
  }
  out.PutMarker(0xD9);
  std::vector<uint8_t> bytes = out.bytes();
  JpegInput input{};
  input_reset_buffer(input, bytes.data(), static_cast<uint32_t>(bytes.size()));

  int16_t prediction = 0;
  int expected_prediction = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (size_t b = 0; b < std::size(blocks); ++b) {
      CoefficientBlock block;
      ASSERT_EQ(decode_block_sequential(input, dc, ac, prediction, block), 0);
      expected_prediction += static_cast<int>(round * 37 + b * 11) % 2001 - 1000;
      CoefficientBlock expected{};
      expected.coef[0] = static_cast<int16_t>(expected_prediction);
      int k = 1;
      for (const auto& [rs, value] : blocks[b]) {
        if ((rs & 0x0F) == 0) {
          if (rs != 0xF0) break;
          k += 16;
          continue;
        }
        k += rs >> 4;
        expected.coef[kZigzagToNatural[k++]] = static_cast<int16_t>(value);
      }
      for (int i = 0; i < 64; ++i) ASSERT_EQ(block.coef[i], expected.coef[i]) << "round " << round << " block " << b << " coefficient " << i;
    }
  }
}

}  // namespace
