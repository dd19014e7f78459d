#include "encoder/forward_dct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "transform_test_support.h"

namespace kmqx {
namespace {

using test::ReferenceForwardDct;
using test::Transpose;

// ForwardDct leaves the coefficients transposed; this gives them back in the
// standard orientation, raster (v, u).
void ForwardInStandardOrientation(int16_t block[64]) {
    ForwardDctScalar(block);
    Transpose(block);
}

TEST(ForwardDct, FlatBlocksHaveOnlyTheDc) {
    for (int value : {0, 1, 100, 255, -255}) {
        int16_t block[64];
        for (auto& sample : block) sample = static_cast<int16_t>(value);
        ForwardDctScalar(block);
        EXPECT_EQ(block[0], 8 * value) << value;
        for (int i = 1; i < 64; ++i) EXPECT_EQ(block[i], 0) << "value " << value << " index " << i;
    }
}

TEST(ForwardDct, HalfCosineGivesOneCoefficientInEachDirection) {
    int16_t horizontal[64], vertical[64];
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            horizontal[8 * y + x] =
                static_cast<int16_t>(std::lround(50 * std::cos((2 * x + 1) * M_PI / 16)));
            vertical[8 * x + y] = horizontal[8 * y + x];
        }
    }
    ForwardInStandardOrientation(horizontal);
    ForwardInStandardOrientation(vertical);
    EXPECT_NEAR(horizontal[1], 284, 1);
    EXPECT_NEAR(vertical[8], 284, 1);
    for (int i = 0; i < 64; ++i) {
        if (i != 1) {
            EXPECT_NEAR(horizontal[i], 0, 1) << i;
        }
        if (i != 8) {
            EXPECT_NEAR(vertical[i], 0, 1) << i;
        }
    }
}

// Every coefficient is compared with the exact DCT, so that a wrong constant,
// butterfly or post-scale factor cannot hide. The (7, 7) factor is about half
// the exact one (27436 for 53809), so F(7, 7) is compared with that share.
TEST(ForwardDct, MatchesDoublePrecisionDct) {
    std::mt19937 random(7);
    struct Range {
        int low, high;
    };
    for (const Range range : {Range{0, 255}, Range{-255, 255}, Range{-8, 8}}) {
        std::uniform_int_distribution<int> sample(range.low, range.high);
        double sumError = 0;
        double peakError = 0;
        int count = 0;
        for (int trial = 0; trial < 2000; ++trial) {
            int16_t block[64];
            double exactInput[64], exact[64];
            for (int i = 0; i < 64; ++i) {
                block[i] = static_cast<int16_t>(sample(random));
                exactInput[i] = block[i];
            }
            ReferenceForwardDct(exactInput, exact);
            exact[63] *= 27436.0 / 53809.0;
            ForwardInStandardOrientation(block);
            for (int i = 0; i < 64; ++i) {
                const double error = std::fabs(block[i] - exact[i]);
                sumError += error;
                peakError = std::max(peakError, error);
                ++count;
            }
        }
        EXPECT_LT(peakError, 3.0) << range.low << ".." << range.high;
        EXPECT_LT(sumError / count, 0.4) << range.low << ".." << range.high;
    }
}

TEST(ForwardDct, PostScaleTableIsSymmetric) {
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            EXPECT_EQ(kForwardPostScale[8 * v + u], kForwardPostScale[8 * u + v]);
        }
    }
}

// The 16-bit additions wrap (two's complement) rather than saturate: a flat
// block of 300 sums to 128 * 300 = 38400 in the second pass, which wraps to
// -27136 and post-scales to -1696 (saturation would give +2048).
TEST(ForwardDct, SixteenBitSumsWrap) {
    int16_t block[64];
    for (auto& sample : block) sample = 300;
    ForwardDctScalar(block);
    EXPECT_EQ(block[0], -1696);
    int16_t extreme[64];
    for (int i = 0; i < 64; ++i) extreme[i] = (i % 2) ? 32767 : -32768;
    ForwardDctScalar(extreme);  // no undefined overflow (UBSan build)
}

}  // namespace
}  // namespace kmqx
