#include "driver/driver_proc.h"

#include "driver/codec_state.h"
#include "driver/compress_sequence.h"
#include "driver/decompress_sequence.h"
#include "driver/dialogs.h"
#include "driver/format_negotiation.h"
#include "driver/instance_lifecycle.h"
#include "driver/instance_registry.h"

using namespace kmqx;

namespace {

const BITMAPINFOHEADER* FormatAt(LPARAM value) {
    return reinterpret_cast<const BITMAPINFOHEADER*>(value);
}
BITMAPINFOHEADER* WritableFormatAt(LPARAM value) {
    return reinterpret_cast<BITMAPINFOHEADER*>(value);
}
constexpr LPARAM kAskOnly = -1;

// A byte count passed in an LPARAM, as the 32-bit value hosts give.
DWORD SizeParameter(LPARAM value) {
    const uint64_t bytes = static_cast<uintptr_t>(value);
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(bytes);
}

// Messages that act on an instance; they are refused for the configuration
// identifier and for 0, which name none.
LRESULT InstanceMessage(DWORD_PTR driverId, UINT message, LPARAM lParam1, LPARAM lParam2) {
    DriverInstance* instance = InstanceFromId(driverId);
    if (!instance) return message == ICM_COMPRESS_BEGIN ? ICERR_BADFORMAT : ICERR_ERROR;
    switch (message) {
        case ICM_COMPRESS_BEGIN:
            return CompressBegin(instance, driverId, FormatAt(lParam1), FormatAt(lParam2));
        case ICM_COMPRESS:
            return Compress(instance, driverId, reinterpret_cast<ICCOMPRESS*>(lParam1));
        case ICM_COMPRESS_END:
            return CompressEnd(instance);
        case ICM_COMPRESS_FRAMES_INFO:
            return CompressFramesInfo(instance, reinterpret_cast<const ICCOMPRESSFRAMES*>(lParam1),
                                      static_cast<size_t>(lParam2));
        case ICM_DECOMPRESS_BEGIN:
            return DecompressBegin(instance, FormatAt(lParam1), FormatAt(lParam2));
        case ICM_DECOMPRESS:
            return Decompress(instance, reinterpret_cast<const ICDECOMPRESS*>(lParam1));
        case ICM_DECOMPRESS_END:
            return DecompressEnd(instance);
        case ICM_GETSTATE:
            return GetState(instance, reinterpret_cast<void*>(lParam1),
                            static_cast<size_t>(lParam2));
        case ICM_SETSTATE:
            return SetState(instance, reinterpret_cast<const void*>(lParam1),
                            static_cast<size_t>(lParam2));
        case ICM_GETQUALITY:
            return GetQuality(instance, reinterpret_cast<int32_t*>(lParam1));
        case ICM_SETQUALITY:
            return SetQuality(instance, static_cast<int32_t>(lParam1));
        default:
            return ICERR_UNSUPPORTED;
    }
}

}  // namespace

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM lParam1,
                                     LPARAM lParam2) {
    switch (message) {
        case DRV_LOAD:
            RegistryReset();
            return 1;
        case DRV_ENABLE:
        case DRV_DISABLE:
        case DRV_INSTALL:
        case DRV_REMOVE:
            return 1;
        case DRV_OPEN:
            if (lParam2 == 0) return static_cast<LRESULT>(kConfigInstanceId);
            return reinterpret_cast<LRESULT>(OpenInstance(reinterpret_cast<ICOPEN*>(lParam2)));
        case DRV_CLOSE:
            if (driverId != kConfigInstanceId)
                CloseInstance(reinterpret_cast<DriverInstance*>(driverId));
            return 1;
        case DRV_FREE:
            RegistryReleaseAll();
            return 1;
        case DRV_CONFIGURE:
            return ShowSettingsDialog(driverId, reinterpret_cast<HWND>(lParam1));
        case DRV_QUERYCONFIGURE:
            return 0;

        case ICM_COMPRESS_GET_FORMAT:
            return CompressGetFormat(driverId, FormatAt(lParam1), WritableFormatAt(lParam2));
        case ICM_COMPRESS_GET_SIZE:
            return CompressGetSize(driverId, FormatAt(lParam1));
        case ICM_COMPRESS_QUERY:
            return CompressQuery(driverId, FormatAt(lParam1), FormatAt(lParam2));
        case ICM_DECOMPRESS_GET_FORMAT:
            return DecompressGetFormat(FormatAt(lParam1), WritableFormatAt(lParam2));
        case ICM_DECOMPRESS_QUERY:
            return DecompressQuery(FormatAt(lParam1), FormatAt(lParam2));
        case ICM_DECOMPRESS_GET_PALETTE:
            return ICERR_BADFORMAT;
        case ICM_GETINFO:
            return GetInfo(reinterpret_cast<ICINFO*>(lParam1), SizeParameter(lParam2));
        case ICM_GETDEFAULTQUALITY:
            return GetDefaultQuality(reinterpret_cast<int32_t*>(lParam1));
        case ICM_GETSTATE:
        case ICM_SETSTATE:
            if (lParam1 == kAskOnly) return 0;
            return InstanceMessage(driverId, message, lParam1, lParam2);
        case ICM_CONFIGURE:
            if (lParam1 == kAskOnly) return ICERR_OK;
            return ConfigureWithFallback(driverId, reinterpret_cast<HWND>(lParam1));
        case ICM_ABOUT:
            if (lParam1 == kAskOnly) return ICERR_OK;
            return ShowAbout(reinterpret_cast<HWND>(lParam1));
        case ICM_COMPRESS_BEGIN:
        case ICM_COMPRESS:
        case ICM_COMPRESS_END:
        case ICM_COMPRESS_FRAMES_INFO:
        case ICM_DECOMPRESS_BEGIN:
        case ICM_DECOMPRESS:
        case ICM_DECOMPRESS_END:
        case ICM_GETQUALITY:
        case ICM_SETQUALITY:
            return InstanceMessage(driverId, message, lParam1, lParam2);
        default:
            if (message >= ICM_USER) return ICERR_UNSUPPORTED;
            return DefDriverProc(driverId, driver, message, lParam1, lParam2);
    }
}
