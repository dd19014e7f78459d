#include "encoder/motion_search.h"

#include <algorithm>
#include <cstring>

#include "encoder/sad_kernels.h"

namespace kmqx {

const IntegerOffset kIntegerCandidateOrder[9] = {
    {0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1},
};

namespace {

// Scores the candidate at `candidate`; true and its block SADs when it beats
// the current best in the worst block and in total. Whole SADs decide exactly
// as sums stopped at the limits would: a sum stops only once it has reached
// its limit, which already rejects the candidate.
// The half holding the worst block comes first: most candidates already lose
// there, or in the half's total, and the other half is never computed.
bool TryCandidate(const MotionKernels& kernels, const MotionState& state, int worst,
                  const uint8_t* candidate, int32_t stride, int32_t sads[4], int32_t& total) {
    const int first = worst >> 1;  // 0: the top half, 1: the bottom half
    const int second = 1 - first;
    int32_t* firstSads = sads + 2 * first;
    kernels.sad16x8Blocks(state.CurrentLumaBlocks[2 * first], candidate + 8 * first * stride,
                          stride, firstSads);
    if (sads[worst] >= state.blockSad[worst]) return false;
    // The total can only grow from here.
    if (firstSads[0] + firstSads[1] >= state.bestCost) return false;
    kernels.sad16x8Blocks(state.CurrentLumaBlocks[2 * second], candidate + 8 * second * stride,
                          stride, sads + 2 * second);
    total = sads[0] + sads[1] + sads[2] + sads[3];
    return total < state.bestCost;
}

// Keeps the vector within the baseline range and records how it changed.
void FinishSearch(MacroblockInfo& info, int32_t oldX, int32_t oldY) {
    info.mvX = std::clamp(info.mvX, -15, 15);
    info.mvY = std::clamp(info.mvY, -15, 15);
    info.mvChangeX = info.mvX - oldX;
    info.mvChangeY = info.mvY - oldY;
}

}  // namespace

void SearchIntegerVector(const LumaPlane& reference, int32_t column, int32_t row,
                         int32_t searchRange, MacroblockGrid& grid, MotionState& state) {
    const MotionKernels& kernels = GetMotionKernels();
    MacroblockInfo& info = grid.At(column, row);
    const MacroblockInfo& left = grid.At(column - 1, row);
    const MacroblockInfo& upper = grid.At(column, row - 1);

    state.bestCost = std::max(state.zeroSad - kZeroVectorBonus, 0);
    const int32_t oldX = info.mvX;
    const int32_t oldY = info.mvY;
    info.mvX = 0;
    info.mvY = 0;

    const int32_t ownX = 16 * column;
    const int32_t ownY = 16 * row;
    const int32_t predictedX =
        std::clamp(ownX + oldX + (left.mvChangeX + upper.mvChangeX) / 2, 0, reference.width - 1);
    const int32_t predictedY =
        std::clamp(ownY + oldY + (left.mvChangeY + upper.mvChangeY) / 2, 0, reference.height - 1);
    // In 64 bits: the range comes unchecked from the host's settings.
    const int64_t range = searchRange;
    const int64_t minX = std::max<int64_t>(predictedX - range, 0);
    const int64_t maxX = std::min<int64_t>(predictedX + range, reference.width - 16);
    const int64_t minY = std::max<int64_t>(predictedY - range, 0);
    const int64_t maxY = std::min<int64_t>(predictedY + range, reference.height - 16);

    auto accept = [&](int32_t x, int32_t y, const int32_t sads[4], int32_t total) {
        info.mvX = x - ownX;
        info.mvY = y - ownY;
        state.bestCost = total;
        std::memcpy(state.blockSad, sads, sizeof(state.blockSad));
    };
    auto skipped = [&](int32_t x, int32_t y) {
        return (x == ownX && y == ownY) || x < minX || x > maxX || y < minY || y > maxY;
    };

    int worst = WorstBlock(state.blockSad);  // changes only with the best
    const bool neighbourhoodInside = predictedX >= 1 && predictedX <= reference.width - 17 &&
                                     predictedY >= 1 && predictedY <= reference.height - 17;
    if (neighbourhoodInside) {
        // All nine candidates in one pass over the reference; the same tests
        // on whole SADs then decide in the same order.
        int32_t sads[9][4];
        const int32_t lowestTotal = kernels.sad16x16Neighbourhood(
            state.CurrentLumaBlocks[0], reference.At(predictedX - 1, predictedY - 1),
            reference.width, sads);
        // A candidate is accepted only with a total below bestCost, which
        // never rises: when no total of the nine is below it, none is.
        if (lowestTotal >= state.bestCost) return FinishSearch(info, oldX, oldY);
        // With the neighbourhood inside the picture, a range of 1 or more
        // leaves out only the own position, if it is one of the nine.
        const int32_t ownDx = ownX - predictedX, ownDy = ownY - predictedY;
        const int ownIndex = (ownDx >= -1 && ownDx <= 1 && ownDy >= -1 && ownDy <= 1)
                                 ? 3 * (ownDy + 1) + ownDx + 1
                                 : -1;
        for (const IntegerOffset& offset : kIntegerCandidateOrder) {
            const int index = 3 * (offset.dy + 1) + offset.dx + 1;
            if (range >= 1 ? index == ownIndex
                           : skipped(predictedX + offset.dx, predictedY + offset.dy))
                continue;
            const int32_t* candidate = sads[index];
            const int32_t total = candidate[0] + candidate[1] + candidate[2] + candidate[3];
            // Better in the worst block and in total: both differences
            // negative. One rarely taken branch; the two tests as branches
            // follow the data and mispredict often.
            if (((candidate[worst] - state.blockSad[worst]) & (total - state.bestCost)) >= 0)
                continue;
            accept(predictedX + offset.dx, predictedY + offset.dy, candidate, total);
            worst = WorstBlock(state.blockSad);
        }
    } else {
        for (const IntegerOffset& offset : kIntegerCandidateOrder) {
            const int32_t x = predictedX + offset.dx;
            const int32_t y = predictedY + offset.dy;
            if (skipped(x, y)) continue;
            int32_t sads[4];
            int32_t total = 0;
            if (!TryCandidate(kernels, state, worst, reference.At(x, y), reference.width, sads,
                              total))
                continue;
            accept(x, y, sads, total);
            worst = WorstBlock(state.blockSad);
        }
    }

    FinishSearch(info, oldX, oldY);
}

}  // namespace kmqx
