#pragma once
#include <cstdint>

#include "encoder/macroblock_info.h"

namespace kmqx {

// Whether a 4x4 block whose sums differ by `difference` (0..4080) counts as
// changed under threshold A. The comparison is made in 16-bit wrapping
// arithmetic: A = 0 makes every block differ, A in 1..32767 means
// difference >= A, and negative values of A behave as the 16-bit wrap says.
bool BlockSumsDiffer(int32_t difference, int16_t thresholdA);

// The largest difference of two 4x4 block sums.
constexpr int32_t kMaxBlockSumDifference = 16 * 255;

// Whether BlockSumsDiffer holds for every difference 0..4080 under A, so
// that every macroblock counts as changed whatever the pictures hold.
bool EveryBlockSumsDiffer(int16_t thresholdA);

// Marks every macroblock of macroblock row `row` changed (1) or unchanged
// (-1) by comparing the sums of its 4x4 blocks in the current and reference
// luma planes (both of pitch `width`), band of four rows by band, stopping at
// the first differing band. width is a multiple of 16 and matches the grid. The encoder marks each
// row just before coding it, while its samples are still in the cache.
void DetectChangesInRow(const uint8_t* current, const uint8_t* reference, int32_t width,
                        int32_t row, int16_t thresholdA, MacroblockGrid& grid);

}  // namespace kmqx
