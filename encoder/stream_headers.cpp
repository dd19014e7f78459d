#include "encoder/stream_headers.h"

namespace kmqx {

int32_t SourceFormatCode(int32_t width, int32_t height) {
    struct StandardSize {
        int32_t width, height, code;
    };
    static constexpr StandardSize kSizes[] = {
        {128, 96, kSourceFormatSubQcif},  {176, 144, kSourceFormatQcif},
        {352, 288, kSourceFormatCif},     {704, 576, kSourceFormat4Cif},
        {1408, 1152, kSourceFormat16Cif},
    };
    for (const StandardSize& size : kSizes) {
        if (size.width == width && size.height == height) return size.code;
    }
    return kSourceFormatCustom;
}

void WritePictureHeader(BitWriter& writer, const PictureHeader& header) {
    writer.PutBits(17, 1);  // picture start code: 16 zeros, a one ...
    writer.PutBits(5, 0);   // ... and five zeros
    writer.PutBits(8, static_cast<uint32_t>(header.temporalReference) & 0xFF);
    // Marker bit, H.261 distinction bit, split screen, document camera,
    // freeze picture release.
    writer.PutBits(5, 0x10);
    writer.PutBits(3, static_cast<uint32_t>(header.sourceFormat));
    if (header.sourceFormat == kSourceFormatCustom) {
        writer.PutBits(12, static_cast<uint32_t>(header.width));
        writer.PutBits(12, static_cast<uint32_t>(header.height));
    }
    writer.PutBits(1, static_cast<uint32_t>(header.codingType));
    writer.PutBits(4, 0);  // no optional modes
    writer.PutBits(5, static_cast<uint32_t>(header.quantizer));
    writer.PutBits(1, 0);  // CPM
    writer.PutBits(1, 0);  // PEI
}

void WriteGobHeader(BitWriter& writer, int32_t row, int32_t quantizer) {
    const uint32_t bits = (uint32_t{1} << 12) | (static_cast<uint32_t>(row) & 31) << 7 |
                          (static_cast<uint32_t>(quantizer) & 31);
    // GBSC (16 zeros and a one), GN, GFID 00, GQUANT: 29 bits in one piece.
    writer.PutBits(29, bits);
}

}  // namespace kmqx
