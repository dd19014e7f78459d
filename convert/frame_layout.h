#pragma once
#include <cstddef>
#include <cstdint>

namespace kmqx {

// A FourCC as the platform forms it: the four characters in memory order.
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

// biCompression values of the uncompressed formats.
constexpr uint32_t kCompressionRgb = 0;        // BI_RGB
constexpr uint32_t kCompressionBitfields = 3;  // BI_BITFIELDS
constexpr uint32_t kFourCcYuy2 = MakeFourCC('Y', 'U', 'Y', '2');
constexpr uint32_t kFourCcYuyv = MakeFourCC('Y', 'U', 'Y', 'V');
constexpr uint32_t kFourCcYv12 = MakeFourCC('Y', 'V', '1', '2');
constexpr uint32_t kFourCcI420 = MakeFourCC('I', '4', '2', '0');
constexpr uint32_t kFourCcIyuv = MakeFourCC('I', 'Y', 'U', 'V');
constexpr uint32_t kFourCcYvu9 = MakeFourCC('Y', 'V', 'U', '9');

// How the samples of one uncompressed frame lie in memory.
enum class FrameLayout : uint8_t {
    kNone,    // not a layout the codec reads or writes
    kRgb24,   // B, G, R; DIB rows padded to 4 bytes
    kRgb32,   // B, G, R, unused byte
    kRgb555,  // 16-bit words 0RRRRRGG GGGBBBBB; DIB rows padded to 4 bytes
    kRgb565,  // 16-bit words RRRRRGGG GGGBBBBB; DIB rows padded to 4 bytes
    kYuyv,    // packed 4:2:2, bytes Y0 U Y1 V; rows of 2 x width bytes
    kYv12,    // planar Y, V, U; chroma (width / 2) x (height / 2)
    kI420,    // planar Y, U, V; chroma (width / 2) x (height / 2)
    kYvu9,    // planar Y, V, U; chroma (width / 4) x (height / 4)
};

// One uncompressed frame: its layout, its size, and for RGB layouts whether
// the first row in memory is the top row (a DIB with negative height) rather
// than the bottom one. YUV layouts are always top-down.
struct FrameFormat {
    FrameLayout layout = FrameLayout::kNone;
    int32_t width = 0;
    int32_t height = 0;
    bool topDown = false;
};

// The frame of a DIB-style description: a negative height is a top-down RGB
// frame; YUV frames are top-down whatever the sign. A height that has no
// positive counterpart (INT_MIN) gives an empty frame.
FrameFormat MakeFrameFormat(FrameLayout layout, int32_t width, int32_t dibHeight);

constexpr bool IsRgbLayout(FrameLayout layout) {
    return layout == FrameLayout::kRgb24 || layout == FrameLayout::kRgb32 ||
           layout == FrameLayout::kRgb555 || layout == FrameLayout::kRgb565;
}

// The layout of a source frame from biCompression and biBitCount together:
// 24 and 32 BI_RGB; 16 BI_RGB (RGB555); 16 BI_BITFIELDS whose red, green and
// blue masks are those of 565 or 555; 16 "YUY2"/"YUYV"; 12 "YV12";
// 12 "I420"/"IYUV"; 9 "YVU9". masks (three values) is read only for
// BI_BITFIELDS; null there gives kNone.
FrameLayout SourceLayout(uint32_t compression, int32_t bitCount, const uint32_t* masks);

// The layout of a destination the decompressor writes: 24 and 32 BI_RGB,
// 16 "YUY2"/"YUYV", 12 "YV12", 12 "I420"/"IYUV".
FrameLayout DestinationLayout(uint32_t compression, int32_t bitCount);

// Bytes from one row to the next (the first plane's rows for planar layouts).
size_t RowStride(FrameLayout layout, int32_t width);

// Bytes of one frame; 0 for kNone or a non-positive size.
size_t FrameBytes(FrameLayout layout, int32_t width, int32_t height);

}  // namespace kmqx
