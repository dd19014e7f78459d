#pragma once
#include <cstdint>

namespace kmqx {

// One 8-bit 4:2:0 picture: luma width x height with pitch width, each chroma
// plane (width / 2) x (height / 2) with pitch width / 2, rows top first.
// The order is always Y, Cb (U), Cr (V).
struct PlanarFrame {
    uint8_t* y;
    uint8_t* cb;
    uint8_t* cr;
};

}  // namespace kmqx
