#pragma once
#include <array>
#include <cstdint>

#include "common/saturate.h"

namespace kmqx {

// Clamp to 0..255 by table lookup over -256..511, which covers every value the
// source and output conversion formulas give.
constexpr int32_t kClampOffset = 256;

constexpr std::array<uint8_t, 768> MakeClampTable() {
    std::array<uint8_t, 768> t{};
    for (int32_t i = 0; i < 768; ++i) t[i] = ClipToByte(i - kClampOffset);
    return t;
}

inline constexpr std::array<uint8_t, 768> kClamp = MakeClampTable();

}  // namespace kmqx
