// Target attributes for the x86 members. Each member carries its own
// instruction set in a function attribute, so one binary built for the
// baseline processor holds SSE2 and AVX2 code side by side and runs
// everywhere; the table fill decides which of them may run. The 32-bit
// build needs the SSE2 attribute too: its baseline has no SSE2.
#pragma once

#if defined(__GNUC__)
#define VKT_TARGET_SSE2 __attribute__((target("sse2")))
#define VKT_TARGET_AVX2 __attribute__((target("avx2")))
#define VKT_LANES_INLINE inline __attribute__((always_inline))
#else
#error "the x86 members need GCC or Clang function attributes"
#endif
