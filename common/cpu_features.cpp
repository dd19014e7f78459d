#include "common/cpu_features.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kmqx {

namespace {

CpuFeatures DetectProcessor() {
    CpuFeatures features;
#if defined(__x86_64__) || defined(_M_X64)
    features.sse2 = true;  // part of the x86-64 baseline
#elif defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
    features.sse2 = __builtin_cpu_supports("sse2");
#endif
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    // Also checks that the operating system saves the YMM registers.
    features.avx2 = features.sse2 && __builtin_cpu_supports("avx2");
#endif
    return features;
}

}  // namespace

CpuFeatures CapFeatures(CpuFeatures detected, const char* noSimd, const char* simdLevel) {
    if (noSimd != nullptr && noSimd[0] == '1') return CpuFeatures{};
    if (simdLevel == nullptr) return detected;
    if (std::strcmp(simdLevel, "scalar") == 0) return CpuFeatures{};
    if (std::strcmp(simdLevel, "sse2") == 0) detected.avx2 = false;
    return detected;
}

const CpuFeatures& GetCpuFeatures() {
    static const CpuFeatures features =
        CapFeatures(DetectProcessor(), std::getenv("KMQX_NO_SIMD"), std::getenv("KMQX_SIMD_LEVEL"));
    return features;
}

std::vector<SimdLevel> SimdLevelsAboveScalar() {
    std::vector<SimdLevel> levels;
    const CpuFeatures& features = GetCpuFeatures();
    if (features.sse2) levels.push_back(SimdLevel::kSse2);
    if (features.avx2) levels.push_back(SimdLevel::kAvx2);
    return levels;
}

SimdLevel UsableLevel(SimdLevel requested) {
    return std::min(requested, GetCpuFeatures().Level());
}

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::kSse2:
            return "sse2";
        case SimdLevel::kAvx2:
            return "avx2";
        case SimdLevel::kScalar:
        default:
            return "scalar";
    }
}

}  // namespace kmqx
