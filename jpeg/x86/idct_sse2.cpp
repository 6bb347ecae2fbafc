// SSE2 members of the inverse transforms, 8x8 and the reduced sizes: the
// shared kernels on pairs of 128-bit registers.
#include "lanes_sse2.h"
#include "idct_kernels.h"
#include "idct_scaled_kernels.h"
#include "x86_members.h"

VKT_TARGET_SSE2 void idct_precise_8x8_sse2(CoefficientBlock* block) { vkt_sse2::idct_precise_8x8_lanes(block); }
VKT_TARGET_SSE2 void idct_precise_8x8_dequantised_sse2(CoefficientBlock* block, const int16_t* table) {
  vkt_sse2::idct_precise_8x8_dequantised_lanes(block, table);
}
VKT_TARGET_SSE2 void idct_fast_8x8_sse2(CoefficientBlock* block) { vkt_sse2::idct_fast_8x8_lanes(block); }
VKT_TARGET_SSE2 void idct_precise_4x4_sse2(CoefficientBlock* block) { vkt_sse2::idct_precise_4x4_lanes(block); }
VKT_TARGET_SSE2 void idct_precise_2x2_sse2(CoefficientBlock* block) { vkt_sse2::idct_precise_2x2_lanes(block); }
VKT_TARGET_SSE2 void idct_fast_4x4_sse2(CoefficientBlock* block) { vkt_sse2::idct_fast_4x4_lanes(block); }
VKT_TARGET_SSE2 void idct_fast_2x2_sse2(CoefficientBlock* block) { vkt_sse2::idct_fast_2x2_lanes(block); }
