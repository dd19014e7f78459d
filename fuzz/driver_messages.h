#pragma once
// What the driver-level fuzz targets share: opening an instance and sending
// messages to DriverProc as a host does.
#include <cstdlib>

#include "driver/driver_proc.h"

namespace kmqx::fuzz {

constexpr DWORD kFourCcKmqx = mmioFOURCC('K', 'M', 'Q', 'X');

inline LRESULT Send(DWORD_PTR id, UINT message, const void* p1 = nullptr, LPARAM p2 = 0) {
    return DriverProc(id, nullptr, message, reinterpret_cast<LPARAM>(p1), p2);
}

inline BITMAPINFOHEADER Format(int32_t width, int32_t height, WORD bitCount, DWORD compression) {
    BITMAPINFOHEADER format{};
    format.biSize = sizeof(format);
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = bitCount;
    format.biCompression = compression;
    return format;
}

// Opens an instance in the given ICMODE_; an open that fails is a bug here.
inline DWORD_PTR OpenInstance(DWORD mode) {
    ICOPEN open{};
    open.dwSize = sizeof(open);
    open.fccType = ICTYPE_VIDEO;
    open.fccHandler = kFourCcKmqx;
    open.dwFlags = mode;
    const DWORD_PTR id =
        DWORD_PTR(DriverProc(0, nullptr, DRV_OPEN, 0, reinterpret_cast<LPARAM>(&open)));
    if (id == 0) std::abort();
    return id;
}

}  // namespace kmqx::fuzz
