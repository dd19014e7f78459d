#include "encoder/encoder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "encoder/macroblock_writer.h"
#include "encoder/stream_headers.h"

namespace kmqx {
namespace {

constexpr uint8_t kNeutralChroma = 128;

int32_t RoundUpToMacroblock(int32_t size) {
    return (size + 15) / 16 * 16;
}

// A plane starts at the first 16-byte boundary strictly after the start of
// its allocation, which has 16 bytes more than the plane.
uint8_t* AlignedPlaneStart(uint8_t* allocation) {
    return allocation + (16 - reinterpret_cast<uintptr_t>(allocation) % 16);
}

uint8_t* AllocateAlignedPlane(std::unique_ptr<uint8_t[]>& allocation, size_t size) {
    allocation.reset(new (std::nothrow) uint8_t[size + 16]());
    return allocation ? AlignedPlaneStart(allocation.get()) : nullptr;
}

// Copies a width x height source plane into the top-left of a plane of the
// coded size, then repeats the last column and the last row into the rest.
// A source without rows or columns leaves a neutral plane.
void CopyAndPadPlane(const uint8_t* source, int32_t width, int32_t height, uint8_t* plane,
                     int32_t codedWidth, int32_t codedHeight, uint8_t emptyValue) {
    if (width <= 0 || height <= 0) {
        std::memset(plane, emptyValue, static_cast<size_t>(codedWidth) * codedHeight);
        return;
    }
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* destination = plane + static_cast<size_t>(row) * codedWidth;
        std::memcpy(destination, source + static_cast<size_t>(row) * width, width);
        std::memset(destination + width, destination[width - 1], codedWidth - width);
    }
    const uint8_t* lastRow = plane + static_cast<size_t>(height - 1) * codedWidth;
    for (int32_t row = height; row < codedHeight; ++row) {
        std::memcpy(plane + static_cast<size_t>(row) * codedWidth, lastRow, codedWidth);
    }
}

}  // namespace

Encoder::Encoder() = default;

// Frees the pictures even when the owner forgot Release.
Encoder::~Encoder() = default;

bool Encoder::AllocatePicture(FrameRecord& record) {
    const size_t lumaSize = static_cast<size_t>(codedWidth_) * codedHeight_;
    const size_t chromaSize = static_cast<size_t>(chromaWidth_) * chromaHeight_;
    record.view.width = codedWidth_;
    record.view.height = codedHeight_;
    record.view.y = AllocateAlignedPlane(record.lumaAllocation, lumaSize);
    record.view.cr = AllocateAlignedPlane(record.crAllocation, chromaSize);
    record.view.cb = AllocateAlignedPlane(record.cbAllocation, chromaSize);
    return record.view.y && record.view.cr && record.view.cb;
}

void Encoder::FreePictures() {
    for (FrameRecord* record : {&reconstruction_, &reference_, &input_, &savedReconstruction_})
        *record = FrameRecord{};
}

int32_t Encoder::Init(int32_t width, int32_t height) {
    if (!notInitialised_) return kEncodeAlreadyInitialised;
    if (width < 1 || height < 1 || width > kMaxPictureDimension || height > kMaxPictureDimension) {
        return kEncodeBadSize;
    }
    width_ = width;
    height_ = height;
    codedWidth_ = RoundUpToMacroblock(width);
    codedHeight_ = RoundUpToMacroblock(height);
    chromaWidth_ = codedWidth_ / 2;
    chromaHeight_ = codedHeight_ / 2;
    macroblockColumns_ = codedWidth_ / 16;
    macroblockRows_ = codedHeight_ / 16;

    if (!AllocatePicture(reconstruction_) || !AllocatePicture(reference_) ||
        !AllocatePicture(input_) || !AllocatePicture(savedReconstruction_) ||
        // Both grids are sized once, so that saving a coding allocates nothing.
        !grid_.Reset(macroblockColumns_, macroblockRows_) ||
        !savedGrid_.Reset(macroblockColumns_, macroblockRows_)) {
        FreePictures();
        return kEncodeOutOfMemory;
    }
    sourceFormat_ = SourceFormatCode(width, height);
    temporalCounter_ = 0;
    pictureCounter_ = 0;
    compressedSize_ = 0;
    forceIntra_ = false;
    lastPictureIntra_ = false;
    lastPictureSkipped_ = false;
    rateControl_.StartSequence(macroblockColumns_ * macroblockRows_,
                               int64_t{codedWidth_} * codedHeight_);
    notInitialised_ = false;
    return kEncodeOk;
}

int32_t Encoder::Release() {
    if (notInitialised_) return kEncodeNotInitialised;
    FreePictures();
    notInitialised_ = true;
    return kEncodeOk;
}

void Encoder::SetPicture(const PlanarFrame& source) {
    if (notInitialised_) return;
    if (source.y) {
        CopyAndPadPlane(source.y, width_, height_, input_.view.y, codedWidth_, codedHeight_, 0);
    }
    const int32_t sourceChromaWidth = width_ / 2;
    const int32_t sourceChromaHeight = height_ / 2;
    if (source.cb) {
        CopyAndPadPlane(source.cb, sourceChromaWidth, sourceChromaHeight, input_.view.cb,
                        chromaWidth_, chromaHeight_, kNeutralChroma);
    }
    if (source.cr) {
        CopyAndPadPlane(source.cr, sourceChromaWidth, sourceChromaHeight, input_.view.cr,
                        chromaWidth_, chromaHeight_, kNeutralChroma);
    }
}

// A null plane gives the encoder its own buffer back.
void Encoder::SetInputY(uint8_t* plane) {
    if (notInitialised_) return;
    input_.view.y = plane ? plane : AlignedPlaneStart(input_.lumaAllocation.get());
}

void Encoder::SetInputCb(uint8_t* plane) {
    if (notInitialised_) return;
    input_.view.cb = plane ? plane : AlignedPlaneStart(input_.cbAllocation.get());
}

void Encoder::SetInputCr(uint8_t* plane) {
    if (notInitialised_) return;
    input_.view.cr = plane ? plane : AlignedPlaneStart(input_.crAllocation.get());
}

int32_t Encoder::GetCompressedSize() {
    return compressedSize_;
}

int32_t Encoder::GetPictureBufferSize(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const int64_t size = int64_t{width} * height * 3 / 2;
    return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

void Encoder::SetGobHeaderInterval(int32_t n) {
    gobHeaderInterval_ = n;
}
void Encoder::SetQuantNormal(int32_t q) {
    quantNormal_ = ClampQuantizer(q);
}
void Encoder::SetQuantKey(int32_t q) {
    quantKey_ = ClampQuantizer(q);
}
void Encoder::SetCodecVersion(int32_t v) {
    codecVersion_ = v;
}
void Encoder::SetParamF(int32_t value) {
    paramF_ = value;
}
void Encoder::SetParamE(int32_t value) {
    paramE_ = value;
}
void Encoder::SetParamD(int32_t value) {
    paramD_ = value;
}
void Encoder::SetParamC(int32_t value) {
    paramC_ = value;
}
void Encoder::SetParamB(int32_t value) {
    paramB_ = value;
}
void Encoder::SetParamA(int32_t value) {
    paramA_ = static_cast<int16_t>(value);
}
void Encoder::SetOutputCapacity(int32_t bytes) {
    outputCapacity_ = std::max(bytes, 0);
}
int32_t Encoder::LastPictureWasIntra() {
    return lastPictureIntra_ ? 1 : 0;
}
int32_t Encoder::SetRateControl(int64_t bitsPerSecond, int32_t numerator, int32_t denominator) {
    return rateControl_.Configure(bitsPerSecond, numerator, denominator) ? kEncodeOk
                                                                         : kEncodeBadRate;
}
void Encoder::SetFrameSizeLimit(int32_t bytes) {
    frameSizeLimit_ = std::max(bytes, 0);
}

void Encoder::SetPictureQuantizer(int32_t qp) {
    currentQuant_ = ClampQuantizer(qp);
    quantizer_ = BuildQuantizerTables(currentQuant_);
    dequant_ = BuildDequantParams(currentQuant_);
}

void Encoder::WritePictureHeader() {
    PictureHeader header;
    header.temporalReference = temporalCounter_;
    header.sourceFormat = sourceFormat_;
    header.width = width_;
    header.height = height_;
    header.codingType = pictureCodingType_;
    header.quantizer = currentQuant_;
    kmqx::WritePictureHeader(writer_, header);
}

void Encoder::WriteGobHeader(int32_t row) {
    kmqx::WriteGobHeader(writer_, row, currentQuant_);
}

bool Encoder::StopAfterOverflow(int32_t row) {
    if (!writer_.Overflowed()) return false;
    rowsCoded_ = row + 1;
    return true;
}

int64_t Encoder::EstimatedPictureBits() const {
    return writer_.BitCount() * macroblockRows_ / std::max(rowsCoded_, 1);
}

int32_t Encoder::EncodeFrame(uint8_t* output, int32_t keyFrame) {
    if (notInitialised_) return kEncodeNotInitialised;
    compressedSize_ = 0;
    codingsOfLastPicture_ = 0;
    lastPictureIntra_ = false;
    lastPictureSkipped_ = false;
    if (output == nullptr || outputCapacity_ <= 0) return kEncodeOutputTooSmall;

    const bool intra = pictureCounter_ == 0 || keyFrame != 0 || forceIntra_;
    const bool rateControlled = rateControl_.Active();
    PicturePlan plan;
    if (rateControlled) {
        plan = rateControl_.Plan(intra, int64_t{frameSizeLimit_} * 8);
    } else {
        plan.quantizer = intra ? quantKey_ : quantNormal_;
    }
    // The tighter of the caller's limit and the rate control's room.
    int64_t limit = outputCapacity_;
    if (frameSizeLimit_ > 0) limit = std::min<int64_t>(limit, frameSizeLimit_);
    if (plan.maxBits > 0) limit = std::min(limit, std::max<int64_t>(plan.maxBits / 8, 1));

    pictureCodingType_ = intra ? kPictureIntra : kPictureInter;
    // The previous reconstruction becomes the reference; the older buffer
    // receives the new reconstruction.
    if (!intra) std::swap(reference_, reconstruction_);
    int32_t result;
    if (rateControlled || limit < outputCapacity_) {
        result = CodeWithinLimit(output, plan, int32_t(limit));
        // Stuffing never takes a picture beyond its limit.
        const int64_t minBits = std::min(plan.minBits, limit * 8);
        if (result == kEncodeOk && minBits > writer_.BitCount()) AddStuffing(output, minBits);
    } else {
        CodePicture(output, outputCapacity_, plan.quantizer, 0, false);
        result = FitOutput(output, quantKey_);
    }
    if (result != kEncodeOk) {
        // Nothing usable was sent: the decoder still holds the last picture
        // that was, so the next one must not predict from ours.
        forceIntra_ = true;
        return result;
    }

    compressedSize_ = writer_.ByteCount();
    lastPictureIntra_ = pictureCodingType_ == kPictureIntra;
    if (lastPictureIntra_) {
        forceIntra_ = false;
    } else {
        ++temporalCounter_;
    }
    ++pictureCounter_;
    if (rateControlled) {
        rateControl_.PictureSent(
            lastPictureIntra_, currentQuant_, int64_t{compressedSize_} * 8,
            int64_t{stuffingCodes_} * MacroblockStuffingBits(pictureCodingType_),
            lastPictureSkipped_);
    }
    return kEncodeOk;
}

}  // namespace kmqx
