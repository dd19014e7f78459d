#pragma once
#include <cstdint>

#include "platform/platform.h"

namespace kmqx {

constexpr DWORD kFourCcKmqx = mmioFOURCC('K', 'M', 'Q', 'X');
constexpr DWORD kFourCcYv12 = mmioFOURCC('Y', 'V', '1', '2');
constexpr DWORD kFourCcYvu9 = mmioFOURCC('Y', 'V', 'U', '9');
constexpr DWORD kFourCcYuyv = mmioFOURCC('Y', 'U', 'Y', 'V');
constexpr LRESULT kFormatRecordBytes = sizeof(BITMAPINFOHEADER);
constexpr DWORD kInfoFlags = VIDCF_QUALITY | VIDCF_CRUNCH | VIDCF_TEMPORAL | VIDCF_COMPRESSFRAMES |
                             VIDCF_DRAW | VIDCF_FASTTEMPORALC | VIDCF_FASTTEMPORALD;
constexpr DWORD kDriverVersion = 2;
constexpr const char kDriverName[] = "KMQX";
constexpr const char kDriverDescription[] = "Corvel Video Codec 1999";

// ICM_COMPRESS_QUERY; the compressed format may be null.
LRESULT CompressQuery(DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                      const BITMAPINFOHEADER* compressed);
// ICM_COMPRESS_GET_FORMAT: the record size when no format is to be filled.
LRESULT CompressGetFormat(DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                          BITMAPINFOHEADER* compressed);
// ICM_COMPRESS_GET_SIZE: the output buffer size for one frame, 0 if refused.
LRESULT CompressGetSize(DWORD_PTR driverId, const BITMAPINFOHEADER* source);
// The uncompressed frame size: bit count x height x width / 8, truncated to
// the signed 32 bits the host reads.
int32_t FrameSize(const BITMAPINFOHEADER& source);

LRESULT DecompressQuery(const BITMAPINFOHEADER* compressed, const BITMAPINFOHEADER* destination);
LRESULT DecompressGetFormat(const BITMAPINFOHEADER* compressed, BITMAPINFOHEADER* destination);

// ICM_GETINFO: fills the driver description; 0 for a null record, else 4.
LRESULT GetInfo(ICINFO* info);

}  // namespace kmqx
