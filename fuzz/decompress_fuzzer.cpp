// Feeds arbitrary bytes through the driver's ICM_DECOMPRESS, as a host does.
// Input: destination width and height (16 bits each, big-endian; the top bit
// of the height makes it negative, a top-down request), then length-prefixed
// frames. Output and frame buffers have exactly the sizes the host states,
// so AddressSanitizer sees any access beyond them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "driver/driver_proc.h"
#include "driver_messages.h"
#include "frame_splitter.h"

using namespace kmqx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const int32_t width = 1 + ((data[0] << 8 | data[1]) & 0x7FF);
    int32_t height = 1 + ((data[2] << 8 | data[3]) & 0x7FF);
    if (data[2] & 0x80) height = -height;

    const DWORD_PTR id = OpenInstance(ICMODE_DECOMPRESS);

    BITMAPINFOHEADER compressed = BitmapFormat(width, height, 24, kKmqxFourCC);
    BITMAPINFOHEADER destination = BitmapFormat(width, height, 24, BI_RGB);
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    const size_t outputBytes = stride * size_t(height < 0 ? -height : height);
    destination.biSizeImage = DWORD(outputBytes);
    Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination));

    kmqx::fuzz::FrameSplitter splitter(data + 4, size - 4);
    kmqx::fuzz::FrameSlice frame;
    int frames = 0;
    while (splitter.Next(&frame) && frames++ < 32) {
        std::vector<uint8_t> input(frame.data, frame.data + frame.size);
        std::vector<uint8_t> output(outputBytes);
        compressed.biSizeImage = DWORD(frame.size);
        ICDECOMPRESS request{0, &compressed, input.data(), &destination, output.data(), 0};
        Send(id, ICM_DECOMPRESS, Ptr(&request), sizeof(request));
    }
    Send(id, ICM_DECOMPRESS_END);
    Send(id, DRV_CLOSE);
    return 0;
}
