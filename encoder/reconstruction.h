#pragma once
#include <cstdint>

#include "encoder/macroblock_transform.h"
#include "encoder/picture_view.h"

namespace kmqx {

// An intra block with AC levels: dequantise (index 0, the DC read as unsigned,
// becomes 8 * DC), inverse transform, store clipped to 0..255.
void ReconstructIntraBlock(const int8_t levels[64], const DequantParams& dequant,
                           uint8_t* destination, int32_t pitch);

// An intra block with its DC alone; dcCoefficient = 8 * DC. Fills the 8x8 area
// with (dcCoefficient + 4) >> 3 clipped to 0..255.
void FillIntraBlock(int32_t dcCoefficient, uint8_t* destination, int32_t pitch);

// An inter block that was transformed: prediction plus the dequantised
// residual, clipped. `last` = 0 with a zero level at index 0 reproduces the
// prediction; a DC alone adds (REC + 4) >> 3 exactly as a decoder does.
void ReconstructInterBlock(const int8_t levels[64], int32_t last, const uint8_t* prediction,
                           int32_t predictionStride, const DequantParams& dequant,
                           uint8_t* destination, int32_t pitch);

// The two 8x8 chroma predictions (rows `stride` bytes apart) of the macroblock
// at (column, row) for the luminance vector (vx, vy) in half-pixel units, from
// the reference's Cb and Cr planes, as a decoder forms them. Samples that the
// interpolation would need beyond a plane edge repeat the edge sample.
void PredictChroma(const PictureView& reference, int32_t column, int32_t row, int32_t vx,
                   int32_t vy, uint8_t* cbPrediction, uint8_t* crPrediction, int32_t stride);

}  // namespace kmqx
