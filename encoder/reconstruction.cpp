#include "encoder/reconstruction.h"

#include <algorithm>
#include <cstring>

#include "common/h263_syntax.h"
#include "common/inverse_dct.h"
#include "common/prediction_kernels.h"
#include "common/saturate.h"
#include "encoder/sad_kernels.h"
#include "encoder/transform_kernels.h"

namespace kmqx {

namespace {

// Near an edge: the window of samples the interpolation reads, from (left,
// top), repeating the edge samples; 9 bytes a row.
void GatherChromaWindow(const uint8_t* plane, int32_t width, int32_t height, int32_t left,
                        int32_t top, uint8_t window[9 * 9]) {
    for (int y = 0; y < 9; ++y) {
        const int32_t sy = std::clamp(top + y, 0, height - 1);
        for (int x = 0; x < 9; ++x) {
            window[9 * y + x] = plane[sy * width + std::clamp(left + x, 0, width - 1)];
        }
    }
}

}  // namespace

void ReconstructIntraBlock(const int8_t levels[64], const DequantParams& dequant,
                           uint8_t* destination, int32_t pitch) {
    const ReconstructionKernels& kernels = GetReconstructionKernels();
    alignas(16) int16_t block[64];
    kernels.dequantize(levels, dequant, block);
    block[0] = static_cast<int16_t>(kIntraDcScale * static_cast<uint8_t>(levels[0]));
    InverseDct(block);
    kernels.storeClipped(block, destination, pitch);
}

void FillIntraBlock(int32_t dcCoefficient, uint8_t* destination, int32_t pitch) {
    const uint8_t value = ClipToByte(SaturateToInt16((dcCoefficient + 4) >> 3));
    for (int y = 0; y < 8; ++y) std::memset(destination + y * pitch, value, 8);
}

void ReconstructInterBlock(const int8_t levels[64], int32_t last, const uint8_t* prediction,
                           int32_t predictionStride, const DequantParams& dequant,
                           uint8_t* destination, int32_t pitch) {
    if (last != 0) {
        const ReconstructionKernels& kernels = GetReconstructionKernels();
        alignas(16) int16_t block[64];
        kernels.dequantize(levels, dequant, block);
        InverseDct(block);
        kernels.addAndClip(block, prediction, predictionStride, destination, pitch);
        return;
    }
    const int32_t level = levels[0];
    if (level == 0) {
        // Nothing coded: the prediction itself.
        for (int y = 0; y < 8; ++y)
            std::memcpy(destination + y * pitch, prediction + y * predictionStride, 8);
        return;
    }
    // DC alone: what the transform makes of it, (REC + 4) >> 3 everywhere.
    const int16_t residual = ClipResidual((Dequantize(level, dequant.quant) + 4) >> 3);
    alignas(16) int16_t block[64];
    std::fill_n(block, 64, residual);
    GetReconstructionKernels().addAndClip(block, prediction, predictionStride, destination, pitch);
}

void PredictChroma(const PictureView& reference, int32_t column, int32_t row, int32_t vx,
                   int32_t vy, uint8_t* cbPrediction, uint8_t* crPrediction, int32_t stride) {
    const int32_t cx = ChromaVectorComponent(vx);
    const int32_t cy = ChromaVectorComponent(vy);
    const int32_t left = 8 * column + (cx >> 1);
    const int32_t top = 8 * row + (cy >> 1);
    const int32_t halfX = cx & 1, halfY = cy & 1;
    const int32_t width = reference.chromaWidth(), height = reference.chromaHeight();
    const PredictionKernels::Predict predict = GetPredictionKernels().predict8[halfX + 2 * halfY];
    // The window the interpolation reads: 8 + halfX columns, 8 + halfY rows.
    if (left >= 0 && top >= 0 && left + 8 + halfX <= width && top + 8 + halfY <= height) {
        const int32_t offset = top * width + left;
        predict(reference.cb + offset, width, cbPrediction, stride);
        predict(reference.cr + offset, width, crPrediction, stride);
        return;
    }
    uint8_t window[9 * 9];
    GatherChromaWindow(reference.cb, width, height, left, top, window);
    predict(window, 9, cbPrediction, stride);
    GatherChromaWindow(reference.cr, width, height, left, top, window);
    predict(window, 9, crPrediction, stride);
}

}  // namespace kmqx
