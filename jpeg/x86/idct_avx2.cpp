// AVX2 members of the 8x8 inverse transforms: the shared kernels on one
// 256-bit register per line.
#include "lanes_avx2.h"
#include "idct_kernels.h"
#include "x86_members.h"

VKT_TARGET_AVX2 void idct_precise_8x8_avx2(CoefficientBlock* block) { vkt_avx2::idct_precise_8x8_lanes(block); }
VKT_TARGET_AVX2 void idct_fast_8x8_avx2(CoefficientBlock* block) { vkt_avx2::idct_fast_8x8_lanes(block); }
