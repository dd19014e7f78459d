#include "encoder/stream_headers.h"

namespace kmqx {

void WritePictureHeader(BitWriter& writer, const PictureHeader& header) {
    writer.PutBits(kStartCodeValueBits, StartCodeValue(0));
    writer.PutBits(8, static_cast<uint32_t>(header.temporalReference) & 0xFF);
    // Marker bit, H.261 distinction bit, split screen, document camera,
    // freeze picture release.
    writer.PutBits(5, 0x10);
    writer.PutBits(kSourceFormatBits, static_cast<uint32_t>(header.sourceFormat));
    if (header.sourceFormat == kSourceFormatCustom) {
        writer.PutBits(kCustomSizeBits, static_cast<uint32_t>(header.width));
        writer.PutBits(kCustomSizeBits, static_cast<uint32_t>(header.height));
    }
    writer.PutBits(1, static_cast<uint32_t>(header.codingType));
    writer.PutBits(4, 0);  // no optional modes
    writer.PutBits(kQuantizerBits, static_cast<uint32_t>(header.quantizer));
    writer.PutBits(1, 0);  // CPM
    writer.PutBits(1, 0);  // PEI
}

void WriteGobHeader(BitWriter& writer, int32_t row, int32_t quantizer) {
    // GBSC and GN, GFID 00, GQUANT: 29 bits in one piece.
    const uint32_t bits =
        StartCodeValue(row & 31) << (2 + kQuantizerBits) | (static_cast<uint32_t>(quantizer) & 31);
    writer.PutBits(kStartCodeValueBits + 2 + kQuantizerBits, bits);
}

}  // namespace kmqx
