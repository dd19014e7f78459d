#pragma once
#include <cstdint>

namespace kmqx {

// Row kernels of the source conversion. The scalar table is the reference;
// a faster table gives the same bytes and reads no byte beyond the row.
struct SourceKernels {
    // Luma of width pixels stored as B, G, R (3 bytes each):
    //   Y = (299 R + 587 G + 114 B) / 1000.
    void (*rgbLumaRow)(const uint8_t* bgr, uint8_t* luma, int32_t width);
};

const SourceKernels& ScalarSourceKernels();
// Replaces entries by SSE2 versions; false (and nothing changed) where this
// build has none.
bool UpgradeSourceKernelsSse2(SourceKernels& kernels);
// The kernels for this processor: scalar, upgraded where the CPU allows
// (scalar under KMQX_NO_SIMD=1).
const SourceKernels& GetSourceKernels();

}  // namespace kmqx
