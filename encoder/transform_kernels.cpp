#include "encoder/transform_kernels.h"

#include "common/cpu_features.h"
#include "encoder/forward_dct.h"
#include "encoder/inverse_transform.h"
#include "encoder/quantizer.h"

namespace kmqx {

ForwardTransformKernels ScalarForwardTransformKernels() {
    ForwardTransformKernels kernels;
    kernels.forwardDct = ForwardDctScalar;
    kernels.quantizeIntra = QuantizeIntraCoefficientsScalar;
    kernels.quantizeInter = QuantizeInterCoefficientsScalar;
    kernels.lastScanPosition = LastScanPositionScalar;
    return kernels;
}

InverseTransformKernels ScalarInverseTransformKernels() {
    InverseTransformKernels kernels;
    kernels.dequantize = DequantizeScalar;
    kernels.inverseTransform = InverseTransform16Scalar;
    kernels.addAndClip = AddAndClipScalar;
    kernels.storeClipped = StoreClippedScalar;
    return kernels;
}

namespace {

ForwardTransformKernels BestForwardKernels() {
    ForwardTransformKernels kernels = ScalarForwardTransformKernels();
    if (GetCpuFeatures().sse2) UpgradeForwardTransformKernelsSse2(kernels);
    return kernels;
}

InverseTransformKernels BestInverseKernels() {
    InverseTransformKernels kernels = ScalarInverseTransformKernels();
    if (GetCpuFeatures().sse2) UpgradeInverseTransformKernelsSse2(kernels);
    return kernels;
}

}  // namespace

const ForwardTransformKernels& GetForwardTransformKernels() {
    static const ForwardTransformKernels kernels = BestForwardKernels();
    return kernels;
}

const InverseTransformKernels& GetInverseTransformKernels() {
    static const InverseTransformKernels kernels = BestInverseKernels();
    return kernels;
}

}  // namespace kmqx
