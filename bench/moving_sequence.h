#pragma once
// The 300-picture CIF sequence of the encode benchmarks: textured canvases
// seen through a window that pans at 0.5 to 3 pixels a picture, drifting up
// and down by half pixels, with light noise and a cut to another canvas at
// the middle.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace kmqx::bench {

constexpr int kWidth = 352;
constexpr int kHeight = 288;
constexpr int kPictures = 300;

// A textured canvas larger than the picture; pictures are windows into it.
struct Canvas {
    int width, height;
    std::vector<uint8_t> samples;
};

inline Canvas MakeCanvas(int width, int height, double scale, uint32_t seed) {
    Canvas canvas{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height)};
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = x * scale, v = y * scale;
            double value = 128 + 45 * std::sin(0.21 * u + 0.05 * v) * std::cos(0.13 * v) +
                           30 * std::sin(0.09 * u + 0.3 * v) + 20 * std::cos(0.02 * u * v / 64) +
                           ((random() % 5) - 2.0);
            // Some hard edges: blocks of flat colour.
            if (((x / 48) + (y / 40)) % 5 == 0) value = 60 + 30 * ((x / 48) % 4);
            canvas.samples[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(std::lround(std::fmin(255, std::fmax(0, value))));
        }
    return canvas;
}

// The window at (x, y) in half-pixel units, with the H.263-style average for
// half positions, plus light noise.
inline void Crop(const Canvas& canvas, int halfX, int halfY, int width, int height,
                 std::mt19937& random, uint8_t* out) {
    const int x0 = halfX >> 1, y0 = halfY >> 1, hx = halfX & 1, hy = halfY & 1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row =
            canvas.samples.data() + static_cast<size_t>(y0 + y) * canvas.width + x0;
        const uint8_t* below = row + hy * canvas.width;
        for (int x = 0; x < width; ++x) {
            const int value = (row[x] + row[x + hx] + below[x] + below[x + hx] + 2) / 4 +
                              static_cast<int>(random() % 3) - 1;
            out[y * width + x] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
        }
    }
}

struct Sequence {
    std::vector<std::vector<uint8_t>> pictures;  // Y, Cb, Cr planes back to back
};

// Panning that speeds up and slows down (0.5 to 3 pixels a picture, whole and
// half), a scene cut at the middle.
inline const Sequence& MovingSequence() {
    static const Sequence sequence = [] {
        Sequence s;
        const Canvas luma[2] = {MakeCanvas(1400, 700, 1.0, 1), MakeCanvas(1400, 700, 1.7, 2)};
        const Canvas chroma[2] = {MakeCanvas(700, 350, 2.0, 3), MakeCanvas(700, 350, 3.1, 4)};
        std::mt19937 random(5);
        int halfX = 20, halfY = 20;
        for (int t = 0; t < kPictures; ++t) {
            const int scene = t < kPictures / 2 ? 0 : 1;
            halfX += 1 + (t / 10) % 6;         // 0.5 .. 3 pixels a picture to the right
            halfY += ((t / 25) % 2) ? 1 : -1;  // drifting up and down by half pixels
            if (halfY < 2) halfY = 2;
            std::vector<uint8_t> picture(kWidth * kHeight * 3 / 2);
            Crop(luma[scene], halfX % 1900, halfY, kWidth, kHeight, random, picture.data());
            const int chromaSize = (kWidth / 2) * (kHeight / 2);
            Crop(chroma[scene], (halfX % 1900) / 2, halfY / 2, kWidth / 2, kHeight / 2, random,
                 picture.data() + kWidth * kHeight);
            Crop(chroma[1 - scene], (halfX % 1900) / 2, halfY / 2, kWidth / 2, kHeight / 2, random,
                 picture.data() + kWidth * kHeight + chromaSize);
            s.pictures.push_back(std::move(picture));
        }
        return s;
    }();
    return sequence;
}

}  // namespace kmqx::bench
