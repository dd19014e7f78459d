#pragma once
#include <cstdint>

namespace kmqx {

// Working values of the macroblock being coded, filled by the INTER loop and
// motion analysis and read by the inter transform and the reconstruction.
// One per Encoder object.
struct MotionState {
    // The current macroblock's luminance as four 8x8 blocks (top-left,
    // top-right, bottom-left, bottom-right), 8 bytes a row.
    alignas(16) uint8_t CurrentLumaBlocks[4][64];
    int32_t pixelSum;  // of the current macroblock's 256 samples
    int32_t zeroSad;
    int32_t blockSad[4];
    int32_t bestCost;
    // Top-left sample of the 16x16 luminance prediction and its row stride
    // (the coded width in the reference picture, 17 in a half-pel plane).
    const uint8_t* predictionPtr;
    int32_t predictionStride;
    // Half-pel sample planes, row stride 17, filled lazily per macroblock.
    alignas(16) uint8_t diagonalPlane[17 * 17];
    alignas(16) uint8_t verticalPlane[17 * 17];
    alignas(16) uint8_t horizontalPlane[17 * 17];
    // The whole diagonal plane holds this macroblock's samples, not only the
    // windows tried so far, and diagonalWindowSads the SADs of the four blocks
    // against its four windows. Cleared for each macroblock by RefineHalfPel.
    bool diagonalPlaneFilled;
    int32_t diagonalWindowSads[4][4];
    // Direction accepted for the last refined macroblock (0..8); carries over
    // from macroblock to macroblock and picture to picture.
    int32_t previousHalfDirection;
};

// The block with the largest SAD in blockSad, the lowest number on ties: the
// search and the half-pel refinement score it first.
// Written for conditional moves: the comparisons follow the data and would
// mispredict as branches.
inline int WorstBlock(const int32_t blockSad[4]) {
    int worst = 0;
    int32_t largest = blockSad[0];
    for (int k = 1; k < 4; ++k) {
        const bool larger = blockSad[k] > largest;
        worst = larger ? k : worst;
        largest = larger ? blockSad[k] : largest;
    }
    return worst;
}

}  // namespace kmqx
