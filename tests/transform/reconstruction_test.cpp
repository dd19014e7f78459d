#include "encoder/reconstruction.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "transform_test_support.h"

namespace kmqx {
namespace {

using test::TestPicture;

TEST(IntraReconstruction, DcAloneAndWithAcLevels) {
    uint8_t area[8 * 10];
    std::memset(area, 0xEE, sizeof(area));
    FillIntraBlock(8 * 100, area, 10);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) EXPECT_EQ(area[10 * y + x], x < 8 ? 100 : 0xEE);
    }
    FillIntraBlock(8 * 254, area, 10);
    EXPECT_EQ(area[0], 254);
    // DC 200 stored as a byte (reads as -56 signed) with one AC level.
    int8_t levels[64] = {};
    levels[0] = static_cast<int8_t>(200);
    levels[1] = 1;
    ReconstructIntraBlock(levels, BuildDequantParams(2), area, 10);
    int sum = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) sum += area[10 * y + x];
    }
    EXPECT_NEAR(sum / 64.0, 200, 0.5);
    EXPECT_GT(area[0], area[7]);  // a positive F(0, 1) raises the left side
}

TEST(InterReconstruction, DcAloneAddsTheDecodersRoundedValue) {
    uint8_t prediction[64];
    for (int i = 0; i < 64; ++i) prediction[i] = static_cast<uint8_t>(100 + i);
    struct Case {
        int quant, level, added;
    };
    for (const Case c : {Case{6, 1, 2}, Case{5, 1, 2}, Case{1, 1, 0}, Case{2, -2, -1},
                         Case{31, 127, 984}, Case{31, -127, -984}}) {
        int8_t levels[64] = {};
        levels[0] = static_cast<int8_t>(c.level);
        uint8_t out[64];
        ReconstructInterBlock(levels, 0, prediction, 8, BuildDequantParams(c.quant), out, 8);
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(out[i], std::clamp(prediction[i] + c.added, 0, 255))
                << "quant " << c.quant << " level " << c.level;
        }
    }
    int8_t none[64] = {};
    uint8_t out[64];
    ReconstructInterBlock(none, 0, prediction, 8, BuildDequantParams(9), out, 8);
    EXPECT_EQ(std::memcmp(out, prediction, 64), 0);
}

// Chroma of the macroblock at (1, 1) in a 48 x 48 picture (chroma 24 x 24).
TEST(PredictChroma, VectorRulesMatchTheDecoder) {
    TestPicture reference(48, 48);
    reference.Fill(3);
    const uint8_t* cb = reference.cb.data();
    auto sample = [&](int x, int y) { return int{cb[24 * y + x]}; };
    uint8_t cbPrediction[64], crPrediction[64];
    // (3, -3): whole offset (0, -1), both half flags: diagonal from (8, 7).
    PredictChroma(reference.View(), 1, 1, 3, -3, cbPrediction, crPrediction, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int expected = (sample(8 + x, 7 + y) + sample(9 + x, 7 + y) +
                                  sample(8 + x, 8 + y) + sample(9 + x, 8 + y) + 2) >>
                                 2;
            ASSERT_EQ(cbPrediction[8 * y + x], expected) << x << "," << y;
        }
    }
    // (4, -4) is whole: (1, -1). (2, 6): (1, 3) in chroma half units, i.e.
    // offset (0, 1) with both half flags.
    PredictChroma(reference.View(), 1, 1, 4, -4, cbPrediction, crPrediction, 8);
    EXPECT_EQ(cbPrediction[0], sample(9, 7));
    EXPECT_EQ(crPrediction[9], reference.cr[24 * 8 + 10]);
    PredictChroma(reference.View(), 1, 1, 2, 6, cbPrediction, crPrediction, 8);
    EXPECT_EQ(cbPrediction[0],
              (sample(8, 9) + sample(9, 9) + sample(8, 10) + sample(9, 10) + 2) >> 2);
    // (-1, 0): -1 -> (-1 | 2) = -1: offset -1, half: between x = 7 and 8.
    PredictChroma(reference.View(), 1, 1, -1, 0, cbPrediction, crPrediction, 8);
    EXPECT_EQ(cbPrediction[0], (sample(7, 8) + sample(8, 8) + 1) >> 1);
}

// At the right and bottom edges a half-sample vector needs one sample past
// the plane: the edge sample repeats, and nothing outside is read.
TEST(PredictChroma, RepeatsTheEdgeSampleAtThePictureBorder) {
    TestPicture reference(32, 32);  // chroma 16 x 16
    reference.Fill(5);
    auto cb = [&](int x, int y) { return int{reference.cb[16 * y + x]}; };
    uint8_t cbPrediction[64], crPrediction[64];
    PredictChroma(reference.View(), 1, 1, 1, 1, cbPrediction, crPrediction, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int x1 = std::min(9 + x, 15), y1 = std::min(9 + y, 15);
            const int expected =
                (cb(8 + x, 8 + y) + cb(x1, 8 + y) + cb(8 + x, y1) + cb(x1, y1) + 2) >> 2;
            ASSERT_EQ(cbPrediction[8 * y + x], expected) << x << "," << y;
        }
    }
    // Even a vector pointing outside stays within the planes.
    PredictChroma(reference.View(), 0, 0, -31, -31, cbPrediction, crPrediction, 8);
    EXPECT_EQ(cbPrediction[0], cb(0, 0));
    PredictChroma(reference.View(), 1, 1, 31, 31, cbPrediction, crPrediction, 8);
    EXPECT_EQ(cbPrediction[63], cb(15, 15));
}

}  // namespace
}  // namespace kmqx
