#pragma once
// Format records as hosts build them, for the native tests, the fuzz
// targets and the Windows host programs alike.
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace kmqx::test {

// The FourCC of the codec's compressed pictures.
constexpr DWORD kKmqxFourCC = mmioFOURCC('K', 'M', 'Q', 'X');

// A BITMAPINFOHEADER of one plane: size, bit count and compression.
inline BITMAPINFOHEADER BitmapFormat(int32_t width, int32_t height, WORD bitCount,
                                     DWORD compression = BI_RGB) {
    BITMAPINFOHEADER format{};
    format.biSize = sizeof(format);
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = bitCount;
    format.biCompression = compression;
    return format;
}

// Bytes of one row of an RGB DIB: whole 32-bit words.
inline size_t DibStride(int32_t width, int32_t bitCount = 24) {
    return ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
}

}  // namespace kmqx::test
