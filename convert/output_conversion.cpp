#include "convert/output_conversion.h"

#include <array>
#include <cstring>
#include <vector>

#include "common/cpu_features.h"
#include "convert/clamp_table.h"
#include "convert/output_kernels.h"
#include "convert/source_conversion.h"

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

inline void PutPixel(uint8_t* px, int32_t y, int32_t blueTerm, int32_t redTerm) {
    const int32_t b = kClamp[y + blueTerm + kClampOffset];
    const int32_t r = kClamp[y + redTerm + kClampOffset];
    // Arithmetic shift: the quotient is taken toward minus infinity.
    const int32_t g = kClamp[((1747 * y - 199 * b - 521 * r) >> 10) + kClampOffset];
    px[0] = uint8_t(b);
    px[1] = uint8_t(g);
    px[2] = uint8_t(r);
}

void RgbRow(const uint8_t* luma, const int16_t* blueTerms, const int16_t* redTerms, uint8_t* dst,
            int32_t pairs) {
    for (int32_t j = 0; j < pairs; ++j) {
        PutPixel(dst + 6 * size_t(j), luma[2 * j], blueTerms[j], redTerms[j]);
        PutPixel(dst + 6 * size_t(j) + 3, luma[2 * j + 1], blueTerms[j], redTerms[j]);
    }
}

const OutputKernels kScalarKernels = {RgbRow};

const OutputKernels& SelectKernels() {
    const OutputKernels* sse2 = Sse2OutputKernels();
    if (sse2 != nullptr && GetCpuFeatures().sse2) return *sse2;
    return kScalarKernels;
}

// Chroma terms of one chroma row, computed once for both of its luma rows.
constexpr int32_t kTermChunk = 512;

}  // namespace

const OutputKernels& ScalarOutputKernels() {
    return kScalarKernels;
}

const OutputKernels& ActiveOutputKernels() {
    static const OutputKernels& active = SelectKernels();
    return active;
}

void ConvertPlanarToRgb24(const PlanarFrame& frame, uint8_t* destination, int32_t width,
                          int32_t height) {
    if (width <= 0 || height <= 0) return;
    const OutputKernels& kernels = ActiveOutputKernels();
    const size_t stride = Rgb24Stride(width);
    const int32_t chromaWidth = width / 2;
    const int32_t chromaHeight = height / 2;
    int16_t blueTerms[kTermChunk];
    int16_t redTerms[kTermChunk];
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* dst = destination + size_t(height - 1 - row) * stride;
        const uint8_t* lumaRow = frame.y + size_t(row) * size_t(width);
        if (chromaWidth == 0 || chromaHeight == 0) {
            // No chroma at all (a picture one sample wide or high): grey.
            for (int32_t col = 0; col < width; ++col)
                PutPixel(dst + size_t(col) * 3, lumaRow[col], 0, 0);
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
                kernels.rgbRow(lumaRow + 2 * size_t(first), blueTerms, redTerms,
                               dst + 6 * size_t(first), pairs);
            }
            if (width & 1) {
                const int32_t j = chromaWidth - 1;
                PutPixel(dst + size_t(width - 1) * 3, lumaRow[width - 1], kChroma.blue[cbRow[j]],
                         kChroma.red[crRow[j]]);
            }
        }
        std::memset(dst + size_t(width) * 3, 0, stride - size_t(width) * 3);
    }
}

}  // namespace kmqx
