#include "encoder/inverse_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "transform_test_support.h"

namespace kmqx {
namespace {

TEST(Dequantize, OddAndEvenQuantisers) {
    int8_t levels[64] = {};
    levels[0] = 1;
    levels[1] = -2;
    levels[63] = 127;
    levels[62] = -127;
    int16_t block[64];
    DequantizeScalar(levels, BuildDequantParams(7), block);
    EXPECT_EQ(block[0], 21);
    EXPECT_EQ(block[1], -35);
    EXPECT_EQ(block[2], 0);
    EXPECT_EQ(block[63], 7 * 255);
    DequantizeScalar(levels, BuildDequantParams(8), block);
    EXPECT_EQ(block[0], 23);
    EXPECT_EQ(block[1], -39);
    EXPECT_EQ(block[62], -(8 * 255 - 1));
}

TEST(InverseTransform16, DcAloneGivesTheRoundedMean) {
    for (int dc : {800, 8, 2032, -12, -13, 17, 0}) {
        int16_t block[64] = {};
        block[0] = static_cast<int16_t>(dc);
        InverseTransform16Scalar(block);
        const int expected = (dc + 4) >> 3;
        for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], expected) << "dc " << dc << " at " << i;
    }
}

// Coefficients of random residual blocks (exact DCT, rounded) are transformed
// back and compared with the exact inverse DCT of the same coefficients.
TEST(InverseTransform16, CloseToDoublePrecisionInverseDct) {
    std::mt19937 random(11);
    struct Range {
        int low, high;
    };
    for (const Range range : {Range{-256, 255}, Range{-5, 5}, Range{-300, 300}}) {
        std::uniform_int_distribution<int> sample(range.low, range.high);
        double sumError = 0, sumSquaredError = 0, peakError = 0;
        int count = 0;
        for (int trial = 0; trial < 2000; ++trial) {
            double samples[64], exactCoefficients[64], coefficients[64], exact[64];
            for (double& s : samples) s = sample(random);
            test::ReferenceForwardDct(samples, exactCoefficients);
            int16_t block[64];
            for (int i = 0; i < 64; ++i) {
                const double rounded =
                    std::clamp(std::round(exactCoefficients[i]), -2048.0, 2047.0);
                block[i] = static_cast<int16_t>(rounded);
                coefficients[i] = rounded;
            }
            test::ReferenceInverseDct(coefficients, exact);
            InverseTransform16Scalar(block);
            for (int i = 0; i < 64; ++i) {
                const double error = block[i] - std::round(exact[i]);
                sumError += error;
                sumSquaredError += error * error;
                peakError = std::max(peakError, std::fabs(error));
                ++count;
            }
        }
        // The accuracy limits of IEEE 1180 for the whole block.
        EXPECT_LE(peakError, 1.0) << range.low << ".." << range.high;
        EXPECT_LT(sumSquaredError / count, 0.06) << range.low << ".." << range.high;
        EXPECT_LT(std::fabs(sumError / count), 0.015) << range.low << ".." << range.high;
    }
}

// Row sums beyond 16 bits saturate (they would wrap to -8 here), and so do
// the column pass additions: the outputs are +-32768 >> 5.
TEST(InverseTransform16, RowAndColumnPassesSaturate) {
    for (const int16_t extreme : {int16_t{32767}, int16_t{-32768}}) {
        int16_t block[64] = {};
        block[0] = extreme;
        block[4] = extreme;
        InverseTransform16Scalar(block);
        const int expected = extreme > 0 ? 1023 : -1024;
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 8; ++c) {
                const bool edge = c == 0 || c == 3 || c == 4 || c == 7;
                EXPECT_EQ(block[8 * r + c], edge ? expected : 0) << r << "," << c;
            }
        }
    }
}

TEST(AddAndClip, SixteenBitSumClippedToBytes) {
    int16_t residual[64];
    uint8_t prediction[64];
    for (int i = 0; i < 64; ++i) {
        residual[i] = static_cast<int16_t>(i % 2 ? 255 : -256);
        prediction[i] = static_cast<uint8_t>(i % 2 ? 200 : 10);
    }
    residual[2] = 3;
    residual[4] = 32767;  // 10 + 32767 wraps negative: clipped to 0
    uint8_t destination[8 * 12];
    std::fill(std::begin(destination), std::end(destination), 0xAA);
    AddAndClipScalar(residual, prediction, destination, 12);
    EXPECT_EQ(destination[1], 255);
    EXPECT_EQ(destination[0], 0);
    EXPECT_EQ(destination[2], 13);
    EXPECT_EQ(destination[4], 0);
    for (int y = 0; y < 7; ++y) {
        for (int x = 8; x < 12; ++x) EXPECT_EQ(destination[12 * y + x], 0xAA);
    }
    StoreClippedScalar(residual, destination, 12);
    EXPECT_EQ(destination[0], 0);
    EXPECT_EQ(destination[1], 255);
    EXPECT_EQ(destination[2], 3);
}

}  // namespace
}  // namespace kmqx
