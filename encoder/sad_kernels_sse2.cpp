// SSE2 versions of the motion kernels; each gives exactly the scalar result.
#include "common/sse2.h"
#include "encoder/sad_kernels.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {

KMQX_SSE2 inline __m128i LoadRow(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

KMQX_SSE2 inline __m128i LoadRowPair(const uint8_t* p, int32_t stride) {
    return _mm_unpacklo_epi64(LoadRow(p), LoadRow(p + stride));
}

KMQX_SSE2 inline __m128i LoadBlockRows(const uint8_t* block, int row) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * row));
}

// psadbw leaves the SAD of the low 8 bytes in bits 0..15 and that of the high
// 8 bytes in bits 64..79.
KMQX_SSE2 inline int32_t LowSad(__m128i sad) {
    return _mm_cvtsi128_si32(sad);
}
KMQX_SSE2 inline int32_t HighSad(__m128i sad) {
    return _mm_extract_epi16(sad, 4);
}

// Adds the SADs of two rows to `sum` one row at a time; true when the limit
// was reached (then `sum` includes exactly the rows up to that one).
KMQX_SSE2 inline bool AddRowPair(__m128i sad, int32_t& sum, int32_t limit) {
    sum += LowSad(sad);
    if (sum >= limit) return true;
    sum += HighSad(sad);
    return sum >= limit;
}

KMQX_SSE2 int32_t Sad8x8(const uint8_t* block, const uint8_t* ref, int32_t refStride) {
    __m128i acc = _mm_setzero_si128();
    for (int i = 0; i < 8; i += 2) {
        __m128i sad =
            _mm_sad_epu8(LoadBlockRows(block, i), LoadRowPair(ref + i * refStride, refStride));
        acc = _mm_add_epi32(acc, sad);
    }
    return LowSad(acc) + HighSad(acc);
}

KMQX_SSE2 int32_t Sad8x8Limited(const uint8_t* block, const uint8_t* ref, int32_t refStride,
                                int32_t limit) {
    int32_t sum = 0;
    for (int i = 0; i < 8; i += 2) {
        __m128i sad =
            _mm_sad_epu8(LoadBlockRows(block, i), LoadRowPair(ref + i * refStride, refStride));
        if (AddRowPair(sad, sum, limit)) break;
    }
    return sum;
}

// Rows i of the two blocks at `left` and `left + 64`, as one 16-byte row.
KMQX_SSE2 inline void LoadBlockPairRows(const uint8_t* left, int i, __m128i& first,
                                        __m128i& second) {
    const __m128i a = LoadBlockRows(left, i), b = LoadBlockRows(left + 64, i);
    first = _mm_unpacklo_epi64(a, b);
    second = _mm_unpackhi_epi64(a, b);
}

KMQX_SSE2 inline __m128i LoadWide(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

KMQX_SSE2 void Sad16x16Blocks(const uint8_t* blocks, const uint8_t* ref, int32_t refStride,
                              int32_t sads[4]) {
    __m128i top = _mm_setzero_si128(), bottom = _mm_setzero_si128();
    const uint8_t* lower = ref + 8 * refStride;
    for (int i = 0; i < 8; i += 2) {
        __m128i first, second;
        LoadBlockPairRows(blocks, i, first, second);
        top = _mm_add_epi32(top, _mm_sad_epu8(first, LoadWide(ref + i * refStride)));
        top = _mm_add_epi32(top, _mm_sad_epu8(second, LoadWide(ref + (i + 1) * refStride)));
        LoadBlockPairRows(blocks + 128, i, first, second);
        bottom = _mm_add_epi32(bottom, _mm_sad_epu8(first, LoadWide(lower + i * refStride)));
        bottom = _mm_add_epi32(bottom, _mm_sad_epu8(second, LoadWide(lower + (i + 1) * refStride)));
    }
    sads[0] = LowSad(top);
    sads[1] = HighSad(top);
    sads[2] = LowSad(bottom);
    sads[3] = HighSad(bottom);
}

// psadbw against the mean is exactly the sum of |sample - mean| for a mean
// that is a byte; other means take the scalar way.
KMQX_SSE2 int32_t MeanDeviation(const uint8_t* blocks, int32_t mean, int32_t limit) {
    if (mean < 0 || mean > 255) return ScalarMotionKernels().meanDeviation(blocks, mean, limit);
    const __m128i means = _mm_set1_epi8(static_cast<char>(mean));
    int32_t deviation = 0;
    for (int i = 0; i < 8; i += 2) {
        __m128i sums = _mm_sad_epu8(LoadBlockRows(blocks, i), means);
        for (int k = 1; k < 4; ++k)
            sums = _mm_add_epi32(sums, _mm_sad_epu8(LoadBlockRows(blocks + 64 * k, i), means));
        if (AddRowPair(sums, deviation, limit)) break;
    }
    return deviation;
}

KMQX_SSE2 void BandSums(const uint8_t* samples, int32_t stride, int32_t sums[4]) {
    // Bytes 0-3 and 8-11 of each 8-byte lane group, then 4-7 and 12-15.
    const __m128i lowHalves = _mm_set_epi32(0, -1, 0, -1);
    const __m128i zero = _mm_setzero_si128();
    __m128i evenBlocks = zero;  // blocks 0 and 2
    __m128i oddBlocks = zero;   // blocks 1 and 3
    for (int i = 0; i < 4; ++i) {
        __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i * stride));
        evenBlocks = _mm_add_epi32(evenBlocks, _mm_sad_epu8(_mm_and_si128(row, lowHalves), zero));
        oddBlocks = _mm_add_epi32(oddBlocks, _mm_sad_epu8(_mm_srli_epi64(row, 32), zero));
    }
    sums[0] = LowSad(evenBlocks);
    sums[1] = LowSad(oddBlocks);
    sums[2] = HighSad(evenBlocks);
    sums[3] = HighSad(oddBlocks);
}

KMQX_SSE2 inline void StoreRowPair(uint8_t* out, __m128i rows) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), rows);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + kHalfPelPlaneStride),
                     _mm_unpackhi_epi64(rows, rows));
}

// pavgb is exactly (a + b + 1) >> 1.
KMQX_SSE2 int32_t HalfPelHorizontal(const uint8_t* src, int32_t srcStride, const uint8_t* block,
                                    uint8_t* out, int32_t limit) {
    int32_t sum = 0;
    for (int i = 0; i < 8; i += 2) {
        const uint8_t* s = src + i * srcStride;
        __m128i rows = _mm_avg_epu8(LoadRowPair(s, srcStride), LoadRowPair(s + 1, srcStride));
        StoreRowPair(out + i * kHalfPelPlaneStride, rows);
        if (AddRowPair(_mm_sad_epu8(LoadBlockRows(block, i), rows), sum, limit)) break;
    }
    return sum;
}

KMQX_SSE2 int32_t HalfPelVertical(const uint8_t* src, int32_t srcStride, const uint8_t* block,
                                  uint8_t* out, int32_t limit) {
    int32_t sum = 0;
    for (int i = 0; i < 8; i += 2) {
        const uint8_t* s = src + i * srcStride;
        __m128i rows =
            _mm_avg_epu8(LoadRowPair(s, srcStride), LoadRowPair(s + srcStride, srcStride));
        StoreRowPair(out + i * kHalfPelPlaneStride, rows);
        if (AddRowPair(_mm_sad_epu8(LoadBlockRows(block, i), rows), sum, limit)) break;
    }
    return sum;
}

// Sum of each sample and its right neighbour, as eight 16-bit values.
KMQX_SSE2 inline __m128i PairSums(const uint8_t* s) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_add_epi16(_mm_unpacklo_epi8(LoadRow(s), zero),
                         _mm_unpacklo_epi8(LoadRow(s + 1), zero));
}

KMQX_SSE2 int32_t HalfPelDiagonal(const uint8_t* src, int32_t srcStride, const uint8_t* block,
                                  uint8_t* out, int32_t limit) {
    const __m128i two = _mm_set1_epi16(2);
    int32_t sum = 0;
    __m128i above = PairSums(src);
    for (int i = 0; i < 8; i += 2) {
        __m128i middle = PairSums(src + (i + 1) * srcStride);
        __m128i below = PairSums(src + (i + 2) * srcStride);
        __m128i first = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above, middle), two), 2);
        __m128i second = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(middle, below), two), 2);
        __m128i rows = _mm_packus_epi16(first, second);
        StoreRowPair(out + i * kHalfPelPlaneStride, rows);
        if (AddRowPair(_mm_sad_epu8(LoadBlockRows(block, i), rows), sum, limit)) break;
        above = below;
    }
    return sum;
}

// Each case reads exactly the samples its formula uses.
KMQX_SSE2 void Predict8x8(const uint8_t* src, int32_t srcStride, int32_t halfX, int32_t halfY,
                          uint8_t prediction[64]) {
    __m128i* out = reinterpret_cast<__m128i*>(prediction);
    if (halfX && halfY) {
        const __m128i two = _mm_set1_epi16(2);
        __m128i above = PairSums(src);
        for (int i = 0; i < 8; i += 2) {
            const __m128i middle = PairSums(src + (i + 1) * srcStride);
            const __m128i below = PairSums(src + (i + 2) * srcStride);
            const __m128i first =
                _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above, middle), two), 2);
            const __m128i second =
                _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(middle, below), two), 2);
            _mm_storeu_si128(out + i / 2, _mm_packus_epi16(first, second));
            above = below;
        }
    } else if (halfX) {
        for (int i = 0; i < 8; i += 2) {
            const uint8_t* s = src + i * srcStride;
            _mm_storeu_si128(out + i / 2, _mm_avg_epu8(LoadRowPair(s, srcStride),
                                                       LoadRowPair(s + 1, srcStride)));
        }
    } else if (halfY) {
        for (int i = 0; i < 8; i += 2) {
            const uint8_t* s = src + i * srcStride;
            _mm_storeu_si128(out + i / 2, _mm_avg_epu8(LoadRowPair(s, srcStride),
                                                       LoadRowPair(s + srcStride, srcStride)));
        }
    } else {
        for (int i = 0; i < 8; i += 2)
            _mm_storeu_si128(out + i / 2, LoadRowPair(src + i * srcStride, srcStride));
    }
}

}  // namespace

bool UpgradeMotionKernelsSse2(MotionKernels& kernels) {
    kernels.sad8x8 = Sad8x8;
    kernels.sad8x8Limited = Sad8x8Limited;
    kernels.sad16x16Blocks = Sad16x16Blocks;
    kernels.meanDeviation = MeanDeviation;
    kernels.bandSums = BandSums;
    kernels.halfPelHorizontal = HalfPelHorizontal;
    kernels.halfPelVertical = HalfPelVertical;
    kernels.halfPelDiagonal = HalfPelDiagonal;
    kernels.predict8x8 = Predict8x8;
    return true;
}

#else

bool UpgradeMotionKernelsSse2(MotionKernels&) {
    return false;
}

#endif

}  // namespace kmqx
