#include "tools/test_sequence.h"

#include <cmath>

#include "tools/y4m.h"

namespace kmqx {
namespace {

uint8_t ToSample(double v) {
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : std::lround(v));
}

// Background texture, smooth enough to predict, detailed enough to need
// accurate vectors.
double Background(double x, double y) {
    return 120 + 45 * std::sin(x * 0.11) * std::cos(y * 0.09) + 25 * std::sin((x + 2 * y) * 0.031) +
           18 * std::sin(x * 0.47 + std::sin(y * 0.05) * 3);
}

double Disc(double x, double y) {
    return 160 + 60 * std::sin(x * 0.35) * std::sin(y * 0.35);
}

}  // namespace

void TestSequence::Render(int32_t frameIndex, std::vector<uint8_t>& planes) const {
    const double t = frameIndex;
    // Pan by 1.5 and 0.5 pixels a frame; the disc circles the centre.
    const double panX = 1.5 * t, panY = 0.5 * t;
    const double discX = width_ * (0.5 + 0.3 * std::cos(t * 0.05));
    const double discY = height_ * (0.5 + 0.3 * std::sin(t * 0.07));
    const double radius = height_ * 0.18;
    planes.resize(Y4mFrameSize(width_, height_));
    uint8_t* luma = planes.data();
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x) {
            const double dx = x - discX, dy = y - discY;
            const bool inDisc = dx * dx + dy * dy < radius * radius;
            luma[size_t(y) * width_ + x] =
                ToSample(inDisc ? Disc(dx + t * 0.25, dy) : Background(x + panX, y + panY));
        }
    const int32_t chromaWidth = (width_ + 1) / 2, chromaHeight = (height_ + 1) / 2;
    uint8_t* u = luma + size_t(width_) * height_;
    uint8_t* v = u + size_t(chromaWidth) * chromaHeight;
    for (int32_t y = 0; y < chromaHeight; ++y)
        for (int32_t x = 0; x < chromaWidth; ++x) {
            const double dx = 2 * x - discX, dy = 2 * y - discY;
            const bool inDisc = dx * dx + dy * dy < radius * radius;
            const double bx = 2 * x + panX, by = 2 * y + panY;
            u[size_t(y) * chromaWidth + x] =
                ToSample(inDisc ? 90 : 128 + 30 * std::sin(bx * 0.02) + 10 * std::cos(by * 0.05));
            v[size_t(y) * chromaWidth + x] =
                ToSample(inDisc ? 170 : 128 + 30 * std::cos(by * 0.025) - 10 * std::sin(bx * 0.04));
        }
}

}  // namespace kmqx
