// Start codes, the picture header and GOB headers.
#include "decoder/decoder.h"

namespace kmqx {
namespace {}  // namespace

Decoder::PictureSearch Decoder::FindPicture(PictureHeader* header) {
    reader_.SyncToStartCode();
    reader_.Skip(kStartCodeBits);
    const int32_t gn = int32_t(reader_.Read(kGroupNumberBits));
    if (gn == kEndOfSequenceGroupNumber) return PictureSearch::kEndOfSequence;
    if (gn != 0) return PictureSearch::kGobWithoutPicture;
    return ReadPictureHeader(header) ? PictureSearch::kPicture : PictureSearch::kRejectedHeader;
}

bool Decoder::ReadPictureHeader(PictureHeader* header) {
    reader_.Skip(8);                           // TR: pictures are decoded in the order they come
    reader_.Skip(2);                           // marker bit, H.261 distinction bit
    if (reader_.ReadBit() != 0) return false;  // split screen
    reader_.Skip(2);                           // document camera, freeze picture release
    const int32_t sourceFormat = int32_t(reader_.Read(kSourceFormatBits));
    if (sourceFormat == kSourceFormatCustom) {
        header->width = int32_t(reader_.Read(kCustomSizeBits));
        header->height = int32_t(reader_.Read(kCustomSizeBits));
    } else {
        // Forbidden and reserved codes name no size (0 x 0).
        const StandardPictureSize size = StandardSizeOf(sourceFormat);
        header->width = size.width;
        header->height = size.height;
    }
    header->type = int32_t(reader_.ReadBit());
    // Unrestricted vectors, arithmetic coding, advanced prediction, PB-frames.
    for (int option = 0; option < 4; ++option) {
        if (reader_.ReadBit() != 0) return false;
    }
    header->quant = int32_t(reader_.Read(kQuantizerBits));
    if (reader_.ReadBit() != 0) return false;        // CPM
    while (reader_.ReadBit() == 1) reader_.Skip(8);  // PEI, PSPARE
    return true;
}

Decoder::GobResult Decoder::ReadGobHeader(int32_t* address) {
    reader_.SyncToStartCode();
    const uint32_t startCode = reader_.Peek(kStartCodeValueBits);
    if (startCode == StartCodeValue(kEndOfSequenceGroupNumber) || startCode == StartCodeValue(0)) {
        return GobResult::kPictureEnds;
    }
    reader_.Skip(kStartCodeBits);
    const int32_t gn = int32_t(reader_.Read(kGroupNumberBits));
    if (gn >= mbRows_) return GobResult::kPictureEnds;
    reader_.Skip(2);  // GFID
    quant_ = int32_t(reader_.Read(kQuantizerBits));
    *address = gn * mbCols_;
    gobHeaderSeen_ = true;
    return GobResult::kResume;
}

}  // namespace kmqx
