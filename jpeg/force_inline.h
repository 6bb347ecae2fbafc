// Forced inlining for the hot helpers whose worth depends on being folded
// into their caller: the bit reader's steps, whose state must stay in
// registers, and prefetches, which the compiler drops from a call it
// cannot see an effect of.
#pragma once

#if defined(_MSC_VER)
#define VKT_FORCE_INLINE __forceinline
#else
#define VKT_FORCE_INLINE inline __attribute__((always_inline))
#endif
