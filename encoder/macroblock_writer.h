#pragma once
#include <cstdint>

#include "encoder/bit_writer.h"
#include "encoder/macroblock_info.h"
#include "encoder/picture_view.h"

namespace kmqx {

// A motion vector in half-pixel units.
struct HalfPelVector {
    int32_t x;
    int32_t y;
};

// MCBPC (and COD = 0 first in a P picture) for an INTRA macroblock, then CBPY
// from the pattern's luminance bits as they are.
void WriteIntraMacroblockHeader(BitWriter& writer, int32_t pictureCodingType, int32_t pattern);
// COD = 0, MCBPC of an INTER macroblock, CBPY of the inverted luminance bits.
void WriteInterMacroblockHeader(BitWriter& writer, int32_t pattern);
// COD = 1.
void WriteSkippedMacroblock(BitWriter& writer);

// Stuffing in front of a macroblock: the MCBPC stuffing code, after COD = 0
// in a P picture. Decoders read past it; it only adds bits.
void WriteMacroblockStuffing(BitWriter& writer, int32_t pictureCodingType);
int32_t MacroblockStuffingBits(int32_t pictureCodingType);
// The stuffing codes that carry at least `bits` (none for bits <= 0).
int32_t StuffingCodesFor(int64_t bits, int32_t pictureCodingType);

// The predictor of macroblock (column, row) from its left, above and above
// right neighbours; the top border's kOutsideVector means "outside".
HalfPelVector PredictMotionVector(const MacroblockGrid& grid, int32_t column, int32_t row,
                                  bool rowHasHeader);
// Writes MVD x and MVD y of the macroblock's own vector against its predictor.
void WriteMotionVector(BitWriter& writer, const MacroblockGrid& grid, int32_t column, int32_t row,
                       bool rowHasHeader);
// One motion vector difference component, already within -32..31.
void WriteMotionVectorDifference(BitWriter& writer, int32_t difference);

// One TCOEF event: the table code and a sign bit, or the 22-bit escape.
void WriteCoefficientEvent(BitWriter& writer, int32_t last, int32_t run, int32_t level);
// INTRADC (128 as 255), then when last != 0 the AC events of scan 1..last.
void WriteIntraBlock(BitWriter& writer, const int8_t levels[64], int32_t last);
// The events of scan positions 0..last.
void WriteInterBlock(BitWriter& writer, const int8_t levels[64], int32_t last);
// All six blocks of an intra macroblock, or the pattern's blocks of an inter one.
void WriteBlocks(BitWriter& writer, bool intra, int32_t pattern, const MacroblockLevels& blocks);

}  // namespace kmqx
