#pragma once
#include "driver/driver_instance.h"

namespace kmqx {

// ICM_DECOMPRESS_BEGIN: starts a sequence on the instance's decoder.
LRESULT DecompressBegin(DriverInstance* instance, const BITMAPINFOHEADER* compressed,
                        const BITMAPINFOHEADER* destination);
// ICM_DECOMPRESS: decodes one picture into the host's destination frame.
LRESULT Decompress(DriverInstance* instance, const ICDECOMPRESS* request);
// ICM_DECOMPRESS_END: stops the sequence; the decoder keeps its last picture
// for a following begin of the same size.
LRESULT DecompressEnd(DriverInstance* instance);
// Ends whatever sequence the decoder still holds, before it is destroyed.
void ReleaseDecoderSequence(DriverInstance* instance);

}  // namespace kmqx
