// Shared by the Windows host test programs: failure counting, registration
// of the codec under Drivers32, bitmap headers. Built with mingw-w64, run
// under Wine.
#pragma once
#include <windows.h>
// clang-format off
#include <mmsystem.h>
#include <vfw.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/bitmap_format.h"
#include "tests/support/picture_metrics.h"

namespace host {

using kmqx::test::BitmapFormat;
using kmqx::test::DibStride;
using kmqx::test::kKmqxFourCC;
using kmqx::test::Psnr;

inline int& Failures() {
    static int failures = 0;
    return failures;
}

#define CHECK(condition)                                               \
    do {                                                               \
        if (!(condition)) {                                            \
            std::printf("FAILED line %d: %s\n", __LINE__, #condition); \
            ++host::Failures();                                        \
        }                                                              \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                 \
    do {                                                                                           \
        long long a_ = (long long)(actual), e_ = (long long)(expected);                            \
        if (a_ != e_) {                                                                            \
            std::printf("FAILED line %d: %s is %lld, expected %lld\n", __LINE__, #actual, a_, e_); \
            ++host::Failures();                                                                    \
        }                                                                                          \
    } while (0)

#define CHECK_STR(actual, expected)                                                           \
    do {                                                                                      \
        std::string a_ = (actual), e_ = (expected);                                           \
        if (a_ != e_) {                                                                       \
            std::printf("FAILED line %d: %s is \"%s\", expected \"%s\"\n", __LINE__, #actual, \
                        a_.c_str(), e_.c_str());                                              \
            ++host::Failures();                                                               \
        }                                                                                     \
    } while (0)

constexpr char kDrivers32[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

// Registers a driver file under Drivers32 as vidc.<handler>, as an
// installation does; the file is found beside the program.
inline bool RegisterDriver(const char* valueName, const char* file) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDrivers32, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(file),
                                 DWORD(std::strlen(file) + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

inline bool RegisterCodec() {
    return RegisterDriver("vidc.KMQX", "KMQX.dll");
}

// COMPVARS for ICSeqCompressFrame as a host fills them without the chooser
// dialog: the codec opened for compression (hic null if it cannot be).
inline COMPVARS CodecCompVars(LONG keyRate, LONG quality) {
    COMPVARS vars{};
    vars.cbSize = sizeof vars;
    vars.dwFlags = ICMF_COMPVARS_VALID;
    vars.hic = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_COMPRESS);
    vars.fccType = ICTYPE_VIDEO;
    vars.fccHandler = kKmqxFourCC;
    vars.lKey = keyRate;
    vars.lQ = quality;
    return vars;
}

using Bytes = std::vector<BYTE>;

inline bool ReadWholeFile(const std::string& path, Bytes& data) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    data.clear();
    BYTE buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data.insert(data.end(), buffer, buffer + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

inline bool WriteWholeFile(const std::string& path, const Bytes& data) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && ok;
}

// The start of a host program that takes one folder: the folder from the
// command line and the codec registered. Prints why it cannot start.
inline bool StartHostProgram(int argc, char** argv, const char* usage, std::string& folder) {
    if (argc < 2) {
        std::printf("usage: %s\n", usage);
        return false;
    }
    if (!RegisterCodec()) {
        std::printf("FAILED: could not register vidc.KMQX\n");
        return false;
    }
    folder = argv[1];
    return true;
}

inline int Finish(const char* name) {
    std::printf("%s: %s (%d failures, %d-bit host)\n", name, Failures() ? "FAILED" : "passed",
                Failures(), static_cast<int>(sizeof(void*) * 8));
    return Failures() ? 1 : 0;
}

}  // namespace host
