// AVX2 dequantisers: the shared kernels (dequantise_kernels.h), sixteen
// coefficients per step.
#include "lanes_avx2.h"
#include "dequantise_kernels.h"
#include "x86_members.h"

VKT_TARGET_AVX2 void dequantise_fast_avx2(CoefficientBlock* block, const int16_t* table) {
  vkt_avx2::dequantise_words<__m256i, true>(block, table);
}

VKT_TARGET_AVX2 void dequantise_precise_avx2(CoefficientBlock* block, const int16_t* table) {
  vkt_avx2::dequantise_words<__m256i, false>(block, table);
}
