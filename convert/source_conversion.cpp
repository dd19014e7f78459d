#include "convert/source_conversion.h"

#include <array>
#include <cstring>

#include "common/kernel_selection.h"
#include "convert/clamp_table.h"
#include "convert/source_kernels.h"

namespace kmqx {
namespace {

// Luma products for each 8-bit value: i x 299, i x 587, i x 114.
struct LumaProducts {
    std::array<int32_t, 256> red{};
    std::array<int32_t, 256> green{};
    std::array<int32_t, 256> blue{};
};

constexpr LumaProducts MakeLumaProducts() {
    LumaProducts p;
    for (int32_t i = 0; i < 256; ++i) {
        p.red[i] = i * 299;
        p.green[i] = i * 587;
        p.blue[i] = i * 114;
    }
    return p;
}

constexpr LumaProducts kLuma = MakeLumaProducts();

// The chroma of every difference B - Y (or R - Y), -255..255:
// clamp(128 + d x 127 / 226) and clamp(128 + d x 127 / 179), the product
// formed before the division, which truncates toward zero.
constexpr int32_t kDifferenceOffset = 255;
struct ChromaOfDifference {
    std::array<uint8_t, 511> blue{};
    std::array<uint8_t, 511> red{};
};

constexpr ChromaOfDifference MakeChromaOfDifference() {
    ChromaOfDifference t;
    for (int32_t i = 0; i < 511; ++i) {
        const int32_t d = i - kDifferenceOffset;
        t.blue[i] = kClamp[128 + d * 127 / 226 + kClampOffset];
        t.red[i] = kClamp[128 + d * 127 / 179 + kClampOffset];
    }
    return t;
}

constexpr ChromaOfDifference kChromaOfDifference = MakeChromaOfDifference();

inline uint8_t Luma(int32_t r, int32_t g, int32_t b) {
    return uint8_t((kLuma.red[r] + kLuma.green[g] + kLuma.blue[b]) / 1000);
}

size_t Area(int32_t width, int32_t height) {
    return size_t(width) * size_t(height);
}

// Planes of a tiny picture may be empty (and their pointers null).
void CopyBytes(uint8_t* destination, const uint8_t* source, size_t size) {
    if (size > 0) std::memcpy(destination, source, size);
}

void RgbLumaRow(const uint8_t* bgr, uint8_t* luma, int32_t width) {
    for (int32_t col = 0; col < width; ++col, bgr += 3) luma[col] = Luma(bgr[2], bgr[1], bgr[0]);
}

}  // namespace

const SourceKernels& ScalarSourceKernels() {
    static const SourceKernels kernels = {RgbLumaRow};
    return kernels;
}

const SourceKernels& GetSourceKernels() {
    static const SourceKernels kernels =
        SelectKernels(ScalarSourceKernels(), UpgradeSourceKernelsSse2);
    return kernels;
}

size_t Rgb24Stride(int32_t width) {
    return RowStride(FrameLayout::kRgb24, width);
}

size_t SourceFrameSize(uint32_t compression, int32_t bitCount, int32_t width, int32_t height) {
    const FrameFormat format =
        MakeFrameFormat(SourceLayout(compression, bitCount, nullptr), width, height);
    return FrameBytes(format.layout, format.width, format.height);
}

namespace {

// 5- and 6-bit components widened to 8 bits by repeating their high bits.
inline uint8_t Widen5(uint32_t c) {
    return uint8_t(c << 3 | c >> 2);
}
inline uint8_t Widen6(uint32_t c) {
    return uint8_t(c << 2 | c >> 4);
}

// count pixels of a 32- or 16-bit RGB row as B, G, R bytes.
void ExpandToBgr(FrameLayout layout, const uint8_t* src, int32_t count, uint8_t* bgr) {
    for (int32_t i = 0; i < count; ++i, bgr += 3) {
        if (layout == FrameLayout::kRgb32) {
            const uint8_t* px = src + 4 * size_t(i);
            bgr[0] = px[0], bgr[1] = px[1], bgr[2] = px[2];
            continue;
        }
        const uint32_t word = uint32_t(src[2 * size_t(i)]) | uint32_t(src[2 * size_t(i) + 1]) << 8;
        bgr[0] = Widen5(word & 31);
        if (layout == FrameLayout::kRgb565) {
            bgr[1] = Widen6(word >> 5 & 63);
            bgr[2] = Widen5(word >> 11);
        } else {
            bgr[1] = Widen5(word >> 5 & 31);
            bgr[2] = Widen5(word >> 10 & 31);
        }
    }
}

// Pixels of a non-24-bit row widened at a time (an even number, so that
// column pairs never straddle two pieces).
constexpr int32_t kExpandPixels = 256;

// Luma of count pixels given as B, G, R; with chroma rows (the lower row of
// a pair), each pair's chroma from its lower right pixel alone.
inline void RgbPiece(const SourceKernels& kernels, const uint8_t* bgr, int32_t count, uint8_t* luma,
                     uint8_t* cb, uint8_t* cr) {
    kernels.rgbLumaRow(bgr, luma, count);
    if (!cb) return;
    const uint8_t* px = bgr + 3;
    for (int32_t j = 0; j < count / 2; ++j, px += 6) {
        const int32_t y = luma[2 * j + 1];
        cb[j] = kChromaOfDifference.blue[px[0] - y + kDifferenceOffset];
        cr[j] = kChromaOfDifference.red[px[2] - y + kDifferenceOffset];
    }
}

// Every RGB layout; 24-bit rows are read in place, the others widened to
// B, G, R a piece at a time.
void ConvertRgb(const uint8_t* source, const PlanarFrame& frame, const FrameFormat& format) {
    const int32_t width = format.width, height = format.height;
    const SourceKernels& kernels = GetSourceKernels();
    const size_t stride = RowStride(format.layout, width);
    const size_t bytesPerPixel = format.layout == FrameLayout::kRgb32 ? 4 : 2;
    const int32_t chromaWidth = width / 2;
    const int32_t chromaHeight = height / 2;
    uint8_t expanded[3 * kExpandPixels];
    for (int32_t row = 0; row < height; ++row) {
        // A bottom-up DIB holds the top of the picture in its last row.
        const uint8_t* src = source + size_t(format.topDown ? row : height - 1 - row) * stride;
        uint8_t* lumaRow = frame.y + size_t(row) * size_t(width);
        const bool chromaRow = (row & 1) != 0 && row / 2 < chromaHeight;
        uint8_t* cbRow = chromaRow ? frame.cb + size_t(row / 2) * size_t(chromaWidth) : nullptr;
        uint8_t* crRow = chromaRow ? frame.cr + size_t(row / 2) * size_t(chromaWidth) : nullptr;
        if (format.layout == FrameLayout::kRgb24) {
            RgbPiece(kernels, src, width, lumaRow, cbRow, crRow);
            continue;
        }
        for (int32_t first = 0; first < width; first += kExpandPixels) {
            const int32_t count = width - first < kExpandPixels ? width - first : kExpandPixels;
            ExpandToBgr(format.layout, src + size_t(first) * bytesPerPixel, count, expanded);
            RgbPiece(kernels, expanded, count, lumaRow + first,
                     chromaRow ? cbRow + first / 2 : nullptr,
                     chromaRow ? crRow + first / 2 : nullptr);
        }
    }
}

void ConvertYuyv(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height) {
    const size_t stride = size_t(width) * 2;
    const int32_t chromaWidth = width / 2;
    const int32_t chromaHeight = height / 2;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* src = source + size_t(row) * stride;
        uint8_t* lumaRow = frame.y + size_t(row) * size_t(width);
        for (int32_t col = 0; col < width; ++col) lumaRow[col] = src[2 * size_t(col)];
        // The upper row of each pair carries the block's chroma unchanged.
        if ((row & 1) != 0 || row / 2 >= chromaHeight) continue;
        uint8_t* cbRow = frame.cb + size_t(row / 2) * size_t(chromaWidth);
        uint8_t* crRow = frame.cr + size_t(row / 2) * size_t(chromaWidth);
        for (int32_t j = 0; j < chromaWidth; ++j) {
            cbRow[j] = src[4 * size_t(j) + 1];
            crRow[j] = src[4 * size_t(j) + 3];
        }
    }
}

// Replicates a (width / 4) x (height / 4) plane into a (width / 2) x
// (height / 2) one. Where the size is not a multiple of 4 the last source
// row or column is repeated; with no source samples at all the plane is
// neutral grey.
void UpsampleQuarterPlane(const uint8_t* source, uint8_t* plane, int32_t width, int32_t height) {
    const int32_t sourceWidth = width / 4;
    const int32_t sourceHeight = height / 4;
    const int32_t planeWidth = width / 2;
    const int32_t planeHeight = height / 2;
    if (sourceWidth == 0 || sourceHeight == 0) {
        if (planeWidth > 0 && planeHeight > 0)
            std::memset(plane, 128, Area(planeWidth, planeHeight));
        return;
    }
    for (int32_t r = 0; r < planeHeight; ++r) {
        uint8_t* dst = plane + size_t(r) * size_t(planeWidth);
        if (r & 1) {
            // Both rows of a pair come from the same source row.
            std::memcpy(dst, dst - planeWidth, size_t(planeWidth));
            continue;
        }
        const int32_t sourceRow = r / 2 < sourceHeight ? r / 2 : sourceHeight - 1;
        const uint8_t* src = source + size_t(sourceRow) * size_t(sourceWidth);
        const int32_t pairs = planeWidth / 2 < sourceWidth ? planeWidth / 2 : sourceWidth;
        for (int32_t c = 0; c < pairs; ++c) dst[2 * c] = dst[2 * c + 1] = src[c];
        for (int32_t c = 2 * pairs; c < planeWidth; ++c) dst[c] = src[sourceWidth - 1];
    }
}

void ConvertYvu9(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height) {
    const size_t area = Area(width, height);
    CopyBytes(frame.y, source, area);
    const size_t quarterPlane = Area(width / 4, height / 4);
    // The first chroma plane of the source is V (Cr), the second U (Cb).
    UpsampleQuarterPlane(source + area, frame.cr, width, height);
    UpsampleQuarterPlane(source + area + quarterPlane, frame.cb, width, height);
}

// YV12 holds V before U, I420 U before V.
void ConvertPlanar420(const uint8_t* source, const PlanarFrame& frame, int32_t width,
                      int32_t height, bool uFirst) {
    const size_t area = Area(width, height);
    const size_t chroma = Area(width / 2, height / 2);
    CopyBytes(frame.y, source, area);
    CopyBytes(uFirst ? frame.cb : frame.cr, source + area, chroma);
    CopyBytes(uFirst ? frame.cr : frame.cb, source + area + chroma, chroma);
}

}  // namespace

void ConvertToPlanar(const uint8_t* source, const PlanarFrame& frame, const FrameFormat& format) {
    if (format.width <= 0 || format.height <= 0) return;
    switch (format.layout) {
        case FrameLayout::kRgb24:
        case FrameLayout::kRgb32:
        case FrameLayout::kRgb555:
        case FrameLayout::kRgb565:
            ConvertRgb(source, frame, format);
            break;
        case FrameLayout::kYuyv:
            ConvertYuyv(source, frame, format.width, format.height);
            break;
        case FrameLayout::kYv12:
            ConvertPlanar420(source, frame, format.width, format.height, false);
            break;
        case FrameLayout::kI420:
            ConvertPlanar420(source, frame, format.width, format.height, true);
            break;
        case FrameLayout::kYvu9:
            ConvertYvu9(source, frame, format.width, format.height);
            break;
        case FrameLayout::kNone:
            break;
    }
}

void ConvertToPlanar(const uint8_t* source, const PlanarFrame& frame, uint32_t compression,
                     int32_t bitCount, int32_t width, int32_t height) {
    ConvertToPlanar(source, frame,
                    MakeFrameFormat(SourceLayout(compression, bitCount, nullptr), width, height));
}

}  // namespace kmqx
