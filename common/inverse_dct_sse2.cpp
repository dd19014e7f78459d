// SSE2 version of the inverse DCT, bit-exact with the scalar one for every
// 16-bit input: each pass takes four rows (or columns) at a time.
#include "common/inverse_dct.h"
#include "common/sse2.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {
namespace sse2 {
#define KMQX_VECTOR KMQX_SSE2
#include "common/inverse_dct_x86.inc"
#undef KMQX_VECTOR

KMQX_SSE2 inline __m128i LoadRow(const int16_t* block, int row) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * row));
}

KMQX_SSE2_ENTRY void InverseDct(int16_t block[64]) {
    // Row pass, rows 0..3 and 4..7 in the lanes; lines of zeros give zeros,
    // so the lower rows, often all zero in coded blocks, may be left out.
    // column[k] receives value k of every row: the lines of the column pass.
    __m128i column[8], upper[8], lower[8];
    FourLines<false>(LoadRow(block, 0), LoadRow(block, 1), LoadRow(block, 2), LoadRow(block, 3),
                     upper);
    const __m128i r4 = LoadRow(block, 4), r5 = LoadRow(block, 5);
    const __m128i r6 = LoadRow(block, 6), r7 = LoadRow(block, 7);
    const __m128i any = _mm_or_si128(_mm_or_si128(r4, r5), _mm_or_si128(r6, r7));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF) {
        for (int k = 0; k < 8; ++k) column[k] = _mm_packs_epi32(upper[k], _mm_setzero_si128());
    } else {
        FourLines<false>(r4, r5, r6, r7, lower);
        for (int k = 0; k < 8; ++k) column[k] = _mm_packs_epi32(upper[k], lower[k]);
    }
    // Column pass, columns 0..3 and 4..7 in the lanes; out[j] is row j.
    __m128i left[8], right[8];
    FourLines<true>(column[0], column[1], column[2], column[3], left);
    FourLines<true>(column[4], column[5], column[6], column[7], right);
    const __m128i lowest = _mm_set1_epi16(-256), highest = _mm_set1_epi16(255);
    for (int j = 0; j < 8; ++j) {
        const __m128i row = _mm_packs_epi32(left[j], right[j]);
        const __m128i clipped = _mm_min_epi16(_mm_max_epi16(row, lowest), highest);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * j), clipped);
    }
}

}  // namespace sse2
}  // namespace

bool UpgradeInverseDctKernelsSse2(InverseDctKernels& kernels) {
    kernels.inverseDct = sse2::InverseDct;
    return true;
}

#else  // no SSE2 on this architecture

bool UpgradeInverseDctKernelsSse2(InverseDctKernels&) {
    return false;
}

#endif

}  // namespace kmqx
