#pragma once
#include <cstdint>

#include "encoder/macroblock_transform.h"

namespace kmqx {

// The samples an inter block is coded from.
struct InterBlockSource {
    const uint8_t* current;
    int32_t currentStride;
    const uint8_t* prediction;
    int32_t predictionStride;
};

// The samples of an intra block.
struct IntraBlockSource {
    const uint8_t* samples;
    int32_t stride;
};

// The forward path of a block: transform, quantisers, last scan position.
// Every entry gives exactly the scalar reference's result.
struct ForwardTransformKernels {
    // The transform's input: current minus prediction in raster order, or an
    // intra block's samples transposed (block[8x + y] = samples[y][x]).
    void (*loadDifference)(const uint8_t* current, int32_t currentStride, const uint8_t* prediction,
                           int32_t predictionStride, int16_t block[64]);
    void (*loadTransposed)(const uint8_t* samples, int32_t stride, int16_t block[64]);
    // In place: samples in, post-scaled coefficients out, transposed (row =
    // horizontal frequency).
    void (*forwardDct)(int16_t block[64]);
    // Intra rule for every position (index 0 included; the caller overwrites
    // it with the DC). Same orientation as the input.
    void (*quantizeIntra)(const int16_t coefficients[64], const QuantizerParams& quantizer,
                          int8_t levels[64]);
    // Inter rule with its dead zone; the output is transposed.
    void (*quantizeInter)(const int16_t coefficients[64], const QuantizerParams& quantizer,
                          int8_t levels[64]);
    // Largest zigzag scan index of a non-zero level; 0 if there is none.
    int32_t (*lastScanPosition)(const int8_t levels[64]);
    // The levels in zigzag scan order (scan[i] = levels[kZigzag[i]]); returns
    // bit i set where scan[i] != 0.
    uint64_t (*scanOrderLevels)(const int8_t levels[64], int8_t scan[64]);
    // One or two (count) inter blocks from their samples: loadDifference,
    // forwardDct and quantizeInter in turn, without the trips through
    // memory; last[k] is lastScanPosition(levels[k]). Returns bit k set where
    // levels[k] has a non-zero level.
    int32_t (*quantizeInterBlocks)(const InterBlockSource sources[], int32_t count,
                                   const QuantizerParams& quantizer, int8_t* const levels[],
                                   int32_t last[]);
    // One or two (count) intra blocks from their samples: loadTransposed,
    // forwardDct and quantizeIntra in turn, then the DC level (1..254, read
    // as unsigned) at index 0; last[k] is lastScanPosition(levels[k]).
    void (*quantizeIntraBlocks)(const IntraBlockSource sources[], int32_t count,
                                const QuantizerParams& quantizer, int8_t* const levels[],
                                int32_t last[]);
};

// The reconstruction path of a block around the shared inverse DCT
// (common/inverse_dct.h).
struct ReconstructionKernels {
    // |REC| = M * |L| + R for L != 0, 0 for L = 0, saturated to -4095..4095.
    void (*dequantize)(const int8_t levels[64], const DequantParams& dequant, int16_t block[64]);
    // destination = clip(prediction + residual).
    void (*addAndClip)(const int16_t residual[64], const uint8_t* prediction,
                       int32_t predictionStride, uint8_t* destination, int32_t pitch);
    // destination = clip(residual).
    void (*storeClipped)(const int16_t residual[64], uint8_t* destination, int32_t pitch);
};

// The kernels for this processor: scalar, upgraded where the CPU allows.
// Built once, read-only afterwards, so encoders on several threads share them.
const ForwardTransformKernels& GetForwardTransformKernels();
const ReconstructionKernels& GetReconstructionKernels();

const ForwardTransformKernels& ScalarForwardTransformKernels();
const ReconstructionKernels& ScalarReconstructionKernels();
// Replace entries by SSE2 versions; false (and nothing changed) where this
// build has none.
bool UpgradeForwardTransformKernelsSse2(ForwardTransformKernels& kernels);
bool UpgradeReconstructionKernelsSse2(ReconstructionKernels& kernels);
// Likewise for AVX2, applied on top of the SSE2 entries.
bool UpgradeForwardTransformKernelsAvx2(ForwardTransformKernels& kernels);
bool UpgradeReconstructionKernelsAvx2(ReconstructionKernels& kernels);

}  // namespace kmqx
