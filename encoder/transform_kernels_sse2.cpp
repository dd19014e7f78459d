// SSE2 versions of the transform kernels, bit-exact with the scalar ones.
#include "encoder/transform_kernels.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>

#include "encoder/forward_dct.h"
#include "encoder/quantizer.h"

// The 32-bit build does not assume SSE2 and its ABI keeps the stack only
// 4-byte aligned, so entry points realign it for 16-byte spills.
#if defined(__i386__)
#define KMQX_SSE2_HELPER __attribute__((target("sse2")))
#define KMQX_SSE2_ENTRY __attribute__((target("sse2"), force_align_arg_pointer))
#else
#define KMQX_SSE2_HELPER
#define KMQX_SSE2_ENTRY
#endif

namespace kmqx {

namespace {

KMQX_SSE2_HELPER inline __m128i Load(const int16_t* source) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
}

KMQX_SSE2_HELPER inline void Store(int16_t* destination, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), value);
}

KMQX_SSE2_HELPER inline void Transpose8x8(__m128i r[8]) {
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
KMQX_SSE2_HELPER inline __m128i Product(__m128i operand, int16_t factor) {
    const __m128i constant = _mm_set1_epi16(factor);
    if constexpr (kShift == 0) return _mm_mulhi_epi16(operand, constant);
    if constexpr (kFirstPass) return _mm_mulhi_epi16(_mm_slli_epi16(operand, kShift), constant);
    return _mm_slli_epi16(_mm_mulhi_epi16(operand, constant), kShift);
}

// Eight 8-point transforms at once, down the columns of r[0..7].
template <bool kFirstPass>
KMQX_SSE2_HELPER inline void Transform8Columns(__m128i d[8]) {
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

// ---- Quantisers ----

// Levels from unsigned magnitudes (0..32768) and the lanes that are positive.
KMQX_SSE2_HELPER inline __m128i LevelsFromMagnitudes(__m128i magnitude, __m128i positive,
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

KMQX_SSE2_HELPER inline __m128i Magnitude(__m128i x) {
    const __m128i sign = _mm_srai_epi16(x, 15);
    return _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
}

KMQX_SSE2_HELPER inline void StoreLevels(int8_t* destination, __m128i first, __m128i second) {
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

// ---- Inverse transform ----

KMQX_SSE2_ENTRY void DequantizeSse2(const int8_t levels[64], const DequantParams& dequant,
                                    int16_t block[64]) {
    const __m128i multiplier = _mm_set1_epi16(dequant.multiplier);
    const __m128i rounding = _mm_set1_epi16(dequant.rounding);
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 8) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(levels + i));
        const __m128i level = _mm_unpacklo_epi8(bytes, _mm_cmpgt_epi8(zero, bytes));
        const __m128i positive = _mm_and_si128(_mm_cmpgt_epi16(level, zero), rounding);
        const __m128i negative = _mm_and_si128(_mm_cmpgt_epi16(zero, level), rounding);
        const __m128i value = _mm_mullo_epi16(level, multiplier);
        Store(block + i, _mm_sub_epi16(_mm_add_epi16(value, positive), negative));
    }
}

// Multiply-accumulate factors of one row set, for the input pairs (x0, x4),
// (x2, x6), (x1, x5), (x3, x7); 32-bit lane j gives output a_j or b_j.
struct alignas(16) RowFactors {
    int16_t evenA[8], evenB[8], oddA[8], oddB[8];
};

constexpr RowFactors MakeRowFactors(int16_t c4, int16_t c2, int16_t c6, int16_t c1, int16_t c3,
                                    int16_t c5, int16_t c7) {
    return RowFactors{
        {c4, c4, c4, static_cast<int16_t>(-c4), c4, static_cast<int16_t>(-c4), c4, c4},
        {c2, c6, c6, static_cast<int16_t>(-c2), static_cast<int16_t>(-c6), c2,
         static_cast<int16_t>(-c2), static_cast<int16_t>(-c6)},
        {c1, c5, c3, static_cast<int16_t>(-c1), c5, c7, c7, c3},
        {c3, c7, static_cast<int16_t>(-c7), static_cast<int16_t>(-c5), static_cast<int16_t>(-c1),
         c3, static_cast<int16_t>(-c5), static_cast<int16_t>(-c1)},
    };
}

constexpr RowFactors kRowFactors[4] = {
    MakeRowFactors(16384, 21407, 8867, 22725, 19266, 12873, 4520),
    MakeRowFactors(22725, 29692, 12299, 31521, 26722, 17855, 6270),
    MakeRowFactors(21407, 27969, 11585, 29692, 25172, 16819, 5906),
    MakeRowFactors(19266, 25172, 10426, 26722, 22654, 15137, 5315),
};
constexpr int kRowSetOfRow[8] = {0, 1, 2, 3, 0, 3, 2, 1};

KMQX_SSE2_HELPER inline __m128i Factors(const int16_t* values) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(values));
}

KMQX_SSE2_HELPER inline __m128i InverseRow(__m128i x, const RowFactors& f) {
    // [x0 x4 x1 x5 x2 x6 x3 x7]: one input pair per 32-bit lane.
    const __m128i pairs = _mm_unpacklo_epi16(x, _mm_srli_si128(x, 8));
    const __m128i p04 = _mm_shuffle_epi32(pairs, 0x00), p15 = _mm_shuffle_epi32(pairs, 0x55);
    const __m128i p26 = _mm_shuffle_epi32(pairs, 0xAA), p37 = _mm_shuffle_epi32(pairs, 0xFF);
    const __m128i even = _mm_add_epi32(
        _mm_add_epi32(_mm_madd_epi16(p04, Factors(f.evenA)), _mm_madd_epi16(p26, Factors(f.evenB))),
        _mm_set1_epi32(2048));
    const __m128i odd =
        _mm_add_epi32(_mm_madd_epi16(p15, Factors(f.oddA)), _mm_madd_epi16(p37, Factors(f.oddB)));
    const __m128i low = _mm_srai_epi32(_mm_add_epi32(even, odd), 12);   // y0..y3
    const __m128i high = _mm_srai_epi32(_mm_sub_epi32(even, odd), 12);  // y7..y4
    return _mm_packs_epi32(low, _mm_shuffle_epi32(high, 0x1B));
}

KMQX_SSE2_ENTRY void InverseTransform16Sse2(int16_t block[64]) {
    __m128i x[8];
    for (int row = 0; row < 8; ++row) {
        x[row] = InverseRow(Load(block + 8 * row), kRowFactors[kRowSetOfRow[row]]);
    }
    // Columns: the eight rows side by side, every addition saturating.
    const __m128i tan1 = _mm_set1_epi16(13036), tan2 = _mm_set1_epi16(27146);
    const __m128i tan3 = _mm_set1_epi16(-21746), cos4 = _mm_set1_epi16(-19195);
    const __m128i t = _mm_adds_epi16(x[0], _mm_set1_epi16(16));
    const __m128i tp03 = _mm_adds_epi16(t, x[4]), tm03 = _mm_subs_epi16(t, x[4]);
    const __m128i tp12 = _mm_adds_epi16(_mm_mulhi_epi16(x[6], tan2), x[2]);
    const __m128i tm12 = _mm_subs_epi16(_mm_mulhi_epi16(x[2], tan2), x[6]);
    const __m128i tp17 = _mm_adds_epi16(_mm_mulhi_epi16(x[7], tan1), x[1]);
    const __m128i tm17 = _mm_subs_epi16(_mm_mulhi_epi16(x[1], tan1), x[7]);
    const __m128i tp35 = _mm_adds_epi16(_mm_adds_epi16(_mm_mulhi_epi16(x[5], tan3), x[5]), x[3]);
    const __m128i tm35 = _mm_subs_epi16(_mm_adds_epi16(_mm_mulhi_epi16(x[3], tan3), x[3]), x[5]);
    const __m128i e0 = _mm_adds_epi16(tp03, tp12), e3 = _mm_subs_epi16(tp03, tp12);
    const __m128i e1 = _mm_adds_epi16(tm03, tm12), e2 = _mm_subs_epi16(tm03, tm12);
    const __m128i f0 = _mm_adds_epi16(tp17, tp35), f1 = _mm_subs_epi16(tp17, tp35);
    const __m128i g0 = _mm_subs_epi16(tm17, tm35), g1 = _mm_adds_epi16(tm17, tm35);
    const __m128i s = _mm_adds_epi16(f1, g1), d = _mm_subs_epi16(f1, g1);
    const __m128i h0 = _mm_adds_epi16(_mm_mulhi_epi16(s, cos4), s);
    const __m128i h1 = _mm_adds_epi16(_mm_mulhi_epi16(d, cos4), d);
    Store(block + 0, _mm_srai_epi16(_mm_adds_epi16(e0, f0), 5));
    Store(block + 56, _mm_srai_epi16(_mm_subs_epi16(e0, f0), 5));
    Store(block + 24, _mm_srai_epi16(_mm_adds_epi16(e3, g0), 5));
    Store(block + 32, _mm_srai_epi16(_mm_subs_epi16(e3, g0), 5));
    Store(block + 8, _mm_srai_epi16(_mm_adds_epi16(e1, h0), 5));
    Store(block + 48, _mm_srai_epi16(_mm_subs_epi16(e1, h0), 5));
    Store(block + 16, _mm_srai_epi16(_mm_adds_epi16(e2, h1), 5));
    Store(block + 40, _mm_srai_epi16(_mm_subs_epi16(e2, h1), 5));
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
    kernels.forwardDct = ForwardDctSse2;
    kernels.quantizeIntra = QuantizeIntraCoefficientsSse2;
    kernels.quantizeInter = QuantizeInterCoefficientsSse2;
    kernels.lastScanPosition = LastScanPositionSse2;
    return true;
}

bool UpgradeInverseTransformKernelsSse2(InverseTransformKernels& kernels) {
    kernels.dequantize = DequantizeSse2;
    kernels.inverseTransform = InverseTransform16Sse2;
    kernels.addAndClip = AddAndClipSse2;
    kernels.storeClipped = StoreClippedSse2;
    return true;
}

}  // namespace kmqx

#else  // no SSE2 on this architecture

namespace kmqx {

bool UpgradeForwardTransformKernelsSse2(ForwardTransformKernels&) {
    return false;
}
bool UpgradeInverseTransformKernelsSse2(InverseTransformKernels&) {
    return false;
}

}  // namespace kmqx

#endif
