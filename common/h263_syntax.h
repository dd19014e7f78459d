#pragma once
// The rules of the baseline H.263 stream that the encoder's writers and the
// decoder's parser must read alike: syntax constants and the small
// computations both directions make. Each rule is stated here once, so that
// the two sides cannot drift apart.
#include <cstdint>

namespace kmqx {

// ---- Start codes and headers ----

// PSC, GBSC and EOS begin with sixteen zeros and a one: 17 bits.
constexpr int kStartCodeBits = 17;
// The group number after a start code: 0 starts a picture, 31 ends the sequence.
constexpr int kGroupNumberBits = 5;
constexpr int32_t kEndOfSequenceGroupNumber = 31;
// The last GOB number a GOB header may carry (31 is the end of the sequence).
constexpr int32_t kMaxGobNumber = 30;

// A start code and its group number read as one 22-bit value.
constexpr uint32_t StartCodeValue(int32_t groupNumber) {
    return (uint32_t{1} << kGroupNumberBits) | uint32_t(groupNumber);
}
constexpr int kStartCodeValueBits = kStartCodeBits + kGroupNumberBits;

// True when the next 22 bits open with sixteen zeros: a start code (PSC,
// GBSC or EOS) comes next, possibly after stuffing zeros.
constexpr bool IsStartCodeAhead(uint32_t next22Bits) {
    return next22Bits <= StartCodeValue(kEndOfSequenceGroupNumber);
}

// PTYPE bit 9, the picture coding type.
constexpr int32_t kPictureIntra = 0;
constexpr int32_t kPictureInter = 1;

// PTYPE bits 6 to 8, the source format: codes 1 to 5 name the standard
// sizes; 7 (custom) is followed by 12-bit width and height; 0 is forbidden
// and 6 reserved.
constexpr int32_t kSourceFormatSubQcif = 1;
constexpr int32_t kSourceFormatQcif = 2;
constexpr int32_t kSourceFormatCif = 3;
constexpr int32_t kSourceFormat4Cif = 4;
constexpr int32_t kSourceFormat16Cif = 5;
constexpr int32_t kSourceFormatCustom = 7;
constexpr int kSourceFormatBits = 3;
constexpr int kCustomSizeBits = 12;

// The largest picture side the 12-bit custom size fields can carry: the
// limit of every picture this codec writes or reads.
constexpr int32_t kMaxPictureDimension = (1 << kCustomSizeBits) - 1;

struct StandardPictureSize {
    int32_t sourceFormat;
    int32_t width;
    int32_t height;
};
// The sizes a source format code names (sub-QCIF to 16CIF).
inline constexpr StandardPictureSize kStandardPictureSizes[] = {
    {kSourceFormatSubQcif, 128, 96}, {kSourceFormatQcif, 176, 144},    {kSourceFormatCif, 352, 288},
    {kSourceFormat4Cif, 704, 576},   {kSourceFormat16Cif, 1408, 1152},
};

// The source format code of a width x height picture: a standard size's
// own code, custom for every other size.
constexpr int32_t SourceFormatCode(int32_t width, int32_t height) {
    for (const StandardPictureSize& size : kStandardPictureSizes) {
        if (size.width == width && size.height == height) return size.sourceFormat;
    }
    return kSourceFormatCustom;
}

// The size a source format code names; 0 x 0 for custom, forbidden and
// reserved codes.
constexpr StandardPictureSize StandardSizeOf(int32_t sourceFormat) {
    for (const StandardPictureSize& size : kStandardPictureSizes) {
        if (size.sourceFormat == sourceFormat) return size;
    }
    return {sourceFormat, 0, 0};
}

// PQUANT, GQUANT and the quantiser after DQUANT lie in 1..31 (5 bits).
constexpr int kQuantizerBits = 5;
constexpr int32_t kMinQuantizer = 1;
constexpr int32_t kMaxQuantizer = 31;
constexpr int32_t ClampQuantizer(int32_t quantizer) {
    return quantizer < kMinQuantizer ? kMinQuantizer
                                     : (quantizer > kMaxQuantizer ? kMaxQuantizer : quantizer);
}

// ---- Macroblock layer ----

// Macroblock types as MCBPC carries them.
enum MacroblockType : int32_t {
    kMacroblockInter = 0,
    kMacroblockInterQuant = 1,
    kMacroblockInter4V = 2,
    kMacroblockIntra = 3,
    kMacroblockIntraQuant = 4,
};

constexpr bool IsIntraMacroblock(int32_t type) {
    return type == kMacroblockIntra || type == kMacroblockIntraQuant;
}
// Types whose header carries DQUANT.
constexpr bool HasQuantizerChange(int32_t type) {
    return type == kMacroblockInterQuant || type == kMacroblockIntraQuant;
}
// Types with one motion vector (INTER4V's four are not used by this codec).
constexpr bool HasOneMotionVector(int32_t type) {
    return type == kMacroblockInter || type == kMacroblockInterQuant;
}

// The MCBPC value of a type and CBPC: 4 x type + CBPC, the index of the
// INTER picture table (the INTRA picture table starts at type 3).
constexpr int32_t McbpcValue(int32_t type, int32_t chromaBits) {
    return 4 * type + chromaBits;
}
constexpr int32_t McbpcType(int32_t mcbpc) {
    return mcbpc >> 2;
}
constexpr int32_t McbpcChromaBits(int32_t mcbpc) {
    return mcbpc & 3;
}

// The coded-block pattern of a macroblock: one bit per block in the order
// Y0 (top left), Y1, Y2, Y3, Cb, Cr, from 32 down to 1. CBPY carries the
// four luminance bits, MCBPC's CBPC the two chroma bits.
constexpr int32_t CodedBlockBit(int block) {
    return 32 >> block;
}
constexpr bool IsBlockCoded(int32_t pattern, int block) {
    return (pattern & CodedBlockBit(block)) != 0;
}
constexpr int32_t LumaBits(int32_t pattern) {
    return (pattern >> 2) & 15;
}
constexpr int32_t ChromaBits(int32_t pattern) {
    return pattern & 3;
}
constexpr int32_t CodedBlockPattern(int32_t lumaBits, int32_t chromaBits) {
    return 4 * lumaBits + chromaBits;
}

// The CBPY code table is ordered by the luminance bits of INTRA
// macroblocks; INTER macroblocks send their bits complemented. The mapping
// is its own inverse: table index to bits and bits to table index alike.
constexpr int32_t CbpyOrder(int32_t bits, bool intra) {
    return intra ? bits : bits ^ 15;
}

// INTRADC: the intra DC coefficient divided by 8, in 8 bits; the code 255
// stands for 128, whose own code (1000 0000) is not used.
constexpr int32_t kIntraDcScale = 8;
constexpr int32_t IntraDcCode(int32_t dcLevel) {
    return dcLevel == 128 ? 255 : dcLevel;
}
constexpr int32_t IntraDcLevel(int32_t code) {
    return code == 255 ? 128 : code;
}

// ---- Motion vectors ----

// A candidate predictor outside the picture: the vector stored in the grid
// row above the first macroblock row.
constexpr int32_t kOutsideVector = 999;

constexpr int32_t Median(int32_t a, int32_t b, int32_t c) {
    const int32_t low = a < b ? a : b;
    const int32_t high = a < b ? b : a;
    return c <= low ? low : (c >= high ? high : c);
}

// One component of the motion vector predictor: the median of the left,
// above and above-right candidates, or the left one alone where the row
// above is outside the picture or behind a GOB header.
constexpr int32_t PredictVectorComponent(int32_t left, int32_t above, int32_t aboveRight,
                                         bool leftOnly) {
    return leftOnly ? left : Median(left, above, aboveRight);
}

// Vector components and their differences are taken modulo 64 into
// -32..31 half pixels (-16 to 15.5 pixels).
constexpr int32_t WrapVectorComponent(int32_t halfPixels) {
    if (halfPixels < -32) return halfPixels + 64;
    if (halfPixels > 31) return halfPixels - 64;
    return halfPixels;
}

// A chroma vector component (half chroma samples) from the luminance one
// (half luminance samples): halved, quarter positions moved to the half
// position.
constexpr int32_t ChromaVectorComponent(int32_t luma) {
    return luma % 4 == 0 ? luma / 2 : ((luma >> 1) | 1);
}

// ---- Coefficients ----

// Dequantised coefficients saturate to this magnitude before the inverse
// transform, in both directions.
constexpr int32_t kMaxDequantizedCoefficient = 4095;

// The R of |REC| = 2 x QUANT x |LEVEL| + R: QUANT, less one when it is even.
constexpr int32_t DequantRounding(int32_t quant) {
    return quant - (~quant & 1);
}

// A coefficient reconstructed from its level: 0 for 0, else the sign of the
// level times QUANT x (2 |LEVEL| + 1), less one for an even QUANT,
// saturated.
constexpr int32_t Dequantize(int32_t level, int32_t quant) {
    if (level == 0) return 0;
    const int32_t magnitude = 2 * quant * (level < 0 ? -level : level) + DequantRounding(quant);
    const int32_t saturated =
        magnitude > kMaxDequantizedCoefficient ? kMaxDequantizedCoefficient : magnitude;
    return level < 0 ? -saturated : saturated;
}

}  // namespace kmqx
