// AVX2-table members of the whole-MCU converters for the camera layouts:
// YCbCr of 2x1 and 2x2 luma blocks into RGB and BGR pictures (slots 37,
// 38, 40, 41). Sixteen pixels per step, both luma blocks of a row at once;
// the three bytes of each pixel are placed with byte shuffles (SSSE3,
// which every AVX2 processor has) instead of the SSE2 members' unpacking.
// The chroma terms and the sums are those of the SSE2 members.
#include <immintrin.h>

#include "colour_terms.h"
#include "jpeg_ops.h"
#include "simd_target.h"
#include "x86_members.h"

namespace {

using vkt_colour::load8;
using vkt_colour::spread;
using vkt_colour::Terms;
using vkt_colour::terms_of;

// Shuffle masks that place byte `pixel` of each channel at 3 * pixel +
// channel of the three 16-byte stores of sixteen pixels (-128: zero).
struct ByteMasks {
  int8_t mask[3][3][16];  // [store][channel][byte]
};

constexpr ByteMasks make_byte_masks() {
  ByteMasks masks{};
  for (int store = 0; store < 3; ++store)
    for (int channel = 0; channel < 3; ++channel)
      for (int byte = 0; byte < 16; ++byte) {
        const int position = 16 * store + byte;
        masks.mask[store][channel][byte] = static_cast<int8_t>(position % 3 == channel ? position / 3 : -128);
      }
  return masks;
}

alignas(16) constexpr ByteMasks kByteMasks = make_byte_masks();

VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i mask_of(int store, int channel) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kByteMasks.mask[store][channel]));
}

// Sixteen pixels whose channel bytes are first, second and third.
VKT_TARGET_AVX2 VKT_LANES_INLINE void store_pixels(uint8_t* out, __m128i first, __m128i second, __m128i third) {
#pragma GCC unroll 3
  for (int store = 0; store < 3; ++store) {
    const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(first, mask_of(store, 0)),
                                                    _mm_shuffle_epi8(second, mask_of(store, 1))),
                                       _mm_shuffle_epi8(third, mask_of(store, 2)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * store), bytes);
  }
}

VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i channel(__m128i lum_left, __m128i lum_right, __m128i terms) {
  return _mm_packus_epi16(_mm_adds_epi16(lum_left, spread(terms, 0)), _mm_adds_epi16(lum_right, spread(terms, 1)));
}

template <int kV, bool kBgr>
VKT_TARGET_AVX2 void convert_wide_avx2(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
  constexpr int kChromaBase = 2 * kV * 64;
#pragma GCC unroll 8
  for (int chroma_row = 0; chroma_row < 8; ++chroma_row) {
    const int16_t* const cb = samples + kChromaBase + chroma_row * 8;
    const Terms terms = terms_of(load8(cb), load8(cb + 64));
#pragma GCC unroll 2
    for (int y = chroma_row * kV; y < (chroma_row + 1) * kV; ++y) {
      const int16_t* const luma = samples + (y >> 3) * 128 + (y & 7) * 8;
      const __m128i left = load8(luma), right = load8(luma + 64);
      const __m128i r = channel(left, right, terms.red);
      const __m128i g = channel(left, right, terms.green);
      const __m128i b = channel(left, right, terms.blue);
      if constexpr (kBgr) {
        store_pixels(destination + y * row_stride, b, g, r);
      } else {
        store_pixels(destination + y * row_stride, r, g, b);
      }
    }
  }
}

}  // namespace

void fill_output_converters_avx2(JpegOps& ops) {
  const auto slot = [&ops](int number) -> McuConverter& {
    return ops.output_converters[number - kOutputConverterFirstSlot];
  };
  slot(37) = convert_wide_avx2<1, false>;
  slot(38) = convert_wide_avx2<2, false>;
  slot(40) = convert_wide_avx2<1, true>;
  slot(41) = convert_wide_avx2<2, true>;
}
