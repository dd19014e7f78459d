#include "encoder/macroblock_transform.h"

#include <algorithm>

namespace kmqx {

QuantizerParams BuildQuantizerTables(int32_t qp) {
    qp = std::clamp(qp, 1, 31);
    QuantizerParams params;
    params.qp = qp;
    params.halfQp = static_cast<int16_t>(qp / 2);
    params.deadZone = static_cast<int16_t>(1 - qp);
    // QP 1 and 2 give reciprocals that do not fit 16 bits; they shift instead.
    params.reciprocal = qp >= 3 ? static_cast<int16_t>((65535 + qp / 2) / qp) : 0;
    return params;
}

DequantParams BuildDequantParams(int32_t quant) {
    quant = std::clamp(quant, 1, 31);
    DequantParams params;
    params.quant = quant;
    params.multiplier = static_cast<int16_t>(2 * quant);
    params.rounding = static_cast<int16_t>((quant & 1) != 0 ? quant : quant - 1);
    return params;
}

// Not yet implemented: the block transforms follow in the next commits.
int32_t TransformIntraMacroblock(const PictureView&, const PictureView&, int32_t, int32_t,
                                 const QuantizerParams&, const DequantParams&, MacroblockLevels&) {
    return 0;
}

int32_t TransformInterMacroblock(const PictureView&, const PictureView&, int32_t, int32_t, int32_t,
                                 int32_t, const MotionState&, int32_t, const QuantizerParams&,
                                 MacroblockLevels&) {
    return 0;
}

void ReconstructInterMacroblock(const PictureView&, int32_t, int32_t, const MotionState&, int32_t,
                                const DequantParams&, const MacroblockLevels&) {}

}  // namespace kmqx
