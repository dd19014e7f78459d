#include "driver/format_negotiation.h"

#include <cstddef>
#include <cstring>

#include "driver/host_formats.h"
#include "encoder/picture_size_bound.h"

namespace kmqx {
namespace {

void FillFormat(BITMAPINFOHEADER& out, LONG width, LONG height, WORD bitCount, DWORD compression,
                DWORD sizeImage) {
    out.biSize = sizeof(BITMAPINFOHEADER);
    out.biWidth = width;
    out.biHeight = height;
    out.biPlanes = 1;
    out.biBitCount = bitCount;
    out.biCompression = compression;
    out.biSizeImage = sizeImage;
    out.biXPelsPerMeter = 0;
    out.biYPelsPerMeter = 0;
    out.biClrUsed = 0;
    out.biClrImportant = 0;
}

// The fields ICM_GETINFO fills: everything before szDriver, which the
// Video Compression Manager fills itself.
constexpr DWORD kInfoFieldsBytes = offsetof(ICINFO, szDriver);

}  // namespace

LRESULT CompressQuery(DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                      const BITMAPINFOHEADER* compressed) {
    if (driverId == 0) return ICERR_BADFORMAT;
    if (compressed && (!IsReadableFormat(compressed) || compressed->biCompression != kFourCcKmqx))
        return ICERR_BADFORMAT;
    FrameFormat frame;
    return ReadSourceFormat(source, &frame) ? ICERR_OK : ICERR_BADFORMAT;
}

int32_t CompressedFrameCapacity(const BITMAPINFOHEADER& source) {
    // Room for the largest picture of this size at any quantiser, so that no
    // picture has to be coded again to fit. (The uncompressed frame is not
    // enough: tiny, thin and noisy pictures need more.) At most 69.6 MB, for
    // 4095 x 4095.
    FrameFormat frame;
    if (!ReadSourceFormat(&source, &frame)) return 0;
    return int32_t(MaxPictureBytes(frame.width, frame.height));
}

LRESULT CompressGetFormat(DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                          BITMAPINFOHEADER* compressed) {
    if (CompressQuery(driverId, source, nullptr) != ICERR_OK) return ICERR_BADFORMAT;
    if (!compressed) return kFormatRecordBytes;
    // A compressed picture has no orientation.
    FrameFormat frame;
    ReadSourceFormat(source, &frame);
    FillFormat(*compressed, frame.width, frame.height, 24, kFourCcKmqx,
               DWORD(CompressedFrameCapacity(*source)));
    return ICERR_OK;
}

LRESULT CompressGetSize(DWORD_PTR driverId, const BITMAPINFOHEADER* source) {
    if (CompressQuery(driverId, source, nullptr) != ICERR_OK) return 0;
    return CompressedFrameCapacity(*source);
}

LRESULT DecompressQuery(const BITMAPINFOHEADER* compressed, const BITMAPINFOHEADER* destination) {
    int32_t width, height;
    if (!ReadCompressedFormat(compressed, &width, &height)) return ICERR_BADFORMAT;
    if (!destination) return ICERR_OK;
    FrameFormat frame;
    if (!ReadDestinationFormat(destination, &frame)) return ICERR_BADFORMAT;
    // No stretching: hosts that want another size scale the picture themselves.
    if (frame.width != width || frame.height != height) return ICERR_BADFORMAT;
    // A stated buffer size smaller than the frame would be overrun.
    const DWORD stated = destination->biSizeImage;
    if (stated != 0 && stated < FrameBytes(frame.layout, frame.width, frame.height))
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT DecompressGetFormat(const BITMAPINFOHEADER* compressed, BITMAPINFOHEADER* destination) {
    if (DecompressQuery(compressed, nullptr) != ICERR_OK) return ICERR_BADFORMAT;
    if (!destination) return kFormatRecordBytes;
    int32_t width, height;
    ReadCompressedFormat(compressed, &width, &height);
    // Hosts allocate their output buffers from biSizeImage.
    FillFormat(*destination, width, height, 24, BI_RGB,
               DWORD(FrameBytes(FrameLayout::kRgb24, width, height)));
    return ICERR_OK;
}

LRESULT GetInfo(ICINFO* info, DWORD infoBytes) {
    if (!info || infoBytes < kInfoFieldsBytes) return 0;
    info->dwSize = sizeof(ICINFO);
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = kFourCcKmqx;
    info->dwFlags = kInfoFlags;
    info->dwVersion = kDriverVersion;
    info->dwVersionICM = ICVERSION;
    MultiByteToWideChar(CP_ACP, 0, kDriverDescription, -1, info->szDescription, 128);
    MultiByteToWideChar(CP_ACP, 0, kDriverName, -1, info->szName, 16);
    return infoBytes < sizeof(ICINFO) ? LRESULT{kInfoFieldsBytes} : LRESULT{sizeof(ICINFO)};
}

}  // namespace kmqx
