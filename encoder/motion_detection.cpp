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

int32_t Total(const int32_t sums[4]) {
    return sums[0] + sums[1] + sums[2] + sums[3];
}

// Compares the macroblock whose top-left samples are `current` and `reference`;
// returns its pixel sum when it changed, -1 when it did not.
int32_t CompareMacroblock(const MotionKernels& kernels, const uint8_t* current,
                          const uint8_t* reference, int32_t stride, int16_t thresholdA) {
    int32_t pixelSum = 0;
    for (int band = 0; band < 4; ++band) {
        int32_t currentSums[4];
        int32_t referenceSums[4];
        kernels.bandSums(current + 4 * band * stride, stride, currentSums);
        kernels.bandSums(reference + 4 * band * stride, stride, referenceSums);
        pixelSum += Total(currentSums);
        bool differs = false;
        for (int k = 0; k < 4 && !differs; ++k)
            differs = BlockSumsDiffer(std::abs(currentSums[k] - referenceSums[k]), thresholdA);
        if (!differs) continue;
        // Changed: the reference is not needed further, only the current sums.
        for (int rest = band + 1; rest < 4; ++rest) {
            kernels.bandSums(current + 4 * rest * stride, stride, currentSums);
            pixelSum += Total(currentSums);
        }
        return pixelSum;
    }
    return -1;
}

}  // namespace

void DetectChangesInRow(const uint8_t* current, const uint8_t* reference, int32_t width,
                        int32_t row, int16_t thresholdA, MacroblockGrid& grid) {
    const MotionKernels& kernels = GetMotionKernels();
    // With the default A = 0 every macroblock has changed: only its pixel sum
    // is needed, and the reference is not read.
    const bool allChanged = EveryBlockSumsDiffer(thresholdA);
    for (int32_t column = 0; column < width / 16; ++column) {
        const size_t offset = static_cast<size_t>(16 * row) * width + 16 * column;
        MacroblockInfo& info = grid.At(column, row);
        if (allChanged) {
            info.changeMark = 1;
            info.pixelSum = kernels.macroblockSum(current + offset, width);
            continue;
        }
        const int32_t pixelSum =
            CompareMacroblock(kernels, current + offset, reference + offset, width, thresholdA);
        if (pixelSum < 0) {
            info.changeMark = -1;
        } else {
            info.changeMark = 1;
            info.pixelSum = pixelSum;
        }
    }
}

}  // namespace kmqx
