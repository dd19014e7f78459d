#pragma once
#include <cstdint>

namespace kmqx {

// A picture that does not fit its buffer is coded again, coarser; no picture
// is coded more often than this, and the last coding uses quantiser 31.
constexpr int32_t kMaxCodingsPerPicture = 4;

// One coding of a picture: its quantiser and the bits it took (or would have
// taken, estimated, when it was stopped early). A quantiser of 0 stands for
// no coding.
struct PictureCoding {
    int32_t quantizer = 0;
    int64_t bits = 0;
};

// The quantiser for the next coding of a picture whose last coding, number
// `codings` (1 for the first), took more than `allowedBits`. `previous` is
// the coding before it, of the same picture type, if there was one: two
// codings tell how fast this picture's size falls with the quantiser.
// Always coarser than the last coding (up to 31); 31 for the last coding
// allowed.
int32_t QuantizerAfterOverflow(PictureCoding last, PictureCoding previous, int64_t allowedBits,
                               int32_t codings);

}  // namespace kmqx
