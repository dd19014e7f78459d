#include "encoder/reconstruction_kernels.h"

#include <algorithm>

#include "common/inverse_dct.h"

namespace kmqx {

namespace {

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
        block[i] = static_cast<int16_t>(
            std::clamp(value, -kMaxDequantizedCoefficient, kMaxDequantizedCoefficient));
    }
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

}  // namespace kmqx
