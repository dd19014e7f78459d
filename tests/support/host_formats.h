#pragma once
// Every source format the driver takes, as a host describes it, for the
// native tests and benchmarks that must cover all of them.
#include <cstdint>
#include <ostream>
#include <vector>

#include "convert/frame_layout.h"
#include "tests/support/bitmap_format.h"

namespace kmqx::test {

// A format record followed by the three BI_BITFIELDS masks, as a BITMAPINFO
// lays them out.
struct MaskedFormat {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

struct HostSourceFormat {
    const char* name;
    WORD bitCount;
    DWORD compression;
    DWORD masks[3];      // BI_BITFIELDS only
    FrameLayout layout;  // for the size of a frame in bytes
};
inline const std::vector<HostSourceFormat> kHostSourceFormats = {
    {"rgb24", 24, BI_RGB, {}, FrameLayout::kRgb24},
    {"rgb32", 32, BI_RGB, {}, FrameLayout::kRgb32},
    {"rgb555", 16, BI_RGB, {}, FrameLayout::kRgb555},
    {"rgb565", 16, kCompressionBitfields, {0xF800, 0x07E0, 0x001F}, FrameLayout::kRgb565},
    {"yuyv", 16, kFourCcYuyv, {}, FrameLayout::kYuyv},
    {"yv12", 12, kFourCcYv12, {}, FrameLayout::kYv12},
    {"i420", 12, kFourCcI420, {}, FrameLayout::kI420},
    {"yvu9", 9, kFourCcYvu9, {}, FrameLayout::kYvu9},
};
inline void PrintTo(const HostSourceFormat& format, std::ostream* out) {
    *out << format.name;
}

// Its record for a width x height frame, masks after the header.
inline MaskedFormat HostFormat(const HostSourceFormat& format, int32_t width, int32_t height) {
    return MaskedFormat{BitmapFormat(width, height, format.bitCount, format.compression),
                        {format.masks[0], format.masks[1], format.masks[2]}};
}

}  // namespace kmqx::test
