#pragma once
#include <cstddef>
#include <cstdint>

#include "common/planar_frame.h"
#include "convert/frame_layout.h"

namespace kmqx {

// Source tags as hosts put them in biCompression; RGB is BI_RGB (0).
constexpr uint32_t kTagRgb = kCompressionRgb;
constexpr uint32_t kTagYuyv = kFourCcYuyv;
constexpr uint32_t kTagYv12 = kFourCcYv12;
constexpr uint32_t kTagI420 = kFourCcI420;
constexpr uint32_t kTagYvu9 = kFourCcYvu9;

// Row length of a 24-bit DIB: 3 x width rounded up to a multiple of 4.
size_t Rgb24Stride(int32_t width);

// Bytes of one source frame as a host lays it out, from biCompression,
// biBitCount, biWidth and biHeight (BI_BITFIELDS, whose masks are not given
// here, is not described); 0 for a format the codec does not read or an
// empty size.
size_t SourceFrameSize(uint32_t compression, int32_t bitCount, int32_t width, int32_t height);

// Rewrites one host frame as planar 4:2:0 into frame (luma width x height,
// chroma (width / 2) x (height / 2)). Reads at most FrameBytes of the
// source; kNone and empty sizes convert nothing. RGB layouts are expanded to
// 8 bits per component and converted alike; YUV layouts are copied, 4:2:2
// taking the upper row of each pair, YVU9 replicating its chroma.
void ConvertToPlanar(const uint8_t* source, const PlanarFrame& frame, const FrameFormat& format);

// The same for a format given as SourceFrameSize takes it.
void ConvertToPlanar(const uint8_t* source, const PlanarFrame& frame, uint32_t compression,
                     int32_t bitCount, int32_t width, int32_t height);

}  // namespace kmqx
