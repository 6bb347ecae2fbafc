// Huffman table building (T.81 Annex C, F.2.2.3) and symbol decoding
// through the 8-bit lookup and the length-by-length search.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bit_reader.h"
#include "entropy_stream_writer.h"
#include "huffman_shared.h"
#include "huffman_table.h"
#include "local_bits.h"

namespace {

std::vector<uint8_t> Counts(std::initializer_list<std::pair<int, int>> length_counts) {
  std::vector<uint8_t> counts(16, 0);
  for (auto [length, count] : length_counts) counts[length - 1] = static_cast<uint8_t>(count);
  return counts;
}

std::vector<uint8_t> Iota(size_t n) {
  std::vector<uint8_t> values(n);
  for (size_t i = 0; i < n; ++i) values[i] = static_cast<uint8_t>(i);
  return values;
}

TEST(EntropyHuffmanTable, AcceptsUpTo257CodesAndRefuses258) {
  // 255 codes of 16 bits plus two of 15 and 9 bits fit the code space.
  const std::vector<uint8_t> values = Iota(258);
  HuffmanTable table{};
  const auto accepted = Counts({{9, 1}, {15, 1}, {16, 255}});
  EXPECT_EQ(build_huffman_table(accepted.data(), values.data(), 257, 1, 2, &table), 0);
  EXPECT_EQ(table.table_class, 1);
  EXPECT_EQ(table.id, 2);
  const auto refused = Counts({{9, 1}, {15, 2}, {16, 255}});
  EXPECT_EQ(build_huffman_table(refused.data(), values.data(), 258, 1, 2, &table), JPEG_ERR_BAD_HUFFMAN_TABLE);
}

TEST(EntropyHuffmanTable, RefusesTablesThatDoNotFitTheirSegmentOrCodeSpace) {
  const std::vector<uint8_t> values = Iota(18);
  HuffmanTable table{};
  // The counts promise 10 values, the segment holds 9.
  const auto ten = Counts({{4, 10}});
  EXPECT_EQ(build_huffman_table(ten.data(), values.data(), 9, 0, 0, &table), JPEG_ERR_BAD_HUFFMAN_TABLE);
  EXPECT_EQ(build_huffman_table(ten.data(), values.data(), 10, 0, 0, &table), 0);
  // Three codes of one bit cannot exist; neither can 1 of 1 bit plus 3 of 2.
  const auto three_of_one = Counts({{1, 3}});
  EXPECT_EQ(build_huffman_table(three_of_one.data(), values.data(), 16, 0, 0, &table),
            JPEG_ERR_BAD_HUFFMAN_TABLE);
  const auto overfull = Counts({{1, 1}, {2, 3}});
  EXPECT_EQ(build_huffman_table(overfull.data(), values.data(), 16, 0, 0, &table),
            JPEG_ERR_BAD_HUFFMAN_TABLE);
  // No code may be all ones (T.81 Annex C): 1 + 2 codes use 0, 10 and 11.
  const auto all_ones = Counts({{1, 1}, {2, 2}});
  EXPECT_EQ(build_huffman_table(all_ones.data(), values.data(), 16, 0, 0, &table),
            JPEG_ERR_BAD_HUFFMAN_TABLE);
  const auto full_16 = Counts({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1},
                               {9, 1}, {10, 1}, {11, 1}, {12, 1}, {13, 1}, {14, 1}, {15, 1}, {16, 2}});
  // All 17 values present: only the code space refuses it.
  EXPECT_EQ(build_huffman_table(full_16.data(), values.data(), 17, 0, 0, &table),
            JPEG_ERR_BAD_HUFFMAN_TABLE);
  // Overfilled at 16 bits only, after a length with no codes.
  const auto gap_then_16 = Counts({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1},
                                   {9, 1}, {10, 1}, {11, 1}, {12, 1}, {13, 1}, {14, 1}, {16, 4}});
  EXPECT_EQ(build_huffman_table(gap_then_16.data(), values.data(), 18, 0, 0, &table),
            JPEG_ERR_BAD_HUFFMAN_TABLE);
}

TEST(EntropyHuffmanTable, RefusedBuildLeavesThePreviousTable) {
  const std::vector<uint8_t> values = Iota(16);
  HuffmanTable table = make_huffman_table(Counts({{2, 3}}), {7, 8, 9});
  HuffmanTable before;
  std::memcpy(&before, &table, sizeof table);
  const auto overfull = Counts({{1, 3}});
  EXPECT_EQ(build_huffman_table(overfull.data(), values.data(), 16, 1, 3, &table),
            JPEG_ERR_BAD_HUFFMAN_TABLE);
  EXPECT_EQ(std::memcmp(&before, &table, sizeof table), 0);
}

// The process's kept tables give what the builder gives: contents that
// differ only in class, in the last symbol or in the slot, more contents than
// are kept, and refusals that leave the previous table.
TEST(EntropyHuffmanTable, KeptTablesEqualBuiltOnes) {
  struct Row { std::vector<uint8_t> counts; int last_value, table_class, id; size_t available; int32_t status; };
  std::vector<Row> rows;
  for (int content = 0; content < 12; ++content) {
    for (int table_class = 0; table_class < 2; ++table_class)
      rows.push_back({Counts({{2, 1}, {3, 4}, {6, 3}}), content, table_class, content % 4, 8, 0});
  }
  rows.push_back({Counts({{2, 1}, {3, 4}, {6, 3}}), 0, 1, 3, 7, JPEG_ERR_BAD_HUFFMAN_TABLE});
  rows.push_back({Counts({{1, 3}}), 0, 0, 1, 16, JPEG_ERR_BAD_HUFFMAN_TABLE});
  for (int round = 0; round < 2; ++round) {  // the second round finds every kept content
    for (size_t r = 0; r < rows.size(); ++r) {
      const Row& row = rows[r];
      std::vector<uint8_t> values(16);
      for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint8_t>(i);
      values[7] = static_cast<uint8_t>(7 + row.last_value);  // contents differ in their last symbol
      HuffmanTable built = make_huffman_table(Counts({{2, 3}}), {7, 8, 9});
      HuffmanTable kept = built;
      EXPECT_EQ(build_huffman_table(row.counts.data(), values.data(), row.available, row.table_class, row.id, &built),
                row.status);
      EXPECT_EQ(build_huffman_table_shared(row.counts.data(), values.data(), row.available, row.table_class, row.id,
                                           &kept), row.status) << r;
      const auto same = [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
      EXPECT_TRUE(kept.table_class == built.table_class && kept.id == built.id && same(kept.fast, built.fast) &&
                  same(kept.coefficients, built.coefficients) && same(kept.values, built.values) &&
                  same(kept.mincode, built.mincode) && same(kept.maxcode, built.maxcode) &&
                  same(kept.valptr, built.valptr)) << r;
    }
  }
}

TEST(EntropyHuffmanTable, OneBitCodeFillsTheUpperHalfOfTheFastTable) {
  const HuffmanTable table = make_huffman_table(Counts({{1, 1}}), {0x05});
  constexpr int kHalf = 1 << (kHuffmanFastBits - 1);
  for (int i = 0; i < kHalf; ++i) ASSERT_EQ(table.fast[i], (1u << 8) | 5u) << i;
  for (int i = kHalf; i < 2 * kHalf; ++i) ASSERT_EQ(table.fast[i], 0u) << i;
  EXPECT_EQ(table.maxcode[1], 0);
  EXPECT_EQ(table.maxcode[2], -1);
  EXPECT_EQ(table.maxcode[17], -1);
}

class EntropyHuffmanDecode : public ::testing::Test {
 protected:
  // Decodes `count` symbols from `bytes`, returning them.
  std::vector<int> DecodeAll(const HuffmanTable& table, const std::vector<uint8_t>& bytes, size_t count,
                             int* bits_left = nullptr) {
    input_reset_buffer(input_, bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::vector<int> symbols;
    BitReader bits(input_);
    for (size_t i = 0; i < count; ++i) {
      int symbol = -1;
      EXPECT_EQ(bits.decode(table, symbol), 0);
      symbols.push_back(symbol);
    }
    if (bits_left != nullptr) *bits_left = bits.count();
    return symbols;
  }
  JpegInput input_{};
};

TEST_F(EntropyHuffmanDecode, EveryCodeLengthFromOneTo16RoundTrips) {
  // One code of each length 1..16; the 16-bit one is 1111111111111110.
  const std::vector<uint8_t> counts(16, 1);
  const std::vector<uint8_t> values = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                       0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x01};
  const HuffmanTable table = make_huffman_table(counts, values);
  const HuffmanEncoder encoder(counts, values);
  EntropyStreamWriter out;
  std::vector<int> expected;
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < values.size(); ++i) {
      const uint8_t symbol = values[(i * 7 + round) % values.size()];
      encoder.Put(out, symbol);
      expected.push_back(symbol);
    }
  }
  out.PutMarker(0xD9);
  EXPECT_EQ(DecodeAll(table, out.bytes(), expected.size()), expected);
}

TEST_F(EntropyHuffmanDecode, CodeThatMatchesNoLengthIsSymbolZeroAfter16Bits) {
  // Only the code "0" exists; a run of ones matches nothing.
  const HuffmanTable table = make_huffman_table(Counts({{1, 1}}), {0x05});
  const std::vector<uint8_t> bytes = {0xFF, 0x00, 0xFF, 0x00, 0x7F, 0xFF, 0x00};
  int bits_left = 0;
  const std::vector<int> symbols = DecodeAll(table, bytes, 2, &bits_left);
  EXPECT_EQ(symbols, (std::vector<int>{0, 5}));
  EXPECT_EQ(bits_left, 32 - 16 - 1);
  // The block loops' fast window, through the length limits, alike.
  input_reset_buffer(input_, bytes.data(), static_cast<uint32_t>(bytes.size()));
  LocalBits fast(input_);
  ASSERT_TRUE(fast.have(kCodeStepBits));
  EXPECT_EQ(fast.symbol(table), 0);
  EXPECT_EQ(fast.symbol(table), 5);
  fast.store();
  EXPECT_EQ(input_.bit_count, 32 - 16 - 1);
}

TEST_F(EntropyHuffmanDecode, UndefinedTableDecodesEverySymbolAsZero) {
  const HuffmanTable zero{};
  const std::vector<uint8_t> bytes = {0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  EXPECT_EQ(DecodeAll(zero, bytes, 3), (std::vector<int>{0, 0, 0}));
}

// An empty block's codes: symbol 0x00's first code in each table, side by
// side; none when a table lacks it or both pass 31 bits.
TEST(EntropyHuffmanTable, EmptyBlockCodeJoinsTheCodesForSymbolZero) {
  struct Row {
    std::vector<uint8_t> dc_counts, dc_values, ac_counts, ac_values;
    uint32_t code;
    int bits;
  } const rows[] = {
      {Counts({{2, 3}}), {1, 0, 2}, Counts({{1, 1}, {2, 1}}), {1, 0}, 0b0110u << 28, 4},
      {Counts({{2, 3}}), {0, 0, 2}, Counts({{2, 2}}), {0, 0}, 0, 4},
      {Counts({{2, 3}}), {1, 3, 2}, Counts({{1, 1}, {2, 1}}), {1, 0}, 1, 0},
      {Counts({{2, 3}}), {1, 0, 2}, Counts({{1, 1}, {2, 1}}), {1, 2}, 1, 0},
      {Counts({{1, 1}, {16, 1}}), {1, 0}, Counts({{1, 1}, {15, 1}}), {1, 0}, 0x80008000u, 31},
      {Counts({{1, 1}, {16, 1}}), {1, 0}, Counts({{1, 1}, {16, 1}}), {1, 0}, 1, 0},
  };
  for (const Row& row : rows) {
    const EmptyBlockCode empty = empty_block_code(make_huffman_table(row.dc_counts, row.dc_values, 0),
                                                  make_huffman_table(row.ac_counts, row.ac_values, 1));
    EXPECT_EQ(empty.code, row.code) << row.bits;
    EXPECT_EQ(empty.bits, row.bits);
    EXPECT_EQ(empty.mask, row.bits == 0 ? 0 : ~0u << (32 - row.bits)) << row.bits;
  }
}

}  // namespace
