#include "convert/output_conversion.h"

#include <array>
#include <cstring>

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

// Clamp over -256..511, which covers every B, G and R the formulas give.
constexpr int32_t kClampOffset = 256;
constexpr std::array<uint8_t, 768> MakeClamp() {
    std::array<uint8_t, 768> t{};
    for (int32_t i = 0; i < 768; ++i) {
        const int32_t v = i - kClampOffset;
        t[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return t;
}

constexpr ChromaTerms kChroma = MakeChromaTerms();
constexpr std::array<uint8_t, 768> kClamp = MakeClamp();

inline void PutPixel(uint8_t* px, int32_t y, int32_t blueTerm, int32_t redTerm) {
    const int32_t b = kClamp[y + blueTerm + kClampOffset];
    const int32_t r = kClamp[y + redTerm + kClampOffset];
    // Arithmetic shift: the quotient is taken toward minus infinity.
    const int32_t g = kClamp[((1747 * y - 199 * b - 521 * r) >> 10) + kClampOffset];
    px[0] = uint8_t(b);
    px[1] = uint8_t(g);
    px[2] = uint8_t(r);
}

}  // namespace

void ConvertPlanarToRgb24(const PlanarFrame& frame, uint8_t* destination, int32_t width,
                          int32_t height) {
    if (width <= 0 || height <= 0) return;
    const size_t stride = Rgb24Stride(width);
    const int32_t chromaWidth = width / 2;
    const int32_t chromaHeight = height / 2;
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* dst = destination + size_t(height - 1 - row) * stride;
        const uint8_t* lumaRow = frame.y + size_t(row) * size_t(width);
        // A last odd row or column has no chroma of its own: it borrows the
        // nearest block's, or is grey when the picture has no chroma at all.
        const bool hasChroma = chromaWidth > 0 && chromaHeight > 0;
        const int32_t chromaRow = row / 2 < chromaHeight ? row / 2 : chromaHeight - 1;
        const uint8_t* cbRow =
            hasChroma ? frame.cb + size_t(chromaRow) * size_t(chromaWidth) : nullptr;
        const uint8_t* crRow =
            hasChroma ? frame.cr + size_t(chromaRow) * size_t(chromaWidth) : nullptr;
        for (int32_t col = 0; col < width; ++col) {
            int32_t blueTerm = 0;
            int32_t redTerm = 0;
            if (hasChroma) {
                const int32_t j = col / 2 < chromaWidth ? col / 2 : chromaWidth - 1;
                blueTerm = kChroma.blue[cbRow[j]];
                redTerm = kChroma.red[crRow[j]];
            }
            PutPixel(dst + size_t(col) * 3, lumaRow[col], blueTerm, redTerm);
        }
        std::memset(dst + size_t(width) * 3, 0, stride - size_t(width) * 3);
    }
}

}  // namespace kmqx
