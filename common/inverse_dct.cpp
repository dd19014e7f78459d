#include "common/inverse_dct.h"

#include "common/kernel_selection.h"
#include "common/saturate.h"

namespace kmqx {
namespace {

using idct::W1;
using idct::W2;
using idct::W3;
using idct::W5;
using idct::W6;
using idct::W7;

// (181 * v + 128) >> 8 with the 32-bit product wrapping as the hardware
// does: hostile coefficients can push it past 32 bits, which must not be
// undefined behaviour.
int32_t ScaleBy181(int32_t v) {
    return int32_t(uint32_t(idct::kHalfSqrt2) * uint32_t(v) + 128u) >> 8;
}

// Row results are held in 16 bits between the passes, saturated: hostile
// coefficients must not wrap into values of the opposite sign.
void RowPass(int16_t* row) {
    int32_t x1 = row[4] * 2048;
    int32_t x2 = row[6];
    int32_t x3 = row[2];
    int32_t x4 = row[1];
    int32_t x5 = row[7];
    int32_t x6 = row[5];
    int32_t x7 = row[3];
    if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
        const int16_t dc = SaturateToInt16(row[0] * 8);
        for (int i = 0; i < 8; ++i) row[i] = dc;
        return;
    }
    int32_t x0 = row[0] * 2048 + 128;

    int32_t x8 = W7 * (x4 + x5);
    x4 = x8 + (W1 - W7) * x4;
    x5 = x8 - (W1 + W7) * x5;
    x8 = W3 * (x6 + x7);
    x6 = x8 - (W3 - W5) * x6;
    x7 = x8 - (W3 + W5) * x7;

    x8 = x0 + x1;
    x0 -= x1;
    x1 = W6 * (x3 + x2);
    x2 = x1 - (W2 + W6) * x2;
    x3 = x1 + (W2 - W6) * x3;
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;

    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = ScaleBy181(x4 + x5);
    x4 = ScaleBy181(x4 - x5);

    row[0] = SaturateToInt16((x7 + x1) >> 8);
    row[1] = SaturateToInt16((x3 + x2) >> 8);
    row[2] = SaturateToInt16((x0 + x4) >> 8);
    row[3] = SaturateToInt16((x8 + x6) >> 8);
    row[4] = SaturateToInt16((x8 - x6) >> 8);
    row[5] = SaturateToInt16((x0 - x4) >> 8);
    row[6] = SaturateToInt16((x3 - x2) >> 8);
    row[7] = SaturateToInt16((x7 - x1) >> 8);
}

void ColumnPass(int16_t* column) {
    int32_t x1 = column[8 * 4] * 256;
    int32_t x2 = column[8 * 6];
    int32_t x3 = column[8 * 2];
    int32_t x4 = column[8 * 1];
    int32_t x5 = column[8 * 7];
    int32_t x6 = column[8 * 5];
    int32_t x7 = column[8 * 3];
    if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
        const int16_t dc = ClipResidual((column[0] + 32) >> 6);
        for (int i = 0; i < 8; ++i) column[8 * i] = dc;
        return;
    }
    int32_t x0 = column[0] * 256 + 8192;

    int32_t x8 = W7 * (x4 + x5) + 4;
    x4 = (x8 + (W1 - W7) * x4) >> 3;
    x5 = (x8 - (W1 + W7) * x5) >> 3;
    x8 = W3 * (x6 + x7) + 4;
    x6 = (x8 - (W3 - W5) * x6) >> 3;
    x7 = (x8 - (W3 + W5) * x7) >> 3;

    x8 = x0 + x1;
    x0 -= x1;
    x1 = W6 * (x3 + x2) + 4;
    x2 = (x1 - (W2 + W6) * x2) >> 3;
    x3 = (x1 + (W2 - W6) * x3) >> 3;
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;

    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = ScaleBy181(x4 + x5);
    x4 = ScaleBy181(x4 - x5);

    column[8 * 0] = ClipResidual((x7 + x1) >> 14);
    column[8 * 1] = ClipResidual((x3 + x2) >> 14);
    column[8 * 2] = ClipResidual((x0 + x4) >> 14);
    column[8 * 3] = ClipResidual((x8 + x6) >> 14);
    column[8 * 4] = ClipResidual((x8 - x6) >> 14);
    column[8 * 5] = ClipResidual((x0 - x4) >> 14);
    column[8 * 6] = ClipResidual((x3 - x2) >> 14);
    column[8 * 7] = ClipResidual((x7 - x1) >> 14);
}

}  // namespace

void InverseDctScalar(int16_t block[64]) {
    for (int row = 0; row < 8; ++row) RowPass(block + 8 * row);
    for (int column = 0; column < 8; ++column) ColumnPass(block + column);
}

const InverseDctKernels& ScalarInverseDctKernels() {
    static const InverseDctKernels kernels = {InverseDctScalar};
    return kernels;
}

const InverseDctKernels& GetInverseDctKernels() {
    static const InverseDctKernels kernels = SelectKernels(
        ScalarInverseDctKernels(), UpgradeInverseDctKernelsSse2, UpgradeInverseDctKernelsAvx2);
    return kernels;
}

}  // namespace kmqx
