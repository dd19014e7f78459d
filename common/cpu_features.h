#pragma once
#include <vector>

namespace kmqx {

// Instruction-set levels the kernel tables know, each including the ones
// before it.
enum class SimdLevel { kScalar, kSse2, kAvx2 };

// What the processor offers beyond plain scalar code. Kernel tables start
// with the scalar versions and are upgraded where these say so.
struct CpuFeatures {
    bool sse2 = false;
    bool avx2 = false;
    SimdLevel Level() const {
        return avx2 ? SimdLevel::kAvx2 : sse2 ? SimdLevel::kSse2 : SimdLevel::kScalar;
    }
};

// Detected once. The environment can lower what is used, for comparing paths
// on whole streams: KMQX_NO_SIMD=1 forces the scalar kernels, and
// KMQX_SIMD_LEVEL=scalar|sse2|avx2 caps the level (never raising it above
// what the processor has).
const CpuFeatures& GetCpuFeatures();

// The features a processor offering `detected` keeps under the given
// environment values (either may be null).
CpuFeatures CapFeatures(CpuFeatures detected, const char* noSimd, const char* simdLevel);

// Every level above scalar that this processor has, lowest first: kernel
// tests compare each one with the scalar reference.
std::vector<SimdLevel> SimdLevelsAboveScalar();

// `requested`, lowered to the level in use where that is below it.
SimdLevel UsableLevel(SimdLevel requested);

const char* SimdLevelName(SimdLevel level);

}  // namespace kmqx
