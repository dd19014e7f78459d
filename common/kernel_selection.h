#pragma once
// How every kernel family chooses its table: it starts from the scalar
// table, the reference, and each instruction set the processor offers
// replaces the entries it has faster versions of. Families provide
//   const Kernels& ScalarXKernels();          the reference table
//   bool UpgradeXKernelsSse2(Kernels&);        false where the build has none
// and keep the chosen table in a static of their Get function, built once and
// read-only afterwards, so that codecs on several threads share it.
#include "common/cpu_features.h"

namespace kmqx {

// The scalar table with the SSE2 entries where `sse2` asks for them (and
// the build has them): benchmarks compare the two.
template <typename Kernels>
Kernels KernelsFor(bool sse2, const Kernels& scalar, bool (*upgradeSse2)(Kernels&)) {
    Kernels kernels = scalar;
    if (sse2) upgradeSse2(kernels);
    return kernels;
}

// The table for this processor (scalar under KMQX_NO_SIMD=1).
template <typename Kernels>
Kernels SelectKernels(const Kernels& scalar, bool (*upgradeSse2)(Kernels&)) {
    return KernelsFor(GetCpuFeatures().sse2, scalar, upgradeSse2);
}

}  // namespace kmqx
