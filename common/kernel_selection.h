#pragma once
// How every kernel family chooses its table: it starts from the scalar
// table, the reference, and each instruction set the processor offers
// replaces the entries it has faster versions of, lowest level first.
// Families provide
//   const Kernels& ScalarXKernels();          the reference table
//   bool UpgradeXKernelsSse2(Kernels&);        false where the build has none
//   bool UpgradeXKernelsAvx2(Kernels&);        (optional) likewise
// and keep the chosen table in a static of their Get function, built once and
// read-only afterwards, so that codecs on several threads share it.
#include "common/cpu_features.h"

namespace kmqx {

template <typename Kernels>
using KernelUpgrade = bool (*)(Kernels&);

// The scalar table upgraded up to `level` (as far as the build has kernels):
// tests and benchmarks compare the levels.
template <typename Kernels>
Kernels KernelsFor(SimdLevel level, const Kernels& scalar, KernelUpgrade<Kernels> upgradeSse2,
                   KernelUpgrade<Kernels> upgradeAvx2 = nullptr) {
    Kernels kernels = scalar;
    if (level >= SimdLevel::kSse2) upgradeSse2(kernels);
    if (level >= SimdLevel::kAvx2 && upgradeAvx2 != nullptr) upgradeAvx2(kernels);
    return kernels;
}

// The table for this processor (scalar under KMQX_NO_SIMD=1, capped by
// KMQX_SIMD_LEVEL).
template <typename Kernels>
Kernels SelectKernels(const Kernels& scalar, KernelUpgrade<Kernels> upgradeSse2,
                      KernelUpgrade<Kernels> upgradeAvx2 = nullptr) {
    return KernelsFor(GetCpuFeatures().Level(), scalar, upgradeSse2, upgradeAvx2);
}

}  // namespace kmqx
