#include "convert/output_conversion.h"

#include <array>
#include <cstring>

#include "common/kernel_selection.h"
#include "convert/clamp_table.h"
#include "convert/output_kernels.h"

namespace kmqx {
namespace {

// Chroma terms per 8-bit sample: (u - 128) x 226 / 127 and
// (v - 128) x 179 / 127, truncated toward zero.
struct ChromaTerms {
    std::array<int16_t, 256> blue{};
    std::array<int16_t, 256> red{};
};

constexpr ChromaTerms MakeChromaTerms() {
    ChromaTerms t;
    for (int32_t i = 0; i < 256; ++i) {
        t.blue[i] = int16_t((i - 128) * 226 / 127);
        t.red[i] = int16_t((i - 128) * 179 / 127);
    }
    return t;
}

constexpr ChromaTerms kChroma = MakeChromaTerms();

// One pixel as B, G, R, and a fourth byte 0 for 32-bit pixels.
template <size_t kPixelBytes>
inline void PutPixel(uint8_t* px, int32_t y, int32_t blueTerm, int32_t redTerm) {
    const int32_t b = kClamp[y + blueTerm + kClampOffset];
    const int32_t r = kClamp[y + redTerm + kClampOffset];
    // Arithmetic shift: the quotient is taken toward minus infinity.
    const int32_t g = kClamp[((1747 * y - 199 * b - 521 * r) >> 10) + kClampOffset];
    px[0] = uint8_t(b);
    px[1] = uint8_t(g);
    px[2] = uint8_t(r);
    if (kPixelBytes == 4) px[3] = 0;
}

template <size_t kPixelBytes>
void RgbRow(const uint8_t* luma, const int16_t* blueTerms, const int16_t* redTerms, uint8_t* dst,
            int32_t pairs) {
    for (int32_t j = 0; j < pairs; ++j) {
        uint8_t* px = dst + 2 * kPixelBytes * size_t(j);
        PutPixel<kPixelBytes>(px, luma[2 * j], blueTerms[j], redTerms[j]);
        PutPixel<kPixelBytes>(px + kPixelBytes, luma[2 * j + 1], blueTerms[j], redTerms[j]);
    }
}

void YuyvRow(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
             int32_t pairs) {
    for (int32_t j = 0; j < pairs; ++j, dst += 4) {
        dst[0] = luma[2 * j];
        dst[1] = cb[j];
        dst[2] = luma[2 * j + 1];
        dst[3] = cr[j];
    }
}

// Chroma terms of one chroma row, computed once for both of its luma rows.
constexpr int32_t kTermChunk = 512;

}  // namespace

const OutputKernels& ScalarOutputKernels() {
    static const OutputKernels kernels = {RgbRow<3>, RgbRow<4>, YuyvRow};
    return kernels;
}

const OutputKernels& GetOutputKernels() {
    static const OutputKernels kernels =
        SelectKernels(ScalarOutputKernels(), UpgradeOutputKernelsSse2);
    return kernels;
}

namespace {

template <size_t kPixelBytes>
void WriteRgb(const PlanarFrame& frame, const FrameFormat& format, uint8_t* destination) {
    const OutputKernels& kernels = GetOutputKernels();
    const auto rowKernel = kPixelBytes == 4 ? kernels.rgb32Row : kernels.rgbRow;
    const int32_t width = format.width, height = format.height;
    const size_t stride = RowStride(format.layout, width);
    const int32_t chromaWidth = width / 2;
    const int32_t chromaHeight = height / 2;
    int16_t blueTerms[kTermChunk];
    int16_t redTerms[kTermChunk];
    for (int32_t row = 0; row < height; ++row) {
        // A bottom-up DIB holds the top of the picture in its last row.
        uint8_t* dst = destination + size_t(format.topDown ? row : height - 1 - row) * stride;
        const uint8_t* lumaRow = frame.y + size_t(row) * size_t(width);
        if (chromaWidth == 0 || chromaHeight == 0) {
            // No chroma at all (a picture one sample wide or high): grey.
            for (int32_t col = 0; col < width; ++col)
                PutPixel<kPixelBytes>(dst + size_t(col) * kPixelBytes, lumaRow[col], 0, 0);
        } else {
            // A last odd row or column borrows the nearest block's chroma.
            const int32_t chromaRow = row / 2 < chromaHeight ? row / 2 : chromaHeight - 1;
            const uint8_t* cbRow = frame.cb + size_t(chromaRow) * size_t(chromaWidth);
            const uint8_t* crRow = frame.cr + size_t(chromaRow) * size_t(chromaWidth);
            for (int32_t first = 0; first < chromaWidth; first += kTermChunk) {
                const int32_t pairs =
                    chromaWidth - first < kTermChunk ? chromaWidth - first : kTermChunk;
                for (int32_t j = 0; j < pairs; ++j) {
                    blueTerms[j] = kChroma.blue[cbRow[first + j]];
                    redTerms[j] = kChroma.red[crRow[first + j]];
                }
                rowKernel(lumaRow + 2 * size_t(first), blueTerms, redTerms,
                          dst + 2 * kPixelBytes * size_t(first), pairs);
            }
            if (width & 1) {
                const int32_t j = chromaWidth - 1;
                PutPixel<kPixelBytes>(dst + size_t(width - 1) * kPixelBytes, lumaRow[width - 1],
                                      kChroma.blue[cbRow[j]], kChroma.red[crRow[j]]);
            }
        }
        const size_t used = size_t(width) * kPixelBytes;
        if (stride > used) std::memset(dst + used, 0, stride - used);
    }
}

// Packed 4:2:2, top-down: both rows of a pair carry the pair's chroma.
void WriteYuyv(const PlanarFrame& frame, const FrameFormat& format, uint8_t* destination) {
    const OutputKernels& kernels = GetOutputKernels();
    const int32_t width = format.width, height = format.height;
    const size_t stride = RowStride(FrameLayout::kYuyv, width);
    const int32_t chromaWidth = width / 2;
    const int32_t chromaHeight = height / 2;
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* dst = destination + size_t(row) * stride;
        const uint8_t* lumaRow = frame.y + size_t(row) * size_t(width);
        if (chromaWidth == 0 || chromaHeight == 0) {
            for (int32_t col = 0; col < width; ++col) {
                dst[2 * size_t(col)] = lumaRow[col];
                dst[2 * size_t(col) + 1] = 128;
            }
            continue;
        }
        const int32_t chromaRow = row / 2 < chromaHeight ? row / 2 : chromaHeight - 1;
        const uint8_t* cbRow = frame.cb + size_t(chromaRow) * size_t(chromaWidth);
        const uint8_t* crRow = frame.cr + size_t(chromaRow) * size_t(chromaWidth);
        kernels.yuyvRow(lumaRow, cbRow, crRow, dst, chromaWidth);
        if (width & 1) {
            // The last pixel of an odd row: its luma and the last pair's U.
            dst[2 * size_t(width - 1)] = lumaRow[width - 1];
            dst[2 * size_t(width - 1) + 1] = cbRow[chromaWidth - 1];
        }
    }
}

// Planes need no conversion: Y, then V and U (YV12) or U and V (I420).
void WritePlanar420(const PlanarFrame& frame, const FrameFormat& format, uint8_t* destination) {
    const size_t area = size_t(format.width) * size_t(format.height);
    const size_t chroma = size_t(format.width / 2) * size_t(format.height / 2);
    const bool uFirst = format.layout == FrameLayout::kI420;
    std::memcpy(destination, frame.y, area);
    if (chroma == 0) return;
    std::memcpy(destination + area, uFirst ? frame.cb : frame.cr, chroma);
    std::memcpy(destination + area + chroma, uFirst ? frame.cr : frame.cb, chroma);
}

}  // namespace

void ConvertFromPlanar(const PlanarFrame& frame, const FrameFormat& format, uint8_t* destination) {
    if (format.width <= 0 || format.height <= 0) return;
    switch (format.layout) {
        case FrameLayout::kRgb24:
            WriteRgb<3>(frame, format, destination);
            break;
        case FrameLayout::kRgb32:
            WriteRgb<4>(frame, format, destination);
            break;
        case FrameLayout::kYuyv:
            WriteYuyv(frame, format, destination);
            break;
        case FrameLayout::kYv12:
        case FrameLayout::kI420:
            WritePlanar420(frame, format, destination);
            break;
        default:
            break;
    }
}

void ConvertPlanarToRgb24(const PlanarFrame& frame, uint8_t* destination, int32_t width,
                          int32_t height) {
    FrameFormat format;
    format.layout = FrameLayout::kRgb24;
    format.width = width;
    format.height = height;
    ConvertFromPlanar(frame, format, destination);
}

}  // namespace kmqx
