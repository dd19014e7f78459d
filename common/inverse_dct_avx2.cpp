// AVX2 version of the inverse DCT, bit-exact with the scalar one for every
// 16-bit input. The flow graph is the SSE2 version's (32-bit lanes, products
// as pairs of multiply-adds), but each 128-bit half of a register carries
// four lines, so that one pass takes all eight rows (or columns) at once.
#include "common/avx2.h"
#include "common/inverse_dct.h"

namespace kmqx {

#if KMQX_HAVE_AVX2_KERNELS

namespace {

// Factors for _mm256_madd_epi16 on interleaved pairs (p, q): p * f + q * g.
KMQX_AVX2 inline __m256i PairFactors(int32_t f, int32_t g) {
    return _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(g) << 16) |
                                                  (static_cast<uint32_t>(f) & 0xFFFFu)));
}

// (181 * v + 128) >> 8 with the product wrapping at 32 bits: the low 32 bits
// of the product from 16-bit halves.
KMQX_AVX2 inline __m256i ScaleBy181(__m256i v) {
    const __m256i factor = _mm256_set1_epi16(idct::kHalfSqrt2);
    const __m256i low = _mm256_mullo_epi16(v, factor);
    const __m256i carry = _mm256_slli_epi32(_mm256_mulhi_epu16(v, factor), 16);
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi16(low, carry), _mm256_set1_epi32(128)),
                             8);
}

template <bool kColumnPass>
KMQX_AVX2 inline __m256i Product(__m256i pairs, __m256i factors) {
    const __m256i sum = _mm256_madd_epi16(pairs, factors);
    if (!kColumnPass) return sum;
    return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(4)), 3);
}

// One pass over eight lines, four in each half, given as the pairs of their
// values (0, 4), (2, 6), (1, 7) and (5, 3): out[k] receives output k of
// every line in 32 bits. Scales and roundings as in the scalar passes.
template <bool kColumnPass>
KMQX_AVX2 inline void FlowGraph(__m256i p04, __m256i p26, __m256i p17, __m256i p53,
                                __m256i out[8]) {
    constexpr int32_t kEvenScale = kColumnPass ? 256 : 2048;
    constexpr int32_t kEvenRounding = kColumnPass ? 8192 : 128;
    constexpr int kOutputShift = kColumnPass ? 14 : 8;
    const __m256i rounding = _mm256_set1_epi32(kEvenRounding);
    const __m256i sum04 =
        _mm256_add_epi32(_mm256_madd_epi16(p04, PairFactors(kEvenScale, kEvenScale)), rounding);
    const __m256i difference04 =
        _mm256_add_epi32(_mm256_madd_epi16(p04, PairFactors(kEvenScale, -kEvenScale)), rounding);
    const __m256i g = Product<kColumnPass>(p26, PairFactors(idct::W2, idct::W6));
    const __m256i h = Product<kColumnPass>(p26, PairFactors(idct::W6, -idct::W2));
    const __m256i a = Product<kColumnPass>(p17, PairFactors(idct::W1, idct::W7));
    const __m256i b = Product<kColumnPass>(p17, PairFactors(idct::W7, -idct::W1));
    const __m256i c = Product<kColumnPass>(p53, PairFactors(idct::W5, idct::W3));
    const __m256i d = Product<kColumnPass>(p53, PairFactors(idct::W3, -idct::W5));

    const __m256i e0 = _mm256_add_epi32(sum04, g), e3 = _mm256_sub_epi32(sum04, g);
    const __m256i e1 = _mm256_add_epi32(difference04, h), e2 = _mm256_sub_epi32(difference04, h);
    const __m256i o0 = _mm256_add_epi32(a, c), o3 = _mm256_add_epi32(b, d);
    const __m256i ac = _mm256_sub_epi32(a, c), bd = _mm256_sub_epi32(b, d);
    const __m256i o1 = ScaleBy181(_mm256_add_epi32(ac, bd));
    const __m256i o2 = ScaleBy181(_mm256_sub_epi32(ac, bd));

    out[0] = _mm256_srai_epi32(_mm256_add_epi32(e0, o0), kOutputShift);
    out[7] = _mm256_srai_epi32(_mm256_sub_epi32(e0, o0), kOutputShift);
    out[1] = _mm256_srai_epi32(_mm256_add_epi32(e1, o1), kOutputShift);
    out[6] = _mm256_srai_epi32(_mm256_sub_epi32(e1, o1), kOutputShift);
    out[2] = _mm256_srai_epi32(_mm256_add_epi32(e2, o2), kOutputShift);
    out[5] = _mm256_srai_epi32(_mm256_sub_epi32(e2, o2), kOutputShift);
    out[3] = _mm256_srai_epi32(_mm256_add_epi32(e3, o3), kOutputShift);
    out[4] = _mm256_srai_epi32(_mm256_sub_epi32(e3, o3), kOutputShift);
}

// One pass over lines l0..l3 of eight 16-bit values in each half: the pairs
// the flow graph takes, line i of a half in its 32-bit lane i.
template <bool kColumnPass>
KMQX_AVX2 inline void EightLines(__m256i l0, __m256i l1, __m256i l2, __m256i l3, __m256i out[8]) {
    const __m256i a0 = _mm256_unpacklo_epi16(l0, l1), a1 = _mm256_unpackhi_epi16(l0, l1);
    const __m256i a2 = _mm256_unpacklo_epi16(l2, l3), a3 = _mm256_unpackhi_epi16(l2, l3);
    const __m256i x01 = _mm256_unpacklo_epi32(a0, a2);  // value 0 of each line, then value 1
    const __m256i x23 = _mm256_unpackhi_epi32(a0, a2);
    const __m256i x45 = _mm256_unpacklo_epi32(a1, a3);
    const __m256i x67 = _mm256_unpackhi_epi32(a1, a3);
    FlowGraph<kColumnPass>(_mm256_unpacklo_epi16(x01, x45), _mm256_unpacklo_epi16(x23, x67),
                           _mm256_unpackhi_epi16(x01, x67), _mm256_unpackhi_epi16(x45, x23), out);
}

// Outputs j and k of a pass (lines 0..3 in the low half, 4..7 in the high
// one), saturated to 16 bits: output j of lines 0..7, then output k.
KMQX_AVX2 inline __m256i PackOutputs(__m256i j, __m256i k) {
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(j, k), 0xD8);
}

KMQX_AVX2 inline __m128i LoadRow(const int16_t* block, int row) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * row));
}

KMQX_AVX2_ENTRY void InverseDctAvx2(int16_t block[64]) {
    // Row pass: rows 0..3 in the low halves, 4..7 in the high ones.
    __m256i rows[4];
    for (int r = 0; r < 4; ++r) {
        rows[r] = _mm256_inserti128_si256(_mm256_castsi128_si256(LoadRow(block, r)),
                                          LoadRow(block, r + 4), 1);
    }
    __m256i values[8];
    EightLines<false>(rows[0], rows[1], rows[2], rows[3], values);
    // Columns k (low half) and k + 4 (high half): the lines of the column
    // pass, which leaves row j of columns 0..3 and 4..7 in out[j].
    __m256i out[8];
    EightLines<true>(PackOutputs(values[0], values[4]), PackOutputs(values[1], values[5]),
                     PackOutputs(values[2], values[6]), PackOutputs(values[3], values[7]), out);
    const __m256i lowest = _mm256_set1_epi16(-256), highest = _mm256_set1_epi16(255);
    for (int j = 0; j < 8; j += 2) {
        const __m256i twoRows = PackOutputs(out[j], out[j + 1]);
        const __m256i clipped = _mm256_min_epi16(_mm256_max_epi16(twoRows, lowest), highest);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 8 * j), clipped);
    }
}

}  // namespace

bool UpgradeInverseDctKernelsAvx2(InverseDctKernels& kernels) {
    kernels.inverseDct = InverseDctAvx2;
    return true;
}

#else  // no AVX2 kernels for this target

bool UpgradeInverseDctKernelsAvx2(InverseDctKernels&) {
    return false;
}

#endif

}  // namespace kmqx
