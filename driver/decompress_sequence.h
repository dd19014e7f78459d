#pragma once
#include "driver/driver_instance.h"

namespace kmqx {

// ICM_DECOMPRESS_BEGIN: starts a sequence on the instance's decoder.
LRESULT DecompressBegin(DriverInstance* instance, const BITMAPINFOHEADER* compressed,
                        const BITMAPINFOHEADER* destination);
// ICM_DECOMPRESS: decodes one picture into the host's 24-bit RGB buffer.
LRESULT Decompress(DriverInstance* instance, const ICDECOMPRESS* request);
// ICM_DECOMPRESS_END: stops the sequence; the decoder itself stays.
LRESULT DecompressEnd(DriverInstance* instance);

}  // namespace kmqx
