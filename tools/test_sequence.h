#pragma once
#include <cstdint>
#include <vector>

namespace kmqx {

// A synthetic moving picture for the demo: a textured background that pans
// by fractions of a pixel per frame and a textured disc that moves across
// it, so that inter coding and half-pel vectors are exercised. Frames come
// as Y4M planes (Y, U, V).
class TestSequence {
  public:
    TestSequence(int32_t width, int32_t height) : width_(width), height_(height) {}
    void Render(int32_t frameIndex, std::vector<uint8_t>& planes) const;

  private:
    int32_t width_;
    int32_t height_;
};

}  // namespace kmqx
