#include "convert/source_conversion.h"

#include <array>
#include <cstring>

#include "common/cpu_features.h"
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

const SourceKernels kScalarKernels = {RgbLumaRow};

const SourceKernels& SelectKernels() {
    const SourceKernels* sse2 = Sse2SourceKernels();
    if (sse2 != nullptr && GetCpuFeatures().sse2) return *sse2;
    return kScalarKernels;
}

}  // namespace

const SourceKernels& ScalarSourceKernels() {
    return kScalarKernels;
}

const SourceKernels& ActiveSourceKernels() {
    static const SourceKernels& active = SelectKernels();
    return active;
}

size_t Rgb24Stride(int32_t width) {
    return width <= 0 ? 0 : (size_t(width) * 3 + 3) & ~size_t(3);
}

size_t SourceFrameSize(uint32_t tag, int32_t bitCount, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const size_t area = Area(width, height);
    if (tag == kTagYuyv) return area * 2;
    if (tag == kTagYv12) return area + 2 * Area(width / 2, height / 2);
    if (tag == kTagYvu9) return area + 2 * Area(width / 4, height / 4);
    if (tag == kTagRgb && bitCount == 24) return Rgb24Stride(width) * size_t(height);
    return 0;
}

void ConvertRgb24(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const SourceKernels& kernels = ActiveSourceKernels();
    const size_t stride = Rgb24Stride(width);
    const int32_t chromaWidth = width / 2;
    const int32_t chromaHeight = height / 2;
    for (int32_t row = 0; row < height; ++row) {
        // Bottom-up: the last row in memory is the top of the picture.
        const uint8_t* src = source + size_t(height - 1 - row) * stride;
        uint8_t* lumaRow = frame.y + size_t(row) * size_t(width);
        kernels.rgbLumaRow(src, lumaRow, width);
        // Each 2 x 2 block takes the chroma of its lower right pixel alone.
        if ((row & 1) == 0 || row / 2 >= chromaHeight) continue;
        uint8_t* cbRow = frame.cb + size_t(row / 2) * size_t(chromaWidth);
        uint8_t* crRow = frame.cr + size_t(row / 2) * size_t(chromaWidth);
        for (int32_t j = 0; j < chromaWidth; ++j) {
            const int32_t col = 2 * j + 1;
            const uint8_t* px = src + size_t(col) * 3;
            const int32_t y = lumaRow[col];
            cbRow[j] = kChromaOfDifference.blue[px[0] - y + kDifferenceOffset];
            crRow[j] = kChromaOfDifference.red[px[2] - y + kDifferenceOffset];
        }
    }
}

void ConvertYuyv(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
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

namespace {

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

}  // namespace

void ConvertYvu9(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const size_t area = Area(width, height);
    CopyBytes(frame.y, source, area);
    const size_t quarterPlane = Area(width / 4, height / 4);
    // The first chroma plane of the source is V (Cr), the second U (Cb).
    UpsampleQuarterPlane(source + area, frame.cr, width, height);
    UpsampleQuarterPlane(source + area + quarterPlane, frame.cb, width, height);
}

void ConvertYv12(const uint8_t* source, const PlanarFrame& frame, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const size_t area = Area(width, height);
    const size_t chroma = Area(width / 2, height / 2);
    CopyBytes(frame.y, source, area);
    CopyBytes(frame.cr, source + area, chroma);
    CopyBytes(frame.cb, source + area + chroma, chroma);
}

void ConvertToPlanar(const uint8_t* source, const PlanarFrame& frame, uint32_t tag,
                     int32_t bitCount, int32_t width, int32_t height) {
    if (tag == kTagYvu9) {
        ConvertYvu9(source, frame, width, height);
    } else if (tag == kTagYuyv) {
        ConvertYuyv(source, frame, width, height);
    } else if (tag == kTagYv12) {
        ConvertYv12(source, frame, width, height);
    } else if (tag == kTagRgb && bitCount == 24) {
        ConvertRgb24(source, frame, width, height);
    }
}

}  // namespace kmqx
