// Start codes, the picture header and GOB headers.
#include "decoder/decoder.h"

namespace kmqx {
namespace {

constexpr uint32_t kGobStartCodeWithGn0 = 32;  // 22 bits of a picture start code
constexpr uint32_t kEndOfSequence22 = 63;      // 22 bits of the end-of-sequence code
constexpr int32_t kEndOfSequenceGn = 31;

struct StandardSize {
    int32_t width;
    int32_t height;
};
// Source format codes 0..7; 6 is reserved and 7 carries its own size, both
// given as 0 x 0 here.
constexpr StandardSize kSourceFormatSizes[8] = {{0, 0},     {128, 96},    {176, 144}, {352, 288},
                                                {704, 576}, {1408, 1152}, {0, 0},     {0, 0}};

}  // namespace

int32_t Decoder::FindPicture(PictureHeader* header) {
    reader_.SyncToStartCode();
    reader_.Skip(17);
    const int32_t gn = int32_t(reader_.Read(5));
    if (gn == kEndOfSequenceGn) return 0;
    if (gn == 0) return ReadPictureHeader(header) == 0 ? 1 : -1;
    return gn + 1;
}

int32_t Decoder::ReadPictureHeader(PictureHeader* header) {
    reader_.Skip(8);                        // TR: pictures are decoded in the order they come
    reader_.Skip(2);                        // marker bit, H.261 distinction bit
    if (reader_.ReadBit() != 0) return -1;  // split screen
    reader_.Skip(2);                        // document camera, freeze picture release
    const int32_t sourceFormat = int32_t(reader_.Read(3));
    if (sourceFormat == 7) {
        header->width = int32_t(reader_.Read(12));
        header->height = int32_t(reader_.Read(12));
    } else {
        header->width = kSourceFormatSizes[sourceFormat].width;
        header->height = kSourceFormatSizes[sourceFormat].height;
    }
    header->type = int32_t(reader_.ReadBit());
    // Unrestricted vectors, arithmetic coding, advanced prediction, PB-frames.
    for (int option = 0; option < 4; ++option) {
        if (reader_.ReadBit() != 0) return -1;
    }
    header->quant = int32_t(reader_.Read(5));
    if (reader_.ReadBit() != 0) return -1;           // CPM
    while (reader_.ReadBit() == 1) reader_.Skip(8);  // PEI, PSPARE
    return 0;
}

Decoder::GobResult Decoder::ReadGobHeader(int32_t* address) {
    reader_.SyncToStartCode();
    const uint32_t startCode = reader_.Peek(22);
    if (startCode == kEndOfSequence22 || startCode == kGobStartCodeWithGn0) {
        return GobResult::kPictureEnds;
    }
    reader_.Skip(17);
    const int32_t gn = int32_t(reader_.Read(5));
    if (gn >= mbRows_) return GobResult::kPictureEnds;
    reader_.Skip(2);  // GFID
    quant_ = int32_t(reader_.Read(5));
    *address = gn * mbCols_;
    gobHeaderSeen_ = true;
    return GobResult::kResume;
}

}  // namespace kmqx
