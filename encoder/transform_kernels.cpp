#include "encoder/transform_kernels.h"

#include "common/kernel_selection.h"
#include "encoder/forward_dct.h"
#include "encoder/quantizer.h"
#include "encoder/reconstruction_kernels.h"

namespace kmqx {

const ForwardTransformKernels& ScalarForwardTransformKernels() {
    static const ForwardTransformKernels kernels = {
        LoadDifferenceScalar,
        LoadTransposedScalar,
        ForwardDctScalar,
        QuantizeIntraCoefficientsScalar,
        QuantizeInterCoefficientsScalar,
        LastScanPositionScalar,
        ScanOrderLevelsScalar,
        QuantizeInterBlocksScalar,
        QuantizeIntraBlocksScalar,
    };
    return kernels;
}

const ReconstructionKernels& ScalarReconstructionKernels() {
    static const ReconstructionKernels kernels = {
        DequantizeScalar,
        AddAndClipScalar,
        StoreClippedScalar,
    };
    return kernels;
}

const ForwardTransformKernels& GetForwardTransformKernels() {
    static const ForwardTransformKernels kernels =
        SelectKernels(ScalarForwardTransformKernels(), UpgradeForwardTransformKernelsSse2,
                      UpgradeForwardTransformKernelsAvx2);
    return kernels;
}

const ReconstructionKernels& GetReconstructionKernels() {
    static const ReconstructionKernels kernels =
        SelectKernels(ScalarReconstructionKernels(), UpgradeReconstructionKernelsSse2,
                      UpgradeReconstructionKernelsAvx2);
    return kernels;
}

}  // namespace kmqx
