#include "encoder/motion_detection.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "motion_test_pictures.h"

namespace kmqx {
namespace {

constexpr int32_t kWidth = 48;  // 3 x 2 macroblocks
constexpr int32_t kHeight = 32;

class DetectChangesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reference = testing::TexturePlane(kWidth, kHeight);
        current = reference;
        grid.Reset(kWidth / 16, kHeight / 16);
    }
    void Detect(int16_t thresholdA) {
        for (int32_t row = 0; row < kHeight / 16; ++row)
            DetectChangesInRow(current.data(), reference.data(), kWidth, row, thresholdA, grid);
    }
    uint8_t& CurrentAt(int x, int y) { return current[y * kWidth + x]; }
    int CountChanged() {
        int changed = 0;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) changed += grid.At(x, y).changeMark == 1;
        return changed;
    }

    std::vector<uint8_t> reference, current;
    MacroblockGrid grid;
};

TEST_F(DetectChangesTest, ThresholdZeroMarksEveryMacroblockChanged) {
    Detect(0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(grid.At(x, y).changeMark, 1);
}

TEST_F(DetectChangesTest, IdenticalPicturesAreUnchanged) {
    Detect(1);
    EXPECT_EQ(CountChanged(), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(grid.At(x, y).changeMark, -1);
}

TEST_F(DetectChangesTest, RearrangingSamplesInsideA4x4BlockIsNoChange) {
    // Large changes that keep every 4x4 sum (the texture lies within 33..223).
    std::swap(CurrentAt(16, 0), CurrentAt(19, 3));
    CurrentAt(17, 1) += 30;
    CurrentAt(18, 2) -= 30;
    CurrentAt(40, 28) += 30;
    CurrentAt(43, 31) -= 30;
    Detect(1);
    EXPECT_EQ(CountChanged(), 0);
}

TEST_F(DetectChangesTest, ThresholdSixteenCountsAWholeBlockRaisedByOne) {
    for (auto& v : current) v = 100;
    reference = current;
    // 15 samples raised by 1: difference 15 < 16.
    for (int i = 0; i < 15; ++i) CurrentAt(36 + i % 4, 20 + i / 4) += 1;
    Detect(16);
    EXPECT_EQ(CountChanged(), 0);
    CurrentAt(39, 23) += 1;  // the 16th
    Detect(16);
    EXPECT_EQ(CountChanged(), 1);
    EXPECT_EQ(grid.At(2, 1).changeMark, 1);
}

TEST_F(DetectChangesTest, ChangeInTheBottomBandIsFound) {
    CurrentAt(8, 12 + 16) ^= 0x80;
    CurrentAt(5, 15 + 16) ^= 0x40;
    Detect(1);
    EXPECT_EQ(CountChanged(), 1);
    EXPECT_EQ(grid.At(0, 1).changeMark, 1);
}

TEST_F(DetectChangesTest, ExtremeThresholdsNeverSeeAChange) {
    for (auto& v : current) v = 255;
    for (auto& v : reference) v = 0;
    Detect(32767);
    EXPECT_EQ(CountChanged(), 0);
    Detect(-32768);
    EXPECT_EQ(CountChanged(), 0);
    Detect(32);
    EXPECT_EQ(CountChanged(), 6);
}

TEST(BlockSumsDiffer, FollowsTheSixteenBitWrap) {
    // A = 0: always; A >= 1: D >= A.
    EXPECT_TRUE(BlockSumsDiffer(0, 0));
    EXPECT_TRUE(BlockSumsDiffer(4080, 0));
    EXPECT_FALSE(BlockSumsDiffer(0, 1));
    EXPECT_TRUE(BlockSumsDiffer(1, 1));
    EXPECT_FALSE(BlockSumsDiffer(4079, 4080));
    EXPECT_TRUE(BlockSumsDiffer(4080, 4080));
    EXPECT_FALSE(BlockSumsDiffer(4080, 32767));
    // Negative A: differs when D + 1 - A <= 32767.
    EXPECT_TRUE(BlockSumsDiffer(0, -1));
    EXPECT_TRUE(BlockSumsDiffer(4080, -28686));   // 4080 + 1 + 28686 = 32767
    EXPECT_FALSE(BlockSumsDiffer(4080, -28687));  // 32768 wraps negative
    EXPECT_TRUE(BlockSumsDiffer(4079, -28687));
    EXPECT_FALSE(BlockSumsDiffer(0, -32768));
    EXPECT_FALSE(BlockSumsDiffer(4080, -32768));
}

// The shortcut for thresholds under which every macroblock has changed must
// agree with the comparison itself, for every A.
TEST(BlockSumsDiffer, EveryDifferenceDiffersExactlyWhereTheShortcutSaysSo) {
    for (int32_t a = -32768; a <= 32767; ++a) {
        // Every A next to the two edges, a sample elsewhere.
        const bool nearEdge = (a >= -28700 && a <= -28670) || (a >= -10 && a <= 10);
        if (!nearEdge && a % 97 != 0) continue;
        const int16_t threshold = static_cast<int16_t>(a);
        bool every = true;
        for (int32_t d = 0; d <= kMaxBlockSumDifference && every; ++d)
            every = BlockSumsDiffer(d, threshold);
        ASSERT_EQ(EveryBlockSumsDiffer(threshold), every) << "A " << a;
    }
}

}  // namespace
}  // namespace kmqx
