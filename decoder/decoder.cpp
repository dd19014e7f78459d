#include "decoder/decoder.h"

#include <cstring>
#include <new>
#include <utility>

namespace kmqx {

int32_t Decoder::BeginDecompress() {
    if (!idle_) return kDecodeSequenceRunning;
    idle_ = false;
    pictureCount_ = 0;
    return kDecodeOk;
}

int32_t Decoder::EndDecompress() {
    if (idle_) return kDecodeNoSequence;
    ReleasePlanes();
    idle_ = true;
    pictureCount_ = 0;
    return kDecodeOk;
}

int32_t Decoder::DecodeFrame(const uint8_t* data, int32_t size) {
    if (idle_) return kDecodeNoSequence;
    reader_.Init(data, size);

    // A frame of leading zeros stands for a black picture; before the first
    // picture there are no planes and nothing to show.
    if (reader_.Peek(24) == 0) {
        if (pictureCount_ == 0) return kDecodeOk;
        ExchangePictures();
        FillBlack(target_);
        ForgetAgreement();
        return kDecodeOk;
    }

    PictureHeader header;
    switch (FindPicture(&header)) {
        case PictureSearch::kPicture:
            break;
        case PictureSearch::kRejectedHeader:
            return kDecodeHeaderRejected;
        case PictureSearch::kEndOfSequence:
        case PictureSearch::kGobWithoutPicture:
            return kDecodeOk;  // nothing to decode
    }

    if (pictureCount_ == 0) {
        // The first picture fixes the size of the sequence.
        if (!IsSequenceSize(header)) return kDecodeHeaderRejected;
        if (!AllocatePlanes(header.width, header.height)) return kDecodeOutOfMemory;
    }
    pictureType_ = header.type;
    quant_ = header.quant;

    ExchangePictures();
    DecodePictureBody();
    ++pictureCount_;
    return kDecodeOk;
}

bool Decoder::ReadSequenceSize(const uint8_t* data, int32_t size, int32_t* width, int32_t* height) {
    reader_.Init(data, size);
    // As DecodeFrame: a black frame, a rejected header or no picture at all
    // begin no sequence.
    PictureHeader header;
    if (reader_.Peek(24) == 0 || FindPicture(&header) != PictureSearch::kPicture ||
        !IsSequenceSize(header))
        return false;
    *width = header.width;
    *height = header.height;
    return true;
}

PlanarFrame Decoder::GetPicture() {
    if (pictureCount_ == 0 || target_.y == nullptr) return PlanarFrame{nullptr, nullptr, nullptr};
    // At a size of whole macroblocks the decoded planes are already packed.
    if (output_.y == nullptr) return target_;
    for (int32_t row = 0; row < displayHeight_; ++row) {
        std::memcpy(output_.y + size_t(row) * displayWidth_, target_.y + size_t(row) * codedWidth_,
                    size_t(displayWidth_));
    }
    const int32_t chromaRows = displayHeight_ / 2;
    const int32_t chromaCols = displayWidth_ / 2;
    for (int32_t row = 0; row < chromaRows; ++row) {
        std::memcpy(output_.cb + size_t(row) * chromaCols, target_.cb + size_t(row) * chromaWidth_,
                    size_t(chromaCols));
        std::memcpy(output_.cr + size_t(row) * chromaCols, target_.cr + size_t(row) * chromaWidth_,
                    size_t(chromaCols));
    }
    return PlanarFrame{output_.y, output_.cb, output_.cr};
}

bool Decoder::AllocatePlanes(int32_t width, int32_t height) {
    ReleasePlanes();
    const int32_t codedWidth = (width + 15) & ~15;
    const int32_t codedHeight = (height + 15) & ~15;
    const size_t lumaSize = size_t(codedWidth) * size_t(codedHeight);
    const size_t chromaSize = lumaSize / 4;
    // A packed copy only where the display size cuts into the macroblocks.
    const bool packedCopy = codedWidth != width || codedHeight != height;
    const size_t outputLuma = packedCopy ? size_t(width) * size_t(height) : 0;
    const size_t outputChroma = size_t(width / 2) * size_t(height / 2);
    const size_t pictureSize = lumaSize + 2 * chromaSize;
    const size_t total = 2 * pictureSize + (packedCopy ? outputLuma + 2 * outputChroma : 0);

    const int32_t mbCols = codedWidth / 16;
    const int32_t mbRows = codedHeight / 16;
    const int32_t gridStride = mbCols + 2;
    const size_t gridSize = size_t(mbRows + 1) * size_t(gridStride);

    std::unique_ptr<uint8_t[]> storage(new (std::nothrow) uint8_t[total]);
    std::unique_ptr<int32_t[]> grids(new (std::nothrow) int32_t[3 * gridSize]());
    std::unique_ptr<uint8_t[]> agree(new (std::nothrow) uint8_t[size_t(mbCols) * size_t(mbRows)]);
    if (!storage || !grids || !agree) return false;

    uint8_t* p = storage.get();
    current_ = {p, p + lumaSize, p + lumaSize + chromaSize};
    p += pictureSize;
    reference_ = {p, p + lumaSize, p + lumaSize + chromaSize};
    p += pictureSize;
    output_ =
        packedCopy ? PlanarFrame{p, p + outputLuma, p + outputLuma + outputChroma} : PlanarFrame{};
    target_ = current_;
    pictureStorage_ = std::move(storage);

    gridStorage_ = std::move(grids);
    mvX_ = gridStorage_.get();
    mvY_ = mvX_ + gridSize;
    mbMode_ = mvY_ + gridSize;
    gridStride_ = gridStride;
    picturesAgree_ = std::move(agree);

    displayWidth_ = width;
    displayHeight_ = height;
    codedWidth_ = codedWidth;
    codedHeight_ = codedHeight;
    chromaWidth_ = codedWidth / 2;
    chromaHeight_ = codedHeight / 2;
    mbCols_ = mbCols;
    mbRows_ = mbRows;

    // Black planes give an INTER picture at the start of a sequence defined
    // samples to predict from.
    FillBlack(current_);
    FillBlack(reference_);
    ForgetAgreement();
    return true;
}

void Decoder::ReleasePlanes() {
    pictureStorage_.reset();
    gridStorage_.reset();
    picturesAgree_.reset();
    current_ = reference_ = target_ = output_ = PlanarFrame{};
    mvX_ = mvY_ = mbMode_ = nullptr;
    gridStride_ = 0;
    mbCols_ = mbRows_ = 0;
    codedWidth_ = codedHeight_ = chromaWidth_ = chromaHeight_ = 0;
    displayWidth_ = displayHeight_ = 0;
}

void Decoder::ExchangePictures() {
    std::swap(current_, reference_);
    target_ = current_;
}

void Decoder::ForgetAgreement() {
    std::memset(picturesAgree_.get(), 0, size_t(mbCols_) * size_t(mbRows_));
}

void Decoder::FillBlack(const PlanarFrame& planes) {
    const size_t lumaSize = size_t(codedWidth_) * size_t(codedHeight_);
    const size_t chromaSize = size_t(chromaWidth_) * size_t(chromaHeight_);
    std::memset(planes.y, 16, lumaSize);
    std::memset(planes.cb, 128, chromaSize);
    std::memset(planes.cr, 128, chromaSize);
}

}  // namespace kmqx
