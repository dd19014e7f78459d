#pragma once
#include <cstdint>
#include <memory>

#include "encoder/bit_writer.h"
#include "encoder/encoder_interface.h"
#include "encoder/macroblock_info.h"
#include "encoder/macroblock_transform.h"
#include "encoder/motion_state.h"
#include "encoder/picture_view.h"
#include "encoder/rate_control.h"

namespace kmqx {

// One of the encoder's three pictures: planes of the coded size, each at a
// 16-byte boundary inside an allocation the record owns.
struct FrameRecord {
    PictureView view{};
    std::unique_ptr<uint8_t[]> lumaAllocation;
    std::unique_ptr<uint8_t[]> cbAllocation;
    std::unique_ptr<uint8_t[]> crAllocation;
};

// The H.263 encoder. Every piece of coding state (settings, bit writer,
// quantiser, working buffers) lives in the object, so encoders on different
// threads do not disturb each other.
class Encoder final : public EncoderInterface {
  public:
    Encoder();
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    int32_t Init(int32_t width, int32_t height) override;
    int32_t Release() override;
    int32_t EncodeFrame(uint8_t* output, int32_t keyFrame) override;
    void SetPicture(const PlanarFrame& source) override;
    void SetInputY(uint8_t* plane) override;
    void SetInputCb(uint8_t* plane) override;
    void SetInputCr(uint8_t* plane) override;
    int32_t GetCompressedSize() override;
    int32_t GetPictureBufferSize(int32_t width, int32_t height) override;
    void Reserved9(int32_t) override {}
    void Reserved10(int32_t) override {}
    void SetGobHeaderInterval(int32_t n) override;
    void Reserved12(int32_t) override {}
    void Reserved13(int32_t) override {}
    void Reserved14(int32_t) override {}
    void SetQuantNormal(int32_t q) override;
    void SetQuantKey(int32_t q) override;
    void SetCodecVersion(int32_t v) override;
    void SetParamF(int32_t value) override;
    void SetParamE(int32_t value) override;
    void SetParamD(int32_t value) override;
    void SetParamC(int32_t value) override;
    void SetParamB(int32_t value) override;
    void SetParamA(int32_t value) override;
    void SetOutputCapacity(int32_t bytes) override;
    int32_t LastPictureWasIntra() override;
    int32_t SetRateControl(int64_t bitsPerSecond, int32_t numerator, int32_t denominator) override;
    void SetFrameSizeLimit(int32_t bytes) override;

    // Read-only views for tests and tools.
    const PictureView& InputPicture() const { return input_.view; }
    const PictureView& ReconstructionPicture() const { return reconstruction_.view; }
    const MacroblockGrid& Grid() const { return grid_; }
    int32_t SourceFormat() const { return sourceFormat_; }
    int32_t QuantNormal() const { return quantNormal_; }
    int32_t QuantKey() const { return quantKey_; }
    int32_t CurrentQuant() const { return currentQuant_; }
    int32_t TemporalCounter() const { return temporalCounter_; }
    bool IsInitialised() const { return !notInitialised_; }
    // How many times the last EncodeFrame coded its picture to make it fit.
    int32_t CodingsOfLastPicture() const { return codingsOfLastPicture_; }
    // Whether the last picture went out with every macroblock skipped
    // because nothing else fitted its limit.
    bool LastPictureSkipped() const { return lastPictureSkipped_; }
    const RateControl& Rate() const { return rateControl_; }

  private:
    // The two picture loops. Each writes the picture header, the stuffing
    // asked for and every macroblock (or the rows up to an overflow); the
    // caller finishes the picture. Both code with the
    // quantiser the caller set (SetPictureQuantizer). With skipAll the INTER
    // loop skips every macroblock, as if none had changed.
    void CodeIntraPicture();
    void CodeInterPicture(bool skipAll);
    void WriteStuffing();

    // One coding of the current picture, of the current picture type, into
    // the first capacity bytes of output.
    void CodePicture(uint8_t* output, int32_t capacity, int32_t quantizer, int32_t stuffingCodes,
                     bool skipAll);
    // While the last coding overflows the output, codes the picture again as
    // INTRA, coarser but not finer than minimumQuant; kEncodeOutputTooSmall
    // when even the coarsest does not fit.
    int32_t FitOutput(uint8_t* output, int32_t minimumQuant);
    // Codes the picture within limitBytes (less than the output capacity):
    // each coding that overflows is undone and the picture coded again
    // coarser; an INTER picture that cannot fit is sent with every
    // macroblock skipped, an INTRA one falls back on FitOutput.
    int32_t CodeWithinLimit(uint8_t* output, const PicturePlan& plan, int32_t limitBytes);
    // Codes the last coding again with stuffing in front of its first
    // macroblock, so that it takes at least minBits (as far as the output
    // holds them); the macroblocks come out exactly as before.
    void AddStuffing(uint8_t* output, int64_t minBits);
    // Everything the coding of a picture changes, kept so that a coding can
    // be undone: the macroblock records, the per-macroblock working state
    // and the picture that receives the reconstruction.
    void SaveCodingState();
    void RestoreCodingState();

    // After each row of a picture: true when the picture has overflowed the
    // output, which is then not worth finishing; remembers how many rows
    // were coded, from which the caller estimates the size of the whole.
    bool StopAfterOverflow(int32_t row);
    // The bits the whole of the last coding would have taken.
    int64_t EstimatedPictureBits() const;

    // Sets the current quantiser and derives the quantisation and
    // dequantisation constants from it.
    void SetPictureQuantizer(int32_t qp);
    void WritePictureHeader();
    void WriteGobHeader(int32_t row);
    // Writes the INTRA macroblock (x, y) of the current picture: transform,
    // reconstruction, header and the six blocks; clears its record's vectors.
    void CodeIntraMacroblock(int32_t column, int32_t row);
    void FreePictures();
    bool AllocatePicture(FrameRecord& record);

    // Pictures: the next input, the previous reconstruction (reference) and
    // the reconstruction of the picture being coded.
    FrameRecord input_;
    FrameRecord reference_;
    FrameRecord reconstruction_;
    MacroblockGrid grid_;

    int32_t width_ = 0;  // as passed to Init
    int32_t height_ = 0;
    int32_t codedWidth_ = 0;  // rounded up to whole macroblocks
    int32_t codedHeight_ = 0;
    int32_t chromaWidth_ = 0;
    int32_t chromaHeight_ = 0;
    int32_t macroblockColumns_ = 0;
    int32_t macroblockRows_ = 0;

    int32_t temporalCounter_ = 0;  // TR: counts INTER pictures
    int32_t pictureCounter_ = 0;   // every picture since Init
    bool notInitialised_ = true;
    bool forceIntra_ = false;        // the reference no longer matches what was sent
    int32_t pictureCodingType_ = 0;  // 0 INTRA, 1 INTER
    int32_t currentQuant_ = 2;
    int32_t quantNormal_ = 2;
    int32_t quantKey_ = 2;

    // Settings. A is a 16-bit threshold; D and F are stored without effect.
    int16_t paramA_ = 0;
    int32_t paramB_ = 0;
    int32_t paramC_ = 0;
    int32_t paramD_ = 0;
    int32_t paramE_ = 0;
    int32_t paramF_ = 0;
    int32_t codecVersion_ = 1;  // the integer search range
    int32_t gobHeaderInterval_ = 0;
    int32_t sourceFormat_ = 3;

    // Output.
    BitWriter writer_;
    int32_t outputCapacity_ = 0;
    int32_t compressedSize_ = 0;
    int32_t codingsOfLastPicture_ = 0;
    int32_t rowsCoded_ = 0;  // of the last coding
    bool lastPictureIntra_ = false;
    bool lastPictureSkipped_ = false;
    int32_t frameSizeLimit_ = 0;  // bytes; 0 = none
    int32_t stuffingCodes_ = 0;   // stuffing codewords of the current coding
    RateControl rateControl_;

    // The saved coding state (see SaveCodingState).
    MacroblockGrid savedGrid_;
    FrameRecord savedReconstruction_;
    MotionState savedMotion_{};

    // Per-picture quantiser constants and per-macroblock working state.
    QuantizerParams quantizer_{};
    DequantParams dequant_{};
    MotionState motion_{};
    MacroblockLevels levels_{};
};

}  // namespace kmqx
