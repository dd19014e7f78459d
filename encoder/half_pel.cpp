#include "encoder/half_pel.h"

#include "encoder/sad_kernels.h"

namespace kmqx {

const HalfPelDirection kHalfPelDirections[9] = {
    {0, 0, HalfPelPlane::kDiagonal, 0, 0},     // unused: the integer position
    {-1, -1, HalfPelPlane::kDiagonal, 0, 0},   // 1
    {0, -1, HalfPelPlane::kVertical, 0, 0},    // 2
    {1, -1, HalfPelPlane::kDiagonal, 0, 1},    // 3
    {-1, 0, HalfPelPlane::kHorizontal, 0, 0},  // 4
    {1, 0, HalfPelPlane::kHorizontal, 0, 1},   // 5
    {-1, 1, HalfPelPlane::kDiagonal, 1, 0},    // 6
    {0, 1, HalfPelPlane::kVertical, 1, 0},     // 7
    {1, 1, HalfPelPlane::kDiagonal, 1, 1},     // 8
};

const uint8_t kHalfPelSearchOrder[9][8] = {
    {1, 2, 4, 3, 6, 5, 7, 8}, {1, 2, 4, 3, 6, 5, 7, 8}, {2, 1, 3, 4, 5, 6, 8, 7},
    {3, 2, 5, 1, 8, 7, 4, 6}, {4, 1, 6, 2, 7, 8, 3, 5}, {5, 3, 8, 2, 7, 6, 1, 4},
    {6, 4, 7, 1, 8, 5, 2, 3}, {7, 6, 8, 4, 5, 1, 3, 2}, {8, 7, 5, 6, 3, 2, 4, 1},
};

namespace {

struct DirectionSetup {
    void (*interpolate)(const uint8_t*, int32_t, uint8_t*, int32_t);
    const uint8_t* source;  // the sample that window entry (0, 0) starts from
    uint8_t* window;
};

// Plane entry (a, b) is the sample at (x - 1/2 + b, y - 1/2 + a) for the
// diagonal plane, (x + b, y - 1/2 + a) for the vertical one and
// (x - 1/2 + b, y + a) for the horizontal one.
DirectionSetup Setup(const LumaPlane& reference, int32_t x, int32_t y,
                     const HalfPelDirection& direction, MotionState& state) {
    const MotionKernels& kernels = GetMotionKernels();
    const int32_t a = direction.windowRow;
    const int32_t b = direction.windowColumn;
    const int32_t windowOffset = a * kHalfPelPlaneStride + b;
    switch (direction.plane) {
        case HalfPelPlane::kDiagonal:
            return {kernels.interpolateDiagonal, reference.At(x - 1 + b, y - 1 + a),
                    state.diagonalPlane + windowOffset};
        case HalfPelPlane::kVertical:
            return {kernels.interpolateVertical, reference.At(x + b, y - 1 + a),
                    state.verticalPlane + windowOffset};
        case HalfPelPlane::kHorizontal:
        default:
            return {kernels.interpolateHorizontal, reference.At(x - 1 + b, y + a),
                    state.horizontalPlane + windowOffset};
    }
}

// A block's SAD summed row by row and stopped after the first row at which
// the sum reaches `limit` (always at least one row), from its running sums.
// They never decrease, so the stopping row is found by halving.
inline int32_t StoppedSum(const uint16_t running[8], int32_t limit) {
    if (running[6] < limit) return running[7];
    int r = running[3] < limit ? 4 : 0;  // the first r with running[r] >= limit
    r += running[r + 1] < limit ? 2 : 0;
    r += running[r] < limit ? 1 : 0;
    return running[r];
}

// The exact cost from the window's running row sums: every block's SAD is
// stopped exactly where a row-by-row sum with the block's limit would stop.
// Out of line, so that the decisions on whole SADs before it stay cheap.
[[gnu::noinline]] int32_t CostByRows(const uint8_t* window, bool diagonal, MotionState& state) {
    uint16_t running[4][8];
    GetMotionKernels().windowRowSadSums(window, state.CurrentLumaBlocks[0], running);

    const int worst = WorstBlock(state.blockSad);
    int32_t values[4] = {0, 0, 0, 0};
    values[worst] = StoppedSum(running[worst], state.blockSad[worst]);
    if (values[worst] >= state.blockSad[worst]) return kNoCost;

    // Sum of the values of blocks 0..k, S's included once S <= k.
    int32_t sumThroughK = 0;
    for (int k = 0; k < 4; ++k) {
        if (k != worst) {
            // Diagonal directions and block 0 leave room for S only; the
            // two-tap ones for later blocks leave room for blocks 0..k-1.
            const int32_t used = (diagonal || k == 0) ? values[worst] : sumThroughK;
            values[k] = StoppedSum(running[k], state.bestCost - used);
        }
        sumThroughK += values[k];
        if (k < 3 && sumThroughK >= state.bestCost) return kNoCost;
    }

    const int32_t cost = sumThroughK;
    if (cost < state.bestCost)
        for (int k = 0; k < 4; ++k) state.blockSad[k] = values[k];
    return cost;
}

// EvaluateHalfPel, inlined into the refinement: most directions are decided
// in a few operations. `worst` is WorstBlock(state.blockSad).
[[gnu::always_inline]] inline int32_t EvaluateDirection(const LumaPlane& reference, int32_t x,
                                                        int32_t y, int direction, bool exactCost,
                                                        int worst, MotionState& state,
                                                        const uint8_t** window) {
    const HalfPelDirection& d = kHalfPelDirections[direction];
    const bool diagonal = d.plane == HalfPelPlane::kDiagonal;
    if (diagonal && !state.diagonalPlaneFilled && x >= 1 && y >= 1 && x <= reference.width - 17 &&
        y <= reference.height - 17) {
        // All four diagonal windows lie inside the picture: the whole plane
        // and its window SADs at once serve every diagonal direction tried
        // after this.
        GetMotionKernels().interpolateDiagonalPlaneWithSads(
            reference.At(x - 1, y - 1), reference.width, state.CurrentLumaBlocks[0],
            state.diagonalPlane, state.diagonalWindowSads);
        state.diagonalPlaneFilled = true;
    }
    if (!diagonal || !state.diagonalPlaneFilled) {
        // Only this direction's window.
        const DirectionSetup setup = Setup(reference, x, y, d, state);
        setup.interpolate(setup.source, reference.width, setup.window, 16);
        *window = setup.window;
        return CostByRows(setup.window, diagonal, state);
    }
    *window = state.diagonalPlane + d.windowRow * kHalfPelPlaneStride + d.windowColumn;
    // The whole SADs decide. S's limited sum stops at or above its limit
    // exactly when its whole SAD reaches it. A total below bestCost keeps
    // every block below its limit, so the limited sums are the whole SADs.
    // Any other total rejects the direction.
    const int32_t* whole = state.diagonalWindowSads[2 * d.windowRow + d.windowColumn];
    if (whole[worst] >= state.blockSad[worst]) return kNoCost;
    const int32_t total = whole[0] + whole[1] + whole[2] + whole[3];
    if (total < state.bestCost) {
        for (int k = 0; k < 4; ++k) state.blockSad[k] = whole[k];
        return total;
    }
    if (!exactCost) return total;
    // The exact cost: a block whose whole SAD does not exceed its limit has
    // that SAD as its limited sum; only one above it needs the row sums.
    const int32_t limit = state.bestCost - whole[worst];
    int32_t sumThroughK = 0;
    for (int k = 0; k < 4; ++k) {
        if (k != worst && whole[k] > limit) return CostByRows(*window, true, state);
        sumThroughK += whole[k];
        if (k < 3 && sumThroughK >= state.bestCost) return kNoCost;
    }
    return sumThroughK;
}

}  // namespace

int32_t EvaluateHalfPel(const LumaPlane& reference, int32_t x, int32_t y, int direction,
                        bool exactCost, MotionState& state, const uint8_t** window) {
    return EvaluateDirection(reference, x, y, direction, exactCost, WorstBlock(state.blockSad),
                             state, window);
}

void RefineHalfPel(const LumaPlane& reference, int32_t column, int32_t row, MacroblockInfo& info,
                   MotionState& state) {
    const int32_t x = 16 * column + info.mvX;
    const int32_t y = 16 * row + info.mvY;

    bool available[9] = {false, true, true, true, true, true, true, true, true};
    auto withdraw = [&](int a, int b, int c) {
        available[a] = available[b] = available[c] = false;
    };
    if (x <= 0) withdraw(1, 4, 6);
    if (y <= 0) withdraw(1, 2, 3);
    if (x >= reference.width - 16) withdraw(3, 5, 8);
    if (y >= reference.height - 16) withdraw(6, 7, 8);

    state.predictionPtr = reference.At(x, y);
    state.predictionStride = reference.width;
    state.diagonalPlaneFilled = false;
    int accepted = 0;
    int worst = WorstBlock(state.blockSad);  // changes only with the best

    // Only the first two directions' costs choose the pair tried next.
    auto tryDirection = [&](int direction, bool exactCost) __attribute__((always_inline)) {
        if (!available[direction]) return kNoCost;
        const uint8_t* window = nullptr;
        const int32_t cost =
            EvaluateDirection(reference, x, y, direction, exactCost, worst, state, &window);
        if (cost < state.bestCost) {
            state.bestCost = cost;
            state.predictionPtr = window;
            accepted = direction;
            worst = WorstBlock(state.blockSad);
        }
        return cost;
    };

    const int32_t previous = state.previousHalfDirection;
    const uint8_t* order = kHalfPelSearchOrder[previous >= 0 && previous <= 8 ? previous : 0];
    const int32_t firstCost = tryDirection(order[0], true);
    const int32_t oppositeCost = tryDirection(order[7], true);
    int pair = 0;  // index of the pair's first entry in the row
    if (state.bestCost < firstCost && state.bestCost < oppositeCost) {
        pair = 3;  // cross pair
    } else if (firstCost <= oppositeCost) {
        pair = 1;  // first's neighbours
    } else {
        pair = 5;  // opposite's neighbours
    }
    tryDirection(order[pair], false);
    tryDirection(order[pair + 1], false);

    info.halfX = kHalfPelDirections[accepted].hx;
    info.halfY = kHalfPelDirections[accepted].hy;
    if (accepted != 0) state.predictionStride = kHalfPelPlaneStride;
    state.previousHalfDirection = accepted;
}

}  // namespace kmqx
