#pragma once
// Talking to the built-in driver as a host does, for the native tests and
// the fuzz targets: messages straight to DriverProc.
#include "driver/driver_proc.h"
#include "tests/support/bitmap_format.h"

namespace kmqx::test {

inline LPARAM Ptr(const void* pointer) {
    return reinterpret_cast<LPARAM>(pointer);
}

inline LRESULT Send(DWORD_PTR id, UINT message, LPARAM lParam1 = 0, LPARAM lParam2 = 0) {
    return DriverProc(id, nullptr, message, lParam1, lParam2);
}

// The ICOPEN record a host passes with DRV_OPEN in the given ICMODE_; its
// dwError is preset so that tests see whether the driver sets it.
inline ICOPEN OpenRecord(DWORD mode) {
    ICOPEN open{};
    open.dwSize = sizeof(ICOPEN);
    open.fccType = ICTYPE_VIDEO;
    open.fccHandler = kKmqxFourCC;
    open.dwFlags = mode;
    open.dwError = 12345;
    return open;
}

// DRV_OPEN of the built-in codec; 0 when the driver refuses.
inline DWORD_PTR OpenBuiltIn(DWORD mode) {
    ICOPEN open = OpenRecord(mode);
    return static_cast<DWORD_PTR>(DriverProc(0, nullptr, DRV_OPEN, 0, Ptr(&open)));
}

}  // namespace kmqx::test
