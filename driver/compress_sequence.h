#pragma once
#include "driver/driver_instance.h"

namespace kmqx {

// ICM_COMPRESS_BEGIN: creates and initialises the encoder for the source
// size and allocates the work buffer.
LRESULT CompressBegin(DriverInstance* instance, DWORD_PTR driverId, const BITMAPINFOHEADER* source,
                      const BITMAPINFOHEADER* compressed);
// ICM_COMPRESS: codes one frame into the host's output buffer.
LRESULT Compress(DriverInstance* instance, DWORD_PTR driverId, ICCOMPRESS* request);
// ICM_COMPRESS_FRAMES_INFO: records the data rate, frame rate and key-frame
// rate of the sequence (before or after its begin), until ICM_COMPRESS_END.
LRESULT CompressFramesInfo(DriverInstance* instance, const ICCOMPRESSFRAMES* info,
                           size_t infoBytes);
// ICM_COMPRESS_END: destroys the encoder and the work buffer and forgets
// what ICM_COMPRESS_FRAMES_INFO asked for.
LRESULT CompressEnd(DriverInstance* instance);

}  // namespace kmqx
