// SSE2 dequantisers: the shared kernels (dequantise_kernels.h), eight
// coefficients per step.
#include "lanes_sse2.h"
#include "dequantise_kernels.h"
#include "x86_members.h"

VKT_TARGET_SSE2 void dequantise_fast_sse2(CoefficientBlock* block, const int16_t* table) {
  vkt_sse2::dequantise_words<__m128i, true>(block, table);
}

VKT_TARGET_SSE2 void dequantise_precise_sse2(CoefficientBlock* block, const int16_t* table) {
  vkt_sse2::dequantise_words<__m128i, false>(block, table);
}
