// YCbCr to RGB arithmetic shared by the output routines: the JFIF
// full-range equations with 8-bit fractions (359/256 = 1.402,
// 88/256 = 0.344, 183/256 = 0.714, 454/256 = 1.773), the Cb/Cr offsets of
// 128 folded into one constant per term. The MCU converters and the
// in-place conversion round the green term differently (the in-place form
// shifts the negated sum), so neutral chroma gives G = Y + 1 on the
// converters and G = Y in place.
#pragma once
#include <cstdint>

inline uint8_t clamp_sample(int value) {
  return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

struct ChromaTerms {
  int red;
  int green;
  int blue;
};

// Terms of the MCU converters, added to Y.
inline ChromaTerms converter_terms(int cb, int cr) {
  return {(359 * cr - 45813) >> 8, -((88 * cb + 183 * cr - 34806) >> 8), (454 * cb - 57937) >> 8};
}

// Terms of the in-place conversion, added to Y.
inline ChromaTerms in_place_terms(int cb, int cr) {
  return {(359 * cr - 45813) >> 8, (34806 - 88 * cb - 183 * cr) >> 8, (454 * cb - 57937) >> 8};
}

// One pixel of the in-place conversion, into RGB or BGR bytes.
template <bool kBgr>
inline void store_in_place_pixel(uint8_t* out, int lum, int cb, int cr) {
  const ChromaTerms terms = in_place_terms(cb, cr);
  const uint8_t r = clamp_sample(lum + terms.red), g = clamp_sample(lum + terms.green),
                b = clamp_sample(lum + terms.blue);
  out[0] = kBgr ? b : r;
  out[1] = g;
  out[2] = kBgr ? r : b;
}
