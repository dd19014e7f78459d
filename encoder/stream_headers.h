#pragma once
#include <cstdint>

#include "encoder/bit_writer.h"

namespace kmqx {

// Source format codes of the picture header. kSourceFormatCustom is followed
// by the 12-bit width and height.
constexpr int32_t kSourceFormatSubQcif = 1;
constexpr int32_t kSourceFormatQcif = 2;
constexpr int32_t kSourceFormatCif = 3;
constexpr int32_t kSourceFormat4Cif = 4;
constexpr int32_t kSourceFormat16Cif = 5;
constexpr int32_t kSourceFormatCustom = 7;

// The largest size the 12-bit custom size fields can carry.
constexpr int32_t kMaxPictureDimension = 4095;

// GN has 5 bits and 31 is reserved, so rows beyond 30 never get a GOB header.
constexpr int32_t kMaxGobNumber = 30;

constexpr int32_t kPictureIntra = 0;
constexpr int32_t kPictureInter = 1;

// The code for the exact picture size: a standard size or custom.
int32_t SourceFormatCode(int32_t width, int32_t height);

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
