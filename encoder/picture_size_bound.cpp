#include "encoder/picture_size_bound.h"

#include <algorithm>

#include "common/h263_tables.h"
#include "encoder/stream_headers.h"

namespace kmqx {
namespace {

template <size_t N>
int32_t LongestCode(const VlcCode (&table)[N]) {
    int32_t longest = 0;
    for (const VlcCode& code : table) longest = std::max<int32_t>(longest, code.length);
    return longest;
}

// The longest coefficient event: a table code with its sign bit, or the
// escape (ESCAPE, LAST 1, RUN 6, LEVEL 8 bits), whichever is longer.
int32_t LongestCoefficientEvent() {
    int32_t longest = kTcoefEscape.length + 1 + 6 + 8;
    for (const TcoefCode& event : kTcoef) longest = std::max<int32_t>(longest, event.length + 1);
    return longest;
}

}  // namespace

// A block never has more events than coefficients, and no event is longer
// than the longest one, so per macroblock, with the longest code of every
// table (all tables counted whole, stuffing included):
//   INTRA (in either picture type): COD 1 + MCBPC + CBPY
//       + 6 blocks x (INTRADC 8 + 63 AC events);
//   INTER: COD 1 + MCBPC + CBPY + 2 MVD + 6 blocks x 64 events.
// With today's tables: INTRA 1 + 9 + 6 + 6 x (8 + 63 x 22) = 8380 bits,
// INTER 1 + 9 + 6 + 2 x 13 + 6 x 64 x 22 = 8490 bits. Quantised levels are
// clamped to 127, so the escape's 8-bit LEVEL always suffices: the bound
// holds at every quantiser, 1 to 31 alike.
int32_t MaxMacroblockBits() {
    const int32_t event = LongestCoefficientEvent();
    const int32_t mcbpc = std::max(LongestCode(kMcbpcIntra), LongestCode(kMcbpcInter));
    const int32_t header = 1 + mcbpc + LongestCode(kCbpy);
    const int32_t intra = header + 6 * (8 + 63 * event);
    const int32_t inter = header + 2 * LongestCode(kMvd) + 6 * 64 * event;
    return std::max(intra, inter);
}

// The picture: its header, a GOB header before every row but the first (the
// most any GOB interval gives), every macroblock at the bound above, and at
// most 7 bits of stuffing to the byte boundary. The writer stores no bytes
// beyond the count when the buffer ends there.
int64_t MaxPictureBytes(int32_t width, int32_t height) {
    if (width < 1 || height < 1 || width > kMaxPictureDimension || height > kMaxPictureDimension)
        return 0;
    const int64_t columns = (width + 15) / 16;
    const int64_t rows = (height + 15) / 16;
    const int64_t bits = kMaxPictureHeaderBits + (rows - 1) * kGobHeaderBits +
                         columns * rows * MaxMacroblockBits() + 7;
    return bits / 8;
}

}  // namespace kmqx
