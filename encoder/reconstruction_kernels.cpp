#include "encoder/reconstruction_kernels.h"

#include "common/h263_syntax.h"
#include "common/saturate.h"

namespace kmqx {

void DequantizeScalar(const int8_t levels[64], const DequantParams& dequant, int16_t block[64]) {
    for (int i = 0; i < 64; ++i)
        block[i] = static_cast<int16_t>(Dequantize(levels[i], dequant.quant));
}

void AddAndClipScalar(const int16_t residual[64], const uint8_t* prediction,
                      int32_t predictionStride, uint8_t* destination, int32_t pitch) {
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int16_t sum = static_cast<int16_t>(
                static_cast<uint16_t>(prediction[y * predictionStride + x] + residual[8 * y + x]));
            destination[y * pitch + x] = ClipToByte(sum);
        }
    }
}

void StoreClippedScalar(const int16_t residual[64], uint8_t* destination, int32_t pitch) {
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) destination[y * pitch + x] = ClipToByte(residual[8 * y + x]);
    }
}

}  // namespace kmqx
