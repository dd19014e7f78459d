#pragma once
// Double-precision references and block helpers shared by the transform tests.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "encoder/picture_view.h"
#include "tests/support/test_picture.h"

namespace kmqx::test {

inline double DctBasis(int frequency, int position) {
    const double scale = frequency == 0 ? std::sqrt(0.5) : 1.0;
    return scale * std::cos((2 * position + 1) * frequency * M_PI / 16.0);
}

// F(v, u) = 1/4 C(u) C(v) sum f(y, x) cos(...) cos(...), raster (v, u).
inline void ReferenceForwardDct(const double samples[64], double coefficients[64]) {
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    sum += samples[8 * y + x] * DctBasis(u, x) * DctBasis(v, y);
                }
            }
            coefficients[8 * v + u] = sum / 4;
        }
    }
}

inline void ReferenceInverseDct(const double coefficients[64], double samples[64]) {
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    sum += coefficients[8 * v + u] * DctBasis(u, x) * DctBasis(v, y);
                }
            }
            samples[8 * y + x] = sum / 4;
        }
    }
}

template <typename T>
void Transpose(T block[64]) {
    for (int r = 0; r < 8; ++r) {
        for (int c = r + 1; c < 8; ++c) {
            const T swap = block[8 * r + c];
            block[8 * r + c] = block[8 * c + r];
            block[8 * c + r] = swap;
        }
    }
}

}  // namespace kmqx::test
