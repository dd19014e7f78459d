#pragma once
// What the AVX2 kernel files share: whether this target can have them, the
// intrinsics, and the attribute that lets them compile in a build whose
// baseline lacks AVX2; they run only where the processor has it.
#include "common/sse2.h"

#if KMQX_HAVE_SSE2_KERNELS && (defined(__GNUC__) || defined(__clang__))
#define KMQX_HAVE_AVX2_KERNELS 1
#include <immintrin.h>
#else
#define KMQX_HAVE_AVX2_KERNELS 0
#endif

#define KMQX_AVX2 __attribute__((target("avx2")))
// Entry points: the 32-bit ABI keeps the stack only 4-byte aligned (Windows
// callers), so they realign it.
#if defined(__i386__)
#define KMQX_AVX2_ENTRY __attribute__((target("avx2"), force_align_arg_pointer))
#else
#define KMQX_AVX2_ENTRY KMQX_AVX2
#endif
