// AVX2 versions of the transform kernels, bit-exact with the scalar ones: the
// SSE2 bodies in the three-operand encoding, a quantiser that works on two
// rows at once, and the block paths that code two blocks at once.
#include "common/avx2.h"
#include "common/h263_syntax.h"
#include "encoder/forward_dct.h"
#include "encoder/quantizer.h"
#include "encoder/transform_kernels.h"

namespace kmqx {

#if KMQX_HAVE_AVX2_KERNELS

namespace {
namespace avx2 {
#define KMQX_VECTOR KMQX_AVX2
#define KMQX_VECTOR_ENTRY KMQX_AVX2_ENTRY
#define KMQX_VECTOR_WIDE
#include "encoder/transform_kernels_x86.inc"
#undef KMQX_VECTOR
#undef KMQX_VECTOR_ENTRY
#undef KMQX_VECTOR_WIDE

// LevelsFromMagnitudes on two rows at once.
KMQX_AVX2 inline __m256i LevelsFromMagnitudesWide(__m256i magnitude, __m256i positive,
                                                  const QuantizerParams& quantizer) {
    __m256i quotient;
    if (quantizer.qp >= 3) {
        quotient = _mm256_mulhi_epu16(_mm256_srli_epi16(magnitude, 1),
                                      _mm256_set1_epi16(quantizer.reciprocal));
    } else if (quantizer.qp == 2) {
        quotient = _mm256_srli_epi16(magnitude, 2);
    } else {
        quotient = _mm256_srli_epi16(magnitude, 1);
    }
    quotient = _mm256_min_epi16(quotient, _mm256_set1_epi16(127));
    const __m256i negative = _mm256_cmpeq_epi16(positive, _mm256_setzero_si256());
    return _mm256_sub_epi16(_mm256_xor_si256(quotient, negative), negative);
}

KMQX_AVX2_ENTRY void QuantizeInterCoefficientsWide(const int16_t coefficients[64],
                                                   const QuantizerParams& quantizer,
                                                   int8_t levels[64]) {
    __m128i rows[8];
    for (int i = 0; i < 8; ++i) rows[i] = Load(coefficients + 8 * i);
    Transpose8x8(rows);  // quantisation is per element, so transpose first
    const __m256i zero = _mm256_setzero_si256();
    const __m256i half = _mm256_set1_epi16(quantizer.halfQp);
    const __m256i deadZone = _mm256_set1_epi16(quantizer.deadZone);
    __m256i pairs[4];  // rows 2i and 2i + 1 in lanes 0 and 1
    for (int i = 0; i < 4; ++i) {
        const __m256i x =
            _mm256_inserti128_si256(_mm256_castsi128_si256(rows[2 * i]), rows[2 * i + 1], 1);
        const __m256i wasPositive = _mm256_cmpgt_epi16(x, zero);
        const __m256i shifted =
            _mm256_add_epi16(_mm256_add_epi16(x, half), _mm256_and_si256(wasPositive, deadZone));
        const __m256i positive = _mm256_cmpgt_epi16(shifted, zero);
        // vpabsw leaves -32768 as 0x8000, the unsigned 32768 the rule wants.
        pairs[i] = LevelsFromMagnitudesWide(_mm256_abs_epi16(shifted), positive, quantizer);
    }
    // Packing works per lane: rows 0, 2 | 1, 3 come out; reorder the quadwords.
    for (int i = 0; i < 4; i += 2) {
        const __m256i packed = _mm256_packs_epi16(pairs[i], pairs[i + 1]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(levels + 16 * i),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
}
// Two inter blocks at once, one per 128-bit lane, from the samples to the
// levels in registers.
KMQX_AVX2 inline __m128i LoadRowPair(const uint8_t* first, const uint8_t* second) {
    const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first));
    return _mm_castpd_si128(
        _mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(second)));
}

// InterLevelsOfTransform on two rows at once.
struct QuantizerRuleWide {
    __m256i halfQp;
    __m256i positiveAdjust;
    __m256i multiplier;
    __m128i shift;
    __m256i maxLevel;
};

KMQX_AVX2 inline QuantizerRuleWide MakeQuantizerRuleWide(const QuantizerParams& quantizer) {
    const QuantizerRule narrow = MakeQuantizerRule(quantizer);
    return {_mm256_broadcastsi128_si256(narrow.halfQp),
            _mm256_broadcastsi128_si256(narrow.positiveAdjust),
            _mm256_broadcastsi128_si256(narrow.multiplier), narrow.shift,
            _mm256_broadcastsi128_si256(narrow.maxLevel)};
}

KMQX_AVX2 inline __m256i InterLevelsOfTransform(__m256i x, __m256i factor,
                                                const QuantizerRuleWide& rule) {
    // vpabsw leaves -32768 as 0x8000, the unsigned 32768 the rule wants.
    const __m256i magnitude = _mm256_abs_epi16(x);
    const __m256i scaled = ScaledMagnitude(magnitude, factor);
    const __m256i positive = _mm256_cmpgt_epi16(x, _mm256_setzero_si256());
    const __m256i offset =
        _mm256_add_epi16(rule.halfQp, _mm256_and_si256(positive, rule.positiveAdjust));
    const __m256i shifted = _mm256_srl_epi16(_mm256_subs_epu16(scaled, offset), rule.shift);
    const __m256i quotient =
        _mm256_min_epi16(_mm256_mulhi_epu16(shifted, rule.multiplier), rule.maxLevel);
    return _mm256_sign_epi16(quotient, x);
}

// ScanEnds of two blocks' levels, one per lane.
KMQX_AVX2 inline __m256i ScanEndsWide(__m256i levels, int first) {
    const __m256i scan = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kInverseZigzag + first)));
    const __m256i end = _mm256_sub_epi8(scan, _mm256_cmpeq_epi8(scan, scan));
    return _mm256_andnot_si256(_mm256_cmpeq_epi8(levels, _mm256_setzero_si256()), end);
}

// Byte 0 of each lane becomes the lane's maximum byte (unsigned).
KMQX_AVX2 inline __m256i LaneMaxima(__m256i maximum) {
    maximum = _mm256_max_epu8(maximum, _mm256_srli_si256(maximum, 8));
    maximum = _mm256_max_epu8(maximum, _mm256_srli_si256(maximum, 4));
    maximum = _mm256_max_epu8(maximum, _mm256_srli_si256(maximum, 2));
    return _mm256_max_epu8(maximum, _mm256_srli_si256(maximum, 1));
}

// The intra rule fused with the post-scale, as in IntraLevelsOfTransform
// above, on two rows at once.
KMQX_AVX2 inline __m256i IntraLevelsOfTransform(__m256i x, __m256i factor,
                                                const QuantizerRuleWide& rule) {
    const __m256i magnitude = _mm256_abs_epi16(x);
    const __m256i scaled = ScaledMagnitude(magnitude, factor);
    const __m256i rounded = _mm256_sub_epi16(scaled, _mm256_cmpgt_epi16(x, _mm256_setzero_si256()));
    const __m256i quotient = _mm256_min_epi16(
        _mm256_mulhi_epu16(_mm256_srl_epi16(rounded, rule.shift), rule.multiplier), rule.maxLevel);
    return _mm256_sign_epi16(quotient, x);
}

// The levels of the transformed rows of two blocks (one per lane), stored
// for the first count blocks; packed[i / 2] keeps rows i and i + 1 of both.
template <bool kIntra>
KMQX_AVX2 inline void StoreLevelsWide(const __m256i rows[8], const QuantizerRuleWide& rule,
                                      int32_t count, int8_t* const levels[], __m256i packed[4]) {
    for (int i = 0; i < 8; i += 2) {
        const __m128i* factors = reinterpret_cast<const __m128i*>(kForwardPostScale + 8 * i);
        __m256i pair[2];
        for (int k = 0; k < 2; ++k) {
            const __m256i factor = _mm256_broadcastsi128_si256(_mm_loadu_si128(factors + k));
            pair[k] = kIntra ? IntraLevelsOfTransform(rows[i + k], factor, rule)
                             : InterLevelsOfTransform(rows[i + k], factor, rule);
        }
        // Lane 0: rows i and i + 1 of the first block; lane 1: of the second.
        packed[i / 2] = _mm256_packs_epi16(pair[0], pair[1]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(levels[0] + 8 * i),
                         _mm256_castsi256_si128(packed[i / 2]));
        if (count > 1) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(levels[1] + 8 * i),
                             _mm256_extracti128_si256(packed[i / 2], 1));
        }
    }
}

// The largest ScanEnds of each lane's block, in the lane's byte 0.
KMQX_AVX2 inline __m256i ScanEndMaximaWide(const __m256i packed[4]) {
    __m256i maximum = _mm256_setzero_si256();
    for (int i = 0; i < 4; ++i) maximum = _mm256_max_epu8(maximum, ScanEndsWide(packed[i], 16 * i));
    return LaneMaxima(maximum);
}

// Twice the differences of two blocks' rows, one block per lane. Blocks side
// by side in both pictures (the luminance pairs) load each row pair at once.
template <bool kSideBySide>
KMQX_AVX2 inline void LoadDifferencePair(const InterBlockSource& a, const InterBlockSource& b,
                                         __m256i rows[8]) {
    for (int y = 0; y < 8; ++y) {
        const uint8_t* current = a.current + y * a.currentStride;
        const uint8_t* prediction = a.prediction + y * a.predictionStride;
        __m128i currentPair, predictionPair;
        if constexpr (kSideBySide) {
            currentPair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(current));
            predictionPair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prediction));
        } else {
            currentPair = LoadRowPair(current, b.current + y * b.currentStride);
            predictionPair = LoadRowPair(prediction, b.prediction + y * b.predictionStride);
        }
        const __m256i difference = _mm256_sub_epi16(_mm256_cvtepu8_epi16(currentPair),
                                                    _mm256_cvtepu8_epi16(predictionPair));
        rows[y] = _mm256_slli_epi16(difference, 1);
    }
}

// Whether every transform output of two blocks lies in its range of zero
// levels.
KMQX_AVX2 inline bool AllLevelsZero(const __m256i rows[8], const ZeroLevelRange& zero) {
    __m256i outside = _mm256_setzero_si256();
    for (int i = 0; i < 8; ++i) {
        const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i*>(zero.low[i]));
        const __m256i span = _mm256_load_si256(reinterpret_cast<const __m256i*>(zero.span[i]));
        outside = _mm256_or_si256(outside, _mm256_subs_epu16(_mm256_sub_epi16(rows[i], low), span));
    }
    return _mm256_testz_si256(outside, outside);
}

KMQX_AVX2 inline void StoreZeroLevelsWide(int8_t levels[64]) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(levels), _mm256_setzero_si256());
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(levels + 32), _mm256_setzero_si256());
}

template <bool kSideBySide>
KMQX_AVX2 inline int32_t QuantizeInterPair(const InterBlockSource sources[], int32_t count,
                                           const QuantizerParams& quantizer, int8_t* const levels[],
                                           int32_t last[]) {
    __m256i rows[8];
    LoadDifferencePair<kSideBySide>(sources[0], sources[count > 1 ? 1 : 0], rows);
    TransformRows(rows);
    // Most inter blocks quantise to nothing, which each output's range of
    // zero levels tells before any quantising.
    if (AllLevelsZero(rows, *quantizer.interZeroRange)) {
        // Written out: as a loop over count, the compiler calls memset for
        // the last positions.
        StoreZeroLevelsWide(levels[0]);
        last[0] = 0;
        if (count > 1) {
            StoreZeroLevelsWide(levels[1]);
            last[1] = 0;
        }
        return 0;
    }
    // Back to raster order; the post-scale factors are symmetric.
    Transpose8x8(rows);
    __m256i packed[4];
    StoreLevelsWide<false>(rows, MakeQuantizerRuleWide(quantizer), count, levels, packed);
    const __m256i maximum = ScanEndMaximaWide(packed);
    const int32_t ends[2] = {_mm_cvtsi128_si32(_mm256_castsi256_si128(maximum)) & 0xFF,
                             _mm_cvtsi128_si32(_mm256_extracti128_si256(maximum, 1)) & 0xFF};
    int32_t coded = 0;
    for (int32_t k = 0; k < count; ++k) {
        last[k] = ends[k] > 0 ? ends[k] - 1 : 0;
        if (ends[k] != 0) coded |= 1 << k;
    }
    return coded;
}

KMQX_AVX2_ENTRY int32_t QuantizeInterBlocksWide(const InterBlockSource sources[], int32_t count,
                                                const QuantizerParams& quantizer,
                                                int8_t* const levels[], int32_t last[]) {
    const InterBlockSource& a = sources[0];
    const InterBlockSource& b = sources[count > 1 ? 1 : 0];
    if (b.current == a.current + 8 && b.currentStride == a.currentStride &&
        b.prediction == a.prediction + 8 && b.predictionStride == a.predictionStride)
        return QuantizeInterPair<true>(sources, count, quantizer, levels, last);
    return QuantizeInterPair<false>(sources, count, quantizer, levels, last);
}
// Two intra blocks at once, one per 128-bit lane.
KMQX_AVX2_ENTRY void QuantizeIntraBlocksWide(const IntraBlockSource sources[], int32_t count,
                                             const QuantizerParams& quantizer,
                                             int8_t* const levels[], int32_t last[]) {
    const IntraBlockSource& a = sources[0];
    const IntraBlockSource& b = sources[count > 1 ? 1 : 0];
    __m256i rows[8];
    for (int y = 0; y < 8; ++y) {
        rows[y] =
            _mm256_cvtepu8_epi16(LoadRowPair(a.samples + y * a.stride, b.samples + y * b.stride));
    }
    Transpose8x8(rows);
    for (int i = 0; i < 8; ++i) rows[i] = _mm256_slli_epi16(rows[i], 1);
    TransformRows(rows);  // transposed twice: raster order
    const int16_t dc[2] = {
        static_cast<int16_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(rows[0]))),
        static_cast<int16_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(rows[0], 1)))};
    int32_t end[2] = {0, 0};
    // Most intra blocks have no AC level.
    if (AllLevelsZero(rows, *quantizer.intraZeroRange)) {
        for (int32_t k = 0; k < count; ++k) StoreZeroLevelsWide(levels[k]);
    } else {
        __m256i packed[4];
        StoreLevelsWide<true>(rows, MakeQuantizerRuleWide(quantizer), count, levels, packed);
        const __m256i ends = ScanEndMaximaWide(packed);
        end[0] = _mm_cvtsi128_si32(_mm256_castsi256_si128(ends)) & 0xFF;
        end[1] = _mm_cvtsi128_si32(_mm256_extracti128_si256(ends, 1)) & 0xFF;
    }
    for (int32_t k = 0; k < count; ++k) {
        levels[k][0] = QuantizeIntraDc(PostScaleCoefficient(dc[k], 0));
        last[k] = end[k] > 0 ? end[k] - 1 : 0;
    }
}

// Byte shuffles that gather the zigzag scan from a raster block: entry
// [half][quarter] places, at scan positions 32 half .. 32 half + 31, the
// levels that lie in raster quarter `quarter` (bytes 16 quarter .. 16 quarter
// + 15, broadcast to both lanes); 0x80, which shuffles in a zero, elsewhere.
struct ScanShuffles {
    alignas(32) uint8_t index[2][4][32];
    ScanShuffles() {
        for (auto& half : index)
            for (auto& quarter : half)
                for (uint8_t& byte : quarter) byte = 0x80;
        for (int raster = 0; raster < 64; ++raster) {
            const int scan = kInverseZigzag[raster];
            index[scan / 32][raster / 16][scan % 32] = static_cast<uint8_t>(raster % 16);
        }
    }
};
const ScanShuffles kScanShuffles;  // reads only constant tables

KMQX_AVX2_ENTRY uint64_t ScanOrderLevelsWide(const int8_t levels[64], int8_t scan[64]) {
    __m256i quarters[4];
    for (int q = 0; q < 4; ++q) {
        quarters[q] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + 16 * q)));
    }
    uint64_t mask = 0;
    for (int half = 0; half < 2; ++half) {
        __m256i gathered = _mm256_setzero_si256();
        for (int q = 0; q < 4; ++q) {
            const __m256i index =
                _mm256_load_si256(reinterpret_cast<const __m256i*>(kScanShuffles.index[half][q]));
            gathered = _mm256_or_si256(gathered, _mm256_shuffle_epi8(quarters[q], index));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(scan + 32 * half), gathered);
        const uint32_t zero = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(gathered, _mm256_setzero_si256())));
        mask |= uint64_t{~zero} << (32 * half);
    }
    return mask;
}
}  // namespace avx2
}  // namespace

bool UpgradeForwardTransformKernelsAvx2(ForwardTransformKernels& kernels) {
    kernels.loadDifference = avx2::LoadDifference;
    kernels.loadTransposed = avx2::LoadTransposed;
    kernels.forwardDct = avx2::ForwardDct;
    kernels.quantizeIntra = avx2::QuantizeIntraCoefficients;
    kernels.quantizeInter = avx2::QuantizeInterCoefficientsWide;
    kernels.lastScanPosition = avx2::LastScanPosition;
    kernels.scanOrderLevels = avx2::ScanOrderLevelsWide;
    kernels.quantizeInterBlocks = avx2::QuantizeInterBlocksWide;
    kernels.quantizeIntraBlocks = avx2::QuantizeIntraBlocksWide;
    return true;
}

bool UpgradeReconstructionKernelsAvx2(ReconstructionKernels& kernels) {
    kernels.dequantize = avx2::Dequantize;
    kernels.addAndClip = avx2::AddAndClip;
    kernels.storeClipped = avx2::StoreClipped;
    return true;
}

#else

bool UpgradeForwardTransformKernelsAvx2(ForwardTransformKernels&) {
    return false;
}
bool UpgradeReconstructionKernelsAvx2(ReconstructionKernels&) {
    return false;
}

#endif

}  // namespace kmqx
