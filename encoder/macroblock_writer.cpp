#include "encoder/macroblock_writer.h"

#include "common/h263_syntax.h"
#include "common/h263_tables.h"
#include "encoder/transform_kernels.h"

namespace kmqx {
namespace {

// The bits of one coefficient event and their count.
struct EventCode {
    uint32_t bits;
    int32_t length;
};

// Every coefficient event with |LEVEL| up to kMaxLevel as the bits it is
// written with: its code and sign bit, or for events without a code the
// escape with LAST, RUN and LEVEL. Bits and lengths are apart, so that a
// lookup is two loads with one index.
struct EventCodes {
    static constexpr int32_t kMaxLevel = 12;
    // Per LAST, one row of 32 (25 used) per RUN, so that the lookup indexes
    // with shifts: Column(run, level).
    uint32_t bits[2][64 * 32];
    uint8_t lengths[2][64 * 32];

    static uint64_t Column(uint64_t run, int32_t level) {
        return run * 32 + static_cast<uint64_t>(level + kMaxLevel);
    }

    EventCodes() {
        for (int32_t last = 0; last < 2; ++last) {
            for (int32_t run = 0; run < 64; ++run) {
                for (int32_t level = -kMaxLevel; level <= kMaxLevel; ++level) {
                    bits[last][Column(run, level)] = EscapeBits(last, run, level);
                    lengths[last][Column(run, level)] = static_cast<uint8_t>(EscapeLength());
                }
            }
        }
        for (const TcoefCode& event : kTcoef) {
            const uint32_t code = event.code;
            const uint8_t length = static_cast<uint8_t>(event.length + 1);
            bits[event.last][Column(event.run, event.level)] = code << 1;
            bits[event.last][Column(event.run, -event.level)] = (code << 1) | 1;
            lengths[event.last][Column(event.run, event.level)] = length;
            lengths[event.last][Column(event.run, -event.level)] = length;
        }
    }
    // ESCAPE, LAST, RUN (6 bits), LEVEL (8 bits, two's complement) as one value.
    static uint32_t EscapeBits(int32_t last, int32_t run, int32_t level) {
        return uint32_t{kTcoefEscape.code} << 15 | static_cast<uint32_t>(last) << 14 |
               (static_cast<uint32_t>(run) & 63) << 8 | (static_cast<uint32_t>(level) & 0xFF);
    }
    static int32_t EscapeLength() { return kTcoefEscape.length + 15; }
    // Events beyond the table are escapes.
    EventCode Find(int32_t last, int32_t run, int32_t level) const {
        if (static_cast<uint32_t>(run) > 63) return {EscapeBits(last, run, level), EscapeLength()};
        return FindShortRun(last, static_cast<uint64_t>(run), level);
    }
    // For runs known to be 0..63, as those within a block are.
    EventCode FindShortRun(int32_t last, uint64_t run, int32_t level) const {
        const uint64_t column = static_cast<uint64_t>(int64_t{level} + kMaxLevel);
        if (column > 2 * kMaxLevel) {
            return {EscapeBits(last, static_cast<int32_t>(run), level), EscapeLength()};
        }
        const uint64_t index = run * 32 + column;
        return {bits[last][index], lengths[last][index]};
    }
};

const EventCodes& Events() {
    static const EventCodes codes;  // immutable once built
    return codes;
}

inline uint64_t CountTrailingZeros(uint64_t bits) {
    return static_cast<uint64_t>(__builtin_ctzll(bits));
}

template <typename Writer>
inline void PutEvent(Writer& writer, EventCode event) {
    writer.PutCode(event.length, event.bits);
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

// Writes the blocks of a macroblock with what they share looked up once, and
// the pending bits in registers throughout.
class BlockWriter {
  public:
    explicit BlockWriter(BitWriter& writer)
        : bits_(writer),
          events_(Events()),
          scanOrderLevels_(GetForwardTransformKernels().scanOrderLevels) {}

    // INTRADC (128 as 255), then when last != 0 the AC events of scan 1..last.
    void Intra(const int8_t levels[64], int32_t last) {
        bits_.PutCode(8, IntraDcCode(static_cast<uint8_t>(levels[0])));
        if (last != 0) WriteEvents(levels, 1, last);
    }
    void Inter(const int8_t levels[64], int32_t last) { WriteEvents(levels, 0, last); }

  private:
    // Run-length codes the non-zero levels of scan positions first..last
    // (first is 0 or 1); the event at the highest of them gets LAST = 1. The
    // levels come in scan order with a mask of the non-zero ones, so that only
    // those are visited: an event's run is the count of zero bits below it in
    // the mask.
    void WriteEvents(const int8_t levels[64], int32_t first, int32_t last) {
        if (last < first) return;
        int8_t scan[64];
        const uint64_t nonZero = scanOrderLevels_(levels, scan);
        const uint64_t throughLast = last >= 63 ? ~uint64_t{0} : (uint64_t{2} << last) - 1;
        uint64_t pending = nonZero & throughLast & ~((uint64_t{1} << first) - 1);
        if (pending == 0) return;
        // Positions and runs in 64-bit types: they index the tables directly.
        uint64_t runStart = static_cast<uint64_t>(first);  // just after the previous event
        uint64_t position = CountTrailingZeros(pending);
        pending &= pending - 1;
        while (pending != 0) {  // all events but the last
            PutEvent(bits_, events_.FindShortRun(0, position - runStart, scan[position]));
            runStart = position + 1;
            position = CountTrailingZeros(pending);
            pending &= pending - 1;
        }
        PutEvent(bits_, events_.FindShortRun(1, position - runStart, scan[position]));
    }

    BitWriter::Batch bits_;
    const EventCodes& events_;
    uint64_t (*const scanOrderLevels_)(const int8_t levels[64], int8_t scan[64]);
};

}  // namespace

void WriteIntraBlock(BitWriter& writer, const int8_t levels[64], int32_t last) {
    BlockWriter(writer).Intra(levels, last);
}

void WriteInterBlock(BitWriter& writer, const int8_t levels[64], int32_t last) {
    BlockWriter(writer).Inter(levels, last);
}

void WriteBlocks(BitWriter& writer, bool intra, int32_t pattern, const MacroblockLevels& blocks) {
    BlockWriter blockWriter(writer);
    for (int32_t block = 0; block < 6; ++block) {
        if (intra) {
            blockWriter.Intra(blocks.levels[block], blocks.last[block]);
        } else if (IsBlockCoded(pattern, block)) {
            blockWriter.Inter(blocks.levels[block], blocks.last[block]);
        }
    }
}

}  // namespace kmqx
