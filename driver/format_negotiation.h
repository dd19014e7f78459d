#pragma once
#include <cstdint>

#include "platform/platform.h"

namespace kmqx {

constexpr DWORD kFourCcKmqx = mmioFOURCC('K', 'M', 'Q', 'X');
constexpr LRESULT kFormatRecordBytes = sizeof(BITMAPINFOHEADER);
constexpr DWORD kInfoFlags = VIDCF_QUALITY | VIDCF_CRUNCH | VIDCF_TEMPORAL | VIDCF_COMPRESSFRAMES |
                             VIDCF_DRAW | VIDCF_FASTTEMPORALC | VIDCF_FASTTEMPORALD;
constexpr DWORD kDriverVersion = 2;
constexpr const char kDriverName[] = "KMQX";
constexpr const char kDriverDescription[] = "Corvel Video Codec 1999";

// ICM_COMPRESS_QUERY: exactly the sources ICM_COMPRESS reads; the
// compressed format may be null.
LRESULT CompressQuery(DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                      const BITMAPINFOHEADER* compressed);
// ICM_COMPRESS_GET_FORMAT: the record size when no format is to be filled.
LRESULT CompressGetFormat(DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                          BITMAPINFOHEADER* compressed);
// ICM_COMPRESS_GET_SIZE: the output buffer size for one frame, 0 if refused.
LRESULT CompressGetSize(DWORD_PTR driverId, const BITMAPINFOHEADER* source);
// The output buffer size for one frame of an accepted source, answered by
// ICM_COMPRESS_GET_SIZE and as GET_FORMAT's biSizeImage (hosts allocate from
// either): the largest picture of the size; 0 for a refused source.
int32_t CompressedFrameCapacity(const BITMAPINFOHEADER& source);

// ICM_DECOMPRESS_QUERY: exactly the destinations ICM_DECOMPRESS writes, of
// the compressed picture's width and height; the destination may be null.
LRESULT DecompressQuery(const BITMAPINFOHEADER* compressed, const BITMAPINFOHEADER* destination);
LRESULT DecompressGetFormat(const BITMAPINFOHEADER* compressed, BITMAPINFOHEADER* destination);

// ICM_GETINFO: fills the driver description into a record of infoBytes;
// answers the bytes filled, 0 for a null or too short record.
LRESULT GetInfo(ICINFO* info, DWORD infoBytes);

}  // namespace kmqx
