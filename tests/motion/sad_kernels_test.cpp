#include "encoder/sad_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/kernel_selection.h"

namespace kmqx {
namespace {

constexpr int32_t kStride = 40;
constexpr uint8_t kGuard = 0xA5;

// A source area of 10 rows and a current block, filled by `fill`.
struct KernelInput {
    std::vector<uint8_t> source = std::vector<uint8_t>(kStride * 10);
    std::vector<uint8_t> block = std::vector<uint8_t>(64);
};

template <typename Fill>
KernelInput MakeInput(Fill fill) {
    KernelInput input;
    for (auto& v : input.source) v = fill();
    for (auto& v : input.block) v = fill();
    return input;
}

std::vector<KernelInput> TestInputs() {
    std::mt19937 random(7);
    std::vector<KernelInput> inputs;
    for (int i = 0; i < 200; ++i) inputs.push_back(MakeInput([&] { return random() & 0xFF; }));
    // Saturating cases: all extremes, and alternating extremes (largest SADs
    // and largest interpolation sums).
    inputs.push_back(MakeInput([] { return 255; }));
    inputs.push_back(MakeInput([] { return 0; }));
    int toggle = 0;
    inputs.push_back(MakeInput([&] { return (toggle++ & 1) ? 255 : 0; }));
    KernelInput opposite = MakeInput([] { return 0; });
    for (auto& v : opposite.block) v = 255;
    inputs.push_back(opposite);
    for (int i = 0; i < 50; ++i)
        inputs.push_back(
            MakeInput([&] { return (random() & 1) ? 255 - (random() & 3) : random() & 3; }));
    return inputs;
}

const int32_t kLimits[] = {INT32_MAX, 0, -5, 1, 100, 500, 1000, 4000, 16320};

// Each vector level the processor has against the scalar reference.
class MotionKernelTest : public ::testing::TestWithParam<SimdLevel> {
  protected:
    const MotionKernels& scalar = ScalarMotionKernels();
    const MotionKernels fast = KernelsFor(GetParam(), ScalarMotionKernels(),
                                          UpgradeMotionKernelsSse2, UpgradeMotionKernelsAvx2);
};

TEST_P(MotionKernelTest, SadKernelsMatchScalarOnRandomAndExtremeInputs) {
    for (const KernelInput& input : TestInputs()) {
        EXPECT_EQ(fast.sad8x8(input.block.data(), input.source.data() + 1, kStride),
                  scalar.sad8x8(input.block.data(), input.source.data() + 1, kStride));
        for (int32_t limit : kLimits)
            EXPECT_EQ(
                fast.sad8x8Limited(input.block.data(), input.source.data() + 3, kStride, limit),
                scalar.sad8x8Limited(input.block.data(), input.source.data() + 3, kStride, limit))
                << "limit " << limit;
    }
}

TEST_P(MotionKernelTest, BandSumsMatchScalar) {
    for (const KernelInput& input : TestInputs()) {
        int32_t expected[4], actual[4];
        scalar.bandSums(input.source.data() + 5, kStride, expected);
        fast.bandSums(input.source.data() + 5, kStride, actual);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(actual[k], expected[k]) << "block " << k;
    }
}

// Four blocks and a 16x16 reference area: random, extreme and nearly equal.
TEST_P(MotionKernelTest, MacroblockLoadSumSadsAndMeanDeviationMatchScalar) {
    std::mt19937 random(11);
    constexpr int32_t kAreaStride = 24;
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<uint8_t> blocks(256), area(kAreaStride * 16);
        const int kind = trial % 4;
        for (auto& v : blocks) v = kind == 1 ? 255 : kind == 2 ? 0 : random() & 0xFF;
        for (auto& v : area) v = kind == 1 ? 0 : kind == 2 ? 255 : random() & 0xFF;
        if (kind == 3)  // `blocks` as a 16x16 area nearly equal to the one scored against
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) blocks[16 * y + x] = area[3 + y * kAreaStride + x] ^ 1;
        // The blocks loaded from one area and scored against another.
        std::vector<uint8_t> expectedBlocks(256 + 32, kGuard), actualBlocks(256 + 32, kGuard);
        int32_t expected[4], actual[4];
        const int32_t expectedSum = scalar.loadMacroblockWithSads(
            area.data() + 1, kAreaStride, blocks.data(), 16, expectedBlocks.data() + 16, expected);
        ASSERT_EQ(fast.loadMacroblockWithSads(area.data() + 1, kAreaStride, blocks.data(), 16,
                                              actualBlocks.data() + 16, actual),
                  expectedSum);
        ASSERT_EQ(actualBlocks, expectedBlocks);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(actual[k], expected[k]) << "loaded block " << k;
        // `blocks` as a 16x16 area, scored against the area.
        std::vector<uint8_t> copy(256);
        scalar.loadMacroblockWithSads(blocks.data(), 16, area.data() + 3, kAreaStride, copy.data(),
                                      expected);
        fast.loadMacroblockWithSads(blocks.data(), 16, area.data() + 3, kAreaStride, copy.data(),
                                    actual);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(actual[k], expected[k]) << "block " << k;
        for (int half = 0; half < 2; ++half) {
            int32_t pair[2];
            fast.sad16x8Blocks(copy.data() + 128 * half, area.data() + 3 + 8 * half * kAreaStride,
                               kAreaStride, pair);
            ASSERT_EQ(pair[0], expected[2 * half]) << "half " << half;
            ASSERT_EQ(pair[1], expected[2 * half + 1]) << "half " << half;
        }
        for (int32_t mean : {0, 1, 128, 254, 255, static_cast<int32_t>(random() & 0xFF)}) {
            for (int32_t limit : kLimits) {
                ASSERT_EQ(fast.meanDeviation(blocks.data(), mean, limit),
                          scalar.meanDeviation(blocks.data(), mean, limit))
                    << "mean " << mean << " limit " << limit;
            }
        }
    }
}

// The nine candidates around a position, in an area exactly 18 x 18 so that
// any read beyond it is caught under the sanitizers.
TEST_P(MotionKernelTest, NeighbourhoodSadsMatchScalar) {
    std::mt19937 random(13);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> blocks(256), area(18 * 18);
        const int kind = trial % 4;
        for (auto& v : blocks) v = kind == 1 ? 255 : kind == 2 ? 0 : random() & 0xFF;
        for (auto& v : area) v = kind == 1 ? 0 : kind == 2 ? 255 : random() & 0xFF;
        if (kind == 3)  // one candidate nearly equal to the blocks: small sums
            for (int k = 0; k < 4; ++k)
                for (int i = 0; i < 64; ++i)
                    blocks[64 * k + i] =
                        area[(1 + 8 * (k >> 1) + i / 8) * 18 + 2 + 8 * (k & 1) + i % 8] ^ 1;
        int32_t expected[9][4], actual[9][4];
        const int32_t lowest =
            scalar.sad16x16Neighbourhood(blocks.data(), area.data(), 18, expected);
        ASSERT_EQ(fast.sad16x16Neighbourhood(blocks.data(), area.data(), 18, actual), lowest);
        for (int c = 0; c < 9; ++c)
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(actual[c][k], expected[c][k]) << "candidate " << c << " block " << k;
    }
}

using Interpolation = void (*)(const uint8_t*, int32_t, uint8_t*, int32_t);

// A plane of pitch 17 with two guard rows above and below; `fill` writes its
// rows 0..16 and every byte it may not write must keep the guard value.
template <typename Fill>
std::vector<uint8_t> FillPlane(Fill fill, int32_t rows, int32_t columns) {
    constexpr int32_t kGuardRows = 2;
    std::vector<uint8_t> plane((17 + 2 * kGuardRows) * kHalfPelPlaneStride, kGuard);
    fill(plane.data() + kGuardRows * kHalfPelPlaneStride);
    for (size_t i = 0; i < plane.size(); ++i) {
        const int32_t row = static_cast<int32_t>(i / kHalfPelPlaneStride) - kGuardRows;
        const int32_t column = static_cast<int32_t>(i % kHalfPelPlaneStride);
        if (row < 0 || row >= rows || column >= columns) {
            EXPECT_EQ(plane[i], kGuard) << "guard byte at " << row << "," << column;
        }
    }
    return plane;
}

// Sources exactly 18 x 18, so that any read beyond them is caught under the
// sanitizers.
TEST_P(MotionKernelTest, InterpolationsMatchScalarWithIntactGuards) {
    const Interpolation scalarKernels[] = {scalar.interpolateHorizontal, scalar.interpolateVertical,
                                           scalar.interpolateDiagonal};
    const Interpolation fastKernels[] = {fast.interpolateHorizontal, fast.interpolateVertical,
                                         fast.interpolateDiagonal};
    const std::vector<KernelInput> inputs = TestInputs();
    for (size_t n = 0; n < inputs.size(); ++n) {
        const KernelInput& input = inputs[n];
        std::vector<uint8_t> source(18 * 18);
        for (size_t i = 0; i < source.size(); ++i) source[i] = input.source[i % 400];
        std::vector<uint8_t> blocks(256);
        for (int k = 0; k < 4; ++k) {
            const std::vector<uint8_t>& block = inputs[(n + k) % inputs.size()].block;
            std::copy(block.begin(), block.end(), &blocks[64 * k]);
        }
        for (int kind = 0; kind < 3; ++kind) {
            for (int32_t rows : {16, 17}) {
                auto run = [&](Interpolation kernel) {
                    return FillPlane([&](uint8_t* out) { kernel(source.data(), 18, out, rows); },
                                     rows, 16);
                };
                ASSERT_EQ(run(fastKernels[kind]), run(scalarKernels[kind]))
                    << "kind " << kind << " rows " << rows;
            }
        }
        int32_t sads[2][4][4];
        auto plane = [&](const MotionKernels& kernels, int32_t windowSads[4][4]) {
            return FillPlane(
                [&](uint8_t* out) {
                    kernels.interpolateDiagonalPlaneWithSads(source.data(), 18, blocks.data(), out,
                                                             windowSads);
                },
                17, 17);
        };
        ASSERT_EQ(plane(fast, sads[0]), plane(scalar, sads[1]));
        for (int w = 0; w < 4; ++w)
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(sads[0][w][k], sads[1][w][k]) << "window " << w << " block " << k;
    }
}

TEST_P(MotionKernelTest, WindowRowSadSumsMatchScalar) {
    const std::vector<KernelInput> inputs = TestInputs();
    for (size_t n = 0; n + 4 <= inputs.size(); ++n) {
        std::vector<uint8_t> blocks(256);
        for (int k = 0; k < 4; ++k)
            std::copy(inputs[n + k].block.begin(), inputs[n + k].block.end(), &blocks[64 * k]);
        // A window exactly 16 rows of pitch 17.
        std::vector<uint8_t> window(inputs[n].source.begin(),
                                    inputs[n].source.begin() + 15 * kHalfPelPlaneStride + 16);
        uint16_t expected[4][8], actual[4][8];
        scalar.windowRowSadSums(window.data(), blocks.data(), expected);
        fast.windowRowSadSums(window.data(), blocks.data(), actual);
        for (int k = 0; k < 4; ++k)
            for (int r = 0; r < 8; ++r)
                ASSERT_EQ(actual[k][r], expected[k][r]) << "block " << k << " row " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLevel, MotionKernelTest, ::testing::ValuesIn(SimdLevelsAboveScalar()),
                         [](const auto& info) { return SimdLevelName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(MotionKernelTest);

// The scalar reference itself against the formulas, with a stop in the middle.
TEST(ScalarMotionKernels, LimitedSumsStopAfterTheRowThatReachesTheLimit) {
    std::vector<uint8_t> block(64, 0), source(kStride * 10, 0);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) source[i * kStride + j] = 10;  // each row's SAD is 80
    const MotionKernels& kernels = ScalarMotionKernels();
    EXPECT_EQ(kernels.sad8x8(block.data(), source.data(), kStride), 640);
    EXPECT_EQ(kernels.sad8x8Limited(block.data(), source.data(), kStride, 200), 240);
    EXPECT_EQ(kernels.sad8x8Limited(block.data(), source.data(), kStride, 240), 240);
    EXPECT_EQ(kernels.sad8x8Limited(block.data(), source.data(), kStride, 641), 640);
    // A limit already reached still computes one row.
    EXPECT_EQ(kernels.sad8x8Limited(block.data(), source.data(), kStride, -1), 80);
}

TEST(ScalarMotionKernels, HalfPelRoundingIsH263s) {
    // Samples 1 and 2 average to 2 (round half up); 1, 2, 2, 2 to 2; 0, 0, 0, 1 to 0;
    // 0, 1, 1, 0 to 1 ((2 + 2) >> 2).
    std::vector<uint8_t> source(kStride * 18, 0);
    source[0] = 1;
    source[1] = 2;
    source[kStride] = 2;
    source[kStride + 1] = 2;
    std::vector<uint8_t> out(17 * kHalfPelPlaneStride, 0);
    const MotionKernels& kernels = ScalarMotionKernels();
    kernels.interpolateHorizontal(source.data(), kStride, out.data(), 16);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 1);  // (2 + 0 + 1) >> 1
    kernels.interpolateVertical(source.data(), kStride, out.data(), 16);
    EXPECT_EQ(out[0], 2);  // (1 + 2 + 1) >> 1
    kernels.interpolateDiagonal(source.data(), kStride, out.data(), 16);
    EXPECT_EQ(out[0], 2);  // (7 + 2) >> 2
    EXPECT_EQ(out[1], 1);  // (2 + 0 + 2 + 0 + 2) >> 2
    source.assign(source.size(), 0);
    source[kStride + 1] = 1;
    kernels.interpolateDiagonal(source.data(), kStride, out.data(), 16);
    EXPECT_EQ(out[0], 0);  // (1 + 2) >> 2
}

}  // namespace
}  // namespace kmqx
