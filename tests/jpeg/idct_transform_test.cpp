// Behaviour of every inverse transform on blocks whose output is known in
// closed form: DC-only blocks, the 1x1 limits, a golden block, saturation,
// and hostile coefficients that must stay inside the block.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "idct_members.h"
#include "fixed_point_models.h"
#include "idct_reference.h"

namespace {

// The transform input for a DC-only block of dequantised value F: the fast
// kind expects 2 * F * s(0) * s(0).
int16_t DcInput(const IdctMember& member, int dc) {
  return static_cast<int16_t>(member.fast ? 2 * dc : dc);
}

TEST(IdctTransform, DcOnlyBlockIsFlatAtEightOfDcPlus128) {
  // An 8-bit image's DC lies within -1024..1016; the precise 8x8 keeps
  // F * 2^18 in 32 bits, which holds F up to about 8188. Test well past
  // the first, inside the second.
  for (const IdctMember& member : kIdctMembers) {
    SCOPED_TRACE(member.name);
    for (int dc = -8000; dc <= 8000; ++dc) {
      CoefficientBlock block{};
      block.coef[0] = DcInput(member, dc);
      member.transform(&block);
      // F / 8 rounded half up, as every member rounds it.
      const double level = std::floor(dc / 8.0 + 0.5);
      const int expected = static_cast<int>(std::clamp(level + 128, 0.0, 255.0));
      for (int y = 0; y < member.size; ++y)
        for (int x = 0; x < member.size; ++x)
          ASSERT_EQ(block.coef[8 * y + x], expected) << "dc " << dc;
    }
  }
}

TEST(IdctTransform, OneByOneLimits) {
  struct Case {
    IdctFn transform;
    int16_t input;
    int16_t expected;
  };
  const Case cases[] = {
      // Fast kind: input 2F, samples ((y + 8) >> 4) + 128.
      {idct_fast_1x1, -32768, 0},   {idct_fast_1x1, -2057, 0},
      {idct_fast_1x1, -2056, 0},    {idct_fast_1x1, -2040, 1},
      {idct_fast_1x1, 2023, 254},   {idct_fast_1x1, 2039, 255},
      {idct_fast_1x1, 2040, 255},   {idct_fast_1x1, 32767, 255},
      // Precise kind: input F, samples ((F + 4) >> 3) + 128.
      {idct_precise_1x1, -32768, 0}, {idct_precise_1x1, -1029, 0},
      {idct_precise_1x1, -1028, 0},  {idct_precise_1x1, -1020, 1},
      {idct_precise_1x1, 1011, 254}, {idct_precise_1x1, 1019, 255},
      {idct_precise_1x1, 1020, 255}, {idct_precise_1x1, 32767, 255},
  };
  for (const Case& c : cases) {
    CoefficientBlock block{};
    block.coef[0] = c.input;
    // AC terms must not matter to the 1x1 members.
    for (int k = 1; k < 64; ++k) block.coef[k] = static_cast<int16_t>(999 * k);
    c.transform(&block);
    EXPECT_EQ(block.coef[0], c.expected) << "input " << c.input;
  }
}

// One block quantised with the luminance table of T.81 Annex K; expected
// samples worked out from the IDCT definition in double precision (and,
// for the reduced sizes, averaged over 2x2 and 4x4 areas). A few exact
// values lie within 0.05 of a half, hence one level of tolerance.
TEST(IdctTransform, GoldenBlockAtEverySize) {
  CoefficientBlock quantised{};
  quantised.coef[8 * 0 + 0] = -10;
  quantised.coef[8 * 0 + 1] = 19;
  quantised.coef[8 * 2 + 0] = -6;
  quantised.coef[8 * 1 + 3] = 2;
  quantised.coef[8 * 5 + 6] = -1;
  quantised.coef[8 * 7 + 1] = -1;
  quantised.coef[8 * 3 + 2] = -3;
  const int expected8[64] = {
      115, 129, 94,  114, 112, 76,  78,  36,  171, 118, 147, 94,  83,
      107, 38,  61,  148, 139, 107, 101, 100, 98,  111, 105, 181, 196,
      128, 133, 112, 65,  98,  61,  135, 109, 157, 125, 117, 137, 84,
      110, 151, 150, 161, 140, 113, 89,  55,  50,  106, 148, 99,  125,
      107, 57,  105, 72,  146, 121, 136, 89,  62,  71,  49,  80};
  const int expected4[16] = {133, 112, 95,  53, 166, 117, 94,  94,
                             136, 146, 114, 75, 130, 112, 74,  76};
  const int expected2[4] = {132, 84, 131, 85};
  const int expected1[1] = {108};  // F(0,0) = -10 * 16: -160 / 8 + 128
  const int* const expected[] = {nullptr, expected1, expected2, nullptr,
                                 expected4, nullptr, nullptr, nullptr,
                                 expected8};

  for (const IdctMember& member : kIdctMembers) {
    SCOPED_TRACE(member.name);
    CoefficientBlock block = quantised;
    DequantiseFor(member, &block, ToZigzag(kAnnexKLuminance));
    member.transform(&block);
    for (int y = 0; y < member.size; ++y)
      for (int x = 0; x < member.size; ++x)
        EXPECT_NEAR(block.coef[8 * y + x],
                    expected[member.size][member.size * y + x], 1)
            << "at " << y << "," << x;
  }
}

// A block whose exact samples run far past both ends of 0..255 comes out
// clamped, close to the clamped exact samples, for both kinds and every
// size.
TEST(IdctTransform, LargeCoefficientsSaturate) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> dc(-3000, 3000), ac(-900, 900);
  const std::array<uint16_t, 64> ones = [] {
    std::array<uint16_t, 64> t{};
    t.fill(1);
    return t;
  }();
  for (int trial = 0; trial < 200; ++trial) {
    CoefficientBlock quantised{};
    quantised.coef[0] = static_cast<int16_t>(dc(rng));
    quantised.coef[1] = static_cast<int16_t>(ac(rng));
    quantised.coef[8] = static_cast<int16_t>(ac(rng));
    quantised.coef[9] = static_cast<int16_t>(ac(rng) / 2);
    const DoubleBlock exact = ReferenceIdct(ToDouble(quantised));
    for (const IdctMember& member : kIdctMembers) {
      SCOPED_TRACE(member.name);
      CoefficientBlock block = quantised;
      DequantiseFor(member, &block, ones);
      member.transform(&block);
      const DoubleBlock mean = BoxMean(exact, 8 / member.size);
      for (int y = 0; y < member.size; ++y)
        for (int x = 0; x < member.size; ++x)
          ASSERT_NEAR(block.coef[8 * y + x], ExpectedSample(mean[8 * y + x]),
                      2)
              << "trial " << trial << " at " << y << "," << x;
    }
  }
}

// A block between two guard areas; corrupt data may put any value in any
// entry, and the transforms must neither leave the block nor produce
// anything but samples.
struct GuardedBlock {
  int16_t before[8];
  CoefficientBlock block;
  int16_t after[8];
};
static_assert(sizeof(GuardedBlock) == 16 + 128 + 16);

constexpr int16_t kGuard = 0x5A5A;

TEST(IdctTransform, HostileCoefficientsStayInsideTheBlock) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> any(-32768, 32767);
  std::uniform_int_distribution<int> pick(0, 3);
  for (int trial = 0; trial < 2000; ++trial) {
    // Mix full-range values with zeros, so that the shortcuts for blocks
    // without AC terms also meet extreme DC values.
    int16_t input[64];
    for (int16_t& v : input)
      v = static_cast<int16_t>(pick(rng) == 0 ? 0 : any(rng));
    if (trial % 4 == 0)
      for (int k = 1; k < 64; ++k) input[k] = 0;
    for (const IdctMember& member : kIdctMembers) {
      SCOPED_TRACE(member.name);
      GuardedBlock guarded;
      std::fill(std::begin(guarded.before), std::end(guarded.before), kGuard);
      std::fill(std::begin(guarded.after), std::end(guarded.after), kGuard);
      std::copy(std::begin(input), std::end(input), guarded.block.coef);
      member.transform(&guarded.block);
      for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(guarded.before[i], kGuard);
        ASSERT_EQ(guarded.after[i], kGuard);
      }
      for (int y = 0; y < member.size; ++y)
        for (int x = 0; x < member.size; ++x) {
          ASSERT_GE(guarded.block.coef[8 * y + x], 0);
          ASSERT_LE(guarded.block.coef[8 * y + x], 255);
        }
    }
  }
}

}  // namespace

namespace {

using ModelFn = void (*)(CoefficientBlock&);

// Each member against its fixed-point model, byte for byte: dense blocks
// that meet every rounding boundary, image blocks dequantised for the
// member's kind, sparse blocks of large coefficients, and DC values at
// every rounding step around the 1x1 limits.
TEST(IdctTransform, EveryMemberMatchesItsFixedPointModel) {
  const ModelFn models[] = {model::idct_fast_8x8,    model::idct_fast_4x4,    model::idct_fast_2x2,
                            model::idct_fast_1x1,    model::idct_precise_8x8, model::idct_precise_4x4,
                            model::idct_precise_2x2, model::idct_precise_1x1};
  static_assert(std::size(models) == kIdctMembers.size());
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> quality(0.05, 1.5);
  std::uniform_int_distribution<int> position(0, 63), large(-700, 700), count(0, 6);
  std::array<uint16_t, 64> ones{};
  ones.fill(1);
  // Quantised blocks with the table to dequantise them with for the
  // member's kind; null: the block goes to the transform as it is.
  struct Input {
    CoefficientBlock block;
    const std::array<uint16_t, 64>* table;
  };
  std::vector<Input> inputs;
  for (int trial = 0; trial < 400; ++trial) {
    std::array<uint16_t, 64> table{};
    for (int k = 0; k < 64; ++k)
      table[k] = static_cast<uint16_t>(std::clamp(std::round(kAnnexKLuminance[k] * quality(rng)), 1.0, 255.0));
    inputs.push_back({Quantise(RandomSamples(rng), table), &kAnnexKLuminance});
  }
  for (int trial = 0; trial < 400; ++trial) {
    CoefficientBlock sparse{};
    for (int n = count(rng); n >= 0; --n) sparse.coef[position(rng)] = static_cast<int16_t>(large(rng));
    inputs.push_back({sparse, &ones});
  }
  for (int dc = -2100; dc <= 2100; ++dc) {
    CoefficientBlock block{};
    block.coef[0] = static_cast<int16_t>(dc);
    block.coef[1] = static_cast<int16_t>((dc & 1) ? dc % 3 : 0);  // odd DC values: no DC-only shortcut
    inputs.push_back({block, nullptr});
  }
  for (size_t m = 0; m < kIdctMembers.size(); ++m) {
    const IdctMember& member = kIdctMembers[m];
    SCOPED_TRACE(member.name);
    // True when the member's samples of `input` equal the model's.
    auto matches = [&](CoefficientBlock input) {
      CoefficientBlock expected = input;
      member.transform(&input);
      models[m](expected);
      for (int y = 0; y < member.size; ++y)
        for (int x = 0; x < member.size; ++x)
          if (input.coef[8 * y + x] != expected.coef[8 * y + x]) return false;
      return true;
    };
    // Dense blocks of small values, enough of them that every rounding term
    // meets the one sum where a constant one off changes an output sample:
    // about one evaluation in 2^(shift + 4). The smaller members are cheap,
    // and their shifts are the widest; their odd terms take differences of
    // coefficients, and a boundary needs differences of a few hundred.
    const int spread = member.size == 8 ? 40 : 200;
    std::uniform_int_distribution<int> ac(-spread, spread), dc(-300, 300);
    const int dense = member.size == 8 ? 40000 : member.size == 4 ? 400000 : member.size == 2 ? 2000000 : 0;
    for (int trial = 0; trial < dense; ++trial) {
      CoefficientBlock block;
      block.coef[0] = static_cast<int16_t>(dc(rng));
      for (int k = 1; k < 64; ++k) block.coef[k] = static_cast<int16_t>(ac(rng));
      ASSERT_TRUE(matches(block)) << "dense block " << trial;
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
      CoefficientBlock block = inputs[i].block;
      if (inputs[i].table) DequantiseFor(member, &block, ToZigzag(*inputs[i].table));
      ASSERT_TRUE(matches(block)) << "input " << i;
    }
  }
}

}  // namespace
