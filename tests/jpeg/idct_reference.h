// Double-precision references for the transform tests: the 8x8 forward and
// inverse DCT straight from their definitions (ITU-T T.81 A.3.3), the means
// over 2x2 and 4x4 areas that reduced-size transforms approximate, and
// generators of realistic and of hostile coefficient blocks.
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

#include "coefficient_block.h"
#include "entropy_tables.h"

using DoubleBlock = std::array<double, 64>;

// Basis value C(k)/2 * cos((2n + 1) k pi / 16).
inline double DctBasis(int n, int k) {
  const double c = k == 0 ? std::numbers::sqrt2 / 2 : 1.0;
  return c / 2 * std::cos((2 * n + 1) * k * std::numbers::pi / 16);
}

// Samples f(y, x) (without the level shift) of coefficients F(v, u), both in
// natural order.
inline DoubleBlock ReferenceIdct(const DoubleBlock& coef) {
  DoubleBlock out{};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double sum = 0;
      for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
          sum += coef[8 * v + u] * DctBasis(y, v) * DctBasis(x, u);
      out[8 * y + x] = sum;
    }
  return out;
}

inline DoubleBlock ReferenceFdct(const DoubleBlock& samples) {
  DoubleBlock out{};
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          sum += samples[8 * y + x] * DctBasis(y, v) * DctBasis(x, u);
      out[8 * v + u] = sum;
    }
  return out;
}

// Means of `samples` over area x area squares, in the top-left
// (8 / area) x (8 / area) entries with a stride of 8.
inline DoubleBlock BoxMean(const DoubleBlock& samples, int area) {
  DoubleBlock out{};
  for (int y = 0; y < 8 / area; ++y)
    for (int x = 0; x < 8 / area; ++x) {
      double sum = 0;
      for (int dy = 0; dy < area; ++dy)
        for (int dx = 0; dx < area; ++dx)
          sum += samples[8 * (area * y + dy) + area * x + dx];
      out[8 * y + x] = sum / (area * area);
    }
  return out;
}

// The 8-bit sample a level-shifted value stands for.
inline int ExpectedSample(double level) {
  return static_cast<int>(std::clamp(std::round(level) + 128, 0.0, 255.0));
}

inline DoubleBlock ToDouble(const CoefficientBlock& block) {
  DoubleBlock out{};
  for (int k = 0; k < 64; ++k) out[k] = block.coef[k];
  return out;
}

// The luminance table of ITU-T T.81 Annex K.1, in natural order.
constexpr std::array<uint16_t, 64> kAnnexKLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

// An image-like block: a smooth gradient plus an edge plus noise, so that
// both low and high frequencies carry energy. Sample range 0..255.
inline DoubleBlock RandomSamples(std::mt19937& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double base = 255 * unit(rng), gx = 60 * (unit(rng) - 0.5),
               gy = 60 * (unit(rng) - 0.5), edge = 200 * (unit(rng) - 0.5),
               noise = 40 * unit(rng);
  const int edgeAt = static_cast<int>(8 * unit(rng));
  DoubleBlock out{};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const double v = base + gx * (x - 3.5) + gy * (y - 3.5) +
                       (x >= edgeAt ? edge : 0) + noise * (unit(rng) - 0.5);
      out[8 * y + x] = std::clamp(std::round(v), 0.0, 255.0);
    }
  return out;
}

// Quantised coefficients of `samples` under the natural-order table
// `quantisers` (level shift, forward DCT, rounding division).
inline CoefficientBlock Quantise(const DoubleBlock& samples,
                                 const std::array<uint16_t, 64>& quantisers) {
  DoubleBlock shifted = samples;
  for (double& s : shifted) s -= 128;
  const DoubleBlock coef = ReferenceFdct(shifted);
  CoefficientBlock block{};
  for (int k = 0; k < 64; ++k) {
    block.coef[k] = static_cast<int16_t>(std::round(coef[k] / quantisers[k]));
  }
  return block;
}

// A natural-order table in the zigzag order that a DQT segment carries.
inline std::array<uint16_t, 64> ToZigzag(
    const std::array<uint16_t, 64>& natural) {
  std::array<uint16_t, 64> zigzag{};
  for (int k = 0; k < 64; ++k) zigzag[k] = natural[kZigzagToNatural[k]];
  return zigzag;
}
