// AVX2 version of the inverse DCT, bit-exact with the scalar one for every
// 16-bit input: the SSE2 version's flow graph, but with four lines in each
// 128-bit half, so that one pass takes all eight rows (or columns) at once.
#include "common/avx2.h"
#include "common/inverse_dct.h"

namespace kmqx {

#if KMQX_HAVE_AVX2_KERNELS

namespace {
namespace avx2 {
#define KMQX_VECTOR KMQX_AVX2
#define KMQX_VECTOR_WIDE
#include "common/inverse_dct_x86.inc"
#undef KMQX_VECTOR
#undef KMQX_VECTOR_WIDE

// Outputs j and k of a pass (lines 0..3 in the low half, 4..7 in the high
// one), saturated to 16 bits: output j of lines 0..7, then output k.
KMQX_AVX2 inline __m256i PackOutputs(__m256i j, __m256i k) {
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(j, k), 0xD8);
}

KMQX_AVX2 inline __m128i LoadRow(const int16_t* block, int row) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * row));
}

KMQX_AVX2_ENTRY void InverseDct(int16_t block[64]) {
    // Row pass: rows 0..3 in the low halves, 4..7 in the high ones.
    __m256i rows[4];
    for (int r = 0; r < 4; ++r) {
        rows[r] = _mm256_inserti128_si256(_mm256_castsi128_si256(LoadRow(block, r)),
                                          LoadRow(block, r + 4), 1);
    }
    __m256i values[8];
    FourLines<false>(rows[0], rows[1], rows[2], rows[3], values);
    // Columns k (low half) and k + 4 (high half): the lines of the column
    // pass, which leaves row j of columns 0..3 and 4..7 in out[j].
    __m256i out[8];
    FourLines<true>(PackOutputs(values[0], values[4]), PackOutputs(values[1], values[5]),
                    PackOutputs(values[2], values[6]), PackOutputs(values[3], values[7]), out);
    const __m256i lowest = _mm256_set1_epi16(-256), highest = _mm256_set1_epi16(255);
    for (int j = 0; j < 8; j += 2) {
        const __m256i twoRows = PackOutputs(out[j], out[j + 1]);
        const __m256i clipped = _mm256_min_epi16(_mm256_max_epi16(twoRows, lowest), highest);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 8 * j), clipped);
    }
}

}  // namespace avx2
}  // namespace

bool UpgradeInverseDctKernelsAvx2(InverseDctKernels& kernels) {
    kernels.inverseDct = avx2::InverseDct;
    return true;
}

#else  // no AVX2 kernels for this target

bool UpgradeInverseDctKernelsAvx2(InverseDctKernels&) {
    return false;
}

#endif

}  // namespace kmqx
