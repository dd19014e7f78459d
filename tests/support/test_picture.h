#pragma once
// A planar 4:2:0 picture owned by a test: each plane its own exact-sized
// allocation, so that the sanitizer build sees any access past a plane.
#include <cstdint>
#include <random>
#include <vector>

#include "common/planar_frame.h"
#include "encoder/picture_view.h"

namespace kmqx::test {

struct TestPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, cb, cr;
    TestPicture(int w, int h)
        : width(w),
          height(h),
          y(size_t(w) * h),
          cb(size_t(w / 2) * (h / 2)),
          cr(size_t(w / 2) * (h / 2)) {}
    PlanarFrame Frame() { return {y.data(), cb.data(), cr.data()}; }
    PictureView View() { return {y.data(), cb.data(), cr.data(), width, height}; }
    // Uniform random samples in every plane.
    void Fill(uint32_t seed) {
        std::mt19937 random(seed);
        for (auto* plane : {&y, &cb, &cr}) {
            for (auto& sample : *plane) sample = static_cast<uint8_t>(random());
        }
    }
};

}  // namespace kmqx::test
