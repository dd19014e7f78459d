#pragma once
#include <cstdint>

#include "encoder/macroblock_transform.h"

namespace kmqx {

// Each level L becomes 0 for L = 0, otherwise M * L + R (L > 0) or M * L - R
// (L < 0), in 16-bit arithmetic: |REC| = QUANT * (2|L| + 1), less 1 for an even
// QUANT, as a decoder dequantises.
void DequantizeScalar(const int8_t levels[64], const DequantParams& dequant, int16_t block[64]);

// The encoder's own 16-bit fixed-point inverse DCT, in place: a row pass with
// 32-bit multiply-accumulate (per-row coefficient sets, >> 12 with rounding,
// saturated to 16 bits), then a column pass of saturating 16-bit additions and
// high-half products by tangent constants (rounding 16, >> 5).
void InverseTransform16Scalar(int16_t block[64]);

// destination = clip(prediction + residual), the addition 16-bit and wrapping;
// prediction packed 8 bytes a row.
void AddAndClipScalar(const int16_t residual[64], const uint8_t prediction[64],
                      uint8_t* destination, int32_t pitch);
// destination = clip(residual).
void StoreClippedScalar(const int16_t residual[64], uint8_t* destination, int32_t pitch);

// The fastest versions for this processor.
void Dequantize(const int8_t levels[64], const DequantParams& dequant, int16_t block[64]);
void InverseTransform16(int16_t block[64]);

}  // namespace kmqx
