#include "encoder/transform_kernels.h"

namespace kmqx {

bool UpgradeForwardTransformKernelsSse2(ForwardTransformKernels&) {
    return false;
}
bool UpgradeInverseTransformKernelsSse2(InverseTransformKernels&) {
    return false;
}

}  // namespace kmqx
