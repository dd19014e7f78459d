#pragma once
#include <cstdint>

namespace kmqx {

// Post-scale factors applied after the two transform passes; symmetric.
// Close to 4096 / (a(u) a(v)), a(0) = 1, a(k) = sqrt(2) cos(k pi / 16), but
// the (7, 7) factor is halved to fit 16 bits, so F(7, 7) comes out at about
// half its exact value.
extern const uint16_t kForwardPostScale[64];

// The post-scale of the transform's output x at raster index i: (|x| *
// factor + 32768) >> 16 with the sign of x.
inline int16_t PostScaleCoefficient(int32_t x, int32_t index) {
    const int32_t magnitude = ((x < 0 ? -x : x) * kForwardPostScale[index] + 32768) >> 16;
    return static_cast<int16_t>(x >= 0 ? magnitude : -magnitude);
}

// Fast scaled 8x8 forward DCT in 16-bit fixed point, in place. Input: samples
// (or prediction errors) row by row. Output: the coefficients, normalised so
// that F(0, 0) = 8 * mean, transposed (row = horizontal frequency). 16-bit
// additions wrap.
void ForwardDctScalar(int16_t block[64]);

// The fastest version for this processor.
void ForwardDct(int16_t block[64]);

}  // namespace kmqx
