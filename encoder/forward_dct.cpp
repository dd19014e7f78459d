#include "encoder/forward_dct.h"

#include <cstdlib>

#include "encoder/transform_kernels.h"

namespace kmqx {

const uint16_t kForwardPostScale[64] = {
    4096,  2953,  3134,  3483,  4096,  5213,  7568,  14847,  //
    2953,  2129,  2260,  2511,  2953,  3758,  5456,  10703,  //
    3134,  2260,  2399,  2666,  3134,  3990,  5792,  11362,  //
    3483,  2511,  2666,  2962,  3483,  4433,  6436,  12626,  //
    4096,  2953,  3134,  3483,  4096,  5213,  7568,  14847,  //
    5213,  3758,  3990,  4433,  5213,  6635,  9632,  18893,  //
    7568,  5456,  5792,  6436,  7568,  9632,  13983, 27436,  //
    14847, 10703, 11362, 12626, 14847, 18893, 27436, 27436,
};

namespace {

// Fixed-point factors of the flowgraph's four multiplications.
constexpr int32_t kFactor0707 = 23170;  // 0.707106781 * 32768 (shift 1)
constexpr int32_t kFactor0383 = 25076;  // 0.382683433 * 65536 (shift 0)
constexpr int32_t kFactor0541 = 17734;  // 0.541196100 * 32768 (shift 1)
constexpr int32_t kFactor1307 = 21407;  // 1.306562965 * 16384 (shift 2)

inline int16_t Wrap16(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

inline int16_t HighProduct(int16_t operand, int32_t factor) {
    return static_cast<int16_t>((static_cast<int32_t>(operand) * factor) >> 16);
}

// First pass: the operand is scaled up before the product, keeping precision.
inline int16_t ProductBefore(int16_t operand, int32_t factor, int shift) {
    return HighProduct(Wrap16(operand * (1 << shift)), factor);
}

// Second pass: the product is scaled up afterwards.
inline int16_t ProductAfter(int16_t operand, int32_t factor, int shift) {
    return Wrap16(HighProduct(operand, factor) * (1 << shift));
}

// One 8-point scaled transform over d[0], d[stride], ..., d[7 * stride].
template <bool kFirstPass>
void Transform8(int16_t* d, int stride) {
    auto product = [](int16_t operand, int32_t factor, int shift) {
        return kFirstPass ? ProductBefore(operand, factor, shift)
                          : ProductAfter(operand, factor, shift);
    };
    const int16_t d0 = d[0], d1 = d[stride], d2 = d[2 * stride], d3 = d[3 * stride];
    const int16_t d4 = d[4 * stride], d5 = d[5 * stride], d6 = d[6 * stride], d7 = d[7 * stride];
    const int16_t t0 = Wrap16(d0 + d7), t7 = Wrap16(d0 - d7);
    const int16_t t1 = Wrap16(d1 + d6), t6 = Wrap16(d1 - d6);
    const int16_t t2 = Wrap16(d2 + d5), t5 = Wrap16(d2 - d5);
    const int16_t t3 = Wrap16(d3 + d4), t4 = Wrap16(d3 - d4);

    const int16_t e10 = Wrap16(t0 + t3), e13 = Wrap16(t0 - t3);
    const int16_t e11 = Wrap16(t1 + t2), e12 = Wrap16(t1 - t2);
    d[0] = Wrap16(e10 + e11);
    d[4 * stride] = Wrap16(e10 - e11);
    const int16_t z1 = product(Wrap16(e12 + e13), kFactor0707, 1);
    d[2 * stride] = Wrap16(e13 + z1);
    d[6 * stride] = Wrap16(e13 - z1);

    const int16_t o10 = Wrap16(t4 + t5), o11 = Wrap16(t5 + t6), o12 = Wrap16(t6 + t7);
    const int16_t z5 = product(Wrap16(o10 - o12), kFactor0383, 0);
    const int16_t z2 = Wrap16(product(o10, kFactor0541, 1) + z5);
    const int16_t z4 = Wrap16(product(o12, kFactor1307, 2) + z5);
    const int16_t z3 = product(o11, kFactor0707, 1);
    const int16_t z11 = Wrap16(t7 + z3), z13 = Wrap16(t7 - z3);
    d[5 * stride] = Wrap16(z13 + z2);
    d[3 * stride] = Wrap16(z13 - z2);
    d[1 * stride] = Wrap16(z11 + z4);
    d[7 * stride] = Wrap16(z11 - z4);
}

}  // namespace

void ForwardDctScalar(int16_t block[64]) {
    for (int i = 0; i < 64; ++i) block[i] = Wrap16(block[i] * 2);
    for (int column = 0; column < 8; ++column) Transform8<true>(block + column, 8);
    for (int r = 0; r < 8; ++r) {
        for (int c = r + 1; c < 8; ++c) {
            const int16_t swap = block[8 * r + c];
            block[8 * r + c] = block[8 * c + r];
            block[8 * c + r] = swap;
        }
    }
    for (int column = 0; column < 8; ++column) Transform8<false>(block + column, 8);
    for (int i = 0; i < 64; ++i) block[i] = PostScaleCoefficient(block[i], i);
}

void ForwardDct(int16_t block[64]) {
    GetForwardTransformKernels().forwardDct(block);
}

}  // namespace kmqx
