#include "decoder/vlc_tables.h"

#include "common/h263_syntax.h"
#include "common/h263_tables.h"

namespace kmqx {
namespace {

// Writes `entry` into every slot of `table` whose index, seen as the top
// `indexBits` bits of a peek, begins with the code (code, length). Codes that
// do not belong to this table's range fall outside [lowIndex, lowIndex +
// count) and are left out.
void FillCode(VlcEntry* table, int lowIndex, int count, int indexBits, uint32_t code, int length,
              VlcEntry entry) {
    if (length > indexBits) return;
    const int spread = indexBits - length;
    const uint32_t first = code << spread;
    const uint32_t last = first + (1u << spread) - 1;
    for (uint32_t index = first; index <= last; ++index) {
        if (int(index) >= lowIndex && int(index) < lowIndex + count)
            table[index - lowIndex] = entry;
    }
}

// Places a code in the table of a three-range lookup: the range is chosen by
// where the code's first bit lands in the peek, which fixes the table and the
// scale (peek value / 2^shift).
struct RangeTable {
    VlcEntry* table;
    int size;   // entries of the table
    int low;    // lowest peek value of this range
    int shift;  // index = peek >> shift
};

void FillRanged(const RangeTable* ranges, int rangeCount, int peekBits, uint32_t code, int length,
                VlcEntry entry) {
    const uint32_t peekFirst = code << (peekBits - length);
    for (int r = 0; r < rangeCount; ++r) {
        if (int(peekFirst) >= ranges[r].low) {
            const int indexBits = peekBits - ranges[r].shift;
            FillCode(ranges[r].table, 0, ranges[r].size, indexBits, code, length, entry);
            return;
        }
    }
}

DecoderVlcTables BuildTables() {
    DecoderVlcTables t{};

    for (int i = 0; i < kMcbpcIntraStuffing; ++i) {
        const VlcCode& c = kMcbpcIntra[i];
        if (c.length == 1) continue;  // "1", handled by the first range
        FillCode(t.mcbpcIntra, 0, 32, 6, c.code, c.length,
                 {int16_t(McbpcValue(kMacroblockIntra, 0) + i), c.length});
    }
    for (int i = 0; i < kMcbpcInterStuffing; ++i) {
        const VlcCode& c = kMcbpcInter[i];
        if (c.length == 1) continue;
        FillCode(t.mcbpcInter, 0, 256, 9, c.code, c.length, {int16_t(i), c.length});
    }
    for (int index = 0; index < 16; ++index) {
        const VlcCode& c = kCbpy[index];
        if (c.length == 2) continue;  // "11"
        FillCode(t.cbpy, 0, 48, 6, c.code, c.length, {int16_t(index), c.length});
    }

    // MVD: the code of magnitude m without its leading 0, then the sign bit;
    // as many bits as the full code without its sign.
    const RangeTable mvdRanges[3] = {
        {t.mvdLong, 16, 512, 8}, {t.mvdMedium, 128, 128, 2}, {t.mvdShort, 128, 0, 0}};
    for (int magnitude = 1; magnitude <= 32; ++magnitude) {
        const VlcCode& c = kMvd[magnitude];
        for (int sign = 0; sign < 2; ++sign) {
            if (magnitude == 32 && sign == 0) continue;  // +16 pixels is out of range
            const int codeValue = sign ? 64 - magnitude : magnitude;
            const uint32_t code = ((c.code & ((1u << (c.length - 1)) - 1)) << 1) | uint32_t(sign);
            FillRanged(mvdRanges, 3, 12, code, c.length, {int16_t(codeValue), c.length});
        }
    }

    const RangeTable tcoefRanges[3] = {
        {t.tcoefLong, 128, 512, 5}, {t.tcoefMedium, 128, 128, 2}, {t.tcoefShort, 128, 0, 0}};
    for (int i = 0; i < kTcoefEventCount; ++i) {
        const TcoefCode& c = kTcoef[i];
        const int packed = c.last * 4096 + c.run * 16 + c.level;
        FillRanged(tcoefRanges, 3, 12, c.code, c.length, {int16_t(packed), c.length});
    }
    FillRanged(tcoefRanges, 3, 12, kTcoefEscape.code, kTcoefEscape.length,
               {kTcoefEscapeValue, kTcoefEscape.length});

    constexpr int kEventBits = kTcoefShortEventBits;
    for (int i = 0; i < kTcoefEventCount; ++i) {
        const TcoefCode& c = kTcoef[i];
        const int length = c.length + 1;
        if (length > kEventBits) continue;
        for (int sign = 0; sign < 2; ++sign) {
            const uint32_t first = ((c.code << 1) | uint32_t(sign)) << (kEventBits - length);
            const TcoefShortEvent event = {int8_t(sign ? -c.level : c.level), uint8_t(c.run),
                                           uint8_t(c.last), uint8_t(length)};
            for (uint32_t index = first; index < first + (1u << (kEventBits - length)); ++index)
                t.tcoefEvents[index] = event;
        }
    }
    for (int i = 0; i < 64; ++i) t.zigzag[i] = kZigzag[i];
    return t;
}

}  // namespace

const DecoderVlcTables& GetDecoderVlcTables() {
    static const DecoderVlcTables tables = BuildTables();
    return tables;
}

}  // namespace kmqx
