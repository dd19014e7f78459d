#pragma once
#include <array>
#include <cstdint>

namespace kmqx {

// Clamp to 0..255 by table lookup over -256..511, which covers every value the
// source and output conversion formulas give.
constexpr int32_t kClampOffset = 256;

constexpr std::array<uint8_t, 768> MakeClampTable() {
    std::array<uint8_t, 768> t{};
    for (int32_t i = 0; i < 768; ++i) {
        const int32_t v = i - kClampOffset;
        t[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return t;
}

inline constexpr std::array<uint8_t, 768> kClamp = MakeClampTable();

}  // namespace kmqx
