#pragma once
// What the SSE2 kernel files share: whether this target can have them, the
// intrinsics, and the attributes that let them compile where the baseline
// does not include SSE2 (32-bit x86); they run only where the CPU has it.

#if defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64)
#define KMQX_HAVE_SSE2_KERNELS 1
#include <emmintrin.h>
#else
#define KMQX_HAVE_SSE2_KERNELS 0
#endif

#if defined(__GNUC__) || defined(__clang__)
#define KMQX_SSE2 __attribute__((target("sse2")))
#else
#define KMQX_SSE2
#endif

// Entry points of kernels that spill vectors to the stack. The 32-bit ABI
// keeps the stack only 4-byte aligned (Windows callers), so they realign it.
#if defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
#define KMQX_SSE2_ENTRY __attribute__((target("sse2"), force_align_arg_pointer))
#else
#define KMQX_SSE2_ENTRY KMQX_SSE2
#endif
