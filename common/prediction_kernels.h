#pragma once
#include <cstdint>

namespace kmqx {

// Motion-compensated prediction and residual kernels, the same in both
// directions: the decoder builds its pictures with them and the encoder its
// chroma prediction, so that both predict alike. The scalar table is the
// reference; a faster table gives the same bytes and touches nothing outside
// the block.
struct PredictionKernels {
    // Predicts a block from `src`, the reference sample at the vector's
    // integer position, into `dst`, each at its own pitch. The half-sample
    // part selects the kernel: index hx + 2 * hy, giving a copy, the rounded
    // mean of horizontal or vertical neighbours, or of four. Reads a column
    // (row) beyond the block only where hx (hy) is set.
    using Predict = void (*)(const uint8_t* src, int32_t srcPitch, uint8_t* dst, int32_t dstPitch);
    Predict predict16[4];  // 16 x 16 luma
    Predict predict8[4];   // 8 x 8 chroma
    // dst = clip(dst + residual) and dst = clip(residual) for one 8 x 8 block
    // (residual in raster order), for any 16-bit residual.
    void (*addBlock)(const int16_t residual[64], uint8_t* dst, int32_t pitch);
    void (*putBlock)(const int16_t residual[64], uint8_t* dst, int32_t pitch);
};

const PredictionKernels& ScalarPredictionKernels();
// Replaces entries by SSE2 versions; false (and nothing changed) where this
// build has none.
bool UpgradePredictionKernelsSse2(PredictionKernels& kernels);
// The kernels for this processor, built once and shared.
const PredictionKernels& GetPredictionKernels();

}  // namespace kmqx
