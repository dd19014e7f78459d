// The macroblock loop: macroblock headers, motion vectors, coefficient blocks
// with dequantisation, and resynchronisation at the next start code.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "common/h263_syntax.h"
#include "common/h263_tables.h"
#include "decoder/decoder.h"
#include "decoder/vlc_tables.h"

namespace kmqx {
namespace {

constexpr int32_t kLookupError = -2;

}  // namespace

void Decoder::SetGridBorders() {
    for (int32_t column = 0; column < mbCols_; ++column) {
        const int32_t i = GridIndex(-1, column);
        mvX_[i] = mvY_[i] = kOutsideVector;
        mbMode_[i] = kMacroblockIntra;
    }
    for (int32_t row = -1; row < mbRows_; ++row) {
        for (int32_t column : {int32_t(-1), mbCols_}) {
            const int32_t i = GridIndex(row, column);
            mvX_[i] = mvY_[i] = 0;
            mbMode_[i] = kMacroblockIntra;
        }
    }
}

int32_t Decoder::DecodeMcbpc() {
    const VlcEntry entry =
        LookupMcbpc(*vlc_, pictureType_ == kPictureInter, reader_.Peek(kMcbpcPeekBits));
    if (entry.length == 0) return kLookupError;
    reader_.Skip(entry.length);
    return entry.value;
}

int32_t Decoder::DecodeCbpy() {
    const VlcEntry entry = LookupCbpy(*vlc_, reader_.Peek(kCbpyPeekBits));
    if (entry.length == 0) return kLookupError;
    reader_.Skip(entry.length);
    return entry.value;
}

int32_t Decoder::DecodeMotionVectorDifference() {
    if (reader_.ReadBit() == 1) return 0;
    const VlcEntry entry = LookupMvd(*vlc_, reader_.Peek(kMvdPeekBits));
    if (entry.length == 0) return kLookupError;
    reader_.Skip(entry.length);
    return entry.value;
}

int32_t Decoder::PredictVector(int32_t row, int32_t column, const int32_t* grid) const {
    const int32_t left = grid[GridIndex(row, column - 1)];
    const int32_t above = grid[GridIndex(row - 1, column)];
    const int32_t aboveRight = grid[GridIndex(row - 1, column + 1)];
    return PredictVectorComponent(left, above, aboveRight,
                                  gobHeaderSeen_ || above == kOutsideVector);
}

bool Decoder::DecodeBlockCoefficients(int16_t* block, bool isIntra) {
    const DecoderVlcTables& tables = *vlc_;
    const int32_t quant = quant_;
    // |REC| = 2 QUANT |LEVEL| + R; a table level (1..12) never reaches the
    // saturation limit. A forbidden quantiser of 0 reconstructs nothing.
    const int32_t step = quant > 0 ? 2 * quant : 0;
    const int32_t rounding = quant > 0 ? DequantRounding(quant) : 0;
    if (quant != levelValuesQuant_) {
        for (int32_t level = -12; level <= 12; ++level)
            levelValues_[level + 12] = int16_t(quant > 0 ? Dequantize(level, quant) : 0);
        levelValuesQuant_ = quant;
    }
    const int16_t* const levelValue = levelValues_ + 12;
    // The unread bits stay in registers for the whole block.
    BitCursor bits = reader_.Cursor();
    int32_t position = isIntra ? 1 : 0;
    for (;;) {
        int32_t last;
        int32_t run;
        int32_t value;
        const TcoefShortEvent event =
            tables.tcoefEvents[BitReader::PeekAt(bits, kTcoefShortEventBits)];
        if (event.length != 0) {
            reader_.SkipAt(bits, event.length);
            last = event.last;
            run = event.run;
            value = levelValue[event.level];
        } else {
            // The code and the sign bit after it in one peek.
            const uint32_t peek = BitReader::PeekAt(bits, kTcoefPeekBits + 1);
            const VlcEntry entry = LookupTcoef(tables, peek >> 1);
            if (entry.length == 0) break;
            if (entry.value == kTcoefEscapeValue) {
                reader_.SkipAt(bits, entry.length);
                // LAST (1), RUN (6), LEVEL (8).
                const int32_t fields = int32_t(BitReader::PeekAt(bits, 15));
                reader_.SkipAt(bits, 15);
                last = fields >> 14;
                run = (fields >> 8) & 63;
                const int32_t field = fields & 255;
                const int32_t level = field >= 128 ? field - 256 : field;
                value = quant > 0 ? Dequantize(level, quant) : 0;
            } else {
                reader_.SkipAt(bits, entry.length + 1);
                last = entry.value >> 12;
                run = (entry.value >> 4) & 255;
                const int32_t magnitude = step * (entry.value & 15) + rounding;
                const bool negative = (peek >> (kTcoefPeekBits - entry.length)) & 1;
                value = negative ? -magnitude : magnitude;
            }
        }

        position += run;
        if (position > 63) break;
        block[tables.zigzag[position]] = int16_t(value);
        ++position;
        if (last == 1) {
            reader_.Resume(bits);
            return position == 1;
        }
        if (position > 63) break;  // the next event can only run past the block
    }
    reader_.Resume(bits);
    resyncPending_ = true;
    return false;
}

// Before each macroblock: a start code ahead is a GOB header, or the end of
// the picture (false); a new row without one may predict from the row above
// again.
inline bool Decoder::FindMacroblock(int32_t* address, int32_t* row, int32_t* column) {
    if (IsStartCodeAhead(reader_.Peek(kStartCodeValueBits))) {
        if (ReadGobHeader(address) != GobResult::kResume) return false;
        *row = *address / mbCols_;
        *column = *address % mbCols_;
        return true;
    }
    if (*column == 0 && *row > 0) gobHeaderSeen_ = false;
    return true;
}

inline Decoder::HeaderResult Decoder::ReadMacroblockHeader(PendingMacroblock* mb) {
    bool coded = true;
    int32_t mcbpc = 0;
    do {
        if (pictureType_ == kPictureInter && reader_.ReadBit() == 1) {
            coded = false;  // COD = 1
            break;
        }
        mcbpc = DecodeMcbpc();
    } while (mcbpc == kMcbpcStuffingValue);
    if (mcbpc == kLookupError) return HeaderResult::kUnreadable;
    mb->valid = true;
    mb->coded = coded;
    if (!coded) {
        mb->type = kMacroblockInter;
        return HeaderResult::kIntact;
    }
    mb->type = McbpcType(mcbpc);
    const int32_t cbpy = DecodeCbpy();
    mb->cbp = CodedBlockPattern(CbpyOrder(cbpy & 15, IsIntraMacroblock(mb->type)),
                                McbpcChromaBits(mcbpc));
    if (HasQuantizerChange(mb->type)) {
        static const int32_t kDquant[4] = {-1, -2, 1, 2};
        quant_ = ClampQuantizer(quant_ + kDquant[reader_.Read(2)]);
    }
    return cbpy == kLookupError ? HeaderResult::kDamaged : HeaderResult::kIntact;
}

inline bool Decoder::ReadMotionVector(const PendingMacroblock& mb) {
    const int32_t index = GridIndex(mb.row, mb.column);
    if (!mb.coded || !HasOneMotionVector(mb.type)) {
        // Skipped macroblocks, intra ones, and INTER4V ones whose four
        // vectors this decoder does not use offer (0, 0) to their neighbours.
        mvX_[index] = mvY_[index] = 0;
        return true;
    }
    bool intact = true;
    int32_t* grids[2] = {mvX_, mvY_};
    const int32_t positions[2] = {16 * mb.column, 16 * mb.row};
    const int32_t limits[2] = {16 * mbCols_ - 16, 16 * mbRows_ - 16};
    for (int component = 0; component < 2; ++component) {
        const int32_t code = DecodeMotionVectorDifference();
        if (code == kLookupError) {
            intact = false;
            continue;
        }
        const int32_t difference = code < 32 ? code : code - 64;
        const int32_t vector =
            WrapVectorComponent(difference + PredictVector(mb.row, mb.column, grids[component]));
        // A vector may not point beyond the picture.
        const int32_t reach = vector / 2 + positions[component];
        if (reach < 0 || reach > limits[component]) intact = false;
        grids[component][index] = vector;
    }
    return intact;
}

inline bool Decoder::ReadBlocks(const PendingMacroblock& mb) {
    const bool isIntra = IsIntraMacroblock(mb.type);
    if (!isIntra && mb.cbp == 0) return true;  // nothing sent, nothing to transform
    dcOnlyBlocks_ = 0;
    for (int block = 0; block < 6 && !resyncPending_; ++block) {
        // Only coded blocks are cleared: of an uncoded intra block the
        // reconstruction reads the DC alone, of an uncoded inter block nothing.
        const bool coded = IsBlockCoded(mb.cbp, block);
        if (coded) std::memset(coefficients_[block], 0, sizeof(coefficients_[block]));
        if (isIntra) {
            const int32_t dc = IntraDcLevel(int32_t(reader_.Read(8)));
            coefficients_[block][0] = int16_t(dc * kIntraDcScale);
        }
        if (coded && DecodeBlockCoefficients(coefficients_[block], isIntra))
            dcOnlyBlocks_ |= 1 << block;
    }
    return !resyncPending_;
}

// A run of skipped macroblocks (COD = 1, a bit no start code begins with)
// in one step. A skip needs no coefficients, so each is reconstructed at
// once, after the macroblock still pending.
bool Decoder::TakeSkippedRun(int32_t* address, int32_t* row, int32_t* column,
                             PendingMacroblock* pending) {
    constexpr int kPeekBits = 24;
    const uint32_t bits = reader_.Peek(kPeekBits);
    const int32_t limit = std::min(kPeekBits, mbCols_ * mbRows_ - *address);
    int32_t run = 0;
    while (run < limit && (bits >> (kPeekBits - 1 - run)) & 1) ++run;
    if (run == 0) return false;
    reader_.Skip(run);
    if (pending->valid) ReconstructPending(*pending);
    pending->valid = false;

    int32_t r = *row;
    int32_t c = *column;
    for (int32_t mb = *address, end = *address + run; mb < end; ++mb) {
        const int32_t index = GridIndex(r, c);
        mvX_[index] = mvY_[index] = 0;
        mbMode_[index] = kMacroblockInter;
        // A copy from the reference at (0, 0), where it is not a copy of
        // the same samples.
        if (!picturesAgree_[size_t(mb)]) {
            PendingMacroblock skipped;
            skipped.valid = true;
            skipped.type = kMacroblockInter;
            skipped.row = r;
            skipped.column = c;
            ReconstructMacroblock(skipped);
        }
        if (++c == mbCols_) {
            // A new row without a GOB header predicts from the row above
            // again (the first of the run was FindMacroblock's to judge).
            c = 0;
            ++r;
            gobHeaderSeen_ = false;
        }
    }
    *address += run;
    *row = r;
    *column = c;
    return true;
}

void Decoder::DecodePictureBody() {
    SetGridBorders();
    const int32_t total = mbCols_ * mbRows_;
    int32_t address = 0;
    int32_t row = 0;
    int32_t column = 0;
    gobHeaderSeen_ = false;
    resyncPending_ = false;
    // The last macroblock read: reconstructed once the next header is read,
    // its coefficients waiting in coefficients_ until then.
    PendingMacroblock pending;

    while (address < total) {
        if (resyncPending_) {
            reader_.SyncToStartCode();
            resyncPending_ = false;
        }
        if (!FindMacroblock(&address, &row, &column)) break;
        if (pictureType_ == kPictureInter && TakeSkippedRun(&address, &row, &column, &pending))
            continue;

        PendingMacroblock mb;
        mb.row = row;
        mb.column = column;
        // Header and vector: any damage drops the macroblock (the vector is
        // still read, and stored for the neighbours, after a damaged CBPY).
        const HeaderResult header = ReadMacroblockHeader(&mb);
        if (header == HeaderResult::kUnreadable) {
            resyncPending_ = true;
            continue;
        }
        const bool vectorIntact = ReadMotionVector(mb);
        if (header == HeaderResult::kDamaged || !vectorIntact) {
            resyncPending_ = true;
            continue;
        }
        const int32_t index = GridIndex(mb.row, mb.column);
        mbMode_[index] = mb.type;
        mb.mvX = mvX_[index];
        mb.mvY = mvY_[index];

        if (pending.valid) ReconstructPending(pending);
        pending.valid = false;

        // Blocks: a damaged one drops the macroblock, which is not
        // reconstructed.
        if (!ReadBlocks(mb)) continue;
        pending = mb;
        ++address;
        if (++column == mbCols_) {
            column = 0;
            ++row;
        }
    }
    if (pending.valid) ReconstructPending(pending);
}

}  // namespace kmqx
