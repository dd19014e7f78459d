// SSE2 versions of the prediction and reconstruction kernels; they
// give exactly the scalar bytes. Entry points realign the stack, since a
// 32-bit build may spill their registers. The two-sample means are _mm_avg_epu8, whose
// rounding is the scalar (a + b + 1) >> 1; the four-sample mean works in
// 16 bits and reuses each row's horizontal sums for the row below.
#include "common/prediction_kernels.h"
#include "common/sse2.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {

// Loads and stores of one row: 16 bytes, or 8 for chroma, so that nothing
// beyond the block's own samples is touched.
template <int kSize>
KMQX_SSE2 inline __m128i LoadRow(const uint8_t* p) {
    if (kSize == 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

template <int kSize>
KMQX_SSE2 inline void StoreRow(uint8_t* p, __m128i v) {
    if (kSize == 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    }
}

template <int kSize>
KMQX_SSE2_ENTRY void PredictCopy(const uint8_t* src, int32_t srcPitch, uint8_t* dst,
                                 int32_t dstPitch) {
    for (int32_t r = 0; r < kSize; ++r, src += srcPitch, dst += dstPitch)
        StoreRow<kSize>(dst, LoadRow<kSize>(src));
}

template <int kSize>
KMQX_SSE2_ENTRY void PredictHorizontal(const uint8_t* src, int32_t srcPitch, uint8_t* dst,
                                       int32_t dstPitch) {
    for (int32_t r = 0; r < kSize; ++r, src += srcPitch, dst += dstPitch)
        StoreRow<kSize>(dst, _mm_avg_epu8(LoadRow<kSize>(src), LoadRow<kSize>(src + 1)));
}

template <int kSize>
KMQX_SSE2_ENTRY void PredictVertical(const uint8_t* src, int32_t srcPitch, uint8_t* dst,
                                     int32_t dstPitch) {
    __m128i above = LoadRow<kSize>(src);
    for (int32_t r = 0; r < kSize; ++r, dst += dstPitch) {
        src += srcPitch;
        const __m128i below = LoadRow<kSize>(src);
        StoreRow<kSize>(dst, _mm_avg_epu8(above, below));
        above = below;
    }
}

// a[i] + a[i + 1] of one row in 16 bits: the low and high eight samples.
struct RowSums {
    __m128i low;
    __m128i high;
};

template <int kSize>
KMQX_SSE2 inline RowSums PairSums(const uint8_t* p) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = LoadRow<kSize>(p);
    const __m128i b = LoadRow<kSize>(p + 1);
    RowSums sums;
    sums.low = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    sums.high =
        kSize == 16 ? _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)) : zero;
    return sums;
}

template <int kSize>
KMQX_SSE2_ENTRY void PredictDiagonal(const uint8_t* src, int32_t srcPitch, uint8_t* dst,
                                     int32_t dstPitch) {
    const __m128i two = _mm_set1_epi16(2);
    RowSums above = PairSums<kSize>(src);
    for (int32_t r = 0; r < kSize; ++r, dst += dstPitch) {
        src += srcPitch;
        const RowSums below = PairSums<kSize>(src);
        const __m128i low =
            _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above.low, below.low), two), 2);
        const __m128i high =
            _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above.high, below.high), two), 2);
        StoreRow<kSize>(dst, _mm_packus_epi16(low, high));
        above = below;
    }
}

// Two rows of eight samples at a time: residual rows r and r + 1.
KMQX_SSE2_ENTRY void AddBlockSse2(const int16_t residual[64], uint8_t* dst, int32_t pitch) {
    const __m128i zero = _mm_setzero_si128();
    for (int32_t r = 0; r < 8; r += 2, dst += 2 * pitch) {
        const __m128i first = _mm_unpacklo_epi8(LoadRow<8>(dst), zero);
        const __m128i second = _mm_unpacklo_epi8(LoadRow<8>(dst + pitch), zero);
        const __m128i* rows = reinterpret_cast<const __m128i*>(residual + 8 * r);
        // Saturating adds clip to the same byte as the exact sums would.
        const __m128i packed = _mm_packus_epi16(_mm_adds_epi16(first, _mm_loadu_si128(rows)),
                                                _mm_adds_epi16(second, _mm_loadu_si128(rows + 1)));
        StoreRow<8>(dst, packed);
        StoreRow<8>(dst + pitch, _mm_srli_si128(packed, 8));
    }
}

KMQX_SSE2_ENTRY void PutBlockSse2(const int16_t residual[64], uint8_t* dst, int32_t pitch) {
    for (int32_t r = 0; r < 8; r += 2, dst += 2 * pitch) {
        const __m128i* rows = reinterpret_cast<const __m128i*>(residual + 8 * r);
        const __m128i packed = _mm_packus_epi16(_mm_loadu_si128(rows), _mm_loadu_si128(rows + 1));
        StoreRow<8>(dst, packed);
        StoreRow<8>(dst + pitch, _mm_srli_si128(packed, 8));
    }
}

}  // namespace

bool UpgradePredictionKernelsSse2(PredictionKernels& kernels) {
    kernels.predict16[0] = PredictCopy<16>;
    kernels.predict16[1] = PredictHorizontal<16>;
    kernels.predict16[2] = PredictVertical<16>;
    kernels.predict16[3] = PredictDiagonal<16>;
    kernels.predict8[0] = PredictCopy<8>;
    kernels.predict8[1] = PredictHorizontal<8>;
    kernels.predict8[2] = PredictVertical<8>;
    kernels.predict8[3] = PredictDiagonal<8>;
    kernels.addBlock = AddBlockSse2;
    kernels.putBlock = PutBlockSse2;
    return true;
}

#else

bool UpgradePredictionKernelsSse2(PredictionKernels&) {
    return false;
}

#endif

}  // namespace kmqx
