#include "encoder/quantizer.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/h263_syntax.h"
#include "common/h263_tables.h"
#include "encoder/forward_dct.h"
#include "encoder/transform_kernels.h"

namespace kmqx {

namespace {

// Quantises a magnitude with the shift or the reciprocal of the quantiser.
inline int32_t QuantizeMagnitude(int32_t magnitude, const QuantizerParams& quantizer) {
    if (quantizer.qp >= 3) return ((magnitude >> 1) * quantizer.reciprocal) >> 16;
    return quantizer.qp == 2 ? magnitude >> 2 : magnitude >> 1;
}

inline int8_t SignedLevel(bool positive, int32_t magnitude) {
    const int32_t level = std::min(magnitude, 127);
    return static_cast<int8_t>(positive ? level : -level);
}

}  // namespace

alignas(16) const uint8_t kInverseZigzag[64] = {
    0,  1,  5,  6,  14, 15, 27, 28,  //
    2,  4,  7,  13, 16, 26, 29, 42,  //
    3,  8,  12, 17, 25, 30, 41, 43,  //
    9,  11, 18, 24, 31, 40, 44, 53,  //
    10, 19, 23, 32, 39, 45, 52, 54,  //
    20, 22, 33, 38, 46, 51, 55, 60,  //
    21, 34, 37, 47, 50, 56, 59, 61,  //
    35, 36, 48, 49, 57, 58, 62, 63,
};

namespace {

// Inline in the block loops: a call per coefficient doubles their time.
inline int8_t InlineIntraLevel(int32_t coefficient, const QuantizerParams& quantizer) {
    // Rounds positive values up by one before halving: the level of +7 at QP
    // 2 is 2, that of -7 is -1.
    const int32_t magnitude = coefficient > 0 ? coefficient + 1 : -coefficient;
    return SignedLevel(coefficient > 0, QuantizeMagnitude(magnitude, quantizer));
}

inline int8_t InlineInterLevel(int32_t coefficient, const QuantizerParams& quantizer) {
    // Dead zone; the 16-bit sum wraps like the packed arithmetic it models.
    const int16_t shifted = static_cast<int16_t>(coefficient + quantizer.halfQp +
                                                 (coefficient > 0 ? quantizer.deadZone : 0));
    const int32_t magnitude = shifted > 0 ? shifted : -static_cast<int32_t>(shifted);
    return SignedLevel(shifted > 0, QuantizeMagnitude(magnitude, quantizer));
}

}  // namespace

int8_t IntraLevel(int32_t coefficient, const QuantizerParams& quantizer) {
    return InlineIntraLevel(coefficient, quantizer);
}

int8_t InterLevel(int32_t coefficient, const QuantizerParams& quantizer) {
    return InlineInterLevel(coefficient, quantizer);
}

void QuantizeIntraCoefficientsScalar(const int16_t coefficients[64],
                                     const QuantizerParams& quantizer, int8_t levels[64]) {
    for (int i = 0; i < 64; ++i) levels[i] = InlineIntraLevel(coefficients[i], quantizer);
}

void QuantizeInterCoefficientsScalar(const int16_t coefficients[64],
                                     const QuantizerParams& quantizer, int8_t levels[64]) {
    for (int i = 0; i < 64; ++i) {
        const int row = i >> 3, column = i & 7;
        levels[8 * column + row] = InlineInterLevel(coefficients[i], quantizer);
    }
}

namespace {

// The level of the transform's output x at index i, post-scaled first.
inline bool LevelIsZero(bool intra, int32_t x, int32_t index, const QuantizerParams& quantizer) {
    const int32_t coefficient = PostScaleCoefficient(x, index);
    return (intra ? InlineIntraLevel(coefficient, quantizer)
                  : InlineInterLevel(coefficient, quantizer)) == 0;
}

// The zero levels lie in one interval around x = 0 (checked for every x by
// a test), so its ends are found by bisection.
ZeroLevelRange BuildZeroLevelRange(int32_t qp, bool intra) {
    const QuantizerParams quantizer = BuildQuantizerRule(qp);
    int32_t low[64], high[64];
    for (int32_t i = 0; i < 64; ++i) {
        // Outputs with the same post-scale factor quantise alike.
        int32_t same = 0;
        while (kForwardPostScale[same] != kForwardPostScale[i]) ++same;
        if (same < i) {
            low[i] = low[same];
            high[i] = high[same];
            continue;
        }
        int32_t zero = 0, nonZero = 32768;  // the highest: zero <= x < nonZero
        while (nonZero - zero > 1) {
            const int32_t middle = (zero + nonZero) / 2;
            (LevelIsZero(intra, middle, i, quantizer) ? zero : nonZero) = middle;
        }
        high[i] = zero;
        zero = 0, nonZero = -32769;  // the lowest: nonZero < x <= zero
        while (zero - nonZero > 1) {
            const int32_t middle = (zero + nonZero) / 2;
            (LevelIsZero(intra, middle, i, quantizer) ? zero : nonZero) = middle;
        }
        low[i] = zero;
    }
    if (intra) {
        // The DC is quantised apart: every value of it passes.
        low[0] = INT16_MIN;
        high[0] = INT16_MAX;
    }
    ZeroLevelRange range;
    for (int32_t i = 0; i < 64; ++i) {
        for (int32_t lane = 0; lane < 16; lane += 8) {
            range.low[i / 8][lane + i % 8] = static_cast<int16_t>(low[i]);
            range.span[i / 8][lane + i % 8] = static_cast<uint16_t>(high[i] - low[i]);
        }
    }
    return range;
}

struct ZeroLevelRanges {
    ZeroLevelRange inter;
    ZeroLevelRange intra;
};

// Each quantiser's ranges are built when first asked for, once, whichever
// thread asks: an encoder uses few of the 31.
template <int32_t kQp>
const ZeroLevelRanges& RangesOf() {
    static const ZeroLevelRanges ranges = {BuildZeroLevelRange(kQp, false),
                                           BuildZeroLevelRange(kQp, true)};
    return ranges;
}

template <int32_t... kIndex>
constexpr std::array<const ZeroLevelRanges& (*)(), 31> RangesByQp(
    std::integer_sequence<int32_t, kIndex...>) {
    return {RangesOf<kIndex + 1>...};
}

constexpr auto kRangesByQp = RangesByQp(std::make_integer_sequence<int32_t, 31>());

}  // namespace

const ZeroLevelRange& GetInterZeroRange(int32_t qp) {
    return kRangesByQp[std::clamp(qp, 1, 31) - 1]().inter;
}

const ZeroLevelRange& GetIntraZeroRange(int32_t qp) {
    return kRangesByQp[std::clamp(qp, 1, 31) - 1]().intra;
}

int32_t LastScanPositionScalar(const int8_t levels[64]) {
    int32_t last = 0;
    for (int i = 0; i < 64; ++i) {
        if (levels[i] != 0) last = std::max<int32_t>(last, kInverseZigzag[i]);
    }
    return last;
}

uint64_t ScanOrderLevelsScalar(const int8_t levels[64], int8_t scan[64]) {
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) {
        scan[i] = levels[kZigzag[i]];
        mask |= uint64_t{scan[i] != 0} << i;
    }
    return mask;
}

void LoadDifferenceScalar(const uint8_t* current, int32_t currentStride, const uint8_t* prediction,
                          int32_t predictionStride, int16_t block[64]) {
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            block[8 * y + x] = static_cast<int16_t>(current[y * currentStride + x] -
                                                    prediction[y * predictionStride + x]);
        }
    }
}

void LoadTransposedScalar(const uint8_t* samples, int32_t stride, int16_t block[64]) {
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) block[8 * x + y] = samples[y * stride + x];
    }
}

int32_t QuantizeIntraBlock(const uint8_t* samples, int32_t stride, const QuantizerParams& quantizer,
                           int8_t levels[64]) {
    const IntraBlockSource source = {samples, stride};
    int8_t* const destinations[1] = {levels};
    int32_t last;
    GetForwardTransformKernels().quantizeIntraBlocks(&source, 1, quantizer, destinations, &last);
    return last;
}

void QuantizeIntraBlocksScalar(const IntraBlockSource sources[], int32_t count,
                               const QuantizerParams& quantizer, int8_t* const levels[],
                               int32_t last[]) {
    for (int32_t k = 0; k < count; ++k) {
        int16_t block[64];
        // Loaded transposed, so that the transform's transposed output comes
        // out in the standard orientation.
        LoadTransposedScalar(sources[k].samples, sources[k].stride, block);
        ForwardDctScalar(block);
        QuantizeIntraCoefficientsScalar(block, quantizer, levels[k]);
        levels[k][0] = QuantizeIntraDc(block[0]);
        // Index 0 is scan position 0, so the DC cannot raise the maximum.
        last[k] = LastScanPositionScalar(levels[k]);
    }
}

int32_t QuantizeInterBlock(const uint8_t* current, int32_t currentStride, const uint8_t* prediction,
                           int32_t predictionStride, const QuantizerParams& quantizer,
                           int8_t levels[64]) {
    const InterBlockSource source = {current, currentStride, prediction, predictionStride};
    int8_t* const destinations[1] = {levels};
    int32_t last;
    GetForwardTransformKernels().quantizeInterBlocks(&source, 1, quantizer, destinations, &last);
    return last;
}

int32_t QuantizeInterBlocksScalar(const InterBlockSource sources[], int32_t count,
                                  const QuantizerParams& quantizer, int8_t* const levels[],
                                  int32_t last[]) {
    int32_t coded = 0;
    for (int32_t k = 0; k < count; ++k) {
        int16_t block[64];
        LoadDifferenceScalar(sources[k].current, sources[k].currentStride, sources[k].prediction,
                             sources[k].predictionStride, block);
        ForwardDctScalar(block);
        QuantizeInterCoefficientsScalar(block, quantizer, levels[k]);
        last[k] = LastScanPositionScalar(levels[k]);
        if (last[k] != 0 || levels[k][0] != 0) coded |= 1 << k;
    }
    return coded;
}

}  // namespace kmqx
