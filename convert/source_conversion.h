#pragma once
#include <cstddef>
#include <cstdint>

#include "common/planar_frame.h"

namespace kmqx {

// A FourCC as the platform forms it: the four characters in memory order.
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

// Source tags; 24-bit RGB is tag 0 (BI_RGB).
constexpr uint32_t kTagRgb = 0;
constexpr uint32_t kTagYuyv = MakeFourCC('Y', 'U', 'Y', 'V');
constexpr uint32_t kTagYv12 = MakeFourCC('Y', 'V', '1', '2');
constexpr uint32_t kTagYvu9 = MakeFourCC('Y', 'V', 'U', '9');

// Row length of a 24-bit DIB: 3 x width rounded up to a multiple of 4.
size_t Rgb24Stride(int32_t width);

// Bytes of one source frame as a host lays it out (24-bit rows at the DIB
// stride, YUYV rows of 2 x width, planar formats tightly packed Y, V, U).
// 0 for an unknown tag/bit count pair or a non-positive size.
size_t SourceFrameSize(uint32_t tag, int32_t bitCount, int32_t width, int32_t height);

// Rewrites one host frame as planar 4:2:0 into frame (luma width x height,
// chroma (width / 2) x (height / 2)). Unknown tag/bit count pairs and
// non-positive sizes convert nothing. Reads at most SourceFrameSize bytes.
void ConvertToPlanar(const uint8_t* source, const PlanarFrame& frame, uint32_t tag,
                     int32_t bitCount, int32_t width, int32_t height);

// The individual formats; the same contract as ConvertToPlanar.
void ConvertRgb24(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height);
void ConvertYuyv(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height);
void ConvertYvu9(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height);
void ConvertYv12(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height);

}  // namespace kmqx
