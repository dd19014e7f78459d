// Feeds arbitrary bytes to the decoder as one sequence of frames. Every frame
// is copied into a buffer of exactly its size, so that AddressSanitizer sees
// any read past the end of the caller's data.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoder/decoder.h"
#include "frame_splitter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kmqx::Decoder decoder;
    if (decoder.BeginDecompress() != kmqx::kDecodeOk) std::abort();
    kmqx::fuzz::FrameSplitter splitter(data, size);
    kmqx::fuzz::FrameSlice frame;
    int frames = 0;
    while (splitter.Next(&frame) && frames++ < 64) {
        std::vector<uint8_t> copy(frame.data, frame.data + frame.size);
        const int32_t result = decoder.DecodeFrame(copy.data(), frame.size);
        if (result != kmqx::kDecodeOk && result != kmqx::kDecodeHeaderRejected) std::abort();
        const kmqx::PlanarFrame picture = decoder.GetPicture();
        const int32_t width = decoder.GetWidth();
        const int32_t height = decoder.GetHeight();
        if (picture.y != nullptr) {
            // Touch the corners of every plane so that a wrong size shows.
            volatile uint8_t sink = picture.y[0] ^ picture.y[size_t(width) * height - 1];
            if (width >= 2 && height >= 2) {
                sink ^= picture.cb[size_t(width / 2) * (height / 2) - 1];
                sink ^= picture.cr[size_t(width / 2) * (height / 2) - 1];
            }
            (void)sink;
        } else if (width != 0 || height != 0) {
            std::abort();  // a size without a picture would mislead the driver
        }
    }
    decoder.EndDecompress();
    return 0;
}
