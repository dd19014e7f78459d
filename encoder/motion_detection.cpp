#include "encoder/motion_detection.h"

#include <cstdlib>

#include "encoder/sad_kernels.h"

namespace kmqx {

bool BlockSumsDiffer(int32_t difference, int16_t thresholdA) {
    const uint16_t aMinusOne = static_cast<uint16_t>(static_cast<uint16_t>(thresholdA) - 1u);
    const uint16_t wrapped = static_cast<uint16_t>(static_cast<uint16_t>(difference) - aMinusOne);
    return static_cast<int16_t>(wrapped) > 0;
}

bool EveryBlockSumsDiffer(int16_t thresholdA) {
    // BlockSumsDiffer(d, A) is int16(d + (1 - A)) > 0. Over d = 0..4080 the
    // 16-bit sums d + (1 - A) run up from 1 - A without wrapping when they
    // start inside 1..32767 - 4080, and then all are positive.
    const uint16_t first = static_cast<uint16_t>(1 - thresholdA);
    return first >= 1 && first <= 32767 - kMaxBlockSumDifference;
}

namespace {

// Compares the macroblock whose top-left samples are `current` and `reference`.
bool MacroblockChanged(const MotionKernels& kernels, const uint8_t* current,
                       const uint8_t* reference, int32_t stride, int16_t thresholdA) {
    for (int band = 0; band < 4; ++band) {
        int32_t currentSums[4];
        int32_t referenceSums[4];
        kernels.bandSums(current + 4 * band * stride, stride, currentSums);
        kernels.bandSums(reference + 4 * band * stride, stride, referenceSums);
        for (int k = 0; k < 4; ++k)
            if (BlockSumsDiffer(std::abs(currentSums[k] - referenceSums[k]), thresholdA))
                return true;
    }
    return false;
}

}  // namespace

void DetectChangesInRow(const uint8_t* current, const uint8_t* reference, int32_t width,
                        int32_t row, int16_t thresholdA, MacroblockGrid& grid) {
    const MotionKernels& kernels = GetMotionKernels();
    // With the default A = 0 every macroblock has changed: no picture is read.
    const bool allChanged = EveryBlockSumsDiffer(thresholdA);
    for (int32_t column = 0; column < width / 16; ++column) {
        const size_t offset = static_cast<size_t>(16 * row) * width + 16 * column;
        const bool changed = allChanged || MacroblockChanged(kernels, current + offset,
                                                             reference + offset, width, thresholdA);
        grid.At(column, row).changeMark = changed ? 1 : -1;
    }
}

}  // namespace kmqx
