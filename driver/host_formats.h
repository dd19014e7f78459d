#pragma once
#include <cstdint>

#include "common/h263_syntax.h"
#include "convert/frame_layout.h"
#include "platform/platform.h"

namespace kmqx {

// A host's format record is read beyond biSize only when biSize covers a
// whole BITMAPINFOHEADER; shorter records (BITMAPCOREHEADER and nonsense)
// are refused before any later field is read.
bool IsReadableFormat(const BITMAPINFOHEADER* format);

// The source frame a host describes, from bit count and biCompression
// together (16-bit BI_BITFIELDS reads the three masks that follow the
// 40-byte header). False, and nothing to convert, for a record that is not
// readable, a layout the codec does not read, or sides outside
// 1..kMaxPictureDimension.
bool ReadSourceFormat(const BITMAPINFOHEADER* record, FrameFormat* frame);

// The destination frame a host describes: 24- and 32-bit BI_RGB in either
// orientation, YUY2/YUYV of even width, YV12 and I420/IYUV of even sides.
bool ReadDestinationFormat(const BITMAPINFOHEADER* record, FrameFormat* frame);

// A compressed format: tagged KMQX, with sides within 1..kMaxPictureDimension
// (a compressed picture has no orientation: the height's sign is dropped).
bool ReadCompressedFormat(const BITMAPINFOHEADER* record, int32_t* width, int32_t* height);

}  // namespace kmqx
