#include "encoder/reconstruction_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    // 31 * 255 = 7905 saturates to the decoder's limit.
    DequantizeScalar(levels, BuildDequantParams(31), block);
    EXPECT_EQ(block[63], 4095);
    EXPECT_EQ(block[62], -4095);
    EXPECT_EQ(block[1], -155);
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
    AddAndClipScalar(residual, prediction, 8, destination, 12);
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
