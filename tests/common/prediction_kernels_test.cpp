// The SSE2 prediction and reconstruction kernels against the
// scalar ones: random, extreme and sparse inputs, the destination block inside
// a plane of guard bytes, and each source exactly as large as the samples the
// kernel may read (so that an overread shows under AddressSanitizer).
#include "common/prediction_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kmqx {
namespace {

constexpr int32_t kPitch = 40;
constexpr int32_t kBlockOffset = 3 * kPitch + 5;  // unaligned, away from the plane edges
constexpr uint8_t kGuardByte = 0xA5;

// A destination plane of guard bytes whose block at kBlockOffset starts from
// `initial` (the prediction an add builds on).
std::vector<uint8_t> Destination(int32_t size, const std::vector<uint8_t>& initial) {
    std::vector<uint8_t> plane(size_t(kPitch) * (size + 6), kGuardByte);
    for (int32_t r = 0; r < size; ++r) {
        for (int32_t i = 0; i < size; ++i)
            plane[kBlockOffset + r * kPitch + i] = initial[size_t(r * size + i)];
    }
    return plane;
}

// Every byte outside the block is still a guard byte.
void ExpectGuardsIntact(const std::vector<uint8_t>& plane, int32_t size) {
    for (size_t at = 0; at < plane.size(); ++at) {
        const int32_t offset = int32_t(at) - kBlockOffset;
        const bool inBlock = offset >= 0 && offset / kPitch < size && offset % kPitch < size;
        if (!inBlock) {
            ASSERT_EQ(plane[at], kGuardByte) << "written outside the block at " << at;
        }
    }
}

uint8_t Sample(std::mt19937& random, int round) {
    switch (round % 3) {
        case 0:
            return uint8_t(random());
        case 1:
            return random() & 1 ? 255 : 0;  // extremes: sums at their largest
        default:
            return uint8_t(250 + random() % 6);
    }
}

TEST(PredictionKernels, Sse2PredictionMatchesScalar) {
    PredictionKernels sse2 = ScalarPredictionKernels();
    if (!UpgradePredictionKernelsSse2(sse2)) GTEST_SKIP() << "no SSE2 kernels in this build";
    const PredictionKernels& scalar = ScalarPredictionKernels();
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        for (int32_t size : {8, 16}) {
            for (int half = 0; half < 4; ++half) {
                const int32_t hx = half & 1, hy = half >> 1;
                // Exactly the samples the kernel may read, the last one last.
                std::vector<uint8_t> source(size_t(size + hy - 1) * (kPitch - 1) + size + hx);
                for (auto& s : source) s = Sample(random, round);
                const std::vector<uint8_t> initial(size_t(size * size), 0);
                std::vector<uint8_t> expected = Destination(size, initial);
                std::vector<uint8_t> actual = expected;
                const auto pick = [&](const PredictionKernels& k) {
                    return size == 16 ? k.predict16[half] : k.predict8[half];
                };
                // Source and destination pitches differ, as for blocks
                // predicted from a copy of the picture's edge.
                const int32_t srcPitch = kPitch - 1;
                pick(scalar)(source.data(), srcPitch, expected.data() + kBlockOffset, kPitch);
                pick(sse2)(source.data(), srcPitch, actual.data() + kBlockOffset, kPitch);
                ASSERT_EQ(actual, expected) << "size " << size << " half " << half;
                ExpectGuardsIntact(actual, size);
            }
        }
    }
}

TEST(PredictionKernels, ScalarPredictionRoundsHalfSamplesUp) {
    // Two rows of 1, 2, 1, 2 ... : the means are 2 (1.5 rounded up) and,
    // diagonally, 2 (1.5 from (1 + 2 + 1 + 2 + 2) >> 2).
    std::vector<uint8_t> source(size_t(8) * kPitch + 9);
    for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t(1 + (i & 1));
    for (int half = 1; half < 4; ++half) {
        std::vector<uint8_t> plane = Destination(8, std::vector<uint8_t>(64, 0));
        ScalarPredictionKernels().predict8[half](source.data(), kPitch, plane.data() + kBlockOffset,
                                                 kPitch);
        const bool vertical = half == 2;  // both rows equal at an even pitch: no rounding
        EXPECT_EQ(plane[kBlockOffset], vertical ? 1 : 2) << "half " << half;
    }
}

TEST(PredictionKernels, Sse2ReconstructionMatchesScalarForEvery16BitResidual) {
    PredictionKernels sse2 = ScalarPredictionKernels();
    if (!UpgradePredictionKernelsSse2(sse2)) GTEST_SKIP() << "no SSE2 kernels in this build";
    const PredictionKernels& scalar = ScalarPredictionKernels();
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        int16_t residual[64];
        std::vector<uint8_t> prediction(64);
        for (int i = 0; i < 64; ++i) {
            switch (round % 4) {
                case 0:  // what an inverse transform gives
                    residual[i] = int16_t(int32_t(random() % 512) - 256);
                    break;
                case 1:  // hostile: the 16-bit extremes
                    residual[i] = random() & 1 ? 32767 : -32768;
                    break;
                case 2:  // sparse
                    residual[i] = random() % 8 == 0 ? int16_t(random()) : 0;
                    break;
                default:
                    residual[i] = int16_t(random());
            }
            prediction[size_t(i)] = Sample(random, round);
        }
        for (bool add : {true, false}) {
            std::vector<uint8_t> expected = Destination(8, prediction);
            std::vector<uint8_t> actual = expected;
            (add ? scalar.addBlock : scalar.putBlock)(residual, expected.data() + kBlockOffset,
                                                      kPitch);
            (add ? sse2.addBlock : sse2.putBlock)(residual, actual.data() + kBlockOffset, kPitch);
            ASSERT_EQ(actual, expected) << "round " << round << (add ? " add" : " put");
            ExpectGuardsIntact(actual, 8);
        }
    }
}

}  // namespace
}  // namespace kmqx
