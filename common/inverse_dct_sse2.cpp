// SSE2 version of the inverse DCT, bit-exact with the scalar one for every
// 16-bit input. Each pass works on four rows (or columns) side by side in
// 32-bit lanes: the flow graph's products become pairs of multiply-adds, and
// the rounding and saturation are the scalar ones.
#include "common/inverse_dct.h"
#include "common/sse2.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {

// Factors for _mm_madd_epi16 on interleaved pairs (p, q): p * f + q * g.
KMQX_SSE2 inline __m128i PairFactors(int32_t f, int32_t g) {
    return _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(g) << 16) |
                                               (static_cast<uint32_t>(f) & 0xFFFFu)));
}

// (181 * v + 128) >> 8 with the product wrapping at 32 bits, as in the scalar
// version: the low 32 bits of the product from 16-bit halves.
KMQX_SSE2 inline __m128i ScaleBy181(__m128i v) {
    const __m128i factor = _mm_set1_epi16(idct::kHalfSqrt2);
    const __m128i low = _mm_mullo_epi16(v, factor);
    const __m128i carry = _mm_slli_epi32(_mm_mulhi_epu16(v, factor), 16);
    return _mm_srai_epi32(_mm_add_epi32(_mm_add_epi16(low, carry), _mm_set1_epi32(128)), 8);
}

// A product pair of the flow graph; the column pass rounds it (+ 4) >> 3.
template <bool kColumnPass>
KMQX_SSE2 inline __m128i Product(__m128i pairs, __m128i factors) {
    const __m128i sum = _mm_madd_epi16(pairs, factors);
    if (!kColumnPass) return sum;
    return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(4)), 3);
}

// One pass over four lines, each input register holding the interleaved
// pairs (value i, value j) of the four lines; out[k] receives output k of
// every line in 32 bits. The row pass scales the even inputs by 2048 and
// rounds with 128 before >> 8; the column pass scales by 256 and rounds with
// 8192 before >> 14.
template <bool kColumnPass>
KMQX_SSE2 inline void FourLines(__m128i p04, __m128i p26, __m128i p17, __m128i p53,
                                __m128i out[8]) {
    constexpr int32_t kEvenScale = kColumnPass ? 256 : 2048;
    constexpr int32_t kEvenRounding = kColumnPass ? 8192 : 128;
    constexpr int kOutputShift = kColumnPass ? 14 : 8;
    const __m128i rounding = _mm_set1_epi32(kEvenRounding);
    const __m128i sum04 =
        _mm_add_epi32(_mm_madd_epi16(p04, PairFactors(kEvenScale, kEvenScale)), rounding);
    const __m128i difference04 =
        _mm_add_epi32(_mm_madd_epi16(p04, PairFactors(kEvenScale, -kEvenScale)), rounding);
    const __m128i g = Product<kColumnPass>(p26, PairFactors(idct::W2, idct::W6));
    const __m128i h = Product<kColumnPass>(p26, PairFactors(idct::W6, -idct::W2));
    const __m128i a = Product<kColumnPass>(p17, PairFactors(idct::W1, idct::W7));
    const __m128i b = Product<kColumnPass>(p17, PairFactors(idct::W7, -idct::W1));
    const __m128i c = Product<kColumnPass>(p53, PairFactors(idct::W5, idct::W3));
    const __m128i d = Product<kColumnPass>(p53, PairFactors(idct::W3, -idct::W5));

    const __m128i e0 = _mm_add_epi32(sum04, g), e3 = _mm_sub_epi32(sum04, g);
    const __m128i e1 = _mm_add_epi32(difference04, h), e2 = _mm_sub_epi32(difference04, h);
    const __m128i o0 = _mm_add_epi32(a, c), o3 = _mm_add_epi32(b, d);
    const __m128i ac = _mm_sub_epi32(a, c), bd = _mm_sub_epi32(b, d);
    const __m128i o1 = ScaleBy181(_mm_add_epi32(ac, bd));
    const __m128i o2 = ScaleBy181(_mm_sub_epi32(ac, bd));

    out[0] = _mm_srai_epi32(_mm_add_epi32(e0, o0), kOutputShift);
    out[7] = _mm_srai_epi32(_mm_sub_epi32(e0, o0), kOutputShift);
    out[1] = _mm_srai_epi32(_mm_add_epi32(e1, o1), kOutputShift);
    out[6] = _mm_srai_epi32(_mm_sub_epi32(e1, o1), kOutputShift);
    out[2] = _mm_srai_epi32(_mm_add_epi32(e2, o2), kOutputShift);
    out[5] = _mm_srai_epi32(_mm_sub_epi32(e2, o2), kOutputShift);
    out[3] = _mm_srai_epi32(_mm_add_epi32(e3, o3), kOutputShift);
    out[4] = _mm_srai_epi32(_mm_sub_epi32(e3, o3), kOutputShift);
}

// The pairs FourLines takes, from four lines of eight values each (lines
// l0..l3 in, line i in lane i out): a transpose that stops half-way.
struct LinePairs {
    __m128i p04, p26, p17, p53;
};

KMQX_SSE2 inline LinePairs PairsOfFourLines(__m128i l0, __m128i l1, __m128i l2, __m128i l3) {
    const __m128i a0 = _mm_unpacklo_epi16(l0, l1), a1 = _mm_unpackhi_epi16(l0, l1);
    const __m128i a2 = _mm_unpacklo_epi16(l2, l3), a3 = _mm_unpackhi_epi16(l2, l3);
    const __m128i x01 = _mm_unpacklo_epi32(a0, a2);  // value 0 of each line, then value 1
    const __m128i x23 = _mm_unpackhi_epi32(a0, a2);
    const __m128i x45 = _mm_unpacklo_epi32(a1, a3);
    const __m128i x67 = _mm_unpackhi_epi32(a1, a3);
    return {_mm_unpacklo_epi16(x01, x45), _mm_unpacklo_epi16(x23, x67),
            _mm_unpackhi_epi16(x01, x67), _mm_unpackhi_epi16(x45, x23)};
}

template <bool kColumnPass>
KMQX_SSE2 inline void FourLines(const LinePairs& pairs, __m128i out[8]) {
    FourLines<kColumnPass>(pairs.p04, pairs.p26, pairs.p17, pairs.p53, out);
}

KMQX_SSE2 inline __m128i LoadRow(const int16_t* block, int row) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * row));
}

KMQX_SSE2_ENTRY void InverseDctSse2(int16_t block[64]) {
    // Row pass, rows 0..3 and 4..7 in the lanes; lines of zeros give zeros,
    // so the lower rows, often all zero in coded blocks, may be left out.
    // column[k] receives value k of every row: the lines of the column pass.
    __m128i column[8], upper[8], lower[8];
    FourLines<false>(PairsOfFourLines(LoadRow(block, 0), LoadRow(block, 1), LoadRow(block, 2),
                                      LoadRow(block, 3)),
                     upper);
    const __m128i r4 = LoadRow(block, 4), r5 = LoadRow(block, 5);
    const __m128i r6 = LoadRow(block, 6), r7 = LoadRow(block, 7);
    const __m128i any = _mm_or_si128(_mm_or_si128(r4, r5), _mm_or_si128(r6, r7));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF) {
        for (int k = 0; k < 8; ++k) column[k] = _mm_packs_epi32(upper[k], _mm_setzero_si128());
    } else {
        FourLines<false>(PairsOfFourLines(r4, r5, r6, r7), lower);
        for (int k = 0; k < 8; ++k) column[k] = _mm_packs_epi32(upper[k], lower[k]);
    }
    // Column pass, columns 0..3 and 4..7 in the lanes; out[j] is row j.
    __m128i left[8], right[8];
    FourLines<true>(PairsOfFourLines(column[0], column[1], column[2], column[3]), left);
    FourLines<true>(PairsOfFourLines(column[4], column[5], column[6], column[7]), right);
    const __m128i lowest = _mm_set1_epi16(-256), highest = _mm_set1_epi16(255);
    for (int j = 0; j < 8; ++j) {
        const __m128i row = _mm_packs_epi32(left[j], right[j]);
        const __m128i clipped = _mm_min_epi16(_mm_max_epi16(row, lowest), highest);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * j), clipped);
    }
}

}  // namespace

bool UpgradeInverseDctKernelsSse2(InverseDctKernels& kernels) {
    kernels.inverseDct = InverseDctSse2;
    return true;
}

#else  // no SSE2 on this architecture

bool UpgradeInverseDctKernelsSse2(InverseDctKernels&) {
    return false;
}

#endif

}  // namespace kmqx
