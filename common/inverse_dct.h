#pragma once
#include <cstdint>

#include "common/saturate.h"

namespace kmqx {

// The integer inverse DCT of both directions: the decoder transforms every
// coded block with it, and the encoder rebuilds its reference with it, so
// that the encoder predicts from exactly the picture a decoder holds.
//
// In place on one 8x8 block of dequantised coefficients in raster order (row
// = vertical frequency): a row pass, then a column pass (Chen-Wang flow graph,
// 12-bit constants, 32-bit arithmetic). Results lie in -256..255. Any 16-bit
// input is safe: row results saturate to 16 bits and the products by 181 wrap
// as 32-bit arithmetic, so every version gives the same samples even for
// coefficients no encoder sends.
void InverseDctScalar(int16_t block[64]);

// A residual of the inverse transform: its last stage saturates to -256..255.
constexpr int16_t ClipResidual(int32_t value) {
    return int16_t(value < -256 ? -256 : (value > 255 ? 255 : value));
}

// 2048 * sqrt(2) * cos(k * pi / 16), rounded, for k = 1, 2, 3, 5, 6, 7; and
// 181 = 256 / sqrt(2), rounded.
namespace idct {
constexpr int32_t W1 = 2841;
constexpr int32_t W2 = 2676;
constexpr int32_t W3 = 2408;
constexpr int32_t W5 = 1609;
constexpr int32_t W6 = 1108;
constexpr int32_t W7 = 565;
constexpr int32_t kHalfSqrt2 = 181;
}  // namespace idct

struct InverseDctKernels {
    void (*inverseDct)(int16_t block[64]);
};

// The kernels for this processor: scalar, upgraded where the CPU allows.
// Built once, read-only afterwards, so codecs on several threads share them.
const InverseDctKernels& GetInverseDctKernels();

const InverseDctKernels& ScalarInverseDctKernels();
// Replace entries by SSE2 (AVX2) versions; false (and nothing changed) where
// this build has none.
bool UpgradeInverseDctKernelsSse2(InverseDctKernels& kernels);
bool UpgradeInverseDctKernelsAvx2(InverseDctKernels& kernels);

// The one value every sample of the transform takes when a block's only
// nonzero coefficient is its DC one: both passes reduce to their DC rounding.
inline int16_t InverseDctOfDcOnly(int16_t dc) {
    return ClipResidual((SaturateToInt16(dc * 8) + 32) >> 6);
}

inline void InverseDct(int16_t block[64]) {
    GetInverseDctKernels().inverseDct(block);
}

}  // namespace kmqx
