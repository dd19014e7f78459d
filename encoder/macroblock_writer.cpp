#include "encoder/macroblock_writer.h"

#include "common/h263_syntax.h"
#include "common/h263_tables.h"
#include "encoder/quantizer.h"
#include "encoder/transform_kernels.h"

namespace kmqx {
namespace {

// Every coefficient event with |LEVEL| up to kMaxLevel as the bits it is
// written with: its code and sign bit, or for events without a code the
// escape with LAST, RUN and LEVEL. Entries are bits << 5 | length.
struct EventCodes {
    static constexpr int32_t kMaxLevel = 12;
    // Rows of 32 (25 used), so that the lookup indexes with shifts.
    uint32_t codes[2][64][32];

    EventCodes() {
        for (int32_t last = 0; last < 2; ++last)
            for (int32_t run = 0; run < 64; ++run)
                for (int32_t level = -kMaxLevel; level <= kMaxLevel; ++level)
                    codes[last][run][level + kMaxLevel] = Escape(last, run, level);
        for (const TcoefCode& event : kTcoef) {
            const uint32_t code = event.code;
            const uint32_t length = event.length + 1u;
            codes[event.last][event.run][kMaxLevel + event.level] = (code << 1) << 5 | length;
            codes[event.last][event.run][kMaxLevel - event.level] = ((code << 1) | 1) << 5 | length;
        }
    }
    // ESCAPE, LAST, RUN (6 bits), LEVEL (8 bits, two's complement) as one value.
    static uint32_t Escape(int32_t last, int32_t run, int32_t level) {
        const uint32_t bits =
            uint32_t{kTcoefEscape.code} << 15 | static_cast<uint32_t>(last) << 14 |
            (static_cast<uint32_t>(run) & 63) << 8 | (static_cast<uint32_t>(level) & 0xFF);
        return bits << 5 | (kTcoefEscape.length + 15u);
    }
    // Events beyond the table are escapes.
    uint32_t Find(int32_t last, int32_t run, int32_t level) const {
        const uint32_t index = static_cast<uint32_t>(level + kMaxLevel);
        if (index > 2 * kMaxLevel || run > 63) return Escape(last, run, level);
        return codes[last][run][index];
    }
};

const EventCodes& Events() {
    static const EventCodes codes;  // immutable once built
    return codes;
}

inline int32_t CountTrailingZeros(uint64_t bits) {
    return __builtin_ctzll(bits);
}

inline void PutEvent(BitWriter& writer, uint32_t entry) {
    writer.PutCode(static_cast<int32_t>(entry & 31), entry >> 5);
}

void PutCode(BitWriter& writer, const VlcCode& code) {
    writer.PutBits(code.length, code.code);
}

HalfPelVector VectorOf(const MacroblockInfo& record) {
    return {2 * record.mvX + record.halfX, 2 * record.mvY + record.halfY};
}

}  // namespace

void WriteIntraMacroblockHeader(BitWriter& writer, int32_t pictureCodingType, int32_t pattern) {
    const int32_t mcbpc = McbpcValue(kMacroblockIntra, ChromaBits(pattern));
    if (pictureCodingType != kPictureIntra) {
        writer.PutBits(1, 0);  // COD
        PutCode(writer, kMcbpcInter[mcbpc]);
    } else {
        PutCode(writer, kMcbpcIntra[mcbpc - McbpcValue(kMacroblockIntra, 0)]);
    }
    PutCode(writer, kCbpy[CbpyOrder(LumaBits(pattern), true)]);
}

void WriteMacroblockStuffing(BitWriter& writer, int32_t pictureCodingType) {
    if (pictureCodingType == kPictureInter) {
        writer.PutBits(1, 0);  // COD
        PutCode(writer, kMcbpcInter[kMcbpcInterStuffing]);
    } else {
        PutCode(writer, kMcbpcIntra[kMcbpcIntraStuffing]);
    }
}

int32_t MacroblockStuffingBits(int32_t pictureCodingType) {
    return pictureCodingType == kPictureInter ? 1 + kMcbpcInter[kMcbpcInterStuffing].length
                                              : kMcbpcIntra[kMcbpcIntraStuffing].length;
}

int32_t StuffingCodesFor(int64_t bits, int32_t pictureCodingType) {
    if (bits <= 0) return 0;
    const int64_t codeBits = MacroblockStuffingBits(pictureCodingType);
    return int32_t(std::min<int64_t>((bits + codeBits - 1) / codeBits, INT32_MAX));
}

void WriteInterMacroblockHeader(BitWriter& writer, int32_t pattern) {
    writer.PutBits(1, 0);  // COD
    PutCode(writer, kMcbpcInter[McbpcValue(kMacroblockInter, ChromaBits(pattern))]);
    PutCode(writer, kCbpy[CbpyOrder(LumaBits(pattern), false)]);
}

void WriteSkippedMacroblock(BitWriter& writer) {
    writer.PutBits(1, 1);
}

HalfPelVector PredictMotionVector(const MacroblockGrid& grid, int32_t column, int32_t row,
                                  bool rowHasHeader) {
    const HalfPelVector left = VectorOf(grid.At(column - 1, row));
    if (rowHasHeader) return left;
    const MacroblockInfo& aboveRecord = grid.At(column, row - 1);
    const bool leftOnly = aboveRecord.mvX == kOutsideVector;
    const HalfPelVector above = VectorOf(aboveRecord);
    const HalfPelVector aboveRight = VectorOf(grid.At(column + 1, row - 1));
    return {PredictVectorComponent(left.x, above.x, aboveRight.x, leftOnly),
            PredictVectorComponent(left.y, above.y, aboveRight.y, leftOnly)};
}

void WriteMotionVectorDifference(BitWriter& writer, int32_t difference) {
    if (difference == 0) {
        PutCode(writer, kMvd[0]);
        return;
    }
    const int32_t magnitude = difference < 0 ? -difference : difference;
    PutCode(writer, kMvd[magnitude]);
    writer.PutBits(1, difference < 0 ? 1 : 0);
}

void WriteMotionVector(BitWriter& writer, const MacroblockGrid& grid, int32_t column, int32_t row,
                       bool rowHasHeader) {
    const HalfPelVector predictor = PredictMotionVector(grid, column, row, rowHasHeader);
    const HalfPelVector vector = VectorOf(grid.At(column, row));
    WriteMotionVectorDifference(writer, WrapVectorComponent(vector.x - predictor.x));
    WriteMotionVectorDifference(writer, WrapVectorComponent(vector.y - predictor.y));
}

void WriteCoefficientEvent(BitWriter& writer, int32_t last, int32_t run, int32_t level) {
    PutEvent(writer, Events().Find(last, run, level));
}

namespace {

// Run-length codes scan positions first..last; the event at last gets LAST =
// 1. Only the non-zero levels are visited: their scan positions become one
// mask, taken lowest first.
void WriteEvents(BitWriter& writer, const int8_t levels[64], int32_t first, int32_t last) {
    if (last < first) return;
    const EventCodes& events = Events();
    uint64_t raster = GetForwardTransformKernels().nonZeroLevels(levels);
    uint64_t scan = 0;
    while (raster != 0) {
        scan |= uint64_t{1} << kInverseZigzag[CountTrailingZeros(raster)];
        raster &= raster - 1;
    }
    const uint64_t throughLast = last >= 63 ? ~uint64_t{0} : (uint64_t{2} << last) - 1;
    scan &= throughLast & ~((uint64_t{1} << first) - 1);
    int32_t previous = first - 1;
    while (scan != 0) {
        const int32_t position = CountTrailingZeros(scan);
        scan &= scan - 1;
        const int32_t run = position - previous - 1;
        previous = position;
        PutEvent(writer, events.Find(scan == 0 ? 1 : 0, run, levels[kZigzag[position]]));
    }
}

}  // namespace

void WriteIntraBlock(BitWriter& writer, const int8_t levels[64], int32_t last) {
    writer.PutBits(8, IntraDcCode(static_cast<uint8_t>(levels[0])));
    if (last == 0) return;
    WriteEvents(writer, levels, 1, last);
}

void WriteInterBlock(BitWriter& writer, const int8_t levels[64], int32_t last) {
    WriteEvents(writer, levels, 0, last);
}

void WriteBlocks(BitWriter& writer, bool intra, int32_t pattern, const MacroblockLevels& blocks) {
    for (int32_t block = 0; block < 6; ++block) {
        if (intra) {
            WriteIntraBlock(writer, blocks.levels[block], blocks.last[block]);
        } else if (IsBlockCoded(pattern, block)) {
            WriteInterBlock(writer, blocks.levels[block], blocks.last[block]);
        }
    }
}

}  // namespace kmqx
