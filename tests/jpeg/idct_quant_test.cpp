// Quantisation-table preparation for both transform kinds and the two
// dequantisers that use the prepared tables.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "idct.h"
#include "fixed_point_models.h"
#include "idct_reference.h"

namespace {

constexpr int16_t kStale = 0x3C3C;

// s(k): the AAN scale factor of frequency k.
double AanScale(int k) {
  return k == 0 ? 1.0
                : std::numbers::sqrt2 * std::cos(k * std::numbers::pi / 16);
}

struct PreparedTable {
  int16_t entries[kPreparedQuantEntries];
  PreparedTable() { std::fill(std::begin(entries), std::end(entries), kStale); }
};

std::array<uint16_t, 64> Uniform(uint16_t q) {
  std::array<uint16_t, 64> table{};
  table.fill(q);
  return table;
}

TEST(QuantTable, PreciseKeepsValuesInNaturalOrder) {
  PreparedTable prepared;
  prepare_quant_table_precise(ToZigzag(kAnnexKLuminance).data(),
                              prepared.entries);
  for (int k = 0; k < 64; ++k) EXPECT_EQ(prepared.entries[k], kAnnexKLuminance[k]);
  for (int k = 64; k < kPreparedQuantEntries; ++k) EXPECT_EQ(prepared.entries[k], 0);
}

TEST(QuantTable, FastFoldsInTheAanScaleFactors) {
  PreparedTable prepared;
  prepare_quant_table_fast(ToZigzag(kAnnexKLuminance).data(),
                           prepared.entries);
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      const double q = kAnnexKLuminance[8 * v + u];
      EXPECT_EQ(prepared.entries[8 * v + u],
                std::round(256 * q * AanScale(v) * AanScale(u)))
          << "at " << v << "," << u;
    }
  // The unscaled positions are exact multiples of 256.
  EXPECT_EQ(prepared.entries[0], 16 * 256);
  EXPECT_EQ(prepared.entries[8 * 4 + 4], 68 * 256);
  for (int k = 64; k < kPreparedQuantEntries; ++k) EXPECT_EQ(prepared.entries[k], 0);
}

// 256 * Q * s(u) * s(v) reaches 32768 from Q = 67 at (1,1), where the
// factor is 1.924, and everywhere for large 16-bit Q; such entries
// saturate instead of turning negative.
TEST(QuantTable, FastEntriesSaturateAt32767) {
  PreparedTable prepared;
  for (const uint16_t q : {66, 67, 255, 65535}) {
    SCOPED_TRACE(q);
    prepare_quant_table_fast(Uniform(q).data(), prepared.entries);
    for (int k = 0; k < 64; ++k) {
      const double exact = 256.0 * q * AanScale(k >> 3) * AanScale(k & 7);
      EXPECT_EQ(prepared.entries[k], std::min(std::round(exact), 32767.0))
          << "at " << k;
    }
  }
}

TEST(Dequantise, PreciseMultipliesEachEntryByItsQuantiser) {
  PreparedTable prepared;
  prepare_quant_table_precise(ToZigzag(kAnnexKLuminance).data(),
                              prepared.entries);
  CoefficientBlock block{};
  for (int k = 0; k < 64; ++k) block.coef[k] = static_cast<int16_t>(k % 9 - 4);
  dequantise_precise(&block, prepared.entries);
  for (int k = 0; k < 64; ++k)
    EXPECT_EQ(block.coef[k], (k % 9 - 4) * kAnnexKLuminance[k]) << "at " << k;

  // Products beyond 16 bits, possible only with corrupt data, keep their
  // low 16 bits, whatever the quantiser's precision was.
  prepare_quant_table_precise(Uniform(40000).data(), prepared.entries);
  block.coef[5] = 3;
  dequantise_precise(&block, prepared.entries);
  EXPECT_EQ(block.coef[5], static_cast<int16_t>(3 * 40000 - 65536 * 2));
}

// The fast dequantiser yields 2 * F * s(u) * s(v) for F = Q * Sq, to
// within half a level plus the table's rounding error, |Sq| / 256.
TEST(Dequantise, FastYieldsTwiceTheScaledCoefficient) {
  PreparedTable prepared;
  prepare_quant_table_fast(ToZigzag(kAnnexKLuminance).data(),
                           prepared.entries);
  for (int quantised = -64; quantised <= 64; ++quantised) {
    CoefficientBlock block{};
    std::fill(std::begin(block.coef), std::end(block.coef), quantised);
    dequantise_fast(&block, prepared.entries);
    for (int k = 0; k < 64; ++k) {
      const double f = static_cast<double>(kAnnexKLuminance[k]) * quantised;
      const double expected = 2 * f * AanScale(k >> 3) * AanScale(k & 7);
      ASSERT_NEAR(block.coef[k], expected, 0.5 + std::abs(quantised) / 256.0)
          << "Sq " << quantised << " at " << k;
    }
  }
}

}  // namespace

namespace {

// Both dequantisers against their fixed-point models, byte for byte, on
// random coefficients and tables over the whole 16-bit range: the
// rounding term, the shift and the 16-bit store are all visible there.
TEST(Dequantise, BothKindsMatchTheirFixedPointModels) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> any(-32768, 32767), small(-300, 300), quantiser(1, 32767);
  for (int trial = 0; trial < 2000; ++trial) {
    int16_t table[kPreparedQuantEntries] = {};
    CoefficientBlock block{};
    for (int k = 0; k < 64; ++k) {
      table[k] = static_cast<int16_t>(trial % 2 ? quantiser(rng) : any(rng));
      block.coef[k] = static_cast<int16_t>(trial % 3 ? small(rng) : any(rng));
    }
    CoefficientBlock fast = block, fast_model = block, precise = block, precise_model = block;
    dequantise_fast(&fast, table);
    model::dequantise_fast(fast_model, table);
    dequantise_precise(&precise, table);
    model::dequantise_precise(precise_model, table);
    for (int k = 0; k < 64; ++k) {
      ASSERT_EQ(fast.coef[k], fast_model.coef[k]) << "trial " << trial << " at " << k;
      ASSERT_EQ(precise.coef[k], precise_model.coef[k]) << "trial " << trial << " at " << k;
    }
  }
}

}  // namespace
