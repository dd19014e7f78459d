// SSE2 versions of the transform kernels, bit-exact with the scalar ones.
#include "common/h263_syntax.h"
#include "common/sse2.h"
#include "encoder/forward_dct.h"
#include "encoder/quantizer.h"
#include "encoder/transform_kernels.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {
namespace sse2 {
#define KMQX_VECTOR KMQX_SSE2
#define KMQX_VECTOR_ENTRY KMQX_SSE2_ENTRY
#include "encoder/transform_kernels_x86.inc"
#undef KMQX_VECTOR
#undef KMQX_VECTOR_ENTRY
}  // namespace sse2
}  // namespace

bool UpgradeForwardTransformKernelsSse2(ForwardTransformKernels& kernels) {
    kernels.loadDifference = sse2::LoadDifference;
    kernels.loadTransposed = sse2::LoadTransposed;
    kernels.forwardDct = sse2::ForwardDct;
    kernels.quantizeIntra = sse2::QuantizeIntraCoefficients;
    kernels.quantizeInter = sse2::QuantizeInterCoefficients;
    kernels.lastScanPosition = sse2::LastScanPosition;
    kernels.scanOrderLevels = sse2::ScanOrderLevels;
    kernels.quantizeInterBlocks = sse2::QuantizeInterBlocks;
    kernels.quantizeIntraBlocks = sse2::QuantizeIntraBlocks;
    return true;
}

bool UpgradeReconstructionKernelsSse2(ReconstructionKernels& kernels) {
    kernels.dequantize = sse2::Dequantize;
    kernels.addAndClip = sse2::AddAndClip;
    kernels.storeClipped = sse2::StoreClipped;
    return true;
}

#else  // no SSE2 on this architecture

bool UpgradeForwardTransformKernelsSse2(ForwardTransformKernels&) {
    return false;
}
bool UpgradeReconstructionKernelsSse2(ReconstructionKernels&) {
    return false;
}

#endif

}  // namespace kmqx
