#include "driver/host_formats.h"

#include <cstring>

#include "driver/format_negotiation.h"

namespace kmqx {
namespace {

bool SidesInRange(const FrameFormat& frame) {
    return frame.width >= 1 && frame.width <= kMaxPictureDimension && frame.height >= 1 &&
           frame.height <= kMaxPictureDimension;
}

}  // namespace

bool IsReadableFormat(const BITMAPINFOHEADER* format) {
    return format && format->biSize >= sizeof(BITMAPINFOHEADER);
}

bool ReadSourceFormat(const BITMAPINFOHEADER* record, FrameFormat* frame) {
    if (!IsReadableFormat(record)) return false;
    uint32_t masks[3] = {};
    const bool bitfields = record->biCompression == kCompressionBitfields;
    // The masks sit right after the 40-byte header, in the colour table of a
    // BITMAPINFO or inside a longer header alike.
    if (bitfields)
        std::memcpy(masks, reinterpret_cast<const uint8_t*>(record) + sizeof(BITMAPINFOHEADER),
                    sizeof(masks));
    const FrameLayout layout =
        SourceLayout(record->biCompression, record->biBitCount, bitfields ? masks : nullptr);
    *frame = MakeFrameFormat(layout, record->biWidth, record->biHeight);
    return layout != FrameLayout::kNone && SidesInRange(*frame);
}

bool ReadDestinationFormat(const BITMAPINFOHEADER* record, FrameFormat* frame) {
    if (!IsReadableFormat(record)) return false;
    const FrameLayout layout = DestinationLayout(record->biCompression, record->biBitCount);
    *frame = MakeFrameFormat(layout, record->biWidth, record->biHeight);
    if (layout == FrameLayout::kNone || !SidesInRange(*frame)) return false;
    // Chroma pairs (and 2 x 2 blocks for the planar formats) are whole.
    const bool evenWidth = frame->width % 2 == 0, evenHeight = frame->height % 2 == 0;
    if (layout == FrameLayout::kYuyv) return evenWidth;
    if (layout == FrameLayout::kYv12 || layout == FrameLayout::kI420)
        return evenWidth && evenHeight;
    return true;
}

bool ReadCompressedFormat(const BITMAPINFOHEADER* record, int32_t* width, int32_t* height) {
    if (!IsReadableFormat(record) || record->biCompression != kFourCcKmqx) return false;
    const FrameFormat frame =
        MakeFrameFormat(FrameLayout::kNone, record->biWidth, record->biHeight);
    *width = frame.width;
    *height = frame.height;
    return SidesInRange(frame);
}

}  // namespace kmqx
