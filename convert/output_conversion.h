#pragma once
#include <cstddef>
#include <cstdint>

#include "common/planar_frame.h"

namespace kmqx {

// Writes a planar 4:2:0 picture as a bottom-up 24-bit DIB (B, G, R; rows at
// the DIB stride, 3 x width rounded up to a multiple of 4, padding zeroed).
// Writes exactly Rgb24Stride(width) x height bytes; nothing for a
// non-positive width or height.
void ConvertPlanarToRgb24(const PlanarFrame& frame, uint8_t* destination, int32_t width,
                          int32_t height);

}  // namespace kmqx
