#pragma once
#include <cstdint>

#include "encoder/motion_state.h"
#include "encoder/picture_view.h"

namespace kmqx {

// Quantiser of one picture: H = QP / 2, K = 1 - QP, R = (65535 + H) / QP (used
// for QP >= 3; QP 1 and 2 divide by shifting).
struct ZeroLevelRange;
struct QuantizerParams {
    int32_t qp;
    int16_t halfQp;      // H
    int16_t deadZone;    // K
    int16_t reciprocal;  // R
    // The transform outputs that quantise to 0 under each rule.
    const ZeroLevelRange* interZeroRange;
    const ZeroLevelRange* intraZeroRange;
};
QuantizerParams BuildQuantizerTables(int32_t qp);
QuantizerParams BuildQuantizerRule(int32_t qp);  // without the zero ranges

// Dequantisation of one picture: |REC| = M * |L| + R with M = 2 * QUANT and
// R = QUANT, less 1 when QUANT is even.
struct DequantParams {
    int32_t quant;
    int16_t multiplier;
    int16_t rounding;
};  // M, R
DequantParams BuildDequantParams(int32_t quant);

// Returns the coded-block pattern (Y0 = 32 ... Cr = 1); writes the macroblock's reconstruction.
int32_t TransformIntraMacroblock(const PictureView& input, const PictureView& reconstruction,
                                 int32_t column, int32_t row, const QuantizerParams& quantizer,
                                 const DequantParams& dequant, MacroblockLevels& out);
// vx, vy: the macroblock's vector in half-pixel units; the luminance
// prediction from MotionState, the chroma one from the reference.
int32_t TransformInterMacroblock(const PictureView& input, const PictureView& reference,
                                 int32_t column, int32_t row, int32_t vx, int32_t vy,
                                 const MotionState& motion, int32_t paramE,
                                 const QuantizerParams& quantizer, MacroblockLevels& out);
// The same macroblock's reconstruction, from the levels TransformInterMacroblock
// left and the same predictions.
void ReconstructInterMacroblock(const PictureView& reference, const PictureView& reconstruction,
                                int32_t column, int32_t row, int32_t vx, int32_t vy,
                                const MotionState& motion, int32_t paramE,
                                const DequantParams& dequant, const MacroblockLevels& levels);

}  // namespace kmqx
