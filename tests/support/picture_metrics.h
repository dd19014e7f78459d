#pragma once
// Measures of pictures and streams shared by every test program, the
// Windows host programs included: plain C++, no codec headers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kmqx::test {

// PSNR of two sample arrays of equal length, in dB; 99 for identical ones.
inline double Psnr(const uint8_t* a, const uint8_t* b, size_t count) {
    double squared = 0;
    for (size_t i = 0; i < count; ++i) {
        const double d = double(a[i]) - double(b[i]);
        squared += d * d;
    }
    if (squared == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * double(count) / squared);
}

// The same for two arrays; 0 when their lengths differ or they are empty.
inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0.0;
    return Psnr(a.data(), b.data(), a.size());
}

// FNV-1a: the fingerprint golden values of streams and pictures are kept as.
constexpr uint64_t kFnvOffsetBasis = 1469598103934665603ull;
inline uint64_t Fnv1a(const uint8_t* data, size_t size, uint64_t hash = kFnvOffsetBasis) {
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    return hash;
}
inline uint64_t Fnv1a(const std::vector<uint8_t>& bytes, uint64_t hash = kFnvOffsetBasis) {
    return Fnv1a(bytes.data(), bytes.size(), hash);
}

}  // namespace kmqx::test
