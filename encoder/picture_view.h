#pragma once
#include <cstdint>

namespace kmqx {

// One of the encoder's pictures as the block routines see it: planes of the
// coded size (whole macroblocks), luma pitch = coded width, chroma pitch =
// coded width / 2.
struct PictureView {
    uint8_t* y;
    uint8_t* cb;
    uint8_t* cr;
    int32_t width;   // coded width, a multiple of 16
    int32_t height;  // coded height, a multiple of 16
    int32_t chromaWidth() const { return width / 2; }
    int32_t chromaHeight() const { return height / 2; }
};

// The six quantised blocks of the macroblock being coded (Y0, Y1, Y2, Y3, Cb,
// Cr), from the transform to the writers and the reconstruction.
struct MacroblockLevels {
    alignas(16) int8_t levels[6][64];  // raster order; intra index 0 = DC 1..254
    int32_t last[6];                   // last scan position of a non-zero level
    // Cb and Cr predictions, 8 bytes a row; an inter macroblock forms them
    // here only when its chroma is transformed (chromaPredicted).
    alignas(16) uint8_t chromaPrediction[2][64];
    bool chromaPredicted;
};

}  // namespace kmqx
