#pragma once
#include <cstdint>
#include <memory>

#include "common/h263_syntax.h"
#include "common/inverse_dct.h"
#include "common/planar_frame.h"
#include "common/prediction_kernels.h"
#include "decoder/bit_reader.h"
#include "decoder/decoder_interface.h"
#include "decoder/vlc_tables.h"

namespace kmqx {

// Decodes one H.263 picture per frame into planar 4:2:0. All state lives in
// the object; any number of decoders may be used side by side.
class Decoder final : public DecoderInterface {
  public:
    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() = default;

    int32_t BeginDecompress() override;
    int32_t DecodeFrame(const uint8_t* data, int32_t size) override;
    int32_t EndDecompress() override;
    // The last decoded picture, packed at the display size, valid until the
    // next DecodeFrame or EndDecompress; all pointers are null while no
    // picture of the sequence exists. Callers only read it.
    PlanarFrame GetPicture() override;
    int32_t Probe() override { return 1; }
    int32_t GetWidth() override { return displayWidth_; }
    int32_t GetHeight() override { return displayHeight_; }

    // The size of the sequence this frame would begin, read from its picture
    // header alone: true exactly where DecodeFrame, as the first frame of a
    // sequence, would decode a picture (memory allowing). Nothing is decoded
    // and the sequence and pictures stay as they are.
    bool ReadSequenceSize(const uint8_t* data, int32_t size, int32_t* width, int32_t* height);

    // Values from PQUANT, GQUANT and DQUANT; exposed for tests.
    int32_t CurrentQuant() const { return quant_; }
    int32_t MacroblockCols() const { return mbCols_; }
    int32_t MacroblockRows() const { return mbRows_; }
    // Vector and type stored for a macroblock (half-pixel units); 0 outside
    // the picture or before the first picture.
    int32_t StoredVectorX(int32_t row, int32_t column) const {
        return GridValue(mvX_, row, column);
    }
    int32_t StoredVectorY(int32_t row, int32_t column) const {
        return GridValue(mvY_, row, column);
    }
    int32_t StoredType(int32_t row, int32_t column) const {
        return GridValue(mbMode_, row, column);
    }

  private:
    // One macroblock as the parser leaves it for reconstruction.
    struct PendingMacroblock {
        bool valid = false;
        bool coded = false;  // COD = 0 (always in an INTRA picture)
        int32_t row = 0;
        int32_t column = 0;
        int32_t type = 0;
        int32_t mvX = 0;
        int32_t mvY = 0;
        int32_t cbp = 0;
    };
    // How far a macroblock header could be read. kDamaged: CBPY had no
    // code; the rest of the header was read.
    enum class HeaderResult { kIntact, kDamaged, kUnreadable };
    // Header fields of the picture being read; its size counts only at the
    // first picture of a sequence.
    struct PictureHeader {
        int32_t width = 0;
        int32_t height = 0;
        int32_t type = 0;
        int32_t quant = 0;
    };
    // What the start code at the front of a frame begins.
    enum class PictureSearch {
        kPicture,           // a picture whose header was accepted
        kRejectedHeader,    // a picture whose header this decoder cannot decode
        kEndOfSequence,     // EOS
        kGobWithoutPicture  // a GOB start code with no picture header before it
    };
    enum class GobResult { kPictureEnds, kResume };

    // Sequence and buffers (decoder.cpp).
    bool AllocatePlanes(int32_t width, int32_t height);
    void ReleasePlanes();
    void ExchangePictures();
    void FillBlack(const PlanarFrame& planes);
    void ForgetAgreement();

    // Headers (picture_header.cpp).
    static bool IsSequenceSize(const PictureHeader& header) {
        return header.width > 0 && header.height > 0 && header.width <= kMaxPictureDimension &&
               header.height <= kMaxPictureDimension;
    }
    PictureSearch FindPicture(PictureHeader* header);
    // False for a header with options this decoder does not decode.
    bool ReadPictureHeader(PictureHeader* header);
    GobResult ReadGobHeader(int32_t* address);

    // Macroblock layer (macroblock_decoder.cpp): for each macroblock the
    // header, the vector and the blocks, then the reconstruction of the one
    // before it.
    void DecodePictureBody();
    // `row` and `column` follow `address` (kept apart, so that the loop
    // divides only after a GOB header).
    bool FindMacroblock(int32_t* address, int32_t* row, int32_t* column);
    // Consumes the skipped macroblocks at `address` (INTER pictures only);
    // false when the next one is coded.
    bool TakeSkippedRun(int32_t* address, int32_t* row, int32_t* column,
                        PendingMacroblock* pending);
    HeaderResult ReadMacroblockHeader(PendingMacroblock* mb);
    bool ReadMotionVector(const PendingMacroblock& mb);
    bool ReadBlocks(const PendingMacroblock& mb);
    void SetGridBorders();
    int32_t DecodeMcbpc();
    int32_t DecodeCbpy();
    int32_t DecodeMotionVectorDifference();
    // True when the block holds no coefficient beyond the first (inter
    // blocks only: an intra block's events start after its DC).
    bool DecodeBlockCoefficients(int16_t* block, bool isIntra);
    int32_t PredictVector(int32_t row, int32_t column, const int32_t* grid) const;
    int32_t GridIndex(int32_t row, int32_t column) const {
        return (row + 1) * gridStride_ + column + 1;
    }

    int32_t GridValue(const int32_t* grid, int32_t row, int32_t column) const {
        if (grid == nullptr || row < 0 || row >= mbRows_ || column < 0 || column >= mbCols_)
            return 0;
        return grid[GridIndex(row, column)];
    }

    // Reconstruction (reconstruction.cpp), one macroblock behind parsing. A
    // plain copy (vector (0, 0), no coefficients) where Target already holds
    // the reference's samples would change nothing and is left out.
    void ReconstructPending(const PendingMacroblock& mb) {
        if (IsPlainCopy(mb) && picturesAgree_[AgreementIndex(mb)]) return;
        ReconstructMacroblock(mb);
    }
    static bool IsPlainCopy(const PendingMacroblock& mb) {
        return HasOneMotionVector(mb.type) && (mb.mvX | mb.mvY) == 0 && mb.cbp == 0;
    }
    // The macroblock's address: its number in the picture, row by row.
    size_t AgreementIndex(const PendingMacroblock& mb) const {
        return size_t(mb.row) * size_t(mbCols_) + size_t(mb.column);
    }
    void ReconstructMacroblock(const PendingMacroblock& mb);
    void PredictMacroblock(int32_t x, int32_t y, int32_t vx, int32_t vy);

    BitReader reader_;
    // Tables and kernels are built once per process; held here so that the
    // macroblock loop need not ask for them again.
    const DecoderVlcTables* vlc_ = &GetDecoderVlcTables();
    const PredictionKernels* kernels_ = &GetPredictionKernels();
    const InverseDctKernels* inverseDct_ = &GetInverseDctKernels();
    alignas(16) int16_t coefficients_[6][64] = {};
    // The coded blocks of coefficients_ whose only coefficient is the DC
    // (bit b for block b), which skip the transform.
    int32_t dcOnlyBlocks_ = 0;

    // Current: decoded into; Reference: predicted from; Target: the Current
    // pointers taken at the exchange, written by reconstruction; Output: the
    // packed copy handed out by GetPicture, only where the display size is
    // not whole macroblocks (else Target is handed out).
    PlanarFrame current_{};
    PlanarFrame reference_{};
    PlanarFrame target_{};
    PlanarFrame output_{};
    std::unique_ptr<uint8_t[]> pictureStorage_;  // current, reference, output

    // Grids of (MbRows + 1) x (MbCols + 2) entries: a border row above the
    // picture and a border column on each side.
    std::unique_ptr<int32_t[]> gridStorage_;
    int32_t* mvX_ = nullptr;
    int32_t* mvY_ = nullptr;
    int32_t* mbMode_ = nullptr;
    int32_t gridStride_ = 0;
    // One byte per macroblock (row by row): 1 where the current and the
    // reference planes are known to hold the same samples, so that a further
    // plain copy between them (a skipped macroblock) has nothing to do. Every
    // other writer of either picture clears it.
    std::unique_ptr<uint8_t[]> picturesAgree_;

    int32_t mbCols_ = 0;
    int32_t mbRows_ = 0;
    int32_t codedWidth_ = 0;
    int32_t codedHeight_ = 0;
    int32_t displayWidth_ = 0;
    int32_t displayHeight_ = 0;
    int32_t chromaWidth_ = 0;
    int32_t chromaHeight_ = 0;

    int32_t pictureType_ = 0;
    bool gobHeaderSeen_ = false;
    bool resyncPending_ = false;
    int32_t quant_ = 0;
    // The reconstruction of each table level -12..12 at levelValuesQuant_,
    // remade when a block finds the quantiser changed.
    int16_t levelValues_[25] = {};
    int32_t levelValuesQuant_ = -1;

    bool idle_ = true;
    int32_t pictureCount_ = 0;
};

}  // namespace kmqx
