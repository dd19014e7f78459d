// Motion-compensated prediction, inverse transform and clipping of one
// macroblock into the Target planes.
#include <cstring>

#include "common/h263_syntax.h"
#include "common/inverse_dct.h"
#include "common/prediction_kernels.h"
#include "common/saturate.h"  // ClipToByte
#include "decoder/decoder.h"

namespace kmqx {
namespace {

// Predicts a block whose vector reaches beyond the plane edge from a copy of
// the (size + 1) x (size + 1) samples it uses, the edge samples repeated into
// it, so that no vector reads outside the plane.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((noinline))
#endif
void PredictAtEdge(PredictionKernels::Predict predict, const uint8_t* src, int32_t pitch,
                   int32_t width, int32_t height, int32_t sx, int32_t sy, int32_t size,
                   uint8_t* out) {
    constexpr int32_t kEdgePitch = 17;
    uint8_t edge[kEdgePitch * kEdgePitch];
    const auto inPlane = [](int32_t v, int32_t size) {
        return v < 0 ? 0 : (v >= size ? size - 1 : v);
    };
    for (int32_t r = 0; r <= size; ++r) {
        const uint8_t* row = src + size_t(inPlane(sy + r, height)) * pitch;
        for (int32_t i = 0; i <= size; ++i) edge[r * kEdgePitch + i] = row[inPlane(sx + i, width)];
    }
    predict(edge, kEdgePitch, out, pitch);
}

// Predicts the size x size block at (x, y) of `dst` from `src` displaced by
// the half-sample vector (vx, vy); the planes are `width` x `height` samples
// at `pitch`.
template <int32_t kSize>
inline void PredictBlock(const PredictionKernels::Predict* predictors, const uint8_t* src,
                         uint8_t* dst, int32_t pitch, int32_t width, int32_t height, int32_t x,
                         int32_t y, int32_t vx, int32_t vy) {
    const int32_t sx = x + (vx >> 1);
    const int32_t sy = y + (vy >> 1);
    const int32_t hx = vx & 1;
    const int32_t hy = vy & 1;
    const PredictionKernels::Predict predict = predictors[hx + 2 * hy];
    uint8_t* out = dst + size_t(y) * pitch + x;
    if (sx >= 0 && sy >= 0 && sx + kSize + hx <= width && sy + kSize + hy <= height) {
        predict(src + size_t(sy) * pitch + sx, pitch, out, pitch);
    } else {
        PredictAtEdge(predict, src, pitch, width, height, sx, sy, kSize, out);
    }
}

}  // namespace

void Decoder::ReconstructMacroblock(const PendingMacroblock& mb) {
    const int32_t x = 16 * mb.column;
    const int32_t y = 16 * mb.row;
    const bool isIntra = IsIntraMacroblock(mb.type);
    // The exchange of pictures makes Target the picture before the
    // reference: a plain copy makes the two agree here until either is
    // written again.
    picturesAgree_[AgreementIndex(mb)] = IsPlainCopy(mb) ? 1 : 0;
    if (HasOneMotionVector(mb.type)) {
        PredictMacroblock(x, y, mb.mvX, mb.mvY);
    } else if (mb.type == kMacroblockInter4V) {
        PredictMacroblock(x, y, 0, 0);
    }
    if (!isIntra && mb.cbp == 0) return;  // the prediction is the picture
    const PredictionKernels& kernels = *kernels_;
    for (int block = 0; block < 6; ++block) {
        const bool coded = IsBlockCoded(mb.cbp, block);
        if (!isIntra && !coded) continue;
        int16_t* coefficients = coefficients_[block];
        uint8_t* plane;
        int32_t pitch;
        int32_t bx;
        int32_t by;
        if (block < 4) {
            plane = target_.y;
            pitch = codedWidth_;
            bx = x + 8 * (block & 1);
            by = y + 8 * (block >> 1);
        } else {
            plane = block == 4 ? target_.cb : target_.cr;
            pitch = chromaWidth_;
            bx = x / 2;
            by = y / 2;
        }
        uint8_t* out = plane + size_t(by) * pitch + bx;
        if (isIntra && !coded) {
            // Only the DC was sent: the whole block is one sample.
            const uint8_t sample = ClipToByte(InverseDctOfDcOnly(coefficients[0]));
            for (int32_t r = 0; r < 8; ++r) std::memset(out + size_t(r) * pitch, sample, 8);
            continue;
        }
        if (dcOnlyBlocks_ & (1 << block)) {
            // The transform of a lone DC is one value everywhere.
            const int16_t residual = InverseDctOfDcOnly(coefficients[0]);
            for (int32_t i = 0; i < 64; ++i) coefficients[i] = residual;
            kernels.addBlock(coefficients, out, pitch);
            continue;
        }
        inverseDct_->inverseDct(coefficients);
        if (isIntra) {
            kernels.putBlock(coefficients, out, pitch);
        } else {
            kernels.addBlock(coefficients, out, pitch);
        }
    }
}

void Decoder::PredictMacroblock(int32_t x, int32_t y, int32_t vx, int32_t vy) {
    const PredictionKernels& kernels = *kernels_;
    if ((vx | vy) == 0) {  // most often: a copy from the same place
        const size_t luma = size_t(y) * codedWidth_ + x;
        const size_t chroma = size_t(y / 2) * chromaWidth_ + x / 2;
        kernels.predict16[0](reference_.y + luma, codedWidth_, target_.y + luma, codedWidth_);
        kernels.predict8[0](reference_.cb + chroma, chromaWidth_, target_.cb + chroma,
                            chromaWidth_);
        kernels.predict8[0](reference_.cr + chroma, chromaWidth_, target_.cr + chroma,
                            chromaWidth_);
        return;
    }
    PredictBlock<16>(kernels.predict16, reference_.y, target_.y, codedWidth_, codedWidth_,
                     codedHeight_, x, y, vx, vy);
    const int32_t cx = ChromaVectorComponent(vx);
    const int32_t cy = ChromaVectorComponent(vy);
    PredictBlock<8>(kernels.predict8, reference_.cb, target_.cb, chromaWidth_, chromaWidth_,
                    chromaHeight_, x / 2, y / 2, cx, cy);
    PredictBlock<8>(kernels.predict8, reference_.cr, target_.cr, chromaWidth_, chromaWidth_,
                    chromaHeight_, x / 2, y / 2, cx, cy);
}

}  // namespace kmqx
