#include "encoder/sad_kernels.h"

#include <cstdlib>

#include "common/kernel_selection.h"

namespace kmqx {

namespace {

int32_t RowSad8(const uint8_t* a, const uint8_t* b) {
    int32_t sum = 0;
    for (int j = 0; j < 8; ++j) sum += std::abs(a[j] - b[j]);
    return sum;
}

int32_t Sad8x8(const uint8_t* block, const uint8_t* ref, int32_t refStride) {
    int32_t sum = 0;
    for (int i = 0; i < 8; ++i) sum += RowSad8(block + 8 * i, ref + i * refStride);
    return sum;
}

int32_t Sad8x8Limited(const uint8_t* block, const uint8_t* ref, int32_t refStride, int32_t limit) {
    int32_t sum = 0;
    for (int i = 0; i < 8; ++i) {
        sum += RowSad8(block + 8 * i, ref + i * refStride);
        if (sum >= limit) break;
    }
    return sum;
}

void BandSums(const uint8_t* samples, int32_t stride, int32_t sums[4]) {
    for (int k = 0; k < 4; ++k) {
        int32_t sum = 0;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) sum += samples[i * stride + 4 * k + j];
        sums[k] = sum;
    }
}

// Interpolates one row of 8 half-pel samples into `out`.
enum class Interpolation { kHorizontal, kVertical, kDiagonal };

template <Interpolation kind>
void InterpolateRow(const uint8_t* s, int32_t stride, uint8_t* out) {
    for (int j = 0; j < 8; ++j) {
        if (kind == Interpolation::kHorizontal) {
            out[j] = static_cast<uint8_t>((s[j] + s[j + 1] + 1) >> 1);
        } else if (kind == Interpolation::kVertical) {
            out[j] = static_cast<uint8_t>((s[j] + s[j + stride] + 1) >> 1);
        } else {
            out[j] = static_cast<uint8_t>(
                (s[j] + s[j + 1] + s[j + stride] + s[j + stride + 1] + 2) >> 2);
        }
    }
}

template <Interpolation kind>
int32_t HalfPelSad(const uint8_t* src, int32_t srcStride, const uint8_t* block, uint8_t* out,
                   int32_t limit) {
    int32_t sum = 0;
    for (int i = 0; i < 8; ++i) {
        uint8_t* row = out + i * kHalfPelPlaneStride;
        InterpolateRow<kind>(src + i * srcStride, srcStride, row);
        sum += RowSad8(block + 8 * i, row);
        if (sum >= limit) break;
    }
    return sum;
}

}  // namespace

const MotionKernels& ScalarMotionKernels() {
    static const MotionKernels kernels = {
        Sad8x8,
        Sad8x8Limited,
        BandSums,
        HalfPelSad<Interpolation::kHorizontal>,
        HalfPelSad<Interpolation::kVertical>,
        HalfPelSad<Interpolation::kDiagonal>,
    };
    return kernels;
}

const MotionKernels& GetMotionKernels() {
    static const MotionKernels kernels =
        SelectKernels(ScalarMotionKernels(), UpgradeMotionKernelsSse2);
    return kernels;
}

}  // namespace kmqx
