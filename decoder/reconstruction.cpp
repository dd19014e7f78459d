// Motion-compensated prediction, inverse transform and clipping of one
// macroblock into the Target planes.
#include "common/h263_syntax.h"
#include "common/inverse_dct.h"
#include "decoder/decoder.h"
#include "decoder/prediction_kernels.h"

namespace kmqx {
namespace {

// Predicts a size x size block at (x, y) of `dst` from `src` displaced by
// the half-sample vector (vx, vy). Samples beyond the plane edge repeat the
// edge sample, so no vector reads outside the plane.
void PredictBlock(const PredictionKernels& kernels, const uint8_t* src, uint8_t* dst, int32_t pitch,
                  int32_t width, int32_t height, int32_t x, int32_t y, int32_t vx, int32_t vy,
                  int32_t size) {
    const int32_t sx = x + (vx >> 1);
    const int32_t sy = y + (vy >> 1);
    const int32_t hx = vx & 1;
    const int32_t hy = vy & 1;
    uint8_t* out = dst + size_t(y) * pitch + x;

    const bool inside = sx >= 0 && sy >= 0 && sx + size + hx <= width && sy + size + hy <= height;
    if (inside) {
        const uint8_t* a = src + size_t(sy) * pitch + sx;
        const auto predict = size == 16 ? kernels.predict16 : kernels.predict8;
        predict[hx + 2 * hy](a, out, pitch);
        return;
    }

    auto sample = [&](int32_t px, int32_t py) -> int32_t {
        px = px < 0 ? 0 : (px >= width ? width - 1 : px);
        py = py < 0 ? 0 : (py >= height ? height - 1 : py);
        return src[size_t(py) * pitch + px];
    };
    for (int32_t r = 0; r < size; ++r, out += pitch) {
        for (int32_t i = 0; i < size; ++i) {
            const int32_t px = sx + i;
            const int32_t py = sy + r;
            const int32_t a = sample(px, py);
            const int32_t b = sample(px + hx, py);
            const int32_t c = sample(px, py + hy);
            const int32_t d = sample(px + hx, py + hy);
            out[i] = uint8_t((a + b + c + d + 2) >> 2);
        }
    }
}

}  // namespace

void Decoder::ReconstructMacroblock(const PendingMacroblock& mb) {
    const int32_t x = 16 * mb.column;
    const int32_t y = 16 * mb.row;
    const bool isIntra = IsIntraMacroblock(mb.type);
    if (HasOneMotionVector(mb.type)) {
        PredictMacroblock(x, y, mb.mvX, mb.mvY);
    } else if (mb.type == kMacroblockInter4V) {
        PredictMacroblock(x, y, 0, 0);
    }
    const PredictionKernels& kernels = *kernels_;
    for (int block = 0; block < 6; ++block) {
        const bool coded = IsBlockCoded(mb.cbp, block);
        if (!isIntra && !coded) continue;
        int16_t* coefficients = coefficients_[block];
        InverseDct(coefficients);
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
        if (isIntra) {
            kernels.putBlock(coefficients, out, pitch);
        } else {
            kernels.addBlock(coefficients, out, pitch);
        }
    }
}

void Decoder::PredictMacroblock(int32_t x, int32_t y, int32_t vx, int32_t vy) {
    const PredictionKernels& kernels = *kernels_;
    PredictBlock(kernels, reference_.y, target_.y, codedWidth_, codedWidth_, codedHeight_, x, y, vx,
                 vy, 16);
    const int32_t cx = ChromaVectorComponent(vx);
    const int32_t cy = ChromaVectorComponent(vy);
    PredictBlock(kernels, reference_.cb, target_.cb, chromaWidth_, chromaWidth_, chromaHeight_,
                 x / 2, y / 2, cx, cy, 8);
    PredictBlock(kernels, reference_.cr, target_.cr, chromaWidth_, chromaWidth_, chromaHeight_,
                 x / 2, y / 2, cx, cy, 8);
}

}  // namespace kmqx
