#include "encoder/half_pel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "motion_test_pictures.h"

namespace kmqx {
namespace {

constexpr int32_t kWidth = 64;  // 4 x 3 macroblocks
constexpr int32_t kHeight = 48;

// The H.263 half-pel prediction sample at (x + b + hx/2, y + a + hy/2),
// straight from the reference samples.
int PredictionSample(const std::vector<uint8_t>& ref, int x, int y, int hx, int hy) {
    const int x0 = x + (hx < 0 ? -1 : 0);
    const int y0 = y + (hy < 0 ? -1 : 0);
    auto at = [&](int i, int j) { return static_cast<int>(ref[j * kWidth + i]); };
    if (hx != 0 && hy != 0)
        return (at(x0, y0) + at(x0 + 1, y0) + at(x0, y0 + 1) + at(x0 + 1, y0 + 1) + 2) >> 2;
    if (hx != 0) return (at(x0, y) + at(x0 + 1, y) + 1) >> 1;
    if (hy != 0) return (at(x, y0) + at(x, y0 + 1) + 1) >> 1;
    return at(x, y);
}

class HalfPelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reference = testing::TexturePlane(kWidth, kHeight);  // samples 33..223, never 0
        grid.Reset(kWidth / 16, kHeight / 16);
        ClearPlanes();
    }
    void ClearPlanes() {
        std::memset(state.diagonalPlane, 0, sizeof(state.diagonalPlane));
        std::memset(state.verticalPlane, 0, sizeof(state.verticalPlane));
        std::memset(state.horizontalPlane, 0, sizeof(state.horizontalPlane));
    }
    LumaPlane Reference() const { return {reference.data(), kWidth, kHeight}; }

    // Block k's SAD of the prediction at integer position (x, y) with half
    // step (hx, hy) against the current blocks.
    int32_t BlockCost(int x, int y, int hx, int hy, int k) const {
        int32_t sad = 0;
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 8; ++j) {
                const int a = 8 * (k >> 1) + i, b = 8 * (k & 1) + j;
                sad += std::abs(state.CurrentLumaBlocks[k][8 * i + j] -
                                PredictionSample(reference, x + b, y + a, hx, hy));
            }
        return sad;
    }
    // Makes the current blocks the prediction of (x, y) with half step (hx, hy).
    void CurrentFromPrediction(int x, int y, int hx, int hy) {
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 8; ++i)
                for (int j = 0; j < 8; ++j)
                    state.CurrentLumaBlocks[k][8 * i + j] = static_cast<uint8_t>(PredictionSample(
                        reference, x + 8 * (k & 1) + j, y + 8 * (k >> 1) + i, hx, hy));
    }
    // Integer-stage results for the macroblock's vector, raised by `extra`
    // per block.
    void SetIntegerCost(int x, int y, int32_t extra = 0) {
        state.bestCost = 0;
        for (int k = 0; k < 4; ++k) {
            state.blockSad[k] = BlockCost(x, y, 0, 0, k) + extra;
            state.bestCost += state.blockSad[k];
        }
    }
    static bool Touched(const uint8_t* plane) {
        for (int i = 0; i < 17 * 17; ++i)
            if (plane[i] != 0) return true;
        return false;
    }
    // Whether direction 6's or 8's window (row 16 of the diagonal plane) was written.
    bool DiagonalRow16Touched() const {
        for (int b = 0; b < 17; ++b)
            if (state.diagonalPlane[16 * 17 + b] != 0) return true;
        return false;
    }

    std::vector<uint8_t> reference;
    MacroblockGrid grid;
    MotionState state{};
};

TEST_F(HalfPelTest, ChooseIntraComparesTheDeviationWithTheMarginExactly) {
    for (auto& block : state.CurrentLumaBlocks) std::memset(block, 255, 64);
    state.pixelSum = 65280;  // mean 255: deviation 0
    state.bestCost = 501;
    EXPECT_EQ(ChooseIntra(state), kMacroblockIntra);
    state.bestCost = 500;
    EXPECT_EQ(ChooseIntra(state), kMacroblockInter);
    state.bestCost = -20;
    EXPECT_EQ(ChooseIntra(state), kMacroblockInter);

    // Samples spread over all rows: INTRA only when the summed deviation is
    // below bestCost - 500, whatever row group the running total crosses at.
    std::mt19937 random(3);
    for (auto& block : state.CurrentLumaBlocks) std::memset(block, 100, 64);
    int32_t deviation = 0;
    while (deviation < 1000) {
        uint8_t& sample = state.CurrentLumaBlocks[random() % 4][random() % 64];
        const int step = std::min<int>(1000 - deviation, 7);
        if (sample == 100) {
            sample = static_cast<uint8_t>(sample + ((random() & 1) ? step : -step));
            deviation += step;
        }
    }
    // The deviation is measured from the truncated mean of the samples.
    int32_t sum = 0, exact = 0;
    for (auto& block : state.CurrentLumaBlocks)
        for (uint8_t v : block) sum += v;
    state.pixelSum = sum;
    for (auto& block : state.CurrentLumaBlocks)
        for (uint8_t v : block) exact += std::abs(v - sum / 256);
    state.bestCost = exact + 500;
    EXPECT_EQ(ChooseIntra(state), kMacroblockInter);
    state.bestCost = exact + 501;
    EXPECT_EQ(ChooseIntra(state), kMacroblockIntra);
}

TEST_F(HalfPelTest, AcceptedDirectionLeavesItsCompletePredictionAndBlockSads) {
    // The current blocks are the prediction of direction 4 (half a pixel
    // left) with noise. For previous direction 0, direction 1 (cost 1362) is
    // accepted first against the integer cost 1504, 8 is worse, so the
    // first's neighbours 2 and 4 follow and 4 (cost 313) replaces 1.
    MacroblockInfo& info = grid.At(1, 1);
    const int x = 16, y = 16;
    CurrentFromPrediction(x, y, -1, 0);
    std::mt19937 random(11);
    for (auto& block : state.CurrentLumaBlocks)
        for (auto& v : block) v = static_cast<uint8_t>(v + (random() % 5) - 2);
    SetIntegerCost(x, y, 100);
    state.previousHalfDirection = 0;
    RefineHalfPel(Reference(), 1, 1, info, state);

    EXPECT_EQ(info.halfX, -1);
    EXPECT_EQ(info.halfY, 0);
    EXPECT_EQ(state.previousHalfDirection, 4);
    ASSERT_EQ(state.predictionStride, 17);
    int32_t total = 0;
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(state.blockSad[k], BlockCost(x, y, -1, 0, k)) << "block " << k;
        total += state.blockSad[k];
    }
    EXPECT_EQ(state.bestCost, total);
    for (int a = 0; a < 16; ++a)
        for (int b = 0; b < 16; ++b)
            ASSERT_EQ(state.predictionPtr[a * 17 + b],
                      PredictionSample(reference, x + b, y + a, -1, 0))
                << a << "," << b;
}

TEST_F(HalfPelTest, EachDirectionTriedFirstIsFoundWithItsVector) {
    for (int d = 1; d <= 8; ++d) {
        const HalfPelDirection& direction = kHalfPelDirections[d];
        MacroblockInfo& info = grid.At(1, 1);
        info.mvX = 2;
        info.mvY = -1;
        const int x = 18, y = 15;
        CurrentFromPrediction(x, y, direction.hx, direction.hy);
        SetIntegerCost(x, y);
        state.previousHalfDirection = d;
        RefineHalfPel(Reference(), 1, 1, info, state);
        EXPECT_EQ(info.halfX, direction.hx) << "direction " << d;
        EXPECT_EQ(info.halfY, direction.hy) << "direction " << d;
        EXPECT_EQ(state.bestCost, 0) << "direction " << d;
        EXPECT_EQ(state.previousHalfDirection, d);
    }
}

TEST_F(HalfPelTest, DirectionEightAtVectorFifteenGivesHalfPelComponent31) {
    MacroblockInfo& info = grid.At(0, 0);
    info.mvX = 15;
    info.mvY = 15;
    CurrentFromPrediction(15, 15, 1, 1);
    SetIntegerCost(15, 15);
    state.previousHalfDirection = 0;  // 8 is the opposite, tried second
    RefineHalfPel(Reference(), 0, 0, info, state);
    EXPECT_EQ(2 * info.mvX + info.halfX, 31);
    EXPECT_EQ(2 * info.mvY + info.halfY, 31);
    EXPECT_EQ(state.predictionPtr, state.diagonalPlane + 18);
    EXPECT_EQ(state.previousHalfDirection, 8);
}

TEST_F(HalfPelTest, NothingAcceptedKeepsTheIntegerPrediction) {
    MacroblockInfo& info = grid.At(2, 1);
    info.mvX = -1;
    info.mvY = 1;
    CurrentFromPrediction(31, 17, 0, 0);
    SetIntegerCost(31, 17);
    state.previousHalfDirection = 5;
    RefineHalfPel(Reference(), 2, 1, info, state);
    EXPECT_EQ(info.halfX, 0);
    EXPECT_EQ(info.halfY, 0);
    EXPECT_EQ(state.predictionPtr, reference.data() + 17 * kWidth + 31);
    EXPECT_EQ(state.predictionStride, kWidth);
    EXPECT_EQ(state.previousHalfDirection, 0);
    EXPECT_EQ(state.bestCost, 0);
}

// At the right edge directions 3, 5 and 8 are withdrawn: with previous
// direction 0 the opposite (8) counts as none. A first direction that only
// ties with bestCost is not accepted, and c1 <= c2 sends the search to the
// first's neighbours (2, 4); one more than the tie sends it to the cross
// pair, of which only 6 is available.
TEST_F(HalfPelTest, TieWithTheFirstDirectionPicksTheFirstsNeighbours) {
    const int x = 48, y = 16;
    std::mt19937 random(5);
    for (int tie = 0; tie < 2; ++tie) {
        MacroblockInfo& info = grid.At(3, 1);
        info.mvX = 0;
        info.mvY = 0;
        for (auto& block : state.CurrentLumaBlocks)
            for (auto& v : block) v = static_cast<uint8_t>(random());  // far from everything
        int32_t firstCost = 0;
        for (int k = 0; k < 4; ++k) {
            state.blockSad[k] = BlockCost(x, y, -1, -1, k) + 1;  // S's value stays below M
            firstCost += state.blockSad[k] - 1;
        }
        state.bestCost = tie == 0 ? firstCost : firstCost - 1;
        state.previousHalfDirection = 0;
        ClearPlanes();
        RefineHalfPel(Reference(), 3, 1, info, state);
        EXPECT_EQ(Touched(state.verticalPlane), tie == 0);
        EXPECT_EQ(Touched(state.horizontalPlane), tie == 0);
        EXPECT_EQ(DiagonalRow16Touched(), tie == 1);
    }
}

TEST_F(HalfPelTest, BothFirstAndOppositeUnavailableTriesTheCrossPair) {
    // Top-left: 1, 2, 3, 4, 6 withdrawn. Previous direction 3: first 3 and
    // opposite 6 are none, the cross pair is 1 (none) and 8.
    MacroblockInfo& info = grid.At(0, 0);
    info.mvX = 0;
    info.mvY = 0;
    CurrentFromPrediction(0, 0, 0, 0);
    SetIntegerCost(0, 0, 1000);
    state.previousHalfDirection = 3;
    RefineHalfPel(Reference(), 0, 0, info, state);
    EXPECT_FALSE(Touched(state.horizontalPlane));  // 5 (first's neighbour) not tried
    EXPECT_FALSE(Touched(state.verticalPlane));
    EXPECT_TRUE(DiagonalRow16Touched());  // 8 tried
    EXPECT_EQ(state.previousHalfDirection, 8);
}

// Flat reference: every interpolation is 100, so each row's SAD is 8 times
// the current row's offset from 100. Block 3 is the worst (S); block 0 stops
// early against bestCost - S, and the partial sums decide the returned cost.
TEST_F(HalfPelTest, EvaluateHalfPelStopsEachBlockAtItsLimit) {
    std::fill(reference.begin(), reference.end(), 100);
    const int offsets[4] = {10, 5, 5, 12};  // row SADs 80, 40, 40, 96
    for (int k = 0; k < 4; ++k) std::memset(state.CurrentLumaBlocks[k], 100 + offsets[k], 64);
    auto evaluate = [&](int direction, int32_t worstSad) {
        const int32_t sads[4] = {10, 10, 10, worstSad};
        std::copy(sads, sads + 4, state.blockSad);
        state.bestCost = 1030;
        const uint8_t* window = nullptr;
        const int32_t cost = EvaluateHalfPel(Reference(), 16, 16, direction, true, state, &window);
        EXPECT_EQ(state.blockSad[0], 10);  // costs not below bestCost leave blockSad
        return cost;
    };
    // S = 768 < 1000. Block 0 stops at 320 (limit 262). Two-tap: block 1 has
    // the limit 1030 - 320 and block 2 1030 - 640, both complete (320 each).
    EXPECT_EQ(evaluate(2, 1000), 320 + 320 + 320 + 768);
    // Diagonal: blocks 1 and 2 have the limit 262 as well and stop at 280.
    EXPECT_EQ(evaluate(1, 1000), 320 + 280 + 280 + 768);
    // S not below its integer SAD: abandoned.
    EXPECT_EQ(evaluate(2, 768), kNoCost);
    EXPECT_EQ(evaluate(8, 700), kNoCost);

    // A diagonal direction under every bestCost that stops blocks 0..2 at
    // each of their rows, against sums taken row by row.
    auto rowByRow = [](int32_t rowSad, int32_t limit) {
        int32_t sum = 0, rows = 0;
        do {
            sum += rowSad;  // at least one row, whatever the limit
        } while (++rows < 8 && sum < limit);
        return sum;
    };
    for (int32_t bestCost = 700; bestCost < 2200; ++bestCost) {
        const int32_t limit = bestCost - 768;
        // Blocks 0..2 come before S; a total that reaches bestCost there
        // abandons the direction, S's value completes any other.
        int32_t expected = 0;
        for (int32_t rowSad : {80, 40, 40}) {
            expected += rowByRow(rowSad, limit);
            if (expected >= bestCost) break;
        }
        expected = expected >= bestCost ? kNoCost : expected + 768;
        for (bool exactCost : {true, false}) {
            const int32_t sads[4] = {10, 10, 10, 1000};
            std::copy(sads, sads + 4, state.blockSad);
            state.bestCost = bestCost;
            const uint8_t* window = nullptr;
            const int32_t cost = EvaluateHalfPel(Reference(), 16, 16, 1, exactCost, state, &window);
            // Without exactCost, only a cost below bestCost must be exact.
            if (exactCost || expected < bestCost) {
                ASSERT_EQ(cost, expected) << "bestCost " << bestCost;
            } else {
                ASSERT_GE(cost, bestCost) << "bestCost " << bestCost;
            }
            ASSERT_EQ(state.blockSad[0], expected < bestCost ? 640 : 10);
        }
    }
}

// Block 1's whole SAD exceeds its limit by one, reached only in its last row:
// its limited sum stops a row earlier, at the limit, and the cost ties with
// bestCost.
TEST_F(HalfPelTest, ExactCostStopsABlockWhoseWholeSadJustExceedsItsLimit) {
    std::fill(reference.begin(), reference.end(), 100);
    for (auto& block : state.CurrentLumaBlocks) std::memset(block, 100, 64);
    std::memset(state.CurrentLumaBlocks[1], 105, 56);  // rows 0..6: SAD 40 each
    state.CurrentLumaBlocks[1][56] = 101;              // row 7: SAD 1
    std::memset(state.CurrentLumaBlocks[3], 112, 64);  // S: 768
    const int32_t sads[4] = {10, 10, 10, 1000};
    std::copy(sads, sads + 4, state.blockSad);
    state.bestCost = 1048;  // block 1's limit: 1048 - 768 = 280
    const uint8_t* window = nullptr;
    EXPECT_EQ(EvaluateHalfPel(Reference(), 16, 16, 1, true, state, &window), 280 + 768);
}

// Every corner, every previous direction, every integer position next to the
// picture edge: nothing is read outside the plane (checked by the
// sanitizers, the plane has no margin) and the accepted prediction matches
// the H.263 formula.
TEST_F(HalfPelTest, CornersNeverReadOutsideThePicture) {
    std::mt19937 random(9);
    for (auto& v : reference) v = static_cast<uint8_t>(random());
    struct Corner {
        int column, row, mvX, mvY;
    };
    const Corner corners[] = {{0, 0, 0, 0},   {3, 0, 0, 0},   {0, 2, 0, 0},  {3, 2, 0, 0},
                              {1, 0, -15, 0}, {0, 1, 0, -15}, {2, 2, 15, 0}, {2, 1, 0, 15}};
    for (const Corner& corner : corners) {
        for (int g = 0; g <= 8; ++g) {
            MacroblockInfo& info = grid.At(corner.column, corner.row);
            info.mvX = corner.mvX;
            info.mvY = corner.mvY;
            const int x = 16 * corner.column + corner.mvX;
            const int y = 16 * corner.row + corner.mvY;
            for (auto& block : state.CurrentLumaBlocks)
                for (auto& v : block) v = static_cast<uint8_t>(random());
            SetIntegerCost(x, y, 5000);  // anything available is accepted
            state.previousHalfDirection = g;
            RefineHalfPel(Reference(), corner.column, corner.row, info, state);
            ASSERT_NE(state.previousHalfDirection, 0);
            for (int a = 0; a < 16; ++a)
                for (int b = 0; b < 16; ++b)
                    ASSERT_EQ(state.predictionPtr[a * state.predictionStride + b],
                              PredictionSample(reference, x + b, y + a, info.halfX, info.halfY));
        }
    }
}

}  // namespace
}  // namespace kmqx
