// SSE2 versions of the motion kernels; each gives exactly the scalar result.
#include "common/sse2.h"
#include "encoder/sad_kernels.h"

namespace kmqx {

#if KMQX_HAVE_SSE2_KERNELS

namespace {
namespace sse2 {
#define KMQX_VECTOR KMQX_SSE2
#define KMQX_VECTOR_ENTRY KMQX_SSE2
#include "encoder/sad_kernels_x86.inc"
#undef KMQX_VECTOR
#undef KMQX_VECTOR_ENTRY
}  // namespace sse2
}  // namespace

bool UpgradeMotionKernelsSse2(MotionKernels& kernels) {
    kernels.sad8x8 = sse2::Sad8x8;
    kernels.sad8x8Limited = sse2::Sad8x8Limited;
    kernels.loadMacroblockWithSads = sse2::LoadMacroblockWithSads;
    kernels.sad16x8Blocks = sse2::Sad16x8Blocks;
    kernels.sad16x16Neighbourhood = sse2::Sad16x16Neighbourhood;
    kernels.meanDeviation = sse2::MeanDeviation;
    kernels.bandSums = sse2::BandSums;
    kernels.interpolateHorizontal = sse2::InterpolateHorizontal;
    kernels.interpolateVertical = sse2::InterpolateVertical;
    kernels.interpolateDiagonal = sse2::InterpolateDiagonal;
    kernels.interpolateDiagonalPlaneWithSads = sse2::InterpolateDiagonalPlaneWithSads;
    kernels.windowRowSadSums = sse2::WindowRowSadSums;
    return true;
}

#else

bool UpgradeMotionKernelsSse2(MotionKernels&) {
    return false;
}

#endif

}  // namespace kmqx
