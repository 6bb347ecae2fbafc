// Every processor-specific member against its portable member, checkasm
// style: for each processor kind this machine runs, every slot whose member
// differs from the generic table's gets random and edge-case inputs and
// must give the same bytes, without touching guard bytes around its
// output. New members are covered as soon as the table fill installs them.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "processor_dispatch.h"

namespace {

struct Tables {
  JpegOps ops;
  SideMembers side_members;
};

Tables tables_of(ProcessorKind kind) {
  Tables tables{};
  fill_jpeg_ops(tables.ops, tables.side_members, kind);
  return tables;
}

struct KindCase {
  ProcessorKind kind;
  SimdLevel level;
};

class SimdMembers : public ::testing::TestWithParam<KindCase> {
 protected:
  void SetUp() override {
    if (!VKT_JPEG_SIMD) GTEST_SKIP() << "portable build: no processor-specific members";
    if (simd_level_of(GetParam().kind, current_processor_info()) != GetParam().level) {
      GTEST_SKIP() << "this processor has no such members";
    }
    const Tables generic = tables_of(CPU_GENERIC), member = tables_of(GetParam().kind);
    generic_ = generic.ops;
    member_ = member.ops;
    generic_side_ = generic.side_members;
    member_side_ = member.side_members;
  }
  JpegOps generic_{}, member_{};
  SideMembers generic_side_{}, member_side_{};
  std::mt19937 random_{7};
};

constexpr int16_t kMin = -32768, kMax = 32767;

// Blocks that reach every saturation and wrap-around of the transforms
// and dequantisers, then random ones of realistic and of any magnitude.
std::vector<CoefficientBlock> coefficient_blocks(std::mt19937& random) {
  std::vector<CoefficientBlock> blocks;
  const auto filled = [](auto value_at) {
    CoefficientBlock block{};
    for (int k = 0; k < 64; ++k) block.coef[k] = static_cast<int16_t>(value_at(k));
    return block;
  };
  blocks.push_back(filled([](int) { return 0; }));
  for (int16_t dc : {kMin, int16_t{-1024}, int16_t{-1}, int16_t{1}, int16_t{1016}, kMax}) {
    blocks.push_back(filled([dc](int k) { return k == 0 ? dc : 0; }));  // all-zero AC
  }
  blocks.push_back(filled([](int) { return kMax; }));
  blocks.push_back(filled([](int) { return kMin; }));
  blocks.push_back(filled([](int k) { return (k + k / 8) % 2 ? kMax : kMin; }));
  blocks.push_back(filled([](int k) { return k % 3 ? kMin : kMax; }));
  // y2 - y6 = -4045: the fast transform's product by sqrt 2 ends one below a rounding edge.
  blocks.push_back(filled([](int k) { return k == 0 ? -11806 : (k == 48 ? 4045 : 0); }));
  // Row 0 alone passes the fast column pass unchanged: row-pass inputs
  // that drive its largest sum to the 16-bit members' limit and past it.
  for (int edge : {2800, 2801, 2876}) {
    blocks.push_back(filled([edge](int k) { return k < 8 ? ((k + 2) / 2 % 2 ? -edge : edge) : 0; }));
  }
  for (int n = 0; n < 4000; ++n) {
    const int limit = n % 4 == 0 ? 32768 : (n % 4 == 1 ? 2048 : 256);
    std::uniform_int_distribution<int> value(-limit, limit - 1);
    std::uniform_int_distribution<int> sparse(0, 9);
    const bool few = n % 2;
    blocks.push_back(filled([&](int k) { return few && k > 0 && sparse(random) > 1 ? 0 : value(random); }));
  }
  return blocks;
}

// Runs `apply` on the block at the middle of a guarded buffer and returns
// the whole buffer, so a write outside the block shows as a difference.
template <typename Apply>
std::vector<CoefficientBlock> guarded(const CoefficientBlock& input, Apply apply) {
  std::vector<CoefficientBlock> buffer(3);
  std::memset(buffer.data(), 0xA5, buffer.size() * sizeof(CoefficientBlock));
  buffer[1] = input;
  apply(&buffer[1]);
  return buffer;
}

bool same(const std::vector<CoefficientBlock>& a, const std::vector<CoefficientBlock>& b, int size) {
  for (int i : {0, 2}) {
    if (std::memcmp(&a[i], &b[i], sizeof(CoefficientBlock)) != 0) return false;
  }
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (a[1].coef[8 * y + x] != b[1].coef[8 * y + x]) return false;
  return true;
}

TEST_P(SimdMembers, TransformsGiveThePortableSamples) {
  struct Slot {
    const char* name;
    BlockTransform JpegOps::*member;
    int size;
  };
  const Slot slots[] = {
      {"fast 8x8", &JpegOps::idct_fast_8x8, 8},       {"fast 4x4", &JpegOps::idct_fast_4x4, 4},
      {"fast 2x2", &JpegOps::idct_fast_2x2, 2},       {"fast 1x1", &JpegOps::idct_fast_1x1, 1},
      {"precise 8x8", &JpegOps::idct_precise_8x8, 8}, {"precise 4x4", &JpegOps::idct_precise_4x4, 4},
      {"precise 2x2", &JpegOps::idct_precise_2x2, 2}, {"precise 1x1", &JpegOps::idct_precise_1x1, 1},
  };
  const std::vector<CoefficientBlock> blocks = coefficient_blocks(random_);
  int compared = 0;
  for (const Slot& slot : slots) {
    const BlockTransform reference = generic_.*slot.member, tested = member_.*slot.member;
    if (tested == reference) continue;
    ++compared;
    for (size_t n = 0; n < blocks.size(); ++n) {
      const auto expected = guarded(blocks[n], reference), actual = guarded(blocks[n], tested);
      ASSERT_TRUE(same(expected, actual, slot.size)) << slot.name << ", block " << n;
    }
  }
  EXPECT_GT(compared, 0);
}

TEST_P(SimdMembers, DequantisersGiveThePortableCoefficients) {
  const std::vector<CoefficientBlock> blocks = coefficient_blocks(random_);
  std::vector<std::vector<int16_t>> tables;
  for (int16_t q : {int16_t{1}, int16_t{255}, kMax, kMin, int16_t{-1}}) tables.emplace_back(kPreparedQuantEntries, q);
  std::uniform_int_distribution<int> any(kMin, kMax);
  for (int n = 0; n < 8; ++n) {
    std::vector<int16_t> table(kPreparedQuantEntries, 0);
    for (int k = 0; k < 64; ++k) table[k] = static_cast<int16_t>(n % 2 ? any(random_) : any(random_) % 2048);
    tables.push_back(table);
  }
  // The fused members give the samples of their dequantiser and
  // transform; the dequantisers, whole blocks.
  struct Member {
    Dequantiser reference, tested;
    int size;  // of the corner compared
  };
  const Member members[] = {
      {generic_.dequantise_fast, member_.dequantise_fast, 8},
      {generic_.dequantise_precise, member_.dequantise_precise, 8},
      {generic_side_.precise_8x8.both, member_side_.precise_8x8.both, 8},
      {generic_side_.precise_4x4.both, member_side_.precise_4x4.both, 4},
      {generic_side_.precise_2x2.both, member_side_.precise_2x2.both, 2},
      {generic_side_.fast_8x8.both, member_side_.fast_8x8.both, 8},
  };
  for (const Member& member : members) {
    if (member.tested == member.reference) continue;
    for (const std::vector<int16_t>& table : tables) {
      for (size_t n = 0; n < blocks.size(); ++n) {
        const auto expected = guarded(blocks[n], [&](CoefficientBlock* b) { member.reference(b, table.data()); });
        const auto actual = guarded(blocks[n], [&](CoefficientBlock* b) { member.tested(b, table.data()); });
        ASSERT_TRUE(same(expected, actual, member.size)) << "block " << n << ", table " << table[0];
      }
    }
  }
  // The member that stores bytes gives slot 35's bytes of precise_8x8.both's
  // samples, its rows a stride apart and nothing written between them.
  if (const BlockToBytes tested = member_side_.precise_8x8_bytes.both) {
    constexpr ptrdiff_t kStride = 13;
    const McuConverter store = generic_.output_converters[35 - kOutputConverterFirstSlot];
    for (const std::vector<int16_t>& table : tables) {
      for (size_t n = 0; n < blocks.size(); ++n) {
        std::vector<uint8_t> expected(8 * kStride, 0xA5), actual = expected;
        const auto samples = guarded(blocks[n], [&](CoefficientBlock* b) { generic_side_.precise_8x8.both(b, table.data()); });
        store(samples[1].coef, expected.data(), kStride);
        CoefficientBlock block = blocks[n];
        tested(&block, table.data(), actual.data(), kStride);
        ASSERT_EQ(expected, actual) << "bytes of block " << n << ", table " << table[0];
      }
    }
  }
  // The paired member gives each block of the pair what fast_8x8.both gives
  // it alone: every block goes first and second, beside its successor, so
  // the edge blocks (past the 16-bit limits) meet ordinary ones either way.
  if (member_side_.fast_8x8_pair == nullptr) return;
  for (size_t t = 0; t < tables.size(); ++t) {
    const int16_t *table = tables[t].data(), *next_table = tables[(t + 1) % tables.size()].data();
    for (size_t n = 0; n < blocks.size(); ++n) {
      for (const bool ahead : {true, false}) {
        const CoefficientBlock& other = blocks[(n + 1) % blocks.size()];
        const CoefficientBlock& first = ahead ? blocks[n] : other;
        const CoefficientBlock& second = ahead ? other : blocks[n];
        const auto expected_first = guarded(first, [&](CoefficientBlock* b) { generic_side_.fast_8x8.both(b, table); });
        const auto expected_second =
            guarded(second, [&](CoefficientBlock* b) { generic_side_.fast_8x8.both(b, next_table); });
        std::vector<CoefficientBlock> actual_second;
        const auto actual_first = guarded(first, [&](CoefficientBlock* a) {
          actual_second = guarded(second, [&](CoefficientBlock* b) { member_side_.fast_8x8_pair(a, table, b, next_table); });
        });
        ASSERT_TRUE(same(expected_first, actual_first, 8) && same(expected_second, actual_second, 8))
            << "pair of block " << n << (ahead ? " first" : " second") << ", tables " << t;
      }
    }
  }
}

TEST_P(SimdMembers, ConvertersWriteThePortablePixels) {
  // An MCU of up to 2x2 luma blocks, Cb, Cr and a fourth component; the
  // picture rows are wider than the MCU so that writes past a row show.
  constexpr int kMcuSamples = 4 * 64 + 128 + 4 * 64;
  constexpr ptrdiff_t kStride = 16 * 4 + 13;
  constexpr size_t kPicture = 16 * kStride + 64;
  std::uniform_int_distribution<int> sample(0, 255);
  for (int slot = 0; slot < kOutputConverterCount; ++slot) {
    const McuConverter reference = generic_.output_converters[slot], tested = member_.output_converters[slot];
    if (tested == reference) continue;
    for (int n = 0; n < 60; ++n) {
      alignas(16) int16_t samples[kMcuSamples];
      for (int16_t& s : samples) {
        // Mostly random; some MCUs all at the extremes, where the sums clamp.
        s = static_cast<int16_t>(n < 4 ? (n % 2 ? 255 : 0) : (n < 8 ? (sample(random_) % 2) * 255 : sample(random_)));
      }
      std::vector<uint8_t> expected(kPicture, 0x5A), actual(kPicture, 0x5A);
      reference(samples, expected.data() + 32, kStride);
      tested(samples, actual.data() + 32, kStride);
      ASSERT_EQ(expected, actual) << "slot " << slot + kOutputConverterFirstSlot << ", MCU " << n;
    }
  }
}

TEST_P(SimdMembers, GreyExpandersWriteThePortablePixels) {
  // Rows wider than the MCU's 4-byte pixels, so that a write past a row or
  // before the first shows.
  constexpr ptrdiff_t kStride = 8 * 4 + 7;
  constexpr size_t kPicture = 8 * kStride + 64;
  std::uniform_int_distribution<int> sample(0, 255), any(kMin, kMax);
  for (McuConverter SideMembers::*slot : {&SideMembers::grey_three_bytes, &SideMembers::grey_four_bytes}) {
    const McuConverter reference = generic_side_.*slot, tested = member_side_.*slot;
    ASSERT_NE(tested, reference) << "the table fill installs a member";
    for (int n = 0; n < 60; ++n) {
      alignas(16) int16_t samples[64];
      for (int16_t& s : samples) {
        // In range, at the ends of the range, and past them (clamped).
        s = static_cast<int16_t>(n < 20 ? sample(random_) : (n < 40 ? (sample(random_) % 2) * 255 : any(random_)));
      }
      std::vector<uint8_t> expected(kPicture, 0x5A), actual(kPicture, 0x5A);
      reference(samples, expected.data() + 32, kStride);
      tested(samples, actual.data() + 32, kStride);
      ASSERT_EQ(expected, actual) << (slot == &SideMembers::grey_three_bytes ? "3" : "4") << " bytes, MCU " << n;
    }
  }
}

TEST_P(SimdMembers, YccRowsGiveThePortablePixels) {
  // Every row width an MCU can have, and picture lines of the row band,
  // with guard bytes after the row: the member writes exactly `width` pixels.
  std::uniform_int_distribution<int> sample(0, 255);
  constexpr int kWidest = 496;
  std::vector<int> widths(32);
  std::iota(widths.begin(), widths.end(), 1);
  widths.insert(widths.end(), {33, 47, 48, 481, kWidest});
  for (YccRowConverter SideMembers::*slot : {&SideMembers::ycc_row_rgb, &SideMembers::ycc_row_bgr}) {
    const YccRowConverter reference = generic_side_.*slot, tested = member_side_.*slot;
    ASSERT_NE(tested, reference) << "the table fill installs a member";
    for (int width : widths) {
      for (int n = 0; n < 12; ++n) {
        alignas(16) int16_t rows[3][kWidest] = {};
        for (auto& row : rows) {
          // In range, and at the ends of the range, where the sums saturate.
          for (int x = 0; x < width; ++x) row[x] = static_cast<int16_t>(n < 8 ? sample(random_) : (sample(random_) % 2) * 255);
        }
        std::vector<uint8_t> expected(kWidest * 3 + 16, 0x5A), actual(kWidest * 3 + 16, 0x5A);
        reference(rows[0], rows[1], rows[2], expected.data(), width);
        tested(rows[0], rows[1], rows[2], actual.data(), width);
        ASSERT_EQ(expected, actual) << (slot == &SideMembers::ycc_row_bgr ? "BGR" : "RGB") << ", width " << width;
      }
    }
  }
}

TEST_P(SimdMembers, TrianglePairsGiveThePortableSamples) {
  // Every count up to a few vector steps, terms of both filters' ranges
  // (2x2 column sums reach 1020), with guards after the pairs.
  std::uniform_int_distribution<int> term(0, 1020);
  for (TrianglePairs SideMembers::*slot : {&SideMembers::triangle_2x2, &SideMembers::triangle_2x1}) {
    const TrianglePairs reference = generic_side_.*slot, tested = member_side_.*slot;
    ASSERT_NE(tested, reference) << "the table fill installs a member";
    for (int count = 1; count <= 40; ++count) {
      std::vector<int16_t> terms(static_cast<size_t>(count) + 2);
      for (int16_t& t : terms) t = static_cast<int16_t>(slot == &SideMembers::triangle_2x2 ? term(random_) : term(random_) % 256);
      std::vector<int16_t> expected(2 * static_cast<size_t>(count) + 8, 0x5A5A), actual = expected;
      reference(terms.data() + 1, expected.data(), count);
      tested(terms.data() + 1, actual.data(), count);
      ASSERT_EQ(expected, actual) << (slot == &SideMembers::triangle_2x2 ? "2x2" : "2x1") << ", count " << count;
    }
  }
}

TEST_P(SimdMembers, TriangleTermsGiveThePortableSums) {
  std::uniform_int_distribution<int> sample(0, 255);
  ASSERT_NE(member_side_.triangle_terms, generic_side_.triangle_terms) << "the table fill installs a member";
  for (int count = 1; count <= 100; ++count) {
    std::vector<uint8_t> row(static_cast<size_t>(count)), neighbour(row.size());
    for (size_t i = 0; i < row.size(); ++i) {
      row[i] = static_cast<uint8_t>(sample(random_));
      neighbour[i] = static_cast<uint8_t>(i % 7 ? sample(random_) : 255);  // the largest sums too
    }
    std::vector<int16_t> expected(row.size() + 8, 0x5A5A), actual = expected;
    generic_side_.triangle_terms(row.data(), neighbour.data(), expected.data(), count);
    member_side_.triangle_terms(row.data(), neighbour.data(), actual.data(), count);
    ASSERT_EQ(expected, actual) << "count " << count;
  }
}

TEST_P(SimdMembers, TriangleColourRowsGiveThePortablePixels) {
  // Both filters into RGB and BGR, every width up to a few vector steps
  // and a long one, with guards after the pixels; terms and samples at the
  // ends of their ranges too, where the sums saturate.
  std::uniform_int_distribution<int> term(0, 1020);
  for (int vertical = 0; vertical < 2; ++vertical) {
    for (int bgr = 0; bgr < 2; ++bgr) {
      const TriangleColourRow reference = generic_side_.triangle_colour[vertical][bgr];
      const TriangleColourRow tested = member_side_.triangle_colour[vertical][bgr];
      ASSERT_NE(tested, reference) << "the table fill installs a member";
      for (int width = 1; width <= 100; width += width < 70 ? 1 : 29) {
        for (int n = 0; n < 6; ++n) {
          const int top = vertical ? 1020 : 255;
          const auto value = [&](int limit) {
            return n < 4 ? term(random_) % (limit + 1) : (term(random_) % 2) * limit;
          };
          std::vector<uint8_t> luma(static_cast<size_t>(width) + 32);
          for (uint8_t& sample : luma) sample = static_cast<uint8_t>(value(255));
          std::vector<int16_t> terms[2];
          for (auto& line : terms) {
            line.resize(static_cast<size_t>(width) / 2 + 36);
            for (int16_t& t : line) t = static_cast<int16_t>(value(top));
          }
          std::vector<uint8_t> expected(3 * static_cast<size_t>(width) + 16, 0x5A), actual = expected;
          reference(luma.data(), terms[0].data() + 1, terms[1].data() + 1, expected.data(), width);
          tested(luma.data(), terms[0].data() + 1, terms[1].data() + 1, actual.data(), width);
          ASSERT_EQ(expected, actual) << (vertical ? "2x2" : "2x1") << (bgr ? " BGR" : " RGB") << ", width " << width;
        }
      }
    }
  }
}

TEST_P(SimdMembers, NonzeroMasksGiveThePortableBits) {
  const NonzeroMask reference = generic_side_.zigzag_nonzero, tested = member_side_.zigzag_nonzero;
  ASSERT_NE(tested, reference) << "the table fill installs a member";
  for (const CoefficientBlock& block : coefficient_blocks(random_)) ASSERT_EQ(tested(block), reference(block));
  // One non-zero coefficient at each position, of the values whose bytes
  // are zero (256) or saturate (-32768).
  for (int16_t value : {int16_t{1}, int16_t{256}, kMin}) {
    for (int i = 0; i < 64; ++i) {
      CoefficientBlock block{};
      block.coef[i] = value;
      ASSERT_EQ(tested(block), reference(block)) << value << " at " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, SimdMembers,
                         ::testing::Values(KindCase{CPU_FAMILY15_SSE2, SimdLevel::kSse2},
                                           KindCase{CPU_AVX2, SimdLevel::kAvx2}),
                         [](const ::testing::TestParamInfo<KindCase>& info) {
                           return std::string(info.param.level == SimdLevel::kAvx2 ? "Avx2" : "Sse2");
                         });

}  // namespace
