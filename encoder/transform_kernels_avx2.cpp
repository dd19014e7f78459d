// AVX2 versions of the transform kernels, bit-exact with the scalar ones: the
// SSE2 bodies in the three-operand encoding, and a quantiser that works on
// two rows at once.
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

// Two blocks at once, one per 128-bit lane.
KMQX_AVX2_ENTRY void ForwardDctPairWide(int16_t first[64], int16_t second[64]) {
    __m256i rows[8];
    for (int i = 0; i < 8; ++i) {
        const __m256i pair = _mm256_inserti128_si256(_mm256_castsi128_si256(Load(first + 8 * i)),
                                                     Load(second + 8 * i), 1);
        rows[i] = _mm256_slli_epi16(pair, 1);
    }
    TransformRows(rows);
    for (int i = 0; i < 8; ++i) {
        const __m256i factor = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kForwardPostScale + 8 * i)));
        const __m256i scaled = PostScale(rows[i], factor);
        Store(first + 8 * i, _mm256_castsi256_si128(scaled));
        Store(second + 8 * i, _mm256_extracti128_si256(scaled, 1));
    }
}

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
}  // namespace avx2
}  // namespace

bool UpgradeForwardTransformKernelsAvx2(ForwardTransformKernels& kernels) {
    kernels.loadDifference = avx2::LoadDifference;
    kernels.loadTransposed = avx2::LoadTransposed;
    kernels.forwardDct = avx2::ForwardDct;
    kernels.forwardDctPair = avx2::ForwardDctPairWide;
    kernels.quantizeIntra = avx2::QuantizeIntraCoefficients;
    kernels.quantizeInter = avx2::QuantizeInterCoefficientsWide;
    kernels.lastScanPosition = avx2::LastScanPosition;
    kernels.nonZeroLevels = avx2::NonZeroLevels;
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
