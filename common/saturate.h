#pragma once
// Integer clipping shared by every part that turns wide intermediate values
// back into samples or 16-bit coefficients.
#include <cstdint>

namespace kmqx {

// A sample: the value clipped to 0..255.
constexpr uint8_t ClipToByte(int32_t value) {
    return uint8_t(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// The value saturated to the range of a 16-bit coefficient.
constexpr int16_t SaturateToInt16(int32_t value) {
    return int16_t(value < -32768 ? -32768 : (value > 32767 ? 32767 : value));
}

}  // namespace kmqx
