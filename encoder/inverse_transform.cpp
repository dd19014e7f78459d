#include "encoder/inverse_transform.h"

#include <algorithm>

#include "encoder/transform_kernels.h"

namespace kmqx {

namespace {

// Row coefficient sets: 2^14 sqrt(2) cos(k pi / 16), scaled for rows 1/7, 2/6
// and 3/5 by sqrt(2) cos(pi / 16), sqrt(2) cos(2 pi / 16), sqrt(2) cos(3 pi / 16).
struct RowCoefficients {
    int32_t c4, c2, c6, c1, c3, c5, c7;
};
constexpr RowCoefficients kRowSets[4] = {
    {16384, 21407, 8867, 22725, 19266, 12873, 4520},
    {22725, 29692, 12299, 31521, 26722, 17855, 6270},
    {21407, 27969, 11585, 29692, 25172, 16819, 5906},
    {19266, 25172, 10426, 26722, 22654, 15137, 5315},
};
constexpr int kRowSetOfRow[8] = {0, 1, 2, 3, 0, 3, 2, 1};

// Column constants for high-half products.
constexpr int32_t kTan1 = 13036;     // tan(pi / 16) * 65536
constexpr int32_t kTan2 = 27146;     // tan(2 pi / 16) * 65536
constexpr int32_t kTan3m1 = -21746;  // tan(3 pi / 16) * 65536 - 65536
constexpr int32_t kCos4m1 = -19195;  // cos(pi / 4) * 65536 - 65536

inline int16_t Saturate16(int32_t value) {
    return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}
inline int16_t AddSat(int16_t a, int16_t b) {
    return Saturate16(int32_t{a} + b);
}
inline int16_t SubSat(int16_t a, int16_t b) {
    return Saturate16(int32_t{a} - b);
}
inline int16_t MulHigh(int16_t a, int32_t k) {
    return static_cast<int16_t>((a * k) >> 16);
}

// Sums of products wrap at 32 bits, like the packed multiply-accumulate.
inline int32_t Wrap32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

inline int16_t RowOutput(int64_t sum) {
    return Saturate16(Wrap32(sum) >> 12);
}

void RowPass(int16_t* x, const RowCoefficients& c) {
    const int64_t x0 = x[0], x1 = x[1], x2 = x[2], x3 = x[3];
    const int64_t x4 = x[4], x5 = x[5], x6 = x[6], x7 = x[7];
    const int64_t a0 = c.c4 * x0 + c.c4 * x4 + c.c2 * x2 + c.c6 * x6 + 2048;
    const int64_t a1 = c.c4 * x0 - c.c4 * x4 + c.c6 * x2 - c.c2 * x6 + 2048;
    const int64_t a2 = c.c4 * x0 - c.c4 * x4 - c.c6 * x2 + c.c2 * x6 + 2048;
    const int64_t a3 = c.c4 * x0 + c.c4 * x4 - c.c2 * x2 - c.c6 * x6 + 2048;
    const int64_t b0 = c.c1 * x1 + c.c3 * x3 + c.c5 * x5 + c.c7 * x7;
    const int64_t b1 = c.c3 * x1 - c.c7 * x3 - c.c1 * x5 - c.c5 * x7;
    const int64_t b2 = c.c5 * x1 - c.c1 * x3 + c.c7 * x5 + c.c3 * x7;
    const int64_t b3 = c.c7 * x1 - c.c5 * x3 + c.c3 * x5 - c.c1 * x7;
    x[0] = RowOutput(a0 + b0);
    x[1] = RowOutput(a1 + b1);
    x[2] = RowOutput(a2 + b2);
    x[3] = RowOutput(a3 + b3);
    x[4] = RowOutput(a3 - b3);
    x[5] = RowOutput(a2 - b2);
    x[6] = RowOutput(a1 - b1);
    x[7] = RowOutput(a0 - b0);
}

// Every addition saturates, in the order written.
void ColumnPass(int16_t* column) {
    int16_t x[8];
    for (int i = 0; i < 8; ++i) x[i] = column[8 * i];
    const int16_t t = AddSat(x[0], 16);
    const int16_t tp03 = AddSat(t, x[4]), tm03 = SubSat(t, x[4]);
    const int16_t tp12 = AddSat(MulHigh(x[6], kTan2), x[2]);
    const int16_t tm12 = SubSat(MulHigh(x[2], kTan2), x[6]);
    const int16_t tp17 = AddSat(MulHigh(x[7], kTan1), x[1]);
    const int16_t tm17 = SubSat(MulHigh(x[1], kTan1), x[7]);
    const int16_t tp35 = AddSat(AddSat(MulHigh(x[5], kTan3m1), x[5]), x[3]);
    const int16_t tm35 = SubSat(AddSat(MulHigh(x[3], kTan3m1), x[3]), x[5]);
    const int16_t e0 = AddSat(tp03, tp12), e3 = SubSat(tp03, tp12);
    const int16_t e1 = AddSat(tm03, tm12), e2 = SubSat(tm03, tm12);
    const int16_t f0 = AddSat(tp17, tp35), f1 = SubSat(tp17, tp35);
    const int16_t g0 = SubSat(tm17, tm35), g1 = AddSat(tm17, tm35);
    const int16_t s = AddSat(f1, g1);
    const int16_t h0 = AddSat(MulHigh(s, kCos4m1), s);
    const int16_t d = SubSat(f1, g1);
    const int16_t h1 = AddSat(MulHigh(d, kCos4m1), d);
    column[0 * 8] = static_cast<int16_t>(AddSat(e0, f0) >> 5);
    column[7 * 8] = static_cast<int16_t>(SubSat(e0, f0) >> 5);
    column[3 * 8] = static_cast<int16_t>(AddSat(e3, g0) >> 5);
    column[4 * 8] = static_cast<int16_t>(SubSat(e3, g0) >> 5);
    column[1 * 8] = static_cast<int16_t>(AddSat(e1, h0) >> 5);
    column[6 * 8] = static_cast<int16_t>(SubSat(e1, h0) >> 5);
    column[2 * 8] = static_cast<int16_t>(AddSat(e2, h1) >> 5);
    column[5 * 8] = static_cast<int16_t>(SubSat(e2, h1) >> 5);
}

inline uint8_t Clip255(int32_t value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

}  // namespace

void DequantizeScalar(const int8_t levels[64], const DequantParams& dequant, int16_t block[64]) {
    for (int i = 0; i < 64; ++i) {
        const int32_t level = levels[i];
        int32_t value = 0;
        if (level > 0) value = dequant.multiplier * level + dequant.rounding;
        if (level < 0) value = dequant.multiplier * level - dequant.rounding;
        block[i] = static_cast<int16_t>(static_cast<uint16_t>(value));
    }
}

void InverseTransform16Scalar(int16_t block[64]) {
    for (int row = 0; row < 8; ++row) RowPass(block + 8 * row, kRowSets[kRowSetOfRow[row]]);
    for (int column = 0; column < 8; ++column) ColumnPass(block + column);
}

void AddAndClipScalar(const int16_t residual[64], const uint8_t prediction[64],
                      uint8_t* destination, int32_t pitch) {
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int16_t sum = static_cast<int16_t>(
                static_cast<uint16_t>(prediction[8 * y + x] + residual[8 * y + x]));
            destination[y * pitch + x] = Clip255(sum);
        }
    }
}

void StoreClippedScalar(const int16_t residual[64], uint8_t* destination, int32_t pitch) {
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) destination[y * pitch + x] = Clip255(residual[8 * y + x]);
    }
}

void Dequantize(const int8_t levels[64], const DequantParams& dequant, int16_t block[64]) {
    GetInverseTransformKernels().dequantize(levels, dequant, block);
}

void InverseTransform16(int16_t block[64]) {
    GetInverseTransformKernels().inverseTransform(block);
}

}  // namespace kmqx
