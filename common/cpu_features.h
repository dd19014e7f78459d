#pragma once

namespace kmqx {

// What the processor offers beyond plain scalar code. Kernel tables start
// with the scalar versions and are upgraded where these say so.
struct CpuFeatures {
    bool sse2 = false;
};

// Detected once; KMQX_NO_SIMD=1 in the environment forces the scalar kernels
// (for comparing the two paths on a whole stream).
const CpuFeatures& GetCpuFeatures();

}  // namespace kmqx
