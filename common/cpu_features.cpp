#include "common/cpu_features.h"

#include <cstdlib>

namespace kmqx {

namespace {

CpuFeatures Detect() {
    CpuFeatures features;
    const char* noSimd = std::getenv("KMQX_NO_SIMD");
    if (noSimd != nullptr && noSimd[0] == '1') return features;
#if defined(__x86_64__) || defined(_M_X64)
    features.sse2 = true;  // part of the x86-64 baseline
#elif defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
    features.sse2 = __builtin_cpu_supports("sse2");
#endif
    return features;
}

}  // namespace

const CpuFeatures& GetCpuFeatures() {
    static const CpuFeatures features = Detect();
    return features;
}

}  // namespace kmqx
