#pragma once
#include <cstdint>

#include "encoder/macroblock_transform.h"

namespace kmqx {

// Scalar references of the reconstruction kernels (the inverse transform
// itself is the decoder's, common/inverse_dct.h).

// Each level L becomes 0 for L = 0, otherwise M * L + R (L > 0) or M * L - R
// (L < 0), saturated to -4095..4095 as a decoder saturates it: |REC| =
// QUANT * (2|L| + 1), less 1 for an even QUANT.
void DequantizeScalar(const int8_t levels[64], const DequantParams& dequant, int16_t block[64]);

// destination = clip(prediction + residual), the addition 16-bit and wrapping.
void AddAndClipScalar(const int16_t residual[64], const uint8_t* prediction,
                      int32_t predictionStride, uint8_t* destination, int32_t pitch);
// destination = clip(residual).
void StoreClippedScalar(const int16_t residual[64], uint8_t* destination, int32_t pitch);

}  // namespace kmqx
