// SSE2 members of the 8x8 inverse transforms: the shared kernels on pairs
// of 128-bit registers.
#include "lanes_sse2.h"
#include "idct_kernels.h"
#include "x86_members.h"

VKT_TARGET_SSE2 void idct_precise_8x8_sse2(CoefficientBlock* block) { vkt_sse2::idct_precise_8x8_lanes(block); }
VKT_TARGET_SSE2 void idct_fast_8x8_sse2(CoefficientBlock* block) { vkt_sse2::idct_fast_8x8_lanes(block); }
