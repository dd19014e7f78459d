#include "encoder/quantizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/h263_tables.h"
#include "encoder/forward_dct.h"
#include "encoder/macroblock_transform.h"

namespace kmqx {
namespace {

// Quantises one coefficient at raster position 9 (an AC position) with each rule.
int IntraLevel(int coefficient, int qp) {
    int16_t coefficients[64] = {};
    coefficients[9] = static_cast<int16_t>(coefficient);
    int8_t levels[64];
    QuantizeIntraCoefficientsScalar(coefficients, BuildQuantizerTables(qp), levels);
    return levels[9];
}

int InterLevel(int coefficient, int qp) {
    int16_t coefficients[64] = {};
    coefficients[9] = static_cast<int16_t>(coefficient);
    int8_t levels[64];
    QuantizeInterCoefficientsScalar(coefficients, BuildQuantizerTables(qp), levels);
    return levels[9];
}

// Every transform output at every quantiser: the zero levels are exactly the
// range's, read as the vector test reads it; the intra range passes every DC.
// Positions with the same post-scale factor quantise alike, so each factor is
// swept once per rule.
TEST(QuantizerTables, ZeroLevelRangesHoldExactlyTheZeroLevels) {
    for (const bool intra : {false, true}) {
        for (int qp = 1; qp <= 31; ++qp) {
            const QuantizerParams quantizer = BuildQuantizerTables(qp);
            ASSERT_EQ(quantizer.interZeroRange, &GetInterZeroRange(qp));
            ASSERT_EQ(quantizer.intraZeroRange, &GetIntraZeroRange(qp));
            const ZeroLevelRange& range =
                intra ? *quantizer.intraZeroRange : *quantizer.interZeroRange;
            std::vector<int> sweptAt(1 << 16, -1);
            for (int i = intra ? 1 : 0; i < 64; ++i) {
                const int16_t low = range.low[i / 8][i % 8];
                const uint16_t span = range.span[i / 8][i % 8];
                ASSERT_EQ(range.low[i / 8][8 + i % 8], low) << "qp " << qp << " index " << i;
                ASSERT_EQ(range.span[i / 8][8 + i % 8], span) << "qp " << qp << " index " << i;
                int& first = sweptAt[kForwardPostScale[i]];
                if (first >= 0) {
                    ASSERT_EQ(low, range.low[first / 8][first % 8])
                        << "qp " << qp << " index " << i;
                    ASSERT_EQ(span, range.span[first / 8][first % 8])
                        << "qp " << qp << " index " << i;
                    continue;
                }
                first = i;
                for (int32_t x = -32768; x <= 32767; ++x) {
                    const int32_t coefficient = PostScaleCoefficient(x, i);
                    const int level = intra ? kmqx::IntraLevel(coefficient, quantizer)
                                            : kmqx::InterLevel(coefficient, quantizer);
                    const bool inRange = static_cast<uint16_t>(x - low) <= span;
                    ASSERT_EQ(inRange, level == 0) << (intra ? "intra" : "inter") << " qp " << qp
                                                   << " index " << i << " x " << x;
                }
            }
            if (intra) {
                for (int copy : {0, 8}) {
                    EXPECT_EQ(range.low[0][copy], INT16_MIN);
                    EXPECT_EQ(range.span[0][copy], UINT16_MAX);
                }
            }
        }
    }
}

TEST(QuantizerTables, ParametersForSmallAndLargeQuantisers) {
    const QuantizerParams q3 = BuildQuantizerTables(3);
    EXPECT_EQ(q3.halfQp, 1);
    EXPECT_EQ(q3.deadZone, -2);
    EXPECT_EQ(q3.reciprocal, 21845);
    EXPECT_EQ(BuildQuantizerTables(4).reciprocal, 16384);
    EXPECT_EQ(BuildQuantizerTables(31).reciprocal, (65535 + 15) / 31);
    EXPECT_EQ(BuildQuantizerTables(31).deadZone, -30);
    const DequantParams d7 = BuildDequantParams(7);
    EXPECT_EQ(d7.multiplier, 14);
    EXPECT_EQ(d7.rounding, 7);
    EXPECT_EQ(BuildDequantParams(8).rounding, 7);
}

TEST(IntraQuantizer, RoundingAtEachQuantiserRule) {
    // QP 1 and 2 shift; positive values are one larger before the shift.
    EXPECT_EQ(IntraLevel(9, 1), 5);
    EXPECT_EQ(IntraLevel(-9, 1), -4);
    EXPECT_EQ(IntraLevel(7, 2), 2);
    EXPECT_EQ(IntraLevel(-7, 2), -1);
    // QP 3: 3 * 21845 is just below 65536.
    EXPECT_EQ(IntraLevel(6, 3), 0);
    EXPECT_EQ(IntraLevel(8, 3), 1);
    EXPECT_EQ(IntraLevel(0, 3), 0);
    EXPECT_EQ(IntraLevel(-1, 1), 0);
    EXPECT_EQ(IntraLevel(400, 31), 6);  // (401 / 2) * 2114 >> 16
}

TEST(InterQuantizer, DeadZoneAtQuantiserFour) {
    EXPECT_EQ(InterLevel(0, 4), 0);
    EXPECT_EQ(InterLevel(5, 4), 0);
    EXPECT_EQ(InterLevel(12, 4), 1);
    EXPECT_EQ(InterLevel(-12, 4), -1);
    // Negative values lose floor(QP / 2): -2 + 2 = 0.
    EXPECT_EQ(InterLevel(-2, 4), 0);
    EXPECT_EQ(InterLevel(-6, 1), -3);
    EXPECT_EQ(InterLevel(6, 1), 3);
    EXPECT_EQ(InterLevel(9, 2), 2);    // 9 + 1 - 1 = 9, 9 / 4
    EXPECT_EQ(InterLevel(-9, 2), -2);  // -9 + 1 = -8, 8 / 4
}

TEST(Quantizers, LevelsClampToPlusMinus127) {
    for (int qp : {1, 2, 3}) {
        EXPECT_EQ(IntraLevel(4000, qp), 127) << qp;
        EXPECT_EQ(IntraLevel(-4000, qp), -127) << qp;
        EXPECT_EQ(IntraLevel(-32768, qp), -127) << qp;
        EXPECT_EQ(InterLevel(-4000, qp), -127) << qp;
        EXPECT_EQ(InterLevel(32767, qp), 127) << qp;
    }
    // The inter dead zone sum is 16 bits and wraps: -32768 + 1 stays negative.
    EXPECT_EQ(InterLevel(-32768, 2), -127);
}

// The inter levels come out transposed (the transform's output orientation is
// undone), the intra levels are left as they are.
TEST(Quantizers, OrientationOfTheLevelBlocks) {
    int16_t coefficients[64] = {};
    coefficients[8 * 1 + 5] = 200;
    int8_t intra[64], inter[64];
    QuantizeIntraCoefficientsScalar(coefficients, BuildQuantizerTables(2), intra);
    QuantizeInterCoefficientsScalar(coefficients, BuildQuantizerTables(2), inter);
    EXPECT_EQ(intra[8 * 1 + 5], 50);
    EXPECT_EQ(inter[8 * 5 + 1], 50);
    EXPECT_EQ(inter[8 * 1 + 5], 0);
}

TEST(LastScanPosition, InverseZigzagAndMaximum) {
    for (int scan = 0; scan < 64; ++scan) EXPECT_EQ(kInverseZigzag[kZigzag[scan]], scan);
    int8_t levels[64] = {};
    EXPECT_EQ(LastScanPositionScalar(levels), 0);
    levels[0] = 5;
    EXPECT_EQ(LastScanPositionScalar(levels), 0);
    levels[2] = -1;  // scan 5
    levels[8] = 1;   // scan 2
    EXPECT_EQ(LastScanPositionScalar(levels), 5);
    levels[63] = 1;
    EXPECT_EQ(LastScanPositionScalar(levels), 63);
}

TEST(IntraBlock, FlatBlocksCarryOnlyTheClampedDc) {
    struct Case {
        uint8_t value;
        int dc;
    };
    for (const Case c : {Case{100, 100}, Case{0, 1}, Case{255, 254}, Case{1, 1}}) {
        uint8_t samples[16 * 8];
        std::memset(samples, c.value, sizeof(samples));
        int8_t levels[64];
        EXPECT_EQ(QuantizeIntraBlock(samples, 16, BuildQuantizerTables(2), levels), 0);
        EXPECT_EQ(static_cast<uint8_t>(levels[0]), c.dc) << int{c.value};
        for (int i = 1; i < 64; ++i) EXPECT_EQ(levels[i], 0) << int{c.value};
    }
}

// A vertical edge: only horizontal frequencies, so the levels lie in row 0 of
// the raster block, and the strongest ones clamp at 127, never -128.
TEST(IntraBlock, StrongEdgeLevelsInStandardOrientation) {
    uint8_t samples[64];
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) samples[8 * y + x] = x < 4 ? 0 : 255;
    }
    int8_t levels[64];
    const int32_t last = QuantizeIntraBlock(samples, 8, BuildQuantizerTables(1), levels);
    EXPECT_EQ(levels[1], -127);
    EXPECT_EQ(static_cast<uint8_t>(levels[0]), 127);
    for (int i = 8; i < 64; ++i) EXPECT_EQ(levels[i], 0) << i;
    EXPECT_EQ(last, kInverseZigzag[7]);
}

TEST(InterBlock, ExactPredictionAndOrientation) {
    uint8_t current[64], prediction[64];
    for (int i = 0; i < 64; ++i) current[i] = prediction[i] = static_cast<uint8_t>(i * 3);
    int8_t levels[64];
    EXPECT_EQ(QuantizeInterBlock(current, 8, prediction, 8, BuildQuantizerTables(1), levels), 0);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(levels[i], 0);
    // A horizontal edge in the residual: vertical frequencies, column 0.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            current[8 * y + x] = static_cast<uint8_t>(prediction[8 * y + x] + (y < 4 ? 0 : 40));
    }
    const int32_t last =
        QuantizeInterBlock(current, 8, prediction, 8, BuildQuantizerTables(2), levels);
    EXPECT_GT(levels[0], 0);
    EXPECT_LT(levels[8], 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 1; x < 8; ++x) EXPECT_EQ(levels[8 * y + x], 0) << y << "," << x;
    }
    EXPECT_EQ(last, kInverseZigzag[8 * 7]);
}

}  // namespace
}  // namespace kmqx
