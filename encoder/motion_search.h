#pragma once
#include <cstdint>

#include "encoder/macroblock_info.h"
#include "encoder/motion_state.h"
#include "encoder/sad_kernels.h"

namespace kmqx {

// The reference picture's luminance as the motion analysis reads it: pitch =
// width; width and height are the coded size (multiples of 16).
struct LumaPlane {
    const uint8_t* samples;
    int32_t width;
    int32_t height;
    const uint8_t* At(int32_t x, int32_t y) const {
        return samples + static_cast<ptrdiff_t>(y) * width + x;
    }
};

// Cost advantage of the zero vector in the integer search.
constexpr int32_t kZeroVectorBonus = 100;

struct IntegerOffset {
    int8_t dx;
    int8_t dy;
};
// The nine offsets around the predicted position, in evaluation order.
extern const IntegerOffset kIntegerCandidateOrder[9];

// Copies the 16x16 luma of macroblock (column, row) of `current` into
// state.CurrentLumaBlocks as four 8x8 blocks, and scores them against the
// co-located reference: their SADs (blockSad) and the sum (zeroSad); and
// sums their samples (pixelSum).
inline void LoadCurrentWithZeroVectorSad(const LumaPlane& current, const LumaPlane& reference,
                                         int32_t column, int32_t row, MotionState& state) {
    state.pixelSum = GetMotionKernels().loadMacroblockWithSads(
        current.At(16 * column, 16 * row), current.width, reference.At(16 * column, 16 * row),
        reference.width, state.CurrentLumaBlocks[0], state.blockSad);
    state.zeroSad = state.blockSad[0] + state.blockSad[1] + state.blockSad[2] + state.blockSad[3];
}

// Nine-point search around the position predicted from the macroblock's
// previous vector and its left and upper neighbours' vector changes. Expects
// LoadCurrentWithZeroVectorSad's results in `state`; leaves the best whole-pixel vector
// (limited to -15..15), its change, bestCost and blockSad. A candidate wins
// only when it is strictly better in both the total and the block that is
// worst under the current best; the zero vector carries kZeroVectorBonus.
void SearchIntegerVector(const LumaPlane& reference, int32_t column, int32_t row,
                         int32_t searchRange, MacroblockGrid& grid, MotionState& state);

}  // namespace kmqx
