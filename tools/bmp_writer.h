#pragma once
#include <cstdint>
#include <string>

namespace kmqx {

// Writes one bottom-up 24-bit DIB (rows at the DIB stride) as a BMP file.
bool WriteBmp(const std::string& path, const uint8_t* dib, int32_t width, int32_t height,
              std::string& error);

}  // namespace kmqx
