#include "convert/source_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kmqx {
namespace {

// Runs the luma row kernel on a row allocated to exactly its size (so that
// AddressSanitizer sees any read past it) into an output with guard bytes.
std::vector<uint8_t> RunLumaRow(const SourceKernels& kernels, const std::vector<uint8_t>& bgr) {
    constexpr size_t kGuard = 16;
    const int32_t width = int32_t(bgr.size() / 3);
    std::vector<uint8_t> out(kGuard + size_t(width) + kGuard, 0x5A);
    kernels.rgbLumaRow(bgr.data(), out.data() + kGuard, width);
    for (size_t i = 0; i < kGuard; ++i) {
        EXPECT_EQ(out[i], 0x5A) << "before the row, width " << width;
        EXPECT_EQ(out[out.size() - 1 - i], 0x5A) << "after the row, width " << width;
    }
    return std::vector<uint8_t>(out.begin() + kGuard, out.end() - kGuard);
}

TEST(SourceKernels, Sse2LumaMatchesScalarOnRandomAndSaturatingRows) {
    SourceKernels sse2 = ScalarSourceKernels();
    if (!UpgradeSourceKernelsSse2(sse2)) GTEST_SKIP() << "no SSE2 kernels in this build";
    std::mt19937 random(29);
    for (int round = 0; round < 300; ++round) {
        const int32_t width = round % 45;
        std::vector<uint8_t> bgr(3 * size_t(width));
        for (auto& b : bgr)
            b = round % 3 == 0   ? (random() & 1 ? 255 : 0)
                : round % 3 == 1 ? 255
                                 : uint8_t(random());
        ASSERT_EQ(RunLumaRow(sse2, bgr), RunLumaRow(ScalarSourceKernels(), bgr))
            << "round " << round;
    }
    // Every sum that straddles a multiple of 1000: grey levels give sums of
    // exactly 1000 x level, one step of blue less gives 114 less.
    std::vector<uint8_t> steps;
    for (int level = 1; level < 256; ++level) {
        const uint8_t grey = uint8_t(level);
        steps.insert(steps.end(), {grey, grey, grey, uint8_t(level - 1), grey, grey});
    }
    EXPECT_EQ(RunLumaRow(sse2, steps), RunLumaRow(ScalarSourceKernels(), steps));
}

}  // namespace
}  // namespace kmqx
