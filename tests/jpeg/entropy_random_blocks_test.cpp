// Thousands of random blocks through the sequential block decoders, with
// tables of the usual shape (AC codes of 2 to 16 bits, magnitudes up to
// 10 bits): dense and sparse blocks, zero runs past 15 (ZRL), blocks that
// end at coefficient 63 without EOB. Random bits make stuffed 0xFF bytes at
// every distance from the decoder's refills, so each block is decoded with
// every alignment of its symbols to the buffered bits, to the refill groups
// and to the end of the data; every block that lies whole before the end
// must come out with its coefficients, through every kind of ending and
// through buffer and file input alike, with and without a pair lookup.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <memory>
#include <random>
#include <vector>

#include "entropy_decode.h"
#include "entropy_stream_writer.h"
#include "entropy_tables.h"
#include "temp_file.h"

namespace {

// DC categories 0..11; AC: EOB, ZRL and every run/size with sizes 1..10,
// with the code lengths of the usual luminance table (2 to 16 bits).
const std::vector<uint8_t> kDcCounts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kAcCounts = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 125};

std::vector<uint8_t> dc_values() {
  std::vector<uint8_t> values;
  for (int size = 0; size <= 11; ++size) values.push_back(static_cast<uint8_t>(size));
  return values;
}

// Short codes for short runs and small sizes, as real tables have them.
std::vector<uint8_t> ac_values() {
  std::vector<uint8_t> values = {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x21, 0x12, 0x31};
  for (int size = 1; size <= 10; ++size) {
    for (int run = 0; run <= 15; ++run) {
      const uint8_t symbol = static_cast<uint8_t>(run << 4 | size);
      bool listed = false;
      for (uint8_t v : values) listed |= v == symbol;
      if (!listed) values.push_back(symbol);
    }
    if (size == 2) values.push_back(0xF0);
  }
  return values;
}

int size_of(int value) {
  int size = 0;
  for (int magnitude = value < 0 ? -value : value; magnitude != 0; magnitude >>= 1) ++size;
  return size;
}

struct RandomBlocks {
  std::vector<std::array<int16_t, 64>> natural;  // expected coefficients, DC as the running prediction
  std::vector<size_t> end_byte;  // bytes written when each block was complete (its last bits included)
  std::vector<uint8_t> bytes;
};

// `count` blocks from `seed`; the stream stays unterminated.
RandomBlocks make_blocks(uint32_t seed, int count, EntropyStreamWriter& out) {
  std::mt19937 random(seed);
  const HuffmanEncoder dc_code(kDcCounts, dc_values()), ac_code(kAcCounts, ac_values());
  const auto put_value = [&out](int value, int size) {
    if (size > 0) out.PutBits(static_cast<uint32_t>(value < 0 ? value + (1 << size) - 1 : value), size);
  };
  RandomBlocks blocks;
  int prediction = 0;
  for (int b = 0; b < count; ++b) {
    std::array<int16_t, 64> zigzag{};
    const int kind = static_cast<int>(random() % 5);
    const int diff = static_cast<int>(random() % 4001) - 2000;
    for (int k = 1; k < 64; ++k) {
      const uint32_t r = random();
      int value = 0;
      if (kind == 0 && r % 3 != 0) value = static_cast<int>(r % 15) - 7;              // dense, small
      else if (kind == 1 && r % 19 == 0) value = static_cast<int>(r % 2047) - 1023;  // sparse, large
      else if (kind == 2 && (k == 63 || r % 7 == 0)) value = static_cast<int>(r % 61) - 30;  // ends at 63
      else if (kind == 3 && r % 2 == 0) value = (r & 64 ? 1 : -1) * static_cast<int>(8 + r % 53);  // codes of ~10 bits
      zigzag[k] = static_cast<int16_t>(value);
    }
    // Kind 4: DC only.
    dc_code.Put(out, static_cast<uint8_t>(size_of(diff)));
    put_value(diff, size_of(diff));
    int run = 0;
    for (int k = 1; k < 64; ++k) {
      if (zigzag[k] == 0) {
        ++run;
        continue;
      }
      for (; run > 15; run -= 16) ac_code.Put(out, 0xF0);
      const int size = size_of(zigzag[k]);
      ac_code.Put(out, static_cast<uint8_t>(run << 4 | size));
      put_value(zigzag[k], size);
      run = 0;
    }
    if (run > 0) ac_code.Put(out, 0x00);
    prediction += diff;
    std::array<int16_t, 64> natural{};
    natural[0] = static_cast<int16_t>(prediction);
    for (int k = 1; k < 64; ++k) natural[kZigzagToNatural[k]] = zigzag[k];
    blocks.natural.push_back(natural);
    // The block's last bits may still wait in the writer: counted as one
    // more byte.
    blocks.end_byte.push_back(out.bytes().size() + 1);
  }
  return blocks;
}

enum class Ending { kEndOfImage, kRestart, kBufferEnd, kCutShort, kFile };

TEST(EntropyRandomBlocks, EveryBlockBeforeTheEndDecodesToItsCoefficients) {
  const HuffmanTable dc = make_huffman_table(kDcCounts, dc_values(), 0);
  const HuffmanTable ac_alone = make_huffman_table(kAcCounts, ac_values(), 1);
  // The same table with a pair lookup, as kept tables have it.
  HuffmanTable ac_pairs = ac_alone;
  std::vector<PairEntry> pairs(1u << kHuffmanCoefficientBits);
  build_pair_entries(ac_pairs, pairs.data());
  ac_pairs.pairs = pairs.data();
  const Ending endings[] = {Ending::kEndOfImage, Ending::kRestart, Ending::kBufferEnd, Ending::kCutShort,
                            Ending::kFile};
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    for (const Ending ending : endings) {
      const HuffmanTable& ac = (seed + static_cast<uint32_t>(ending)) % 2 == 0 ? ac_alone : ac_pairs;
      SCOPED_TRACE(testing::Message() << "seed " << seed << ", ending " << static_cast<int>(ending)
                                      << (ac.pairs != nullptr ? ", pairs" : ""));
      EntropyStreamWriter out;
      RandomBlocks blocks = make_blocks(seed, 700, out);
      std::vector<uint8_t> bytes;
      if (ending == Ending::kEndOfImage || ending == Ending::kFile) out.PutMarker(0xD9);
      if (ending == Ending::kRestart) out.PutMarker(0xD3);
      if (ending == Ending::kBufferEnd) out.PadWithOnes();
      bytes = out.bytes();
      if (ending == Ending::kCutShort) bytes.resize(bytes.size() * (seed % 5 + 4) / 10);

      JpegInput input{};
      std::unique_ptr<TempFile> file;
      HANDLE handle = INVALID_HANDLE_VALUE;
      if (ending == Ending::kFile) {
        file = std::make_unique<TempFile>(bytes);
        handle = CreateFileA(file->path(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        input_reset_file(input, handle, 0);
      } else {
        input_reset_buffer(input, bytes.data(), static_cast<uint32_t>(bytes.size()));
      }
      // The DC-only decoder on a second input must keep the same DC values.
      JpegInput dc_input{};
      input_reset_buffer(dc_input, bytes.data(), static_cast<uint32_t>(bytes.size()));
      int16_t prediction = 0, dc_prediction = 0;
      for (size_t b = 0; b < blocks.natural.size() && blocks.end_byte[b] < bytes.size(); ++b) {
        CoefficientBlock block;
        ASSERT_EQ(decode_block_sequential(input, dc, ac, prediction, block), 0) << "block " << b;
        for (int i = 0; i < 64; ++i) ASSERT_EQ(block.coef[i], blocks.natural[b][i]) << "block " << b << ", " << i;
        int16_t dc_value = 0;
        ASSERT_EQ(decode_block_dc_only(dc_input, dc, ac, dc_prediction, dc_value), 0) << "block " << b;
        ASSERT_EQ(dc_value, blocks.natural[b][0]) << "block " << b;
      }
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
  }
}

}  // namespace
