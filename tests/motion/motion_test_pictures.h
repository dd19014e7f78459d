#pragma once
// Synthetic pictures for the motion tests: smooth textures that can be sampled
// at any position, so that whole- and half-pixel motion is known exactly.
#include <cmath>
#include <cstdint>
#include <vector>

namespace kmqx::testing {

// A band-limited texture: a few sinusoids of different directions, 16..240.
inline double Texture(double x, double y) {
    return 128.0 + 40.0 * std::sin(0.31 * x + 0.17 * y) + 30.0 * std::cos(0.23 * y - 0.11 * x) +
           25.0 * std::sin(0.07 * x * 1.3 + 0.41 * y);
}

inline uint8_t Sample(double value) {
    const long rounded = std::lround(value);
    return static_cast<uint8_t>(rounded < 0 ? 0 : rounded > 255 ? 255 : rounded);
}

// A width x height plane of the texture moved by (dx, dy) pixels: the sample
// at (x, y) shows texture position (x - dx, y - dy).
inline std::vector<uint8_t> TexturePlane(int width, int height, double dx = 0, double dy = 0) {
    std::vector<uint8_t> plane(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            plane[static_cast<size_t>(y) * width + x] = Sample(Texture(x - dx, y - dy));
    return plane;
}

}  // namespace kmqx::testing
