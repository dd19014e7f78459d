#pragma once
#include <cstdint>

#include "common/h263_syntax.h"
#include "encoder/bit_writer.h"

namespace kmqx {

struct PictureHeader {
    int32_t temporalReference;  // written modulo 256
    int32_t sourceFormat;
    int32_t width;  // written only for the custom format
    int32_t height;
    int32_t codingType;  // kPictureIntra or kPictureInter
    int32_t quantizer;   // 1..31
};

void WritePictureHeader(BitWriter& writer, const PictureHeader& header);

// True when macroblock row `row` can be preceded by a GOB header.
inline bool RowCanCarryGobHeader(int32_t row) {
    return row >= 1 && row <= kMaxGobNumber;
}

// GBSC, GN = row, GFID 0, GQUANT: 29 bits, no stuffing.
void WriteGobHeader(BitWriter& writer, int32_t row, int32_t quantizer);

}  // namespace kmqx
