#include "common/inverse_dct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace kmqx {
namespace {

void ExpectUniform(const int16_t* block, int expected) {
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], expected) << "sample " << i;
}

TEST(InverseDct, DcOnlyBlocks) {
    // (X + 4) >> 3 everywhere: intra DC 128 and 1, inter DC -12 and -13.
    const struct {
        int16_t dc;
        int expected;
    } cases[] = {{1024, 128}, {8, 1},      {-12, -1},   {-13, -2},
                 {0, 0},      {2040, 255}, {4095, 255}, {-4095, -256}};
    for (const auto& c : cases) {
        int16_t block[64] = {};
        block[0] = c.dc;
        InverseDctScalar(block);
        ExpectUniform(block, c.expected);
    }
    // The shortcut for such blocks, for every 16-bit DC.
    for (int32_t dc = -32768; dc <= 32767; ++dc) {
        int16_t block[64] = {};
        block[0] = int16_t(dc);
        InverseDctScalar(block);
        ExpectUniform(block, InverseDctOfDcOnly(int16_t(dc)));
    }
}

double Basis(int sample, int frequency) {
    const double scale = frequency == 0 ? std::sqrt(0.125) : 0.5;
    return scale * std::cos((2 * sample + 1) * frequency * M_PI / 16);
}

// Matches the exact inverse DCT within the accuracy of a 12-bit integer
// transform, on the coefficients of random sample blocks (as the forward
// transform of residuals in -256..255 makes them).
TEST(InverseDct, CloseToTheExactTransform) {
    std::mt19937 random(11);
    double maxError = 0;
    for (int trial = 0; trial < 1000; ++trial) {
        const int range = trial % 2 ? 5 : 256;
        double samples[64];
        for (double& s : samples) s = double(int(random() % (2 * range)) - range);
        int16_t block[64];
        for (int v = 0; v < 8; ++v) {
            for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 8; ++x)
                        sum += samples[8 * y + x] * Basis(x, u) * Basis(y, v);
                }
                block[8 * v + u] = int16_t(std::lround(sum));
            }
        }
        double exact[64];
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                double sum = 0;
                for (int v = 0; v < 8; ++v) {
                    for (int u = 0; u < 8; ++u) sum += block[8 * v + u] * Basis(x, u) * Basis(y, v);
                }
                exact[8 * y + x] = std::fmin(255, std::fmax(-256, sum));
            }
        }
        InverseDctScalar(block);
        for (int i = 0; i < 64; ++i) maxError = std::fmax(maxError, std::fabs(block[i] - exact[i]));
    }
    EXPECT_LE(maxError, 1.0);
}

// Coefficients far beyond anything an encoder produces: results stay in
// -256..255 (the sanitizer builds also check that no arithmetic overflows).
TEST(InverseDct, ExtremeCoefficientsStayInRange) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 500; ++trial) {
        int16_t block[64];
        for (int i = 0; i < 64; ++i) {
            block[i] = random() % 2 ? int16_t(32767) : int16_t(-32768);
            if (trial % 3 == 0) block[i] = int16_t(random());
        }
        InverseDctScalar(block);
        for (int i = 0; i < 64; ++i) {
            ASSERT_GE(block[i], -256);
            ASSERT_LE(block[i], 255);
        }
    }
}

}  // namespace
}  // namespace kmqx
