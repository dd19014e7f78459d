// SSE2 versions of the output conversion's row kernels; they give exactly the
// scalar bytes.
#include <cstring>

#include "common/sse2.h"
#include "convert/output_kernels.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {

// 1747 y - 199 B - 521 R for four pixels, from lanes (y, B) and (R, 0).
KMQX_SSE2 inline __m128i GreenSums(__m128i lumaBlue, __m128i redZero) {
    const __m128i lumaBlueWeights = _mm_set1_epi32(int32_t(uint32_t(uint16_t(-199)) << 16 | 1747));
    const __m128i redWeights = _mm_set1_epi32(uint16_t(-521));
    return _mm_add_epi32(_mm_madd_epi16(lumaBlue, lumaBlueWeights),
                         _mm_madd_epi16(redZero, redWeights));
}

// Eight pixels' G as 16-bit values, from their lumas, B and R (16-bit).
KMQX_SSE2 inline __m128i Green(__m128i y, __m128i b, __m128i r) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low =
        _mm_srai_epi32(GreenSums(_mm_unpacklo_epi16(y, b), _mm_unpacklo_epi16(r, zero)), 10);
    const __m128i high =
        _mm_srai_epi32(GreenSums(_mm_unpackhi_epi16(y, b), _mm_unpackhi_epi16(r, zero)), 10);
    return _mm_packs_epi32(low, high);
}

// Four pixels held as 32-bit B, G, R, 0 written as 12 bytes B, G, R.
KMQX_SSE2 inline void StoreFourPixels(__m128i pixels, uint8_t* dst) {
    const __m128i firstOfPair = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    // In each 64-bit lane: the first pixel in bytes 0..2, the second in 3..5.
    const __m128i pairs = _mm_or_si128(_mm_and_si128(pixels, firstOfPair),
                                       _mm_srli_epi64(_mm_andnot_si128(firstOfPair, pixels), 8));
    const __m128i packed =
        _mm_or_si128(_mm_move_epi64(pairs), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), packed);
    const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
    std::memcpy(dst + 8, &last, 4);
}

// Sixteen pixels (eight pairs) as B, G and R bytes.
struct SixteenPixels {
    __m128i blue, green, red;
};

KMQX_SSE2 inline SixteenPixels ConvertSixteen(const uint8_t* luma, const int16_t* blueTerms,
                                              const int16_t* redTerms) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma));
    const __m128i yLow = _mm_unpacklo_epi8(y8, zero);
    const __m128i yHigh = _mm_unpackhi_epi8(y8, zero);
    const __m128i bt = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blueTerms));
    const __m128i rt = _mm_loadu_si128(reinterpret_cast<const __m128i*>(redTerms));
    SixteenPixels p;
    // Each pair's terms serve both of its pixels.
    p.blue = _mm_packus_epi16(_mm_add_epi16(yLow, _mm_unpacklo_epi16(bt, bt)),
                              _mm_add_epi16(yHigh, _mm_unpackhi_epi16(bt, bt)));
    p.red = _mm_packus_epi16(_mm_add_epi16(yLow, _mm_unpacklo_epi16(rt, rt)),
                             _mm_add_epi16(yHigh, _mm_unpackhi_epi16(rt, rt)));
    const __m128i gLow =
        Green(yLow, _mm_unpacklo_epi8(p.blue, zero), _mm_unpacklo_epi8(p.red, zero));
    const __m128i gHigh =
        Green(yHigh, _mm_unpackhi_epi8(p.blue, zero), _mm_unpackhi_epi8(p.red, zero));
    p.green = _mm_packus_epi16(gLow, gHigh);
    return p;
}

// Four pixels held as 32-bit B, G, R, 0, stored as kPixelBytes each.
template <size_t kPixelBytes>
KMQX_SSE2 inline void StorePixels(__m128i pixels, uint8_t* dst) {
    if (kPixelBytes == 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), pixels);
    else
        StoreFourPixels(pixels, dst);
}

// B, G, R (kPixelBytes 3) or B, G, R, 0 (kPixelBytes 4) pixels of a row.
template <size_t kPixelBytes>
KMQX_SSE2 void RgbRowSse2(const uint8_t* luma, const int16_t* blueTerms, const int16_t* redTerms,
                          uint8_t* dst, int32_t pairs) {
    const __m128i zero = _mm_setzero_si128();
    int32_t j = 0;
    for (; j + 8 <= pairs; j += 8) {
        const SixteenPixels p = ConvertSixteen(luma + 2 * j, blueTerms + j, redTerms + j);
        const __m128i blueGreenLow = _mm_unpacklo_epi8(p.blue, p.green);
        const __m128i blueGreenHigh = _mm_unpackhi_epi8(p.blue, p.green);
        const __m128i redLow = _mm_unpacklo_epi8(p.red, zero);
        const __m128i redHigh = _mm_unpackhi_epi8(p.red, zero);
        uint8_t* px = dst + 2 * kPixelBytes * size_t(j);
        StorePixels<kPixelBytes>(_mm_unpacklo_epi16(blueGreenLow, redLow), px);
        StorePixels<kPixelBytes>(_mm_unpackhi_epi16(blueGreenLow, redLow), px + 4 * kPixelBytes);
        StorePixels<kPixelBytes>(_mm_unpacklo_epi16(blueGreenHigh, redHigh), px + 8 * kPixelBytes);
        StorePixels<kPixelBytes>(_mm_unpackhi_epi16(blueGreenHigh, redHigh), px + 12 * kPixelBytes);
    }
    if (j < pairs) {
        const OutputKernels& scalar = ScalarOutputKernels();
        (kPixelBytes == 4 ? scalar.rgb32Row : scalar.rgbRow)(
            luma + 2 * j, blueTerms + j, redTerms + j, dst + 2 * kPixelBytes * size_t(j),
            pairs - j);
    }
}

KMQX_SSE2 void YuyvRowSse2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                           int32_t pairs) {
    int32_t j = 0;
    for (; j + 8 <= pairs; j += 8) {
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + 2 * j));
        const __m128i u = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + j));
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + j));
        // U0 V0 U1 V1 ..., then interleaved with the lumas: Y0 U0 Y1 V0 ...
        const __m128i uv = _mm_unpacklo_epi8(u, v);
        uint8_t* out = dst + 4 * size_t(j);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(y, uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(y, uv));
    }
    if (j < pairs)
        ScalarOutputKernels().yuyvRow(luma + 2 * j, cb + j, cr + j, dst + 4 * size_t(j), pairs - j);
}

}  // namespace

bool UpgradeOutputKernelsSse2(OutputKernels& kernels) {
    kernels.rgbRow = RgbRowSse2<3>;
    kernels.rgb32Row = RgbRowSse2<4>;
    kernels.yuyvRow = YuyvRowSse2;
    return true;
}

#else

bool UpgradeOutputKernelsSse2(OutputKernels&) {
    return false;
}

#endif

}  // namespace kmqx
