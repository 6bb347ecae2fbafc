// Accuracy of dequantisation plus inverse transform against the IDCT
// computed in double precision, on blocks quantised from image-like
// samples and on blocks of random coefficients of realistic size.
//
// Tolerances: one level everywhere, since a fixed-point result a hair off
// an exact value just below or above a half rounds the other way (and the
// transforms round halves up where the reference rounds them away from
// zero). The fast 8x8 may be off by two: its scale factors are rounded to
// 8 fraction bits in the table, and its 16-bit intermediates keep only 4
// fraction bits through five rounded products in a row; over 3000 image
// blocks about one sample in ten thousand is off by two, none by more.
#include <gtest/gtest.h>

#include <random>

#include "idct_members.h"
#include "idct_reference.h"

namespace {

int Tolerance(const IdctMember& member) {
  return member.fast && member.size == 8 ? 2 : 1;
}

// Largest difference between the member's samples and the exact ones for
// quantised coefficients `quantised` under `quantisers` (natural order).
int LargestError(const IdctMember& member, const CoefficientBlock& quantised,
                 const std::array<uint16_t, 64>& quantisers) {
  DoubleBlock dequantised{};
  for (int k = 0; k < 64; ++k)
    dequantised[k] = static_cast<double>(quantised.coef[k]) * quantisers[k];
  const DoubleBlock mean =
      BoxMean(ReferenceIdct(dequantised), 8 / member.size);

  CoefficientBlock block = quantised;
  DequantiseFor(member, &block, ToZigzag(quantisers));
  member.transform(&block);
  int largest = 0;
  for (int y = 0; y < member.size; ++y)
    for (int x = 0; x < member.size; ++x)
      largest = std::max(largest, std::abs(block.coef[8 * y + x] -
                                           ExpectedSample(mean[8 * y + x])));
  return largest;
}

// The Annex K table scaled as encoders scale it for a quality setting.
std::array<uint16_t, 64> ScaledTable(double factor) {
  std::array<uint16_t, 64> table{};
  for (int k = 0; k < 64; ++k)
    table[k] = static_cast<uint16_t>(
        std::clamp(std::round(kAnnexKLuminance[k] * factor), 1.0, 255.0));
  return table;
}

TEST(IdctAccuracy, ImageBlocksMatchDoublePrecision) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> quality(0.05, 1.2);
  for (int trial = 0; trial < 300; ++trial) {
    const std::array<uint16_t, 64> table = ScaledTable(quality(rng));
    const CoefficientBlock quantised = Quantise(RandomSamples(rng), table);
    for (const IdctMember& member : kIdctMembers) {
      SCOPED_TRACE(member.name);
      ASSERT_LE(LargestError(member, quantised, table), Tolerance(member))
          << "trial " << trial;
    }
  }
}

// Coefficients drawn directly, DC anywhere in its 8-bit range and AC terms
// shrinking with frequency, as in photographs with q = 1 (and ringing
// that needs clamping).
TEST(IdctAccuracy, RandomCoefficientsMatchDoublePrecision) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> dc(-1024, 1016);
  std::normal_distribution<double> ac(0.0, 1.0);
  std::array<uint16_t, 64> ones{};
  ones.fill(1);
  for (int trial = 0; trial < 300; ++trial) {
    CoefficientBlock quantised{};
    quantised.coef[0] = static_cast<int16_t>(dc(rng));
    for (int k = 1; k < 64; ++k) {
      const double spread = 300.0 / (1 + (k >> 3) + (k & 7));
      quantised.coef[k] = static_cast<int16_t>(std::round(spread * ac(rng)));
    }
    for (const IdctMember& member : kIdctMembers) {
      SCOPED_TRACE(member.name);
      ASSERT_LE(LargestError(member, quantised, ones), Tolerance(member))
          << "trial " << trial;
    }
  }
}

// Every basis function alone, up to the strength that an 8-bit image can
// reach (about 1024 for DC, 840 for the highest frequencies), under the
// Annex K table: each coefficient position has its own constants and its
// own shortcut conditions.
TEST(IdctAccuracy, EachBasisFunctionMatchesDoublePrecision) {
  for (int k = 0; k < 64; ++k)
    for (const int strength : {-1000, -300, -60, 60, 300, 1000}) {
      CoefficientBlock quantised{};
      quantised.coef[k] = static_cast<int16_t>(strength / kAnnexKLuminance[k]);
      for (const IdctMember& member : kIdctMembers) {
        SCOPED_TRACE(member.name);
        ASSERT_LE(LargestError(member, quantised, kAnnexKLuminance),
                  Tolerance(member))
            << "coefficient " << k << " = " << quantised.coef[k];
      }
    }
}

}  // namespace
