#pragma once
#include <cstddef>
#include <cstdint>

#include "common/planar_frame.h"
#include "convert/frame_layout.h"

namespace kmqx {

// Writes a decoded planar 4:2:0 picture of format.width x format.height into
// a host's frame: RGB24 (B, G, R) and RGB32 (B, G, R, 0) with the shared
// chroma of each 2 x 2 block, rows bottom-up unless topDown and padding
// zeroed; YUYV with each chroma row serving its two picture rows; YV12 and
// I420 as their three planes. Writes exactly FrameBytes bytes; nothing for
// a layout it does not write or an empty size.
void ConvertFromPlanar(const PlanarFrame& frame, const FrameFormat& format, uint8_t* destination);

// A bottom-up 24-bit DIB (rows at the DIB stride, padding zeroed).
void ConvertPlanarToRgb24(const PlanarFrame& frame, uint8_t* destination, int32_t width,
                          int32_t height);

}  // namespace kmqx
