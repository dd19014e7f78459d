// Scalar reference versions of the prediction and reconstruction kernels.
#include "common/prediction_kernels.h"

#include "common/kernel_selection.h"
#include "common/saturate.h"

namespace kmqx {
namespace {

template <int kSize, int kHalfX, int kHalfY>
void PredictScalar(const uint8_t* src, int32_t srcPitch, uint8_t* dst, int32_t dstPitch) {
    for (int32_t r = 0; r < kSize; ++r, src += srcPitch, dst += dstPitch) {
        const uint8_t* below = src + (kHalfY ? srcPitch : 0);
        for (int32_t i = 0; i < kSize; ++i) {
            if (kHalfX && kHalfY) {
                dst[i] = uint8_t((src[i] + src[i + 1] + below[i] + below[i + 1] + 2) >> 2);
            } else if (kHalfX) {
                dst[i] = uint8_t((src[i] + src[i + 1] + 1) >> 1);
            } else if (kHalfY) {
                dst[i] = uint8_t((src[i] + below[i] + 1) >> 1);
            } else {
                dst[i] = src[i];
            }
        }
    }
}

void AddBlockScalar(const int16_t residual[64], uint8_t* dst, int32_t pitch) {
    for (int32_t r = 0; r < 8; ++r, dst += pitch, residual += 8) {
        for (int32_t i = 0; i < 8; ++i) dst[i] = ClipToByte(dst[i] + residual[i]);
    }
}

void PutBlockScalar(const int16_t residual[64], uint8_t* dst, int32_t pitch) {
    for (int32_t r = 0; r < 8; ++r, dst += pitch, residual += 8) {
        for (int32_t i = 0; i < 8; ++i) dst[i] = ClipToByte(residual[i]);
    }
}

}  // namespace

const PredictionKernels& ScalarPredictionKernels() {
    static const PredictionKernels kernels = {{PredictScalar<16, 0, 0>, PredictScalar<16, 1, 0>,
                                               PredictScalar<16, 0, 1>, PredictScalar<16, 1, 1>},
                                              {PredictScalar<8, 0, 0>, PredictScalar<8, 1, 0>,
                                               PredictScalar<8, 0, 1>, PredictScalar<8, 1, 1>},
                                              AddBlockScalar,
                                              PutBlockScalar};
    return kernels;
}

const PredictionKernels& GetPredictionKernels() {
    static const PredictionKernels kernels =
        SelectKernels(ScalarPredictionKernels(), UpgradePredictionKernelsSse2);
    return kernels;
}

}  // namespace kmqx
