#include "encoder/transform_kernels.h"

#include "common/cpu_features.h"
#include "encoder/forward_dct.h"
#include "encoder/quantizer.h"
#include "encoder/reconstruction_kernels.h"

namespace kmqx {

ForwardTransformKernels ScalarForwardTransformKernels() {
    ForwardTransformKernels kernels;
    kernels.forwardDct = ForwardDctScalar;
    kernels.quantizeIntra = QuantizeIntraCoefficientsScalar;
    kernels.quantizeInter = QuantizeInterCoefficientsScalar;
    kernels.lastScanPosition = LastScanPositionScalar;
    return kernels;
}

ReconstructionKernels ScalarReconstructionKernels() {
    ReconstructionKernels kernels;
    kernels.dequantize = DequantizeScalar;
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

ReconstructionKernels BestReconstructionKernels() {
    ReconstructionKernels kernels = ScalarReconstructionKernels();
    if (GetCpuFeatures().sse2) UpgradeReconstructionKernelsSse2(kernels);
    return kernels;
}

}  // namespace

const ForwardTransformKernels& GetForwardTransformKernels() {
    static const ForwardTransformKernels kernels = BestForwardKernels();
    return kernels;
}

const ReconstructionKernels& GetReconstructionKernels() {
    static const ReconstructionKernels kernels = BestReconstructionKernels();
    return kernels;
}

}  // namespace kmqx
