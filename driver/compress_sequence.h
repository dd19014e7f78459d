#pragma once
#include "driver/driver_instance.h"

namespace kmqx {

// ICM_COMPRESS_BEGIN: creates and initialises the encoder for the source
// size and allocates the work buffer.
LRESULT CompressBegin(DriverInstance* instance, DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                      const BITMAPINFOHEADER* compressed);
// ICM_COMPRESS: codes one frame into the host's output buffer.
LRESULT Compress(DriverInstance* instance, DWORD_PTR driverId, ICCOMPRESS* request);
// ICM_COMPRESS_END: destroys the encoder and the work buffer.
LRESULT CompressEnd(DriverInstance* instance);

}  // namespace kmqx
