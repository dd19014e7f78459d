#pragma once
#include <cstdint>

namespace kmqx {

// Row kernels of the output conversion. The scalar table is the reference;
// a faster table gives the same bytes and writes nothing beyond the row.
struct OutputKernels {
    // Writes 2 x pairs pixels of one row as B, G, R. Pair j has the lumas
    // luma[2j] and luma[2j + 1] and the chroma terms blueTerms[j]
    // ((u - 128) x 226 / 127) and redTerms[j] ((v - 128) x 179 / 127):
    //   B = clamp(y + blue), R = clamp(y + red),
    //   G = clamp((1747 y - 199 B - 521 R) >> 10).
    void (*rgbRow)(const uint8_t* luma, const int16_t* blueTerms, const int16_t* redTerms,
                   uint8_t* dst, int32_t pairs);
    // The same pixels as B, G, R, 0 (four bytes each).
    void (*rgb32Row)(const uint8_t* luma, const int16_t* blueTerms, const int16_t* redTerms,
                     uint8_t* dst, int32_t pairs);
    // Packs 2 x pairs pixels as Y0, U, Y1, V: pair j from luma[2j],
    // luma[2j + 1], cb[j] and cr[j].
    void (*yuyvRow)(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                    int32_t pairs);
};

const OutputKernels& ScalarOutputKernels();
// Replaces entries by SSE2 versions; false (and nothing changed) where this
// build has none.
bool UpgradeOutputKernelsSse2(OutputKernels& kernels);
// The kernels for this processor: scalar, upgraded where the CPU allows
// (scalar under KMQX_NO_SIMD=1).
const OutputKernels& GetOutputKernels();

}  // namespace kmqx
