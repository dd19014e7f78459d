// SSE2 versions of the transform kernels, bit-exact with the scalar ones.
#include "common/h263_syntax.h"
#include "common/sse2.h"
#include "encoder/forward_dct.h"
#include "encoder/quantizer.h"
#include "encoder/transform_kernels.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {

KMQX_SSE2 inline __m128i Load(const int16_t* source) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
}

KMQX_SSE2 inline void Store(int16_t* destination, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), value);
}

// Transposes eight rows of eight 16-bit values in place.
KMQX_SSE2 inline void Transpose8x8(__m128i r[8]) {
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// ---- Forward transform ----

// First pass: scale the operand up, then take the high half of the product;
// second pass: the high half first, then scale up.
template <bool kFirstPass, int kShift>
KMQX_SSE2 inline __m128i Product(__m128i operand, int16_t factor) {
    const __m128i constant = _mm_set1_epi16(factor);
    if constexpr (kShift == 0) return _mm_mulhi_epi16(operand, constant);
    if constexpr (kFirstPass) return _mm_mulhi_epi16(_mm_slli_epi16(operand, kShift), constant);
    return _mm_slli_epi16(_mm_mulhi_epi16(operand, constant), kShift);
}

// Eight 8-point transforms at once, down the columns of r[0..7].
template <bool kFirstPass>
KMQX_SSE2 inline void Transform8Columns(__m128i d[8]) {
    const __m128i t0 = _mm_add_epi16(d[0], d[7]), t7 = _mm_sub_epi16(d[0], d[7]);
    const __m128i t1 = _mm_add_epi16(d[1], d[6]), t6 = _mm_sub_epi16(d[1], d[6]);
    const __m128i t2 = _mm_add_epi16(d[2], d[5]), t5 = _mm_sub_epi16(d[2], d[5]);
    const __m128i t3 = _mm_add_epi16(d[3], d[4]), t4 = _mm_sub_epi16(d[3], d[4]);

    const __m128i e10 = _mm_add_epi16(t0, t3), e13 = _mm_sub_epi16(t0, t3);
    const __m128i e11 = _mm_add_epi16(t1, t2), e12 = _mm_sub_epi16(t1, t2);
    d[0] = _mm_add_epi16(e10, e11);
    d[4] = _mm_sub_epi16(e10, e11);
    const __m128i z1 = Product<kFirstPass, 1>(_mm_add_epi16(e12, e13), 23170);
    d[2] = _mm_add_epi16(e13, z1);
    d[6] = _mm_sub_epi16(e13, z1);

    const __m128i o10 = _mm_add_epi16(t4, t5), o11 = _mm_add_epi16(t5, t6);
    const __m128i o12 = _mm_add_epi16(t6, t7);
    const __m128i z5 = Product<kFirstPass, 0>(_mm_sub_epi16(o10, o12), 25076);
    const __m128i z2 = _mm_add_epi16(Product<kFirstPass, 1>(o10, 17734), z5);
    const __m128i z4 = _mm_add_epi16(Product<kFirstPass, 2>(o12, 21407), z5);
    const __m128i z3 = Product<kFirstPass, 1>(o11, 23170);
    const __m128i z11 = _mm_add_epi16(t7, z3), z13 = _mm_sub_epi16(t7, z3);
    d[5] = _mm_add_epi16(z13, z2);
    d[3] = _mm_sub_epi16(z13, z2);
    d[1] = _mm_add_epi16(z11, z4);
    d[7] = _mm_sub_epi16(z11, z4);
}

KMQX_SSE2_ENTRY void ForwardDctSse2(int16_t block[64]) {
    __m128i rows[8];
    for (int i = 0; i < 8; ++i) rows[i] = _mm_slli_epi16(Load(block + 8 * i), 1);
    Transform8Columns<true>(rows);
    Transpose8x8(rows);
    Transform8Columns<false>(rows);
    for (int i = 0; i < 8; ++i) {
        const __m128i x = rows[i];
        const __m128i sign = _mm_srai_epi16(x, 15);
        const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);  // 0x8000 stays
        const __m128i factor =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kForwardPostScale + 8 * i));
        // (|x| * T + 32768) >> 16: the high half plus the top bit of the low half.
        const __m128i high = _mm_mulhi_epu16(magnitude, factor);
        const __m128i round = _mm_srli_epi16(_mm_mullo_epi16(magnitude, factor), 15);
        const __m128i scaled = _mm_add_epi16(high, round);
        Store(block + 8 * i, _mm_sub_epi16(_mm_xor_si128(scaled, sign), sign));
    }
}

KMQX_SSE2 inline __m128i LoadWidened(const uint8_t* source) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(source)),
                             _mm_setzero_si128());
}

KMQX_SSE2_ENTRY void LoadDifferenceSse2(const uint8_t* current, int32_t currentStride,
                                        const uint8_t* prediction, int32_t predictionStride,
                                        int16_t block[64]) {
    for (int y = 0; y < 8; ++y) {
        Store(block + 8 * y, _mm_sub_epi16(LoadWidened(current + y * currentStride),
                                           LoadWidened(prediction + y * predictionStride)));
    }
}

KMQX_SSE2_ENTRY void LoadTransposedSse2(const uint8_t* samples, int32_t stride, int16_t block[64]) {
    __m128i rows[8];
    for (int y = 0; y < 8; ++y) rows[y] = LoadWidened(samples + y * stride);
    Transpose8x8(rows);
    for (int x = 0; x < 8; ++x) Store(block + 8 * x, rows[x]);
}

// ---- Quantisers ----

// Levels from unsigned magnitudes (0..32768) and the lanes that are positive.
KMQX_SSE2 inline __m128i LevelsFromMagnitudes(__m128i magnitude, __m128i positive,
                                              const QuantizerParams& quantizer) {
    __m128i quotient;
    if (quantizer.qp >= 3) {
        quotient =
            _mm_mulhi_epu16(_mm_srli_epi16(magnitude, 1), _mm_set1_epi16(quantizer.reciprocal));
    } else if (quantizer.qp == 2) {
        quotient = _mm_srli_epi16(magnitude, 2);
    } else {
        quotient = _mm_srli_epi16(magnitude, 1);
    }
    quotient = _mm_min_epi16(quotient, _mm_set1_epi16(127));  // at most 16384 here
    const __m128i negative = _mm_cmpeq_epi16(positive, _mm_setzero_si128());
    return _mm_sub_epi16(_mm_xor_si128(quotient, negative), negative);
}

KMQX_SSE2 inline __m128i Magnitude(__m128i x) {
    const __m128i sign = _mm_srai_epi16(x, 15);
    return _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
}

KMQX_SSE2 inline void StoreLevels(int8_t* destination, __m128i first, __m128i second) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), _mm_packs_epi16(first, second));
}

KMQX_SSE2_ENTRY void QuantizeIntraCoefficientsSse2(const int16_t coefficients[64],
                                                   const QuantizerParams& quantizer,
                                                   int8_t levels[64]) {
    __m128i out[8];
    for (int i = 0; i < 8; ++i) {
        const __m128i x = Load(coefficients + 8 * i);
        const __m128i positive = _mm_cmpgt_epi16(x, _mm_setzero_si128());
        // |x| + 1 for positive x (positive lanes are -1).
        const __m128i magnitude = _mm_sub_epi16(Magnitude(x), positive);
        out[i] = LevelsFromMagnitudes(magnitude, positive, quantizer);
    }
    for (int i = 0; i < 8; i += 2) StoreLevels(levels + 8 * i, out[i], out[i + 1]);
}

KMQX_SSE2_ENTRY void QuantizeInterCoefficientsSse2(const int16_t coefficients[64],
                                                   const QuantizerParams& quantizer,
                                                   int8_t levels[64]) {
    __m128i rows[8];
    for (int i = 0; i < 8; ++i) rows[i] = Load(coefficients + 8 * i);
    Transpose8x8(rows);  // quantisation is per element, so transpose first
    const __m128i half = _mm_set1_epi16(quantizer.halfQp);
    const __m128i deadZone = _mm_set1_epi16(quantizer.deadZone);
    for (int i = 0; i < 8; ++i) {
        const __m128i x = rows[i];
        const __m128i wasPositive = _mm_cmpgt_epi16(x, _mm_setzero_si128());
        const __m128i shifted =
            _mm_add_epi16(_mm_add_epi16(x, half), _mm_and_si128(wasPositive, deadZone));
        const __m128i positive = _mm_cmpgt_epi16(shifted, _mm_setzero_si128());
        rows[i] = LevelsFromMagnitudes(Magnitude(shifted), positive, quantizer);
    }
    for (int i = 0; i < 8; i += 2) StoreLevels(levels + 8 * i, rows[i], rows[i + 1]);
}

// Byte-wise maximum of the scan positions of the non-zero levels.
KMQX_SSE2_ENTRY int32_t LastScanPositionSse2(const int8_t levels[64]) {
    __m128i maximum = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 16) {
        const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + i));
        const __m128i isZero = _mm_cmpeq_epi8(values, _mm_setzero_si128());
        const __m128i scan = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kInverseZigzag + i));
        maximum = _mm_max_epu8(maximum, _mm_andnot_si128(isZero, scan));
    }
    maximum = _mm_max_epu8(maximum, _mm_srli_si128(maximum, 8));
    maximum = _mm_max_epu8(maximum, _mm_srli_si128(maximum, 4));
    maximum = _mm_max_epu8(maximum, _mm_srli_si128(maximum, 2));
    maximum = _mm_max_epu8(maximum, _mm_srli_si128(maximum, 1));
    return _mm_cvtsi128_si32(maximum) & 0xFF;
}

// ---- Reconstruction ----

KMQX_SSE2_ENTRY void DequantizeSse2(const int8_t levels[64], const DequantParams& dequant,
                                    int16_t block[64]) {
    const __m128i multiplier = _mm_set1_epi16(dequant.multiplier);
    const __m128i rounding = _mm_set1_epi16(dequant.rounding);
    const __m128i limit = _mm_set1_epi16(kMaxDequantizedCoefficient);
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 8) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(levels + i));
        const __m128i level = _mm_unpacklo_epi8(bytes, _mm_cmpgt_epi8(zero, bytes));
        const __m128i positive = _mm_and_si128(_mm_cmpgt_epi16(level, zero), rounding);
        const __m128i negative = _mm_and_si128(_mm_cmpgt_epi16(zero, level), rounding);
        const __m128i value = _mm_mullo_epi16(level, multiplier);
        const __m128i rec = _mm_sub_epi16(_mm_add_epi16(value, positive), negative);
        Store(block + i, _mm_max_epi16(_mm_min_epi16(rec, limit), _mm_sub_epi16(zero, limit)));
    }
}

KMQX_SSE2_ENTRY void AddAndClipSse2(const int16_t residual[64], const uint8_t prediction[64],
                                    uint8_t* destination, int32_t pitch) {
    for (int y = 0; y < 8; ++y) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(prediction + 8 * y));
        const __m128i sum =
            _mm_add_epi16(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()), Load(residual + 8 * y));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + y * pitch),
                         _mm_packus_epi16(sum, sum));
    }
}

KMQX_SSE2_ENTRY void StoreClippedSse2(const int16_t residual[64], uint8_t* destination,
                                      int32_t pitch) {
    for (int y = 0; y < 8; ++y) {
        const __m128i row = Load(residual + 8 * y);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + y * pitch),
                         _mm_packus_epi16(row, row));
    }
}

}  // namespace

bool UpgradeForwardTransformKernelsSse2(ForwardTransformKernels& kernels) {
    kernels.loadDifference = LoadDifferenceSse2;
    kernels.loadTransposed = LoadTransposedSse2;
    kernels.forwardDct = ForwardDctSse2;
    kernels.quantizeIntra = QuantizeIntraCoefficientsSse2;
    kernels.quantizeInter = QuantizeInterCoefficientsSse2;
    kernels.lastScanPosition = LastScanPositionSse2;
    return true;
}

bool UpgradeReconstructionKernelsSse2(ReconstructionKernels& kernels) {
    kernels.dequantize = DequantizeSse2;
    kernels.addAndClip = AddAndClipSse2;
    kernels.storeClipped = StoreClippedSse2;
    return true;
}

#else  // no SSE2 on this architecture

bool UpgradeForwardTransformKernelsSse2(ForwardTransformKernels&) {
    return false;
}
bool UpgradeReconstructionKernelsSse2(ReconstructionKernels&) {
    return false;
}

#endif

}  // namespace kmqx
