// Integer helpers shared by the inverse transforms.
//
// The transforms are defined on 32-bit two's-complement registers: sums and
// products wrap, shifts are arithmetic. Realistic coefficients never come
// near the limits, but corrupt data can put any 16-bit value in any entry,
// and then, for example, (y1 - y7) * 85627 needs 35 bits. Wrap32 keeps the
// wrapping results of the machine arithmetic without signed-overflow
// undefined behaviour, at no cost: it compiles to the same instructions.
#pragma once
#include <cstdint>

class Wrap32 {
 public:
  constexpr Wrap32(int32_t v) : bits_(static_cast<uint32_t>(v)) {}

  constexpr int32_t value() const { return static_cast<int32_t>(bits_); }
  // Low 16 bits, as a 16-bit store of the register keeps them.
  constexpr int16_t low16() const { return static_cast<int16_t>(bits_); }

  friend constexpr Wrap32 operator+(Wrap32 a, Wrap32 b) {
    return FromBits(a.bits_ + b.bits_);
  }
  friend constexpr Wrap32 operator-(Wrap32 a, Wrap32 b) {
    return FromBits(a.bits_ - b.bits_);
  }
  friend constexpr Wrap32 operator*(Wrap32 a, Wrap32 b) {
    return FromBits(a.bits_ * b.bits_);
  }
  // Arithmetic shift right (C++20 defines >> of a negative value so).
  friend constexpr Wrap32 operator>>(Wrap32 a, int n) {
    return Wrap32(a.value() >> n);
  }

 private:
  static constexpr Wrap32 FromBits(uint32_t bits) {
    return Wrap32(static_cast<int32_t>(bits));
  }
  uint32_t bits_;
};

// The sample v + 128, saturated to 0..255.
constexpr int16_t ClampSample(Wrap32 v) {
  const int32_t s = v.value();
  return static_cast<int16_t>(s < -128 ? 0 : (s > 127 ? 255 : s + 128));
}

// What the 1x1 members make of a dequantised DC value: the sample of a
// block read at 1/8, and of every block without AC terms at any size.
// Precise saturates at 0 below -1028 and at 255 from 1020 upwards; fast
// below -2056 and from 2040 upwards.
constexpr int16_t PreciseDcSample(int16_t dc) { return ClampSample((Wrap32(dc) + 4) >> 3); }
constexpr int16_t FastDcSample(int16_t dc) { return ClampSample((Wrap32(dc) + 8) >> 4); }
