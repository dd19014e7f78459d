#include "encoder/motion_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <vector>

#include "motion_test_pictures.h"

namespace kmqx {
namespace {

constexpr int32_t kWidth = 64;  // 4 x 3 macroblocks
constexpr int32_t kHeight = 48;

class IntegerSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Planes exactly of the picture's size: the sanitizers catch any read
        // outside the window.
        reference.assign(kWidth * kHeight, 0);
        current.assign(kWidth * kHeight, 0);
        grid.Reset(kWidth / 16, kHeight / 16);
    }
    LumaPlane Reference() const { return {reference.data(), kWidth, kHeight}; }

    // The real protocol: current blocks, zero-vector SAD, search.
    void Search(int column, int row, int32_t range = 1) {
        LoadCurrentWithZeroVectorSad({current.data(), kWidth, kHeight}, Reference(), column, row,
                                     state);
        SearchIntegerVector(Reference(), column, row, range, grid, state);
    }
    // Current blocks of constant values, every candidate against a zero
    // reference then costs 64 * value per block, and given zero-vector SADs.
    void SearchWithFlatBlocks(int column, int row, const int values[4], const int32_t zeroSads[4],
                              int32_t range = 1) {
        state.zeroSad = 0;
        for (int k = 0; k < 4; ++k) {
            for (auto& v : state.CurrentLumaBlocks[k]) v = static_cast<uint8_t>(values[k]);
            state.blockSad[k] = zeroSads[k];
            state.zeroSad += zeroSads[k];
        }
        SearchIntegerVector(Reference(), column, row, range, grid, state);
    }
    MacroblockInfo& Info(int column, int row) { return grid.At(column, row); }

    std::vector<uint8_t> reference, current;
    MacroblockGrid grid;
    MotionState state{};
};

const int kFlat[4] = {1, 1, 1, 1};                  // every candidate costs 256
const int32_t kHighZero[4] = {400, 400, 400, 400};  // zero vector costs 1600

TEST_F(IntegerSearchTest, FindsWholePixelMotionOfATexture) {
    reference = testing::TexturePlane(kWidth, kHeight);
    current = testing::TexturePlane(kWidth, kHeight, 1, -1);  // content moved right and up
    Search(1, 1);
    EXPECT_EQ(Info(1, 1).mvX, -1);
    EXPECT_EQ(Info(1, 1).mvY, 1);
    EXPECT_EQ(state.bestCost, 0);
    EXPECT_EQ(Info(1, 1).mvChangeX, -1);
    EXPECT_EQ(Info(1, 1).mvChangeY, 1);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(state.blockSad[k], 0);
}

TEST_F(IntegerSearchTest, ThePreviousVectorAndTheNeighboursChangesPlaceTheSearch) {
    reference = testing::TexturePlane(kWidth, kHeight);
    current = testing::TexturePlane(kWidth, kHeight, -3, 2);
    Info(1, 1).mvX = 2;  // previous vector (2, -1), neighbours moved on by (+1, -1)
    Info(1, 1).mvY = -1;
    Info(0, 1).mvChangeX = 1;
    Info(1, 0).mvChangeX = 1;
    Info(0, 1).mvChangeY = -1;
    Info(1, 0).mvChangeY = -1;
    Search(1, 1);
    EXPECT_EQ(Info(1, 1).mvX, 3);
    EXPECT_EQ(Info(1, 1).mvY, -2);
    EXPECT_EQ(Info(1, 1).mvChangeX, 1);
    EXPECT_EQ(Info(1, 1).mvChangeY, -1);
    EXPECT_EQ(state.bestCost, 0);
}

TEST_F(IntegerSearchTest, ZeroVectorWithinTheBonusCannotBeBeaten) {
    // Candidates cost 0 but the zero vector's 90 less the bonus is already 0.
    const int zero[4] = {0, 0, 0, 0};
    const int32_t small[4] = {30, 20, 20, 20};
    Info(1, 1).mvX = 4;
    SearchWithFlatBlocks(1, 1, zero, small);
    EXPECT_EQ(Info(1, 1).mvX, 0);
    EXPECT_EQ(Info(1, 1).mvY, 0);
    EXPECT_EQ(Info(1, 1).mvChangeX, -4);
    EXPECT_EQ(state.bestCost, 0);
    EXPECT_EQ(state.blockSad[0], 30);  // the zero vector's, without the bonus
}

TEST_F(IntegerSearchTest, CandidateMustAlsoBeatTheWorstBlock) {
    // Candidates: {384, 0, 0, 0} = 384, far below the zero vector's 1184
    // after the bonus, but block 0 is not below the zero vector's 384.
    const int values[4] = {6, 0, 0, 0};
    const int32_t zeroSads[4] = {384, 300, 300, 300};
    SearchWithFlatBlocks(1, 1, values, zeroSads);
    EXPECT_EQ(Info(1, 1).mvX, 0);
    EXPECT_EQ(Info(1, 1).mvY, 0);
    EXPECT_EQ(state.bestCost, 1184);

    const int32_t oneMore[4] = {385, 300, 300, 300};
    SearchWithFlatBlocks(1, 1, values, oneMore);
    EXPECT_EQ(Info(1, 1).mvX, -1);  // the first candidate in order
    EXPECT_EQ(state.bestCost, 384);
    EXPECT_EQ(state.blockSad[0], 384);
    EXPECT_EQ(state.blockSad[1], 0);
}

TEST_F(IntegerSearchTest, OnEqualCostsTheEarlierCandidateStays) {
    SearchWithFlatBlocks(1, 1, kFlat, kHighZero);
    EXPECT_EQ(Info(1, 1).mvX, -1);
    EXPECT_EQ(Info(1, 1).mvY, 0);
    EXPECT_EQ(state.bestCost, 256);

    // The reference matches the current block exactly at offset (1, 1),
    // position (17, 17). On the way, (1, 0) costs 16 and beats (-1, 0)'s 46;
    // (0, 1) ties at 16 and stays behind it; (1, 1) costs 0 and wins.
    for (int y = 17; y < 33; ++y)
        for (int x = 17; x < 33; ++x) reference[y * kWidth + x] = 1;
    Info(1, 1).mvX = 0;
    SearchWithFlatBlocks(1, 1, kFlat, kHighZero);
    EXPECT_EQ(Info(1, 1).mvX, 1);
    EXPECT_EQ(Info(1, 1).mvY, 1);
    EXPECT_EQ(state.bestCost, 0);
}

TEST_F(IntegerSearchTest, CornerWindowsKeepEveryCandidateInsideThePicture) {
    SearchWithFlatBlocks(0, 0, kFlat, kHighZero);  // only (1,0), (0,1), (1,1)
    EXPECT_EQ(Info(0, 0).mvX, 1);
    EXPECT_EQ(Info(0, 0).mvY, 0);
    SearchWithFlatBlocks(3, 2, kFlat, kHighZero);  // only (-1,0), (0,-1), (-1,-1)
    EXPECT_EQ(Info(3, 2).mvX, -1);
    EXPECT_EQ(Info(3, 2).mvY, 0);
    // Top-right and bottom-left with previous vectors pointing out of the
    // picture: the predicted position is limited to the picture and every
    // candidate read stays inside it (checked by the sanitizers).
    Info(3, 0).mvX = 15;
    Info(3, 0).mvY = -15;
    SearchWithFlatBlocks(3, 0, kFlat, kHighZero);
    EXPECT_EQ(Info(3, 0).mvX, 0);  // predicted x = W - 1 leaves no candidate
    EXPECT_EQ(Info(3, 0).mvY, 0);
    EXPECT_EQ(Info(3, 0).mvChangeX, -15);
    EXPECT_EQ(state.bestCost, 1500);
    Info(0, 2).mvX = -15;
    Info(0, 2).mvY = 15;
    SearchWithFlatBlocks(0, 2, kFlat, kHighZero);
    EXPECT_EQ(Info(0, 2).mvX, 0);  // (0, 32): the own position's x, own row
    EXPECT_EQ(Info(0, 2).mvY, 0);
}

TEST_F(IntegerSearchTest, AcceptedVectorBeyondFifteenIsStoredAsFifteen) {
    Info(1, 1).mvX = 15;
    Info(0, 1).mvChangeX = 2;
    Info(1, 0).mvChangeX = 2;
    SearchWithFlatBlocks(1, 1, kFlat, kHighZero);
    // Predicted x = 16 + 15 + 2 = 33; its own offset is first and wins.
    EXPECT_EQ(Info(1, 1).mvX, 15);
    EXPECT_EQ(Info(1, 1).mvChangeX, 0);
    EXPECT_EQ(state.bestCost, 256);
}

TEST_F(IntegerSearchTest, NeighbourChangesAverageTowardZero) {
    Info(0, 1).mvChangeY = -1;  // (-1 + 0) / 2 = 0: predicted at the own position
    SearchWithFlatBlocks(1, 1, kFlat, kHighZero);
    EXPECT_EQ(Info(1, 1).mvX, -1);  // offset (-1, 0), not (0, 0) one row up
    EXPECT_EQ(Info(1, 1).mvY, 0);
}

TEST_F(IntegerSearchTest, SearchRangeLimitsTheWindow) {
    Info(1, 1).mvX = 2;  // predicted position two to the right
    SearchWithFlatBlocks(1, 1, kFlat, kHighZero, 0);
    EXPECT_EQ(Info(1, 1).mvX, 2);  // only the predicted position itself
    Info(1, 1).mvX = 2;
    SearchWithFlatBlocks(1, 1, kFlat, kHighZero, -1);
    EXPECT_EQ(Info(1, 1).mvX, 0);  // no candidate at all
    Info(1, 1).mvX = 2;
    SearchWithFlatBlocks(1, 1, kFlat, kHighZero, INT32_MAX);
    EXPECT_EQ(Info(1, 1).mvX, 2);  // as range 1; no overflow
    Info(1, 1).mvX = 2;
    SearchWithFlatBlocks(1, 1, kFlat, kHighZero, INT32_MIN);
    EXPECT_EQ(Info(1, 1).mvX, 0);
}

// The row-wise early exits must decide exactly as complete sums do: an oracle
// that scores every candidate in full, on random pictures, previous vectors
// and neighbour changes.
TEST_F(IntegerSearchTest, EarlyExitsDecideAsTheExactSums) {
    std::mt19937 random(12);
    auto fullSad = [&](int k, int x, int y) {
        int32_t sad = 0;
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 8; ++j)
                sad += std::abs(state.CurrentLumaBlocks[k][8 * i + j] -
                                reference[(y + 8 * (k >> 1) + i) * kWidth + x + 8 * (k & 1) + j]);
        return sad;
    };
    for (int trial = 0; trial < 300; ++trial) {
        // Texture moved by up to 4 pixels plus noise; the previous vector and
        // the neighbours' changes put the search near the true motion, so that
        // candidates compete closely.
        const int dx = static_cast<int>(random() % 9) - 4, dy = static_cast<int>(random() % 9) - 4;
        reference = testing::TexturePlane(kWidth, kHeight);
        current = testing::TexturePlane(kWidth, kHeight, dx, dy);
        const int noise = 1 + trial % 6;
        for (auto& v : current)
            v = static_cast<uint8_t>(
                std::clamp<int>(v + static_cast<int>(random() % (2 * noise + 1)) - noise, 0, 255));
        const int column = random() % 4, row = random() % 3;
        MacroblockInfo& info = Info(column, row);
        auto near = [&](int v) { return v + static_cast<int>(random() % 5) - 2; };
        info.mvX = near(-dx);
        info.mvY = near(-dy);
        Info(column - 1, row).mvChangeX = static_cast<int>(random() % 5) - 2;
        Info(column, row - 1).mvChangeY = static_cast<int>(random() % 5) - 2;
        const MacroblockInfo before = info;

        LoadCurrentWithZeroVectorSad({current.data(), kWidth, kHeight}, Reference(), column, row,
                                     state);
        // Oracle.
        int32_t bestCost = std::max(state.zeroSad - 100, 0);
        int32_t bestSads[4];
        std::copy(state.blockSad, state.blockSad + 4, bestSads);
        int bestX = 0, bestY = 0;
        const int px =
            std::clamp(16 * column + before.mvX +
                           (Info(column - 1, row).mvChangeX + Info(column, row - 1).mvChangeX) / 2,
                       0, kWidth - 1);
        const int py =
            std::clamp(16 * row + before.mvY +
                           (Info(column - 1, row).mvChangeY + Info(column, row - 1).mvChangeY) / 2,
                       0, kHeight - 1);
        for (const IntegerOffset& offset : kIntegerCandidateOrder) {
            const int x = px + offset.dx, y = py + offset.dy;
            if ((x == 16 * column && y == 16 * row) || x < std::max(px - 1, 0) ||
                x > std::min(px + 1, kWidth - 16) || y < std::max(py - 1, 0) ||
                y > std::min(py + 1, kHeight - 16))
                continue;
            int32_t sads[4], total = 0;
            for (int k = 0; k < 4; ++k) total += sads[k] = fullSad(k, x, y);
            const int worst = static_cast<int>(std::max_element(bestSads, bestSads + 4) - bestSads);
            if (sads[worst] < bestSads[worst] && total < bestCost) {
                bestCost = total;
                std::copy(sads, sads + 4, bestSads);
                bestX = x - 16 * column;
                bestY = y - 16 * row;
            }
        }
        SearchIntegerVector(Reference(), column, row, 1, grid, state);
        ASSERT_EQ(info.mvX, std::clamp(bestX, -15, 15)) << "trial " << trial;
        ASSERT_EQ(info.mvY, std::clamp(bestY, -15, 15)) << "trial " << trial;
        ASSERT_EQ(state.bestCost, bestCost) << "trial " << trial;
        for (int k = 0; k < 4; ++k) ASSERT_EQ(state.blockSad[k], bestSads[k]) << "trial " << trial;
        Info(column - 1, row).mvChangeX = 0;
        Info(column, row - 1).mvChangeY = 0;
    }
}

TEST(LoadCurrentWithZeroVectorSad, SumsTheFourBlocksAgainstTheCoLocatedReference) {
    std::vector<uint8_t> current(32 * 32, 10), reference(32 * 32, 10);
    // Macroblock (1, 1): block 1 differs by 3 in every sample, block 2 in one.
    for (int y = 16; y < 24; ++y)
        for (int x = 24; x < 32; ++x) reference[y * 32 + x] = 13;
    reference[27 * 32 + 17] = 0;
    MotionState state{};
    LoadCurrentWithZeroVectorSad({current.data(), 32, 32}, {reference.data(), 32, 32}, 1, 1, state);
    EXPECT_EQ(state.blockSad[0], 0);
    EXPECT_EQ(state.blockSad[1], 192);
    EXPECT_EQ(state.blockSad[2], 10);
    EXPECT_EQ(state.blockSad[3], 0);
    EXPECT_EQ(state.zeroSad, 202);
    EXPECT_EQ(state.pixelSum, 256 * 10);
}

}  // namespace
}  // namespace kmqx
