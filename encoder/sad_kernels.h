#pragma once
#include <cstdint>

#include "common/kernel_selection.h"

namespace kmqx {

// Block kernels of the motion analysis. Every kernel is defined by its exact
// integer result; the scalar table is the reference and a faster table must
// give the same results bit for bit.
//
// "Limited" kernels accumulate an 8x8 SAD one row at a time and return after
// the first row at which the running sum reaches `limit` (sum >= limit). They
// always compute at least one row. The returned partial sum is part of the
// result: callers compare it with other costs.
struct MotionKernels {
    // SAD of an 8x8 block stored 8 bytes a row against `ref` (pitch refStride).
    int32_t (*sad8x8)(const uint8_t* block, const uint8_t* ref, int32_t refStride);
    int32_t (*sad8x8Limited)(const uint8_t* block, const uint8_t* ref, int32_t refStride,
                             int32_t limit);
    // Copies the 16x16 area at `topLeft` into four 8x8 blocks stored one
    // after the other, 8 bytes a row: top left, top right, bottom left,
    // bottom right. With it, sads[k]: sad8x8 of block k against the same
    // block of the 16x16 area at `ref` (the macroblock's blocks scored).
    // Returns the sum of the 256 samples.
    int32_t (*loadMacroblockWithSads)(const uint8_t* topLeft, int32_t stride, const uint8_t* ref,
                                      int32_t refStride, uint8_t* blocks, int32_t sads[4]);
    // sad8x8 of two blocks stored one after the other (left, then right)
    // against the 16x8 area at `ref`: one half of the macroblock's blocks
    // scored.
    void (*sad16x8Blocks)(const uint8_t* blocks, const uint8_t* ref, int32_t refStride,
                          int32_t sads[2]);
    // The four blocks scored (sad8x8 each) against each of the nine 16x16
    // candidates whose top-left corners are `ref` + dx + dy * refStride, dx
    // and dy in 0..2: sads[3 * dy + dx]. Returns the lowest of the nine
    // candidates' totals (the sums of their four SADs).
    int32_t (*sad16x16Neighbourhood)(const uint8_t* blocks, const uint8_t* ref, int32_t refStride,
                                     int32_t sads[9][4]);
    // Sum of |sample - mean| over the four blocks laid out as above, one row
    // group at a time (row r of every block), returning after the first group
    // at which the sum reaches `limit`. Always computes at least one group.
    int32_t (*meanDeviation)(const uint8_t* blocks, int32_t mean, int32_t limit);
    // Sums of the four 4x4 blocks of a band of 4 rows and 16 columns.
    void (*bandSums)(const uint8_t* samples, int32_t stride, int32_t sums[4]);
    // Half-pel samples, 16 a row for `rows` rows (16 or 17), into `out`
    // (pitch 17). `src` is the top-left of the samples the first output
    // depends on:
    //   horizontal: (s[j] + s[j+1] + 1) >> 1
    //   vertical:   (s[j] + s[j+stride] + 1) >> 1
    //   diagonal:   (s[j] + s[j+1] + s[j+stride] + s[j+stride+1] + 2) >> 2
    void (*interpolateHorizontal)(const uint8_t* src, int32_t srcStride, uint8_t* out,
                                  int32_t rows);
    void (*interpolateVertical)(const uint8_t* src, int32_t srcStride, uint8_t* out, int32_t rows);
    void (*interpolateDiagonal)(const uint8_t* src, int32_t srcStride, uint8_t* out, int32_t rows);
    // The whole 17x17 diagonal plane (pitch 17) from the 18x18 samples at
    // `src`: interpolateDiagonal of 17 rows at columns 0 and 1 together. With
    // it, the SAD of each block k of the four laid out as above against each
    // of the plane's four 16x16 windows w (top-left entry (w >> 1, w & 1)):
    // sads[w][k].
    void (*interpolateDiagonalPlaneWithSads)(const uint8_t* src, int32_t srcStride,
                                             const uint8_t* blocks, uint8_t* plane,
                                             int32_t sads[4][4]);
    // For each block k of the four laid out as above and each row r, the SAD
    // of rows 0..r of block k against the same rows of the 16x16 window
    // (pitch 17): the running sums a limited SAD stops on.
    void (*windowRowSadSums)(const uint8_t* window, const uint8_t* blocks, uint16_t sums[4][8]);
};

constexpr int32_t kHalfPelPlaneStride = 17;

// The lowest total of sad16x16Neighbourhood's nine candidates.
inline int32_t LowestNeighbourhoodTotal(const int32_t sads[9][4]) {
    int32_t lowest = sads[0][0] + sads[0][1] + sads[0][2] + sads[0][3];
    for (int i = 1; i < 9; ++i) {
        const int32_t total = sads[i][0] + sads[i][1] + sads[i][2] + sads[i][3];
        lowest = total < lowest ? total : lowest;
    }
    return lowest;
}

const MotionKernels& ScalarMotionKernels();
// Replaces entries by SSE2 versions; false (and nothing changed) where this
// build has none.
bool UpgradeMotionKernelsSse2(MotionKernels& kernels);
// Likewise for AVX2, applied on top of the SSE2 entries.
bool UpgradeMotionKernelsAvx2(MotionKernels& kernels);
// The kernels for this processor: scalar, upgraded where the CPU allows
// (scalar under KMQX_NO_SIMD=1). Inline: the search asks for them several
// times a macroblock.
inline const MotionKernels& GetMotionKernels() {
    static const MotionKernels kernels =
        SelectKernels(ScalarMotionKernels(), UpgradeMotionKernelsSse2, UpgradeMotionKernelsAvx2);
    return kernels;
}

}  // namespace kmqx
