#include "driver/format_negotiation.h"

namespace kmqx {
namespace {

bool IsAcceptedSourceBitCount(WORD bitCount) {
    return bitCount == 9 || bitCount == 12 || bitCount == 16 || bitCount == 24;
}

void FillFormat(BITMAPINFOHEADER& out, LONG width, LONG height, DWORD compression,
                DWORD sizeImage) {
    out.biSize = sizeof(BITMAPINFOHEADER);
    out.biWidth = width;
    out.biHeight = height;
    out.biPlanes = 1;
    out.biBitCount = 24;
    out.biCompression = compression;
    out.biSizeImage = sizeImage;
    out.biXPelsPerMeter = 0;
    out.biYPelsPerMeter = 0;
    out.biClrUsed = 0;
    out.biClrImportant = 0;
}

}  // namespace

LRESULT CompressQuery(DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                      const BITMAPINFOHEADER* compressed) {
    if (driverId == 0) return ICERR_BADFORMAT;
    if (compressed && compressed->biCompression != kFourCcKmqx) return ICERR_BADFORMAT;
    if (!source) return ICERR_BADFORMAT;
    return IsAcceptedSourceBitCount(source->biBitCount) ? ICERR_OK : ICERR_BADFORMAT;
}

int32_t FrameSize(const BITMAPINFOHEADER& source) {
    // The signed 32-bit product, wrapping as the host's arithmetic does,
    // computed unsigned so that an overflow is not undefined behaviour.
    uint32_t bits = uint32_t{source.biBitCount} * static_cast<uint32_t>(source.biHeight) *
                    static_cast<uint32_t>(source.biWidth);
    return static_cast<int32_t>(bits) / 8;
}

LRESULT CompressGetFormat(DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                          BITMAPINFOHEADER* compressed) {
    if (CompressQuery(driverId, source, nullptr) != ICERR_OK) return ICERR_BADFORMAT;
    if (!compressed) return kFormatRecordBytes;
    FillFormat(*compressed, source->biWidth, source->biHeight, kFourCcKmqx,
               static_cast<DWORD>(FrameSize(*source)));
    return ICERR_OK;
}

LRESULT CompressGetSize(DWORD_PTR driverId, const BITMAPINFOHEADER* source) {
    if (CompressQuery(driverId, source, nullptr) != ICERR_OK) return 0;
    return FrameSize(*source);
}

LRESULT DecompressQuery(const BITMAPINFOHEADER* compressed, const BITMAPINFOHEADER* destination) {
    if (!compressed || compressed->biCompression != kFourCcKmqx) return ICERR_BADFORMAT;
    if (!destination) return ICERR_OK;
    if (destination->biCompression == BI_RGB && destination->biBitCount == 24) return ICERR_OK;
    if (destination->biCompression == kFourCcYv12 && destination->biBitCount == 12) return ICERR_OK;
    return ICERR_BADFORMAT;
}

LRESULT DecompressGetFormat(const BITMAPINFOHEADER* compressed, BITMAPINFOHEADER* destination) {
    if (DecompressQuery(compressed, nullptr) != ICERR_OK) return ICERR_BADFORMAT;
    if (!destination) return kFormatRecordBytes;
    FillFormat(*destination, compressed->biWidth, compressed->biHeight, BI_RGB, 0);
    return ICERR_OK;
}

LRESULT GetInfo(ICINFO* info) {
    if (!info) return 0;
    info->dwSize = sizeof(ICINFO);
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = kFourCcKmqx;
    info->dwFlags = kInfoFlags;
    info->dwVersion = kDriverVersion;
    info->dwVersionICM = ICVERSION;
    MultiByteToWideChar(CP_ACP, 0, kDriverDescription, -1, info->szDescription, 128);
    MultiByteToWideChar(CP_ACP, 0, kDriverName, -1, info->szName, 16);
    return 4;
}

}  // namespace kmqx
