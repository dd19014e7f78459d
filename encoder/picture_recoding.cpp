#include <algorithm>
#include <cstring>

#include "common/h263_syntax.h"
#include "encoder/encoder.h"
#include "encoder/macroblock_writer.h"
#include "encoder/recode_quantizer.h"
#include "encoder/stream_headers.h"

namespace kmqx {
namespace {

void CopyPicture(const PictureView& from, const PictureView& to) {
    const size_t luma = size_t(from.width) * size_t(from.height);
    const size_t chroma = size_t(from.chromaWidth()) * size_t(from.height / 2);
    std::memcpy(to.y, from.y, luma);
    std::memcpy(to.cb, from.cb, chroma);
    std::memcpy(to.cr, from.cr, chroma);
}

}  // namespace

void Encoder::WriteStuffing() {
    for (int32_t i = 0; i < stuffingCodes_ && !writer_.Overflowed(); ++i)
        WriteMacroblockStuffing(writer_, pictureCodingType_);
}

void Encoder::CodePicture(uint8_t* output, int32_t capacity, int32_t quantizer,
                          int32_t stuffingCodes, bool skipAll) {
    writer_.Begin(output, capacity);
    rowsCoded_ = macroblockRows_;
    stuffingCodes_ = stuffingCodes;
    lastPictureSkipped_ = skipAll;
    SetPictureQuantizer(quantizer);
    if (pictureCodingType_ == kPictureIntra) {
        CodeIntraPicture();
    } else {
        CodeInterPicture(skipAll);
    }
    writer_.FinishPicture();
}

// A picture that does not fit goes out as an INTRA picture at a coarser
// quantiser, chosen from how far the last coding overshot; its
// reconstruction replaces whatever the failed attempt left.
int32_t Encoder::FitOutput(uint8_t* output, int32_t minimumQuant) {
    codingsOfLastPicture_ = 1;
    PictureCoding previous;
    while (writer_.Overflowed()) {
        const bool coarsest = currentQuant_ >= kMaxQuantizer && pictureCodingType_ == kPictureIntra;
        if (codingsOfLastPicture_ >= kMaxCodingsPerPicture || coarsest)
            return kEncodeOutputTooSmall;
        const PictureCoding last{currentQuant_, EstimatedPictureBits()};
        const int32_t coarser =
            std::max(QuantizerAfterOverflow(
                         last, pictureCodingType_ == kPictureIntra ? previous : PictureCoding{},
                         int64_t{outputCapacity_} * 8, codingsOfLastPicture_),
                     minimumQuant);
        previous = pictureCodingType_ == kPictureIntra ? last : PictureCoding{};
        pictureCodingType_ = kPictureIntra;
        CodePicture(output, outputCapacity_, coarser, 0, false);
        ++codingsOfLastPicture_;
    }
    return kEncodeOk;
}

int32_t Encoder::CodeWithinLimit(uint8_t* output, const PicturePlan& plan, int32_t limitBytes) {
    SaveCodingState();
    CodePicture(output, limitBytes, plan.quantizer, 0, plan.skip);
    codingsOfLastPicture_ = 1;
    const bool inter = pictureCodingType_ == kPictureInter;
    const int64_t limitBits = int64_t{limitBytes} * 8;
    const int64_t aim = plan.aimBits > 0 ? std::min(plan.aimBits, limitBits) : limitBits;
    PictureCoding previous;
    while (writer_.Overflowed()) {
        RestoreCodingState();
        ++codingsOfLastPicture_;
        if (lastPictureSkipped_) {
            // Not even the skipped picture fits: it goes out as the output
            // allows.
            CodePicture(output, outputCapacity_, kMaxQuantizer, 0, true);
            break;
        }
        if (currentQuant_ >= kMaxQuantizer) {
            if (pictureCodingType_ == kPictureIntra && !inter) {
                // No INTRA picture is that small: the coarsest goes out as
                // the output allows.
                CodePicture(output, outputCapacity_, kMaxQuantizer, 0, false);
                break;
            }
            if (pictureCodingType_ == kPictureInter) {
                // After a change of scene an INTRA picture can be the
                // smaller; failing that, the decoder shows the last picture
                // again.
                pictureCodingType_ = kPictureIntra;
                CodePicture(output, limitBytes, kMaxQuantizer, 0, false);
            } else {
                pictureCodingType_ = kPictureInter;
                CodePicture(output, limitBytes, kMaxQuantizer, 0, true);
            }
            continue;
        }
        const PictureCoding last{currentQuant_, EstimatedPictureBits()};
        const int32_t coarser =
            QuantizerAfterOverflow(last, previous, aim, codingsOfLastPicture_ - 1);
        previous = last;
        CodePicture(output, limitBytes, coarser, 0, false);
    }
    const int32_t codings = codingsOfLastPicture_;
    const int32_t result = FitOutput(output, 1);
    codingsOfLastPicture_ += codings - 1;
    return result;
}

void Encoder::AddStuffing(uint8_t* output, int64_t minBits) {
    // Room for the stuffing, the picture and a word of slack.
    const int64_t bits = writer_.BitCount();
    const int64_t free = int64_t{outputCapacity_} * 8 - bits - 32;
    const int32_t codes = StuffingCodesFor(std::min(minBits - bits, free), pictureCodingType_);
    if (codes <= 0) return;
    RestoreCodingState();
    CodePicture(output, outputCapacity_, currentQuant_, codes, lastPictureSkipped_);
    ++codingsOfLastPicture_;
}

void Encoder::SaveCodingState() {
    savedGrid_.CopyFrom(grid_);
    savedMotion_ = motion_;
    CopyPicture(reconstruction_.view, savedReconstruction_.view);
}

void Encoder::RestoreCodingState() {
    grid_.CopyFrom(savedGrid_);
    motion_ = savedMotion_;
    CopyPicture(savedReconstruction_.view, reconstruction_.view);
}

}  // namespace kmqx
