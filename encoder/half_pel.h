#pragma once
#include <cstdint>

#include "encoder/macroblock_info.h"
#include "encoder/motion_search.h"
#include "encoder/motion_state.h"

namespace kmqx {

// How much better than the best inter cost a macroblock's deviation from its
// own mean must be for it to be coded INTRA.
constexpr int32_t kIntraMargin = 500;
// Cost of a half-pel direction that was unavailable or abandoned early.
constexpr int32_t kNoCost = INT32_MAX;

enum class HalfPelPlane { kDiagonal, kVertical, kHorizontal };

struct HalfPelDirection {
    int8_t hx;  // -1 half a pixel left, +1 right
    int8_t hy;  // -1 half a pixel up, +1 down
    HalfPelPlane plane;
    int8_t windowRow;  // offset of the direction's 16x16 window in its plane
    int8_t windowColumn;
};
// Directions 1..8 (entry 0 is the integer position), row by row from the top
// left, the centre left out.
extern const HalfPelDirection kHalfPelDirections[9];

// For each previous direction 0..8: first, first's neighbours (2), cross pair
// (2), opposite's neighbours (2), opposite.
extern const uint8_t kHalfPelSearchOrder[9][8];

// How the macroblock is coded: INTRA when its summed deviation from its mean
// (from state.pixelSum) is below bestCost - kIntraMargin, else INTER.
inline MacroblockType ChooseIntra(const MotionState& state) {
    const int32_t mean = state.pixelSum / 256;
    const int32_t limit = state.bestCost - kIntraMargin;
    const int32_t deviation =
        GetMotionKernels().meanDeviation(state.CurrentLumaBlocks[0], mean, limit);
    return deviation >= limit ? kMacroblockInter : kMacroblockIntra;
}

// Interpolates and scores direction d (1..8) around the integer prediction at
// (x, y), worst block first with the early stops that decide which directions
// are tried next. Returns the cost (kNoCost when abandoned) and the window's
// address; stores the block SADs in state.blockSad when the cost is below
// state.bestCost. Without exactCost, a cost not below bestCost may come back
// as any value not below it. The caller makes sure the direction reads inside
// the plane.
int32_t EvaluateHalfPel(const LumaPlane& reference, int32_t x, int32_t y, int direction,
                        bool exactCost, MotionState& state, const uint8_t** window);

// Tries at most four half-pel directions around the macroblock's integer
// vector, never one that would read outside the reference picture, and leaves
// halfX/halfY, the luma prediction, bestCost, blockSad and
// previousHalfDirection.
void RefineHalfPel(const LumaPlane& reference, int32_t column, int32_t row, MacroblockInfo& info,
                   MotionState& state);

}  // namespace kmqx
