#include "convert/frame_layout.h"

namespace kmqx {
namespace {

// Red, green and blue masks of the two 16-bit BI_BITFIELDS layouts.
constexpr uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr uint32_t kMasks555[3] = {0x7C00, 0x03E0, 0x001F};

bool SameMasks(const uint32_t* masks, const uint32_t (&expected)[3]) {
    return masks[0] == expected[0] && masks[1] == expected[1] && masks[2] == expected[2];
}

// DIB rows are padded to a multiple of 4 bytes.
size_t DibStride(int32_t width, int32_t bytesPerPixel) {
    return (size_t(width) * size_t(bytesPerPixel) + 3) & ~size_t(3);
}

}  // namespace

FrameLayout SourceLayout(uint32_t compression, int32_t bitCount, const uint32_t* masks) {
    switch (bitCount) {
        case 24:
            return compression == kCompressionRgb ? FrameLayout::kRgb24 : FrameLayout::kNone;
        case 32:
            return compression == kCompressionRgb ? FrameLayout::kRgb32 : FrameLayout::kNone;
        case 16:
            if (compression == kCompressionRgb) return FrameLayout::kRgb555;
            if (compression == kFourCcYuy2 || compression == kFourCcYuyv) return FrameLayout::kYuyv;
            if (compression != kCompressionBitfields || !masks) return FrameLayout::kNone;
            if (SameMasks(masks, kMasks565)) return FrameLayout::kRgb565;
            if (SameMasks(masks, kMasks555)) return FrameLayout::kRgb555;
            return FrameLayout::kNone;
        case 12:
            if (compression == kFourCcYv12) return FrameLayout::kYv12;
            if (compression == kFourCcI420 || compression == kFourCcIyuv) return FrameLayout::kI420;
            return FrameLayout::kNone;
        case 9:
            return compression == kFourCcYvu9 ? FrameLayout::kYvu9 : FrameLayout::kNone;
        default:
            return FrameLayout::kNone;
    }
}

FrameLayout DestinationLayout(uint32_t compression, int32_t bitCount) {
    const FrameLayout layout = SourceLayout(compression, bitCount, nullptr);
    switch (layout) {
        case FrameLayout::kRgb24:
        case FrameLayout::kRgb32:
        case FrameLayout::kYuyv:
        case FrameLayout::kYv12:
        case FrameLayout::kI420:
            return layout;
        default:
            return FrameLayout::kNone;
    }
}

FrameFormat MakeFrameFormat(FrameLayout layout, int32_t width, int32_t dibHeight) {
    FrameFormat format;
    format.layout = layout;
    format.width = width;
    format.height = dibHeight == INT32_MIN ? 0 : dibHeight < 0 ? -dibHeight : dibHeight;
    format.topDown = !IsRgbLayout(layout) || dibHeight < 0;
    return format;
}

size_t RowStride(FrameLayout layout, int32_t width) {
    if (width <= 0) return 0;
    switch (layout) {
        case FrameLayout::kRgb24:
            return DibStride(width, 3);
        case FrameLayout::kRgb32:
            return size_t(width) * 4;
        case FrameLayout::kRgb555:
        case FrameLayout::kRgb565:
            return DibStride(width, 2);
        case FrameLayout::kYuyv:
            return size_t(width) * 2;
        case FrameLayout::kYv12:
        case FrameLayout::kI420:
        case FrameLayout::kYvu9:
            return size_t(width);
        case FrameLayout::kNone:
            break;
    }
    return 0;
}

size_t FrameBytes(FrameLayout layout, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const size_t rows = RowStride(layout, width) * size_t(height);
    switch (layout) {
        case FrameLayout::kYv12:
        case FrameLayout::kI420:
            return rows + 2 * size_t(width / 2) * size_t(height / 2);
        case FrameLayout::kYvu9:
            return rows + 2 * size_t(width / 4) * size_t(height / 4);
        default:
            return rows;
    }
}

}  // namespace kmqx
