#include "driver/decompress_sequence.h"

#include <limits>

#include "convert/output_conversion.h"
#include "driver/format_negotiation.h"

namespace kmqx {

LRESULT DecompressBegin(DriverInstance* instance, const BITMAPINFOHEADER* compressed,
                        const BITMAPINFOHEADER* destination) {
    if (DecompressQuery(compressed, destination) != ICERR_OK) return ICERR_BADFORMAT;
    if (!instance) return ICERR_ERROR;
    if (instance->decompressState == kSequenceRunning) return ICERR_OK;
    if (!instance->decoder) return ICERR_ERROR;
    if (instance->decoder->BeginDecompress() != kDecodeOk) return ICERR_ERROR;
    instance->decompressState = kSequenceRunning;
    return ICERR_OK;
}

LRESULT Decompress(DriverInstance* instance, const ICDECOMPRESS* request) {
    if (!request || !instance) return ICERR_ERROR;
    const BITMAPINFOHEADER* destination = request->lpbiOutput;
    // Only 24-bit RGB is produced, whatever the query accepts.
    if (!destination || destination->biCompression != BI_RGB || destination->biBitCount != 24)
        return ICERR_ERROR;
    if (!instance->decoder) return ICERR_ERROR;
    if (DecompressQuery(request->lpbiInput, destination) != ICERR_OK) return ICERR_BADFORMAT;
    if (instance->decompressState != kSequenceRunning &&
        DecompressBegin(instance, request->lpbiInput, destination) != ICERR_OK)
        return ICERR_ERROR;

    DWORD dataBytes = request->lpbiInput->biSizeImage;
    if (!request->lpInput || dataBytes > static_cast<DWORD>(std::numeric_limits<int32_t>::max()))
        return ICERR_ERROR;
    DecoderInterface& decoder = *instance->decoder;
    if (decoder.DecodeFrame(static_cast<const uint8_t*>(request->lpInput),
                            static_cast<int32_t>(dataBytes)) != kDecodeOk)
        return ICERR_ERROR;

    int32_t width = decoder.GetWidth();
    int32_t height = decoder.GetHeight();
    PlanarFrame frame = decoder.GetPicture();
    // The destination must be exactly the decoded picture, bottom-up; a
    // top-down (negative height) or differently sized buffer is not written.
    if (width <= 0 || height <= 0 || width != destination->biWidth ||
        height != destination->biHeight)
        return ICERR_ERROR;
    if (!request->lpOutput || !frame.y || !frame.cb || !frame.cr) return ICERR_ERROR;
    ConvertPlanarToRgb24(frame, static_cast<uint8_t*>(request->lpOutput), width, height);
    return ICERR_OK;
}

LRESULT DecompressEnd(DriverInstance* instance) {
    if (!instance) return ICERR_ERROR;
    if (instance->decompressState == kSequenceRunning) {
        if (instance->decoder) instance->decoder->EndDecompress();
        instance->decompressState = kSequenceEnded;
    }
    return ICERR_OK;
}

}  // namespace kmqx
