// AVX2-table members of the whole-MCU converters for the camera layouts:
// grey (slot 35) and YCbCr of 1x1, 2x1 and 2x2 luma blocks into RGB and
// BGR pictures (slots 36..41). Two picture rows of an MCU per step, one
// per 128-bit half; the three bytes of each pixel are placed with byte
// shuffles (SSSE3, which every AVX2 processor has) instead of the SSE2
// members' unpacking. The chroma terms and the sums are those of the SSE2
// members. The grey expanders' AVX2 members place bytes the same way, and
// so do the row converters and the triangle filter's one-pass rows.
#include <immintrin.h>

#include "simd_target.h"
#define VKT_COLOUR_TARGET VKT_TARGET_AVX2
#define VKT_COLOUR_WIDE
#include "colour_terms.h"
#include "jpeg_ops.h"
#include "simd_target.h"
#include "x86_members.h"

namespace {

using vkt_colour::load8;

// Shuffle masks that place byte `pixel` of each channel at 3 * pixel +
// channel of the three 16-byte stores of sixteen pixels (-128: zero), in
// both 128-bit halves, so that a 256-bit shuffle takes its mask straight
// from memory. The parity form takes the channel bytes of the even pixels
// first, then those of the odd ones.
struct ByteMasks {
  int8_t mask[3][3][32];  // [store][channel][byte]
};

constexpr ByteMasks make_byte_masks(bool parity) {
  ByteMasks masks{};
  for (int store = 0; store < 3; ++store)
    for (int channel = 0; channel < 3; ++channel)
      for (int byte = 0; byte < 32; ++byte) {
        const int position = 16 * store + byte % 16, pixel = position / 3;
        const int source = parity ? (pixel & 1) * 8 + pixel / 2 : pixel;
        masks.mask[store][channel][byte] = static_cast<int8_t>(position % 3 == channel ? source : -128);
      }
  return masks;
}

alignas(32) constexpr ByteMasks kByteMasks = make_byte_masks(false);
alignas(32) constexpr ByteMasks kParityByteMasks = make_byte_masks(true);

VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i mask_of(int store, int channel) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kByteMasks.mask[store][channel]));
}

// Bytes 16 * store .. 16 * store + 15 of the pixels whose channel bytes
// are first, second and third.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i pixel_bytes(int store, __m128i first, __m128i second, __m128i third) {
  return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(first, mask_of(store, 0)),
                                   _mm_shuffle_epi8(second, mask_of(store, 1))),
                      _mm_shuffle_epi8(third, mask_of(store, 2)));
}

// Sixteen pixels whose channel bytes are first, second and third.
VKT_TARGET_AVX2 VKT_LANES_INLINE void store_pixels(uint8_t* out, __m128i first, __m128i second, __m128i third) {
  for (int store = 0; store < 3; ++store)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * store), pixel_bytes(store, first, second, third));
}

VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i load16(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// mask_of in both 128-bit halves, of the natural or the parity masks.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i wide_mask_of(const ByteMasks& masks, int store, int channel) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(masks.mask[store][channel]));
}

// pixel_bytes in each 128-bit half: sixteen pixels per half.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i wide_pixel_bytes(int store, __m256i first, __m256i second, __m256i third,
                                                          const ByteMasks& masks = kByteMasks) {
  return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(first, wide_mask_of(masks, store, 0)),
                                         _mm256_shuffle_epi8(second, wide_mask_of(masks, store, 1))),
                         _mm256_shuffle_epi8(third, wide_mask_of(masks, store, 2)));
}

// 1x1 MCUs (4:4:4), two picture rows per step: a row's eight samples of
// each block are contiguous, so rows y and y + 1 fill one register, one
// row per 128-bit half, and every chroma term is computed once for both.
template <bool kBgr>
VKT_TARGET_AVX2 VKT_LANES_INLINE void convert_one_by_one(const int16_t* samples, uint8_t* destination,
                                                         ptrdiff_t row_stride) {
#pragma GCC unroll 4
  for (int y = 0; y < 8; y += 2) {
    const auto terms = vkt_colour::terms16<false>(load16(samples + 64 + 8 * y), load16(samples + 128 + 8 * y));
    const __m256i luma = load16(samples + 8 * y);
    const __m256i r = _mm256_packus_epi16(_mm256_adds_epi16(luma, terms.red), luma);
    const __m256i g = _mm256_packus_epi16(_mm256_adds_epi16(luma, terms.green), luma);
    const __m256i b = _mm256_packus_epi16(_mm256_adds_epi16(luma, terms.blue), luma);
    const __m256i first = kBgr ? b : r, third = kBgr ? r : b;
    const __m256i stores[2] = {wide_pixel_bytes(0, first, g, third), wide_pixel_bytes(1, first, g, third)};
    for (int half = 0; half < 2; ++half) {
      uint8_t* const out = destination + (y + half) * row_stride;
      const __m128i bytes = half == 0 ? _mm256_castsi256_si128(stores[0]) : _mm256_extracti128_si256(stores[0], 1);
      const __m128i tail = half == 0 ? _mm256_castsi256_si128(stores[1]) : _mm256_extracti128_si256(stores[1], 1);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), tail);
    }
  }
}

// A channel of two picture rows of 2x1 and 2x2 MCUs, one row per 128-bit
// half: luma blocks `left` and `right` (rows y and y + 1 of each) plus the
// terms, each of which serves two neighbouring pixels.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i channel_pair(__m256i left, __m256i right, __m256i terms) {
  return _mm256_packus_epi16(_mm256_adds_epi16(left, _mm256_unpacklo_epi16(terms, terms)),
                             _mm256_adds_epi16(right, _mm256_unpackhi_epi16(terms, terms)));
}

// 2x1 and 2x2 MCUs, two picture rows per step as for 1x1 MCUs: rows y and
// y + 1 of a luma block are contiguous, and so are their chroma rows in a
// 2x1 MCU; in a 2x2 MCU both rows share one chroma row, whose terms serve
// both halves. Three 256-bit shuffle groups place the 48 bytes of each row.
template <int kV, bool kBgr>
VKT_TARGET_AVX2 VKT_LANES_INLINE void convert_two_wide(const int16_t* samples, uint8_t* destination,
                                                       ptrdiff_t row_stride) {
  constexpr int kChromaBase = 2 * kV * 64;
#pragma GCC unroll 8
  for (int y = 0; y < 8 * kV; y += 2) {
    const int16_t* const cb = samples + kChromaBase + (y / kV) * 8;
    const auto terms =
        kV == 2 ? vkt_colour::terms16<false>(_mm256_broadcastsi128_si256(load8(cb)),
                                             _mm256_broadcastsi128_si256(load8(cb + 64)))
                : vkt_colour::terms16<false>(load16(cb), load16(cb + 64));
    const int16_t* const luma = samples + (y >> 3) * 128 + (y & 7) * 8;
    const __m256i left = load16(luma), right = load16(luma + 64);
    const __m256i r = channel_pair(left, right, terms.red);
    const __m256i g = channel_pair(left, right, terms.green);
    const __m256i b = channel_pair(left, right, terms.blue);
    const __m256i first = kBgr ? b : r, third = kBgr ? r : b;
    uint8_t* const top = destination + y * row_stride;
    uint8_t* const bottom = top + row_stride;
    for (int store = 0; store < 3; ++store) {
      const __m256i bytes = wide_pixel_bytes(store, first, g, third);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(top + 16 * store), _mm256_castsi256_si128(bytes));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(bottom + 16 * store), _mm256_extracti128_si256(bytes, 1));
    }
  }
}

// A grey block's samples as bytes, four rows per step: a row pair per
// 256-bit load, the pack puts rows y and y + 2 in the low half and y + 1
// and y + 3 in the high one.
VKT_TARGET_AVX2 void convert_grey_avx2(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
#pragma GCC unroll 2
  for (int y = 0; y < 8; y += 4) {
    const __m256i bytes = _mm256_packus_epi16(load16(samples + 8 * y), load16(samples + 8 * y + 16));
    const __m128i even = _mm256_castsi256_si128(bytes), odd = _mm256_extracti128_si256(bytes, 1);
    uint8_t* const out = destination + y * row_stride;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), even);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + row_stride), odd);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * row_stride), _mm_unpackhi_epi64(even, even));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * row_stride), _mm_unpackhi_epi64(odd, odd));
  }
}

template <int kH, int kV, bool kBgr>
VKT_TARGET_AVX2 void convert_whole_avx2(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
  if constexpr (kH == 1) return convert_one_by_one<kBgr>(samples, destination, row_stride);
  else return convert_two_wide<kV, kBgr>(samples, destination, row_stride);
}

// Shuffle masks of the grey expanders: from a row pair's 16 samples (row
// 0 in bytes 0..7, row 1 in 8..15), the 24 bytes of a row's 3-byte pixels
// (16 + 8) and the 32 bytes of its 4-byte pixels (one per 128-bit lane of
// a register holding the pair twice; -128 clears the fourth byte).
struct GreyMasks {
  int8_t three[2][2][16];  // [row][store][byte]
  int8_t four[2][32];      // [row][byte]
};

constexpr GreyMasks make_grey_masks() {
  GreyMasks masks{};
  for (int row = 0; row < 2; ++row) {
    for (int position = 0; position < 32; ++position) {
      masks.three[row][position / 16][position % 16] = static_cast<int8_t>(8 * row + position / 3);
      masks.four[row][position] = static_cast<int8_t>(position % 4 == 3 ? -128 : 8 * row + position / 4);
    }
  }
  return masks;
}

alignas(32) constexpr GreyMasks kGreyMasks = make_grey_masks();

VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i grey_mask_three(int row, int store) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kGreyMasks.three[row][store]));
}

// Two picture rows per step; the samples saturate to bytes as the
// portable member clamps them.
VKT_TARGET_AVX2 void expand_grey_three_avx2(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
#pragma GCC unroll 4
  for (int y = 0; y < 8; y += 2) {
    const __m128i pair = _mm_packus_epi16(load8(samples + 8 * y), load8(samples + 8 * y + 8));
#pragma GCC unroll 2
    for (int row = 0; row < 2; ++row) {
      uint8_t* const out = destination + (y + row) * row_stride;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pair, grey_mask_three(row, 0)));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_shuffle_epi8(pair, grey_mask_three(row, 1)));
    }
  }
}

VKT_TARGET_AVX2 void expand_grey_four_avx2(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
  const __m256i opaque = _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u));
#pragma GCC unroll 4
  for (int y = 0; y < 8; y += 2) {
    const __m256i pair =
        _mm256_broadcastsi128_si256(_mm_packus_epi16(load8(samples + 8 * y), load8(samples + 8 * y + 8)));
#pragma GCC unroll 2
    for (int row = 0; row < 2; ++row) {
      const __m256i mask = _mm256_load_si256(reinterpret_cast<const __m256i*>(kGreyMasks.four[row]));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + (y + row) * row_stride),
                          _mm256_or_si256(_mm256_shuffle_epi8(pair, mask), opaque));
    }
  }
}

// Sixteen pixels' channel bytes from their sums, saturated as the SSE2
// member's packus saturates them.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i channel16(__m256i sums) {
  return _mm_packus_epi16(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
}

// The in-place sums of sixteen pixels, luma, Cb and Cr from x on.
VKT_TARGET_AVX2 VKT_LANES_INLINE vkt_colour::WideTerms channel_sums(const int16_t* luma, const int16_t* cb,
                                                                   const int16_t* cr) {
  return vkt_colour::in_place_sums16(load16(luma), load16(cb), load16(cr));
}

// Thirty-two pixels' bytes of one channel from the sums of pixels 0..15
// and 16..31, in order: pixels 0..15 in the low 128-bit half.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i channel32(__m256i first, __m256i second) {
  return _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
}

// A picture row of any width with the in-place arithmetic (the SSE2
// member's terms and sums, on sixteen samples per register): thirty-two
// pixels per step while as many remain, their bytes placed with one group
// of 256-bit shuffles (sixteen pixels per 128-bit half), then sixteen per
// step; the last step's pixels go through a local buffer when fewer than
// sixteen remain.
template <bool kBgr>
VKT_TARGET_AVX2 void convert_ycc_row_avx2(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out,
                                          int width) {
  int x = 0;
  for (; width - x >= 32; x += 32) {
    const auto low = channel_sums(luma + x, cb + x, cr + x);
    const auto high = channel_sums(luma + x + 16, cb + x + 16, cr + x + 16);
    const __m256i r = channel32(low.red, high.red), g = channel32(low.green, high.green);
    const __m256i b = channel32(low.blue, high.blue);
    const __m256i first = kBgr ? b : r, third = kBgr ? r : b;
    uint8_t* const pixels = out + 3 * x;
    for (int store = 0; store < 3; ++store) {
      const __m256i bytes = wide_pixel_bytes(store, first, g, third);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + 16 * store), _mm256_castsi256_si128(bytes));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + 48 + 16 * store), _mm256_extracti128_si256(bytes, 1));
    }
  }
  for (; x < width; x += 16) {
    const auto sums = channel_sums(luma + x, cb + x, cr + x);
    const __m128i r = channel16(sums.red), g = channel16(sums.green), b = channel16(sums.blue);
    const int pixels = width - x;
    alignas(16) uint8_t tail[48];
    uint8_t* const target = pixels >= 16 ? out + 3 * x : tail;
    if constexpr (kBgr) {
      store_pixels(target, b, g, r);
    } else {
      store_pixels(target, r, g, b);
    }
    if (pixels < 16) __builtin_memcpy(out + 3 * x, tail, static_cast<size_t>(3 * pixels));
  }
}

// Thirty-two pixels of the one-pass triangle row, on 16-bit lanes
// throughout (in_place_sums16), computed apart for the even pixels (the
// left samples of the chroma pairs) and the odd ones (the right samples):
// the luma words split into their low and high bytes give the pixels in
// the pairs' order, so nothing is interleaved before the pack, whose bytes
// the parity masks place.
template <int kShift, int kLeftRound, int kRightRound, bool kBgr>
VKT_TARGET_AVX2 VKT_LANES_INLINE void triangle_colour_step(const uint8_t* luma, const int16_t* cb_terms,
                                                           const int16_t* cr_terms, uint8_t* out) {
  const __m256i luma_pairs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma));
  const __m256i even_luma = _mm256_and_si256(luma_pairs, _mm256_set1_epi16(0xFF));
  const __m256i odd_luma = _mm256_srli_epi16(luma_pairs, 8);
  const auto cb = vkt_colour::triangle_pair<kShift, kLeftRound, kRightRound>(load16(cb_terms - 1), load16(cb_terms),
                                                                            load16(cb_terms + 1));
  const auto cr = vkt_colour::triangle_pair<kShift, kLeftRound, kRightRound>(load16(cr_terms - 1), load16(cr_terms),
                                                                            load16(cr_terms + 1));
  const auto even = vkt_colour::in_place_sums16(even_luma, cb.left, cr.left);
  const auto odd = vkt_colour::in_place_sums16(odd_luma, cb.right, cr.right);
  const __m256i r = _mm256_packus_epi16(even.red, odd.red), g = _mm256_packus_epi16(even.green, odd.green);
  const __m256i b = _mm256_packus_epi16(even.blue, odd.blue);
  const __m256i first = kBgr ? b : r, third = kBgr ? r : b;
  for (int store = 0; store < 3; ++store) {
    const __m256i bytes = wide_pixel_bytes(store, first, g, third, kParityByteMasks);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * store), _mm256_castsi256_si128(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48 + 16 * store), _mm256_extracti128_si256(bytes, 1));
  }
}

// The one-pass triangle row, thirty-two pixels per step; the last step's
// pixels go through a local buffer when fewer than thirty-two remain.
template <int kShift, int kLeftRound, int kRightRound, bool kBgr>
VKT_TARGET_AVX2 void triangle_colour_row_avx2(const uint8_t* luma, const int16_t* cb_terms, const int16_t* cr_terms,
                                              uint8_t* out, int width) {
  const uint8_t* const whole_end = luma + (width & ~31);
  for (; luma < whole_end; luma += 32, cb_terms += 16, cr_terms += 16, out += 96)
    triangle_colour_step<kShift, kLeftRound, kRightRound, kBgr>(luma, cb_terms, cr_terms, out);
  if (const int pixels = width & 31) {
    alignas(16) uint8_t tail[96];
    triangle_colour_step<kShift, kLeftRound, kRightRound, kBgr>(luma, cb_terms, cr_terms, tail);
    __builtin_memcpy(out, tail, static_cast<size_t>(3 * pixels));
  }
}

}  // namespace

void fill_triangle_colour_avx2(SideMembers& members) {
  members.triangle_colour[1][0] = triangle_colour_row_avx2<4, 8, 7, false>;
  members.triangle_colour[1][1] = triangle_colour_row_avx2<4, 8, 7, true>;
  members.triangle_colour[0][0] = triangle_colour_row_avx2<2, 1, 2, false>;
  members.triangle_colour[0][1] = triangle_colour_row_avx2<2, 1, 2, true>;
}

void fill_ycc_rows_avx2(SideMembers& members) {
  members.ycc_row_rgb = convert_ycc_row_avx2<false>;
  members.ycc_row_bgr = convert_ycc_row_avx2<true>;
}

void fill_grey_expanders_avx2(SideMembers& expanders) {
  expanders.grey_three_bytes = expand_grey_three_avx2;
  expanders.grey_four_bytes = expand_grey_four_avx2;
}

void fill_output_converters_avx2(JpegOps& ops) {
  const auto slot = [&ops](int number) -> McuConverter& {
    return ops.output_converters[number - kOutputConverterFirstSlot];
  };
  slot(35) = convert_grey_avx2;
  slot(36) = convert_whole_avx2<1, 1, false>;
  slot(37) = convert_whole_avx2<2, 1, false>;
  slot(38) = convert_whole_avx2<2, 2, false>;
  slot(39) = convert_whole_avx2<1, 1, true>;
  slot(40) = convert_whole_avx2<2, 1, true>;
  slot(41) = convert_whole_avx2<2, 2, true>;
}
