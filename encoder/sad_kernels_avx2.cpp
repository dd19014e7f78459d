// AVX2 versions of the motion kernels; each gives exactly the scalar result.
// The SSE2 bodies in the three-operand encoding, and whole-macroblock SADs
// four rows at a time.
#include "common/avx2.h"
#include "encoder/sad_kernels.h"

namespace kmqx {

#if KMQX_HAVE_AVX2_KERNELS

namespace {
namespace avx2 {
#define KMQX_VECTOR KMQX_AVX2
#define KMQX_VECTOR_ENTRY KMQX_AVX2_ENTRY
#include "encoder/sad_kernels_x86.inc"
#undef KMQX_VECTOR
#undef KMQX_VECTOR_ENTRY

// 16 bytes at `low` in lane 0 and at `high` in lane 1.
KMQX_AVX2 inline __m256i LoadLanes(const uint8_t* low, const uint8_t* high) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

// The SAD sums in the four quadwords of `sums`, as four 32-bit values.
KMQX_AVX2 inline __m128i QuadwordSums(__m256i sums) {
    return _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(sums, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
}

// Rows `row` and `row + apart` of the 16-wide area at `p`, one per lane.
KMQX_AVX2 inline __m256i LoadRowsApart(const uint8_t* p, int32_t stride, int row, int apart) {
    return LoadLanes(p + row * stride, p + (row + apart) * stride);
}

// SADs of two side-by-side blocks (at `left`, `left + 64`) against the 16-wide
// area at `ref`: the left block's in the even quadwords, the right one's in
// the odd ones.
KMQX_AVX2 inline __m256i BlockPairSads(const uint8_t* left, const uint8_t* ref, int32_t stride) {
    __m256i sums = _mm256_setzero_si256();
    for (int i = 0; i < 8; i += 4) {
        // Lane 0 holds rows i and i + 1 of a block, lane 1 rows i + 2 and i + 3.
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left + 8 * i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left + 64 + 8 * i));
        const __m256i evenRows = _mm256_unpacklo_epi64(a, b);  // rows i, i + 2
        const __m256i oddRows = _mm256_unpackhi_epi64(a, b);   // rows i + 1, i + 3
        sums = _mm256_add_epi32(sums, _mm256_sad_epu8(evenRows, LoadRowsApart(ref, stride, i, 2)));
        sums =
            _mm256_add_epi32(sums, _mm256_sad_epu8(oddRows, LoadRowsApart(ref, stride, i + 1, 2)));
    }
    return sums;
}

KMQX_AVX2_ENTRY void Sad16x8BlocksWide(const uint8_t* blocks, const uint8_t* ref, int32_t refStride,
                                       int32_t sads[2]) {
    const __m256i pair = BlockPairSads(blocks, ref, refStride);
    const __m128i sums =
        _mm_add_epi32(_mm256_castsi256_si128(pair), _mm256_extracti128_si256(pair, 1));
    sads[0] = _mm_cvtsi128_si32(sums);
    sads[1] = _mm_extract_epi16(sums, 4);
}

// Lane 0 holds row r and lane 1 row r + 8, so that each SAD scores one row of
// all four blocks, one per quadword.
KMQX_AVX2_ENTRY int32_t LoadMacroblockWithSadsWide(const uint8_t* topLeft, int32_t stride,
                                                   const uint8_t* ref, int32_t refStride,
                                                   uint8_t* blocks, int32_t sads[4]) {
    __m256i sums = _mm256_setzero_si256();
    __m256i samples = _mm256_setzero_si256();
    for (int r = 0; r < 8; r += 2) {
        const __m256i first = LoadRowsApart(topLeft, stride, r, 8);
        const __m256i second = LoadRowsApart(topLeft, stride, r + 1, 8);
        const __m256i left = _mm256_unpacklo_epi64(first, second);   // blocks 0 | 2
        const __m256i right = _mm256_unpackhi_epi64(first, second);  // blocks 1 | 3
        auto* out = reinterpret_cast<__m128i*>(blocks + 8 * r);
        _mm_storeu_si128(out, _mm256_castsi256_si128(left));
        _mm_storeu_si128(out + 4, _mm256_castsi256_si128(right));
        _mm_storeu_si128(out + 8, _mm256_extracti128_si256(left, 1));
        _mm_storeu_si128(out + 12, _mm256_extracti128_si256(right, 1));
        sums = _mm256_add_epi32(sums, _mm256_sad_epu8(first, LoadRowsApart(ref, refStride, r, 8)));
        sums = _mm256_add_epi32(sums,
                                _mm256_sad_epu8(second, LoadRowsApart(ref, refStride, r + 1, 8)));
        samples = _mm256_add_epi32(samples, _mm256_sad_epu8(first, _mm256_setzero_si256()));
        samples = _mm256_add_epi32(samples, _mm256_sad_epu8(second, _mm256_setzero_si256()));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sads), QuadwordSums(sums));
    const __m128i halves =
        _mm_add_epi32(_mm256_castsi256_si128(samples), _mm256_extracti128_si256(samples, 1));
    return _mm_cvtsi128_si32(_mm_add_epi32(halves, _mm_unpackhi_epi64(halves, halves)));
}

// Lane 0 holds the top blocks' rows and lane 1 the bottom blocks' rows eight
// below, so that one pass over the reference rows scores both halves.
KMQX_AVX2_ENTRY int32_t Sad16x16NeighbourhoodWide(const uint8_t* blocks, const uint8_t* ref,
                                                  int32_t refStride, int32_t sads[9][4]) {
    __m256i current[8];
    for (int r = 0; r < 8; ++r) {
        const __m128i top =
            _mm_unpacklo_epi64(LoadRow(blocks + 8 * r), LoadRow(blocks + 64 + 8 * r));
        const __m128i bottom =
            _mm_unpacklo_epi64(LoadRow(blocks + 128 + 8 * r), LoadRow(blocks + 192 + 8 * r));
        current[r] = _mm256_inserti128_si256(_mm256_castsi128_si256(top), bottom, 1);
    }
    // One column offset at a time keeps the current rows and three sums in
    // registers; each reference row pair is loaded once.
    __m128i lowest = _mm_set1_epi32(INT32_MAX);
#pragma GCC unroll 3
    for (int dx = 0; dx < 3; ++dx) {
        __m256i sums[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
#pragma GCC unroll 10
        for (int j = 0; j < 10; ++j) {
            const __m256i rows = LoadRowsApart(ref + dx, refStride, j, 8);
#pragma GCC unroll 3
            for (int dy = 0; dy < 3; ++dy) {
                const int r = j - dy;
                if (r >= 0 && r < 8)
                    sums[dy] = _mm256_add_epi32(sums[dy], _mm256_sad_epu8(current[r], rows));
            }
            AddInOrder(sums[0], sums[1], sums[2]);
        }
        // Each sum holds blocks 0, 1, 2, 3 in its four quadwords.
        __m128i packed[3];
        for (int dy = 0; dy < 3; ++dy) {
            packed[dy] = QuadwordSums(sums[dy]);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sads[3 * dy + dx]), packed[dy]);
        }
        // The three candidates' totals, the last one twice.
        const __m128i totals = _mm_hadd_epi32(_mm_hadd_epi32(packed[0], packed[1]),
                                              _mm_hadd_epi32(packed[2], packed[2]));
        lowest = _mm_min_epi32(lowest, totals);
    }
    lowest = _mm_min_epi32(lowest, _mm_shuffle_epi32(lowest, 0x4E));
    lowest = _mm_min_epi32(lowest, _mm_shuffle_epi32(lowest, 0xB1));
    return _mm_cvtsi128_si32(lowest);
}

// The top blocks in lane 0 and the bottom ones in lane 1: each SAD gives one
// row of all four blocks.
KMQX_AVX2_ENTRY void WindowRowSadSumsWide(const uint8_t* window, const uint8_t* blocks,
                                          uint16_t sums[4][8]) {
    __m256i fields[2] = {_mm256_setzero_si256(), _mm256_setzero_si256()};  // rows 0-3, 4-7
    for (int r = 0; r < 8; r += 2) {
        const __m256i left = LoadLanes(blocks + 8 * r, blocks + 128 + 8 * r);  // blocks 0, 2
        const __m256i right = LoadLanes(blocks + 64 + 8 * r, blocks + 192 + 8 * r);
        const uint8_t* w = window + r * kHalfPelPlaneStride;
        const __m256i even = _mm256_sad_epu8(_mm256_unpacklo_epi64(left, right),
                                             LoadLanes(w, w + 8 * kHalfPelPlaneStride));
        const __m256i odd =
            _mm256_sad_epu8(_mm256_unpackhi_epi64(left, right),
                            LoadLanes(w + kHalfPelPlaneStride, w + 9 * kHalfPelPlaneStride));
        // Row r's SAD goes to 16-bit field r % 4 of its block's quadword.
        __m256i& group = fields[r / 4];
        group = _mm256_or_si256(group, (r & 2) ? _mm256_or_si256(_mm256_slli_epi64(even, 32),
                                                                 _mm256_slli_epi64(odd, 48))
                                               : _mm256_or_si256(even, _mm256_slli_epi64(odd, 16)));
    }
    __m256i first = _mm256_unpacklo_epi64(fields[0], fields[1]);   // blocks 0 | 2, rows 0-7
    __m256i second = _mm256_unpackhi_epi64(fields[0], fields[1]);  // blocks 1 | 3
    first = _mm256_add_epi16(first, _mm256_slli_si256(first, 2));
    second = _mm256_add_epi16(second, _mm256_slli_si256(second, 2));
    first = _mm256_add_epi16(first, _mm256_slli_si256(first, 4));
    second = _mm256_add_epi16(second, _mm256_slli_si256(second, 4));
    first = _mm256_add_epi16(first, _mm256_slli_si256(first, 8));
    second = _mm256_add_epi16(second, _mm256_slli_si256(second, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums[0]), _mm256_castsi256_si128(first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums[1]), _mm256_castsi256_si128(second));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums[2]), _mm256_extracti128_si256(first, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums[3]), _mm256_extracti128_si256(second, 1));
}

// Samples p[0..15] in lane 0 and p[1..16] in lane 1.
KMQX_AVX2 inline __m256i LoadShiftedPair(const uint8_t* p) {
    return LoadLanes(p, p + 1);
}

// Rows r..r + 3 (r a multiple of 4) of the macroblock laid out as four
// blocks: rows r and r + 2 in `even`, r + 1 and r + 3 in `odd`, one per lane.
KMQX_AVX2 inline void LoadMacroblockRowGroup(const uint8_t* blocks, int r, __m256i& even,
                                             __m256i& odd) {
    const uint8_t* left = blocks + 128 * (r >> 3) + 8 * (r & 7);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left + 64));
    even = _mm256_unpacklo_epi64(a, b);
    odd = _mm256_unpackhi_epi64(a, b);
}

// Columns 0..15 in lane 0 and 1..16 in lane 1, with the byte-average formula
// of InterpolateDiagonal; lane 1 is stored second, over the shared columns.
// Plane row i is row i of the windows at the top (w = 0, 1, one per lane) and
// row i - 1 of those below (w = 2, 3), so each plane row is scored against
// two macroblock rows while it is in a register.
KMQX_AVX2_ENTRY void InterpolateDiagonalPlaneWithSadsWide(const uint8_t* src, int32_t srcStride,
                                                          const uint8_t* blocks, uint8_t* plane,
                                                          int32_t sads[4][4]) {
    // sums[a][half]: windows of row a, the macroblock's top or bottom half;
    // lane b, and the left block in the low quadword of each lane.
    __m256i sums[2][2] = {{_mm256_setzero_si256(), _mm256_setzero_si256()},
                          {_mm256_setzero_si256(), _mm256_setzero_si256()}};
    __m256i above = _mm256_setzero_si256();  // macroblock row i - 1
    __m256i even = _mm256_setzero_si256(), odd = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi8(1);
    __m256i left = LoadShiftedPair(src), right = LoadShiftedPair(src + 1);
    __m256i aboveMean = _mm256_avg_epu8(left, right);
    __m256i aboveOdd = _mm256_xor_si256(left, right);
#pragma GCC unroll 17
    for (int i = 0; i < 17; ++i) {
        const uint8_t* s = src + (i + 1) * srcStride;
        left = LoadShiftedPair(s);
        right = LoadShiftedPair(s + 1);
        const __m256i belowMean = _mm256_avg_epu8(left, right);
        const __m256i belowOdd = _mm256_xor_si256(left, right);
        const __m256i excess =
            _mm256_and_si256(_mm256_and_si256(_mm256_or_si256(aboveOdd, belowOdd),
                                              _mm256_xor_si256(aboveMean, belowMean)),
                             ones);
        const __m256i rows = _mm256_sub_epi8(_mm256_avg_epu8(aboveMean, belowMean), excess);
        uint8_t* out = plane + i * kHalfPelPlaneStride;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(rows));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 1), _mm256_extracti128_si256(rows, 1));
        aboveMean = belowMean;
        aboveOdd = belowOdd;
        if (i >= 1) {
            __m256i& sum = sums[1][(i - 1) >> 3];
            sum = _mm256_add_epi32(sum, _mm256_sad_epu8(above, rows));
        }
        if (i <= 15) {
            if ((i & 3) == 0) LoadMacroblockRowGroup(blocks, i, even, odd);
            // Row i in both lanes.
            const __m256i pair = (i & 1) ? odd : even;
            above = (i & 2) ? _mm256_permute4x64_epi64(pair, 0xEE)
                            : _mm256_permute4x64_epi64(pair, 0x44);
            __m256i& sum = sums[0][i >> 3];
            sum = _mm256_add_epi32(sum, _mm256_sad_epu8(above, rows));
        }
        AddInOrder(sums[0][0], sums[0][1], sums[1][0], sums[1][1]);
    }
    for (int a = 0; a < 2; ++a) {
        for (int half = 0; half < 2; ++half) {
            // Windows (a, 0) and (a, 1), left and right block each.
            const __m128i packed = QuadwordSums(sums[a][half]);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(&sads[2 * a][2 * half]), packed);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(&sads[2 * a + 1][2 * half]),
                             _mm_unpackhi_epi64(packed, packed));
        }
    }
}

}  // namespace avx2
}  // namespace

bool UpgradeMotionKernelsAvx2(MotionKernels& kernels) {
    kernels.sad8x8 = avx2::Sad8x8;
    kernels.sad8x8Limited = avx2::Sad8x8Limited;
    kernels.loadMacroblockWithSads = avx2::LoadMacroblockWithSadsWide;
    kernels.sad16x8Blocks = avx2::Sad16x8BlocksWide;
    kernels.sad16x16Neighbourhood = avx2::Sad16x16NeighbourhoodWide;
    kernels.meanDeviation = avx2::MeanDeviation;
    kernels.bandSums = avx2::BandSums;
    kernels.interpolateHorizontal = avx2::InterpolateHorizontal;
    kernels.interpolateVertical = avx2::InterpolateVertical;
    kernels.interpolateDiagonal = avx2::InterpolateDiagonal;
    kernels.interpolateDiagonalPlaneWithSads = avx2::InterpolateDiagonalPlaneWithSadsWide;
    kernels.windowRowSadSums = avx2::WindowRowSadSumsWide;
    return true;
}

#else

bool UpgradeMotionKernelsAvx2(MotionKernels&) {
    return false;
}

#endif

}  // namespace kmqx
