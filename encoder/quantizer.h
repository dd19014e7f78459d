#pragma once
#include <cstdint>

#include "common/h263_syntax.h"
#include "encoder/macroblock_transform.h"
#include "encoder/transform_kernels.h"

namespace kmqx {

// Raster index -> zigzag scan index (the inverse of kZigzag).
alignas(16) extern const uint8_t kInverseZigzag[64];

// Intra rule on every coefficient: a = |x| + (1 if x > 0), level = sign *
// (a / 2 * R >> 16) for QP >= 3, a / 4 for QP 2, a / 2 for QP 1; clamped to
// -127..127. Same orientation as the input.
void QuantizeIntraCoefficientsScalar(const int16_t coefficients[64],
                                     const QuantizerParams& quantizer, int8_t levels[64]);
// Inter rule: x' = x + H (+ K when x > 0), then as intra with a = |x'|. The
// levels come out transposed, undoing the forward transform's orientation.
void QuantizeInterCoefficientsScalar(const int16_t coefficients[64],
                                     const QuantizerParams& quantizer, int8_t levels[64]);
// The intra and inter rules on one post-scaled coefficient.
int8_t IntraLevel(int32_t coefficient, const QuantizerParams& quantizer);
int8_t InterLevel(int32_t coefficient, const QuantizerParams& quantizer);
// The transform outputs (before the post-scale) whose level is 0 are exactly
// those x at row r and column c of the transform's orientation with
// (uint16_t)(x - low[r][c]) <= span[r][c]: two vector operations tell that a
// block codes nothing. Columns 8..15 repeat 0..7, for two blocks side by side.
struct ZeroLevelRange {
    alignas(32) int16_t low[8][16];
    alignas(32) uint16_t span[8][16];
};
// Inter levels; intra AC levels, with every DC value in range (it is
// quantised apart), so that a block with no AC level passes.
const ZeroLevelRange& GetInterZeroRange(int32_t qp);
const ZeroLevelRange& GetIntraZeroRange(int32_t qp);
int32_t LastScanPositionScalar(const int8_t levels[64]);
uint64_t ScanOrderLevelsScalar(const int8_t levels[64], int8_t scan[64]);
// The transform's inputs: block[8y + x] = current[y][x] - prediction[y][x];
// and block[8x + y] = samples[y][x], transposed.
void LoadDifferenceScalar(const uint8_t* current, int32_t currentStride, const uint8_t* prediction,
                          int32_t predictionStride, int16_t block[64]);
void LoadTransposedScalar(const uint8_t* samples, int32_t stride, int16_t block[64]);

// One intra block: 8x8 samples at `samples` with row pitch `stride`. Writes the
// levels in raster order with the DC (1..254, read as unsigned) at index 0;
// returns the last scan position of a non-zero AC level (0 if none).
int32_t QuantizeIntraBlock(const uint8_t* samples, int32_t stride, const QuantizerParams& quantizer,
                           int8_t levels[64]);
// One inter block: the difference of current and prediction samples. Returns
// the last scan position of a non-zero level (0 if none or only the first).
int32_t QuantizeInterBlock(const uint8_t* current, int32_t currentStride, const uint8_t* prediction,
                           int32_t predictionStride, const QuantizerParams& quantizer,
                           int8_t levels[64]);
// The DC level of an intra block from its post-scaled F(0, 0): 1..254, stored
// as a byte and read as unsigned.
inline int8_t QuantizeIntraDc(int32_t coefficient) {
    const int32_t dc = coefficient / kIntraDcScale;
    return static_cast<int8_t>(static_cast<uint8_t>(dc < 1 ? 1 : (dc > 254 ? 254 : dc)));
}

// The scalar references of quantizeIntraBlocks and quantizeInterBlocks.
void QuantizeIntraBlocksScalar(const IntraBlockSource sources[], int32_t count,
                               const QuantizerParams& quantizer, int8_t* const levels[],
                               int32_t last[]);
int32_t QuantizeInterBlocksScalar(const InterBlockSource sources[], int32_t count,
                                  const QuantizerParams& quantizer, int8_t* const levels[],
                                  int32_t last[]);

}  // namespace kmqx
