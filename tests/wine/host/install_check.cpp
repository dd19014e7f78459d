// Checks what an installation leaves for hosts of this program's word size:
// "installed" expects vidc.KMQX under Drivers32, KMQX.dll in the system
// folder and ICOpen finding the codec; "removed" expects none of them. Run
// from a folder without KMQX.dll, so that only the installed file can be
// found.
#include <cwchar>

#include "host_support.h"

using namespace host;

namespace {

bool RegistryValue(std::string& value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDrivers32, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char text[MAX_PATH] = {};
    DWORD size = sizeof text - 1, type = 0;
    const bool found = RegQueryValueExA(key, "vidc.KMQX", nullptr, &type,
                                        reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    value = text;
    return found && type == REG_SZ;
}

bool SystemFileExists() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    std::string file = std::string(path) + "\\KMQX.dll";
    return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CheckInstalled() {
    std::string value;
    CHECK(RegistryValue(value));
    CHECK_STR(value, "KMQX.dll");
    CHECK(SystemFileExists());
    HIC hic = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_COMPRESS);
    CHECK(hic != nullptr);
    if (!hic) return;
    ICINFO info{};
    CHECK(ICGetInfo(hic, &info, sizeof info) > 0);
    CHECK(std::wcscmp(info.szDescription, L"Corvel Video Codec 1999") == 0);
    // The handler an application finds when it looks for any compressor.
    ICINFO listed{};
    bool enumerated = false;
    for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &listed); ++i)
        if (listed.fccHandler == kKmqxFourCC || listed.fccHandler == mmioFOURCC('k', 'm', 'q', 'x'))
            enumerated = true;
    CHECK(enumerated);
    ICClose(hic);
}

void CheckRemoved() {
    std::string value;
    CHECK(!RegistryValue(value));
    CHECK(!SystemFileExists());
    HIC hic = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_COMPRESS);
    CHECK(hic == nullptr);
    if (hic) ICClose(hic);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "installed")
        CheckInstalled();
    else if (mode == "removed")
        CheckRemoved();
    else {
        std::printf("usage: install_check installed|removed\n");
        return 2;
    }
    return Finish(("install " + mode).c_str());
}
