#include "convert/output_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kmqx {
namespace {

constexpr size_t kGuard = 32;
constexpr uint8_t kGuardByte = 0xA5;

// Runs a row kernel writing bytesPerPair per pair into a buffer with guard
// bytes on both sides and checks that the guards survive; returns the row.
template <typename Kernel>
std::vector<uint8_t> RunRow(Kernel kernel, size_t bytesPerPair, int32_t pairs) {
    std::vector<uint8_t> out(kGuard + bytesPerPair * size_t(pairs) + kGuard, kGuardByte);
    kernel(out.data() + kGuard);
    for (size_t i = 0; i < kGuard; ++i) {
        EXPECT_EQ(out[i], kGuardByte) << "before the row, pairs " << pairs;
        EXPECT_EQ(out[out.size() - 1 - i], kGuardByte) << "after the row, pairs " << pairs;
    }
    return std::vector<uint8_t>(out.begin() + kGuard, out.end() - kGuard);
}

// The three row kernels of one table on the same inputs, one after another.
std::vector<uint8_t> RunRows(const OutputKernels& kernels, const std::vector<uint8_t>& luma,
                             const std::vector<int16_t>& blue, const std::vector<int16_t>& red,
                             const std::vector<uint8_t>& cb, const std::vector<uint8_t>& cr) {
    const int32_t pairs = int32_t(blue.size());
    std::vector<uint8_t> rows = RunRow(
        [&](uint8_t* dst) { kernels.rgbRow(luma.data(), blue.data(), red.data(), dst, pairs); }, 6,
        pairs);
    for (const auto& row :
         {RunRow(
              [&](uint8_t* dst) {
                  kernels.rgb32Row(luma.data(), blue.data(), red.data(), dst, pairs);
              },
              8, pairs),
          RunRow(
              [&](uint8_t* dst) { kernels.yuyvRow(luma.data(), cb.data(), cr.data(), dst, pairs); },
              4, pairs)})
        rows.insert(rows.end(), row.begin(), row.end());
    return rows;
}

TEST(OutputKernels, Sse2MatchesScalarOnRandomAndSaturatingRows) {
    OutputKernels sse2 = ScalarOutputKernels();
    if (!UpgradeOutputKernelsSse2(sse2)) GTEST_SKIP() << "no SSE2 kernels in this build";
    std::mt19937 random(23);
    // Terms as the chroma tables give them for every 8-bit sample.
    auto blueTerm = [](int u) { return int16_t((u - 128) * 226 / 127); };
    auto redTerm = [](int v) { return int16_t((v - 128) * 179 / 127); };
    for (int round = 0; round < 200; ++round) {
        const int32_t pairs = round % 41;
        std::vector<uint8_t> luma(2 * size_t(pairs));
        std::vector<int16_t> blue(pairs), red(pairs);
        std::vector<uint8_t> cb(pairs), cr(pairs);
        const bool saturating = round % 2 == 1;
        for (auto& y : luma) y = saturating ? (random() & 1 ? 255 : 0) : uint8_t(random());
        for (int32_t j = 0; j < pairs; ++j) {
            cb[j] = saturating ? (random() & 1 ? 255 : 0) : uint8_t(random());
            cr[j] = saturating ? (random() & 1 ? 255 : 0) : uint8_t(random());
            blue[j] = blueTerm(cb[j]);
            red[j] = redTerm(cr[j]);
        }
        ASSERT_EQ(RunRows(sse2, luma, blue, red, cb, cr),
                  RunRows(ScalarOutputKernels(), luma, blue, red, cb, cr))
            << "round " << round;
    }
}

TEST(OutputKernels, ScalarRowGivesTheDocumentedColours) {
    // Y 76 with the terms of Cb 86 and Cr 255: (B, G, R) = (2, 0, 255).
    const std::vector<uint8_t> luma = {76, 0};
    const std::vector<int16_t> blue = {int16_t((86 - 128) * 226 / 127)};
    const std::vector<int16_t> red = {int16_t((255 - 128) * 179 / 127)};
    const std::vector<uint8_t> cb = {86}, cr = {255};
    EXPECT_EQ(RunRows(ScalarOutputKernels(), luma, blue, red, cb, cr),
              (std::vector<uint8_t>{2, 0, 255, 0, 0, 179,        // RGB24
                                    2, 0, 255, 0, 0, 0, 179, 0,  // RGB32
                                    76, 86, 0, 255}));           // YUYV
}

}  // namespace
}  // namespace kmqx
