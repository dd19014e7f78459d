// SSE2 version of the source conversion's RGB luma row; it gives exactly the
// scalar bytes.
#include "common/sse2.h"
#include "convert/source_kernels.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {

// Luma of four pixels whose 32-bit lanes hold B, G, R and one byte of the
// next pixel.
KMQX_SSE2 inline __m128i FourLumas(__m128i pixels) {
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    // G to the low and R to the high 16 bits of each lane.
    const __m128i greenRed = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(pixels, 8), lowByte),
                                          _mm_and_si128(pixels, _mm_set1_epi32(0x00FF0000)));
    const __m128i blue = _mm_and_si128(pixels, lowByte);
    // 587 G + 299 R and 114 B in 32-bit lanes.
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(greenRed, _mm_set1_epi32(299 << 16 | 587)),
                                      _mm_madd_epi16(blue, _mm_set1_epi32(114)));
    // sum / 1000 as (sum x 268436) >> 28, exact for every sum up to 255000.
    const __m128i factor = _mm_set1_epi32(268436);
    const __m128i even = _mm_srli_epi64(_mm_mul_epu32(sum, factor), 28);
    const __m128i odd = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(sum, 32), factor), 28);
    return _mm_or_si128(_mm_and_si128(even, _mm_set_epi32(0, -1, 0, -1)), _mm_slli_epi64(odd, 32));
}

// Four pixels starting at byte 0 of bytes (at least 13 valid bytes) as
// 32-bit lanes: pixel k in the lane of bytes 3k .. 3k + 3.
KMQX_SSE2 inline __m128i SpreadFourPixels(__m128i bytes) {
    const __m128i firstTwo = _mm_unpacklo_epi32(bytes, _mm_srli_si128(bytes, 3));
    const __m128i lastTwo = _mm_unpacklo_epi32(_mm_srli_si128(bytes, 6), _mm_srli_si128(bytes, 9));
    return _mm_unpacklo_epi64(firstTwo, lastTwo);
}

KMQX_SSE2 void RgbLumaRowSse2(const uint8_t* bgr, uint8_t* luma, int32_t width) {
    int32_t col = 0;
    // Eight pixels are 24 bytes, read as two 16-byte loads at bytes 0 and 12:
    // the group needs 28 bytes of the row, so the last two pixels of the row
    // are left to the scalar code and nothing beyond the row is read.
    for (; col + 10 <= width; col += 8) {
        const uint8_t* p = bgr + 3 * size_t(col);
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
        const __m128i words = _mm_packs_epi32(FourLumas(SpreadFourPixels(first)),
                                              FourLumas(SpreadFourPixels(second)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(luma + col), _mm_packus_epi16(words, words));
    }
    ScalarSourceKernels().rgbLumaRow(bgr + 3 * size_t(col), luma + col, width - col);
}

}  // namespace

bool UpgradeSourceKernelsSse2(SourceKernels& kernels) {
    kernels.rgbLumaRow = RgbLumaRowSse2;
    return true;
}

#else

bool UpgradeSourceKernelsSse2(SourceKernels&) {
    return false;
}

#endif

}  // namespace kmqx
