#include "encoder/sad_kernels.h"

#include <cstdlib>
#include <cstring>

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

void LoadMacroblock(const uint8_t* topLeft, int32_t stride, uint8_t* blocks) {
    for (int k = 0; k < 4; ++k) {
        const uint8_t* block = topLeft + (k >> 1) * 8 * stride + (k & 1) * 8;
        for (int i = 0; i < 8; ++i) std::memcpy(blocks + 64 * k + 8 * i, block + i * stride, 8);
    }
}

void Sad16x16Blocks(const uint8_t* blocks, const uint8_t* ref, int32_t refStride, int32_t sads[4]) {
    for (int k = 0; k < 4; ++k) {
        sads[k] = Sad8x8(blocks + 64 * k, ref + (k >> 1) * 8 * refStride + (k & 1) * 8, refStride);
    }
}

int32_t LoadMacroblockWithSads(const uint8_t* topLeft, int32_t stride, const uint8_t* ref,
                               int32_t refStride, uint8_t* blocks, int32_t sads[4]) {
    LoadMacroblock(topLeft, stride, blocks);
    Sad16x16Blocks(blocks, ref, refStride, sads);
    int32_t sum = 0;
    for (int i = 0; i < 256; ++i) sum += blocks[i];
    return sum;
}

void Sad16x8Blocks(const uint8_t* blocks, const uint8_t* ref, int32_t refStride, int32_t sads[2]) {
    sads[0] = Sad8x8(blocks, ref, refStride);
    sads[1] = Sad8x8(blocks + 64, ref + 8, refStride);
}

int32_t Sad16x16Neighbourhood(const uint8_t* blocks, const uint8_t* ref, int32_t refStride,
                              int32_t sads[9][4]) {
    for (int dy = 0; dy < 3; ++dy)
        for (int dx = 0; dx < 3; ++dx)
            Sad16x16Blocks(blocks, ref + dy * refStride + dx, refStride, sads[3 * dy + dx]);
    return LowestNeighbourhoodTotal(sads);
}

int32_t MeanDeviation(const uint8_t* blocks, int32_t mean, int32_t limit) {
    int32_t deviation = 0;
    for (int rowGroup = 0; rowGroup < 8; ++rowGroup) {
        for (int k = 0; k < 4; ++k) {
            const uint8_t* samples = blocks + 64 * k + 8 * rowGroup;
            for (int j = 0; j < 8; ++j) deviation += std::abs(samples[j] - mean);
        }
        if (deviation >= limit) break;
    }
    return deviation;
}

void BandSums(const uint8_t* samples, int32_t stride, int32_t sums[4]) {
    for (int k = 0; k < 4; ++k) {
        int32_t sum = 0;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) sum += samples[i * stride + 4 * k + j];
        sums[k] = sum;
    }
}

// Interpolates one row of 16 half-pel samples into `out`.
enum class Interpolation { kHorizontal, kVertical, kDiagonal };

template <Interpolation kind>
void InterpolateRow(const uint8_t* s, int32_t stride, uint8_t* out) {
    for (int j = 0; j < 16; ++j) {
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
void Interpolate(const uint8_t* src, int32_t srcStride, uint8_t* out, int32_t rows) {
    for (int i = 0; i < rows; ++i)
        InterpolateRow<kind>(src + i * srcStride, srcStride, out + i * kHalfPelPlaneStride);
}

void WindowRowSadSums(const uint8_t* window, const uint8_t* blocks, uint16_t sums[4][8]) {
    for (int k = 0; k < 4; ++k) {
        const uint8_t* area = window + (k >> 1) * 8 * kHalfPelPlaneStride + (k & 1) * 8;
        int32_t sum = 0;
        for (int r = 0; r < 8; ++r) {
            sum += RowSad8(blocks + 64 * k + 8 * r, area + r * kHalfPelPlaneStride);
            sums[k][r] = static_cast<uint16_t>(sum);
        }
    }
}

void InterpolateDiagonalPlaneWithSads(const uint8_t* src, int32_t srcStride, const uint8_t* blocks,
                                      uint8_t* plane, int32_t sads[4][4]) {
    Interpolate<Interpolation::kDiagonal>(src, srcStride, plane, 17);
    Interpolate<Interpolation::kDiagonal>(src + 1, srcStride, plane + 1, 17);
    for (int w = 0; w < 4; ++w) {
        // A block's whole SAD is its last running row sum.
        uint16_t running[4][8];
        WindowRowSadSums(plane + (w >> 1) * kHalfPelPlaneStride + (w & 1), blocks, running);
        for (int k = 0; k < 4; ++k) sads[w][k] = running[k][7];
    }
}

}  // namespace

const MotionKernels& ScalarMotionKernels() {
    static const MotionKernels kernels = {
        Sad8x8,
        Sad8x8Limited,
        LoadMacroblockWithSads,
        Sad16x8Blocks,
        Sad16x16Neighbourhood,
        MeanDeviation,
        BandSums,
        Interpolate<Interpolation::kHorizontal>,
        Interpolate<Interpolation::kVertical>,
        Interpolate<Interpolation::kDiagonal>,
        InterpolateDiagonalPlaneWithSads,
        WindowRowSadSums,
    };
    return kernels;
}

}  // namespace kmqx
