#pragma once
// What the driver-level fuzz targets share: the test-support messages to
// DriverProc, and an open that must not fail.
#include <cstdlib>

#include "tests/support/driver_messages.h"

namespace kmqx::fuzz {

using test::BitmapFormat;
using test::kKmqxFourCC;
using test::Ptr;
using test::Send;

// Opens an instance in the given ICMODE_; an open that fails is a bug here.
inline DWORD_PTR OpenInstance(DWORD mode) {
    const DWORD_PTR id = test::OpenBuiltIn(mode);
    if (id == 0) std::abort();
    return id;
}

}  // namespace kmqx::fuzz
