#include "encoder/macroblock_transform.h"

#include <cassert>
#include <cstring>

#include "common/h263_syntax.h"
#include "common/prediction_kernels.h"
#include "encoder/quantizer.h"
#include "encoder/reconstruction.h"
#include "encoder/transform_kernels.h"

namespace kmqx {

QuantizerParams BuildQuantizerRule(int32_t qp) {
    qp = ClampQuantizer(qp);
    QuantizerParams params;
    params.qp = qp;
    params.halfQp = static_cast<int16_t>(qp / 2);
    params.deadZone = static_cast<int16_t>(1 - qp);
    // QP 1 and 2 give reciprocals that do not fit 16 bits; they shift instead.
    params.reciprocal = qp >= 3 ? static_cast<int16_t>((65535 + qp / 2) / qp) : 0;
    params.interZeroRange = nullptr;
    params.intraZeroRange = nullptr;
    return params;
}

QuantizerParams BuildQuantizerTables(int32_t qp) {
    QuantizerParams params = BuildQuantizerRule(qp);
    params.interZeroRange = &GetInterZeroRange(params.qp);
    params.intraZeroRange = &GetIntraZeroRange(params.qp);
    return params;
}

DequantParams BuildDequantParams(int32_t quant) {
    quant = ClampQuantizer(quant);
    DequantParams params;
    params.quant = quant;
    params.multiplier = static_cast<int16_t>(2 * quant);
    params.rounding = static_cast<int16_t>(DequantRounding(quant));
    return params;
}

namespace {

// The frame loops only visit macroblocks of the coded picture, and every
// picture of an encoder has the coded size.
[[maybe_unused]] bool MacroblockInside(const PictureView& picture, int32_t column, int32_t row) {
    return column >= 0 && row >= 0 && 16 * (column + 1) <= picture.width &&
           16 * (row + 1) <= picture.height;
}

[[maybe_unused]] bool SameSize(const PictureView& a, const PictureView& b) {
    return a.width == b.width && a.height == b.height;
}

// Offset of luminance block i (Y0 top left ... Y3 bottom right) in its macroblock.
inline int32_t LumaBlockOffset(int32_t block, int32_t pitch) {
    return 8 * (block >> 1) * pitch + 8 * (block & 1);
}

// A transformed block whose levels are not all zero.
inline bool HasResidual(const MacroblockLevels& levels, int block) {
    return levels.last[block] != 0 || levels.levels[block][0] != 0;
}

void ClearBlock(MacroblockLevels& out, int block) {
    std::memset(out.levels[block], 0, sizeof(out.levels[block]));
    out.last[block] = 0;
}

// Chroma is coded only alongside coded luminance (`pattern`, the luminance
// part); otherwise its prediction is formed where the reconstruction needs it.
// Returns the whole pattern.
int32_t TransformInterChroma(const PictureView& input, const PictureView& reference, int32_t column,
                             int32_t row, int32_t vx, int32_t vy, const QuantizerParams& quantizer,
                             int32_t pattern, MacroblockLevels& out) {
    out.chromaPredicted = pattern != 0;
    if (pattern == 0) {
        ClearBlock(out, 4);
        ClearBlock(out, 5);
        return 0;
    }
    PredictChroma(reference, column, row, vx, vy, out.chromaPrediction[0], out.chromaPrediction[1],
                  8);
    const int32_t chromaPitch = input.chromaWidth();
    const int32_t chromaOffset = 8 * row * chromaPitch + 8 * column;
    const InterBlockSource chroma[2] = {
        {input.cb + chromaOffset, chromaPitch, out.chromaPrediction[0], 8},
        {input.cr + chromaOffset, chromaPitch, out.chromaPrediction[1], 8},
    };
    int8_t* const chromaLevels[2] = {out.levels[4], out.levels[5]};
    const int32_t nonZero = GetForwardTransformKernels().quantizeInterBlocks(
        chroma, 2, quantizer, chromaLevels, out.last + 4);
    if (nonZero & 1) pattern |= CodedBlockBit(4);
    if (nonZero & 2) pattern |= CodedBlockBit(5);
    return pattern;
}

}  // namespace

int32_t TransformIntraMacroblock(const PictureView& input, const PictureView& reconstruction,
                                 int32_t column, int32_t row, const QuantizerParams& quantizer,
                                 const DequantParams& dequant, MacroblockLevels& out) {
    assert(MacroblockInside(input, column, row) && SameSize(input, reconstruction));
    // Offsets of the six blocks in their planes, and the planes.
    const int32_t lumaPitch = input.width;
    const int32_t lumaOrigin = 16 * row * lumaPitch + 16 * column;
    const int32_t chromaPitch = input.chromaWidth();
    const int32_t chromaOffset = 8 * row * chromaPitch + 8 * column;
    int32_t offsets[6], pitches[6];
    for (int block = 0; block < 4; ++block) {
        offsets[block] = lumaOrigin + LumaBlockOffset(block, lumaPitch);
        pitches[block] = lumaPitch;
    }
    offsets[4] = offsets[5] = chromaOffset;
    pitches[4] = pitches[5] = chromaPitch;
    const uint8_t* const inputPlanes[6] = {input.y, input.y, input.y, input.y, input.cb, input.cr};
    uint8_t* const outputPlanes[6] = {reconstruction.y, reconstruction.y,  reconstruction.y,
                                      reconstruction.y, reconstruction.cb, reconstruction.cr};

    const ForwardTransformKernels& kernels = GetForwardTransformKernels();
    for (int block = 0; block < 6; block += 2) {
        const IntraBlockSource sources[2] = {
            {inputPlanes[block] + offsets[block], pitches[block]},
            {inputPlanes[block + 1] + offsets[block + 1], pitches[block + 1]}};
        int8_t* const levels[2] = {out.levels[block], out.levels[block + 1]};
        kernels.quantizeIntraBlocks(sources, 2, quantizer, levels, out.last + block);
    }
    int32_t pattern = 0;
    for (int block = 0; block < 6; ++block) {
        uint8_t* destination = outputPlanes[block] + offsets[block];
        if (out.last[block] != 0) {
            pattern |= CodedBlockBit(block);
            ReconstructIntraBlock(out.levels[block], dequant, destination, pitches[block]);
        } else {
            FillIntraBlock(8 * static_cast<uint8_t>(out.levels[block][0]), destination,
                           pitches[block]);
        }
    }
    return pattern;
}

int32_t TransformInterMacroblock(const PictureView& input, const PictureView& reference,
                                 int32_t column, int32_t row, int32_t vx, int32_t vy,
                                 const MotionState& motion, int32_t paramE,
                                 const QuantizerParams& quantizer, MacroblockLevels& out) {
    assert(MacroblockInside(input, column, row) && SameSize(input, reference));
    const ForwardTransformKernels& kernels = GetForwardTransformKernels();
    // Blocks predicted well enough are not transformed at all; the others are
    // transformed two at a time, straight from the samples: the input
    // picture's, where neighbouring blocks lie side by side.
    const int32_t lumaPitch = input.width;
    const uint8_t* const lumaOrigin = input.y + 16 * row * lumaPitch + 16 * column;
    int32_t pattern = 0;
    if (motion.blockSad[0] > paramE && motion.blockSad[1] > paramE && motion.blockSad[2] > paramE &&
        motion.blockSad[3] > paramE) {
        // All four, as most often: the top pair, then the bottom one.
        for (int half = 0; half < 2; ++half) {
            const uint8_t* current = lumaOrigin + 8 * half * lumaPitch;
            const uint8_t* prediction = motion.predictionPtr + 8 * half * motion.predictionStride;
            const InterBlockSource pair[2] = {
                {current, lumaPitch, prediction, motion.predictionStride},
                {current + 8, lumaPitch, prediction + 8, motion.predictionStride}};
            int8_t* const levels[2] = {out.levels[2 * half], out.levels[2 * half + 1]};
            const int32_t nonZero =
                kernels.quantizeInterBlocks(pair, 2, quantizer, levels, out.last + 2 * half);
            if (nonZero & 1) pattern |= CodedBlockBit(2 * half);
            if (nonZero & 2) pattern |= CodedBlockBit(2 * half + 1);
        }
        return TransformInterChroma(input, reference, column, row, vx, vy, quantizer, pattern, out);
    }
    InterBlockSource sources[4];
    int8_t* levels[4];
    int coded[4];
    int count = 0;
    for (int block = 0; block < 4; ++block) {
        if (motion.blockSad[block] <= paramE) {
            ClearBlock(out, block);
            continue;
        }
        sources[count] = {lumaOrigin + LumaBlockOffset(block, lumaPitch), lumaPitch,
                          motion.predictionPtr + LumaBlockOffset(block, motion.predictionStride),
                          motion.predictionStride};
        levels[count] = out.levels[block];
        coded[count++] = block;
    }
    for (int i = 0; i < count; i += 2) {
        const int32_t n = count - i >= 2 ? 2 : 1;
        int32_t last[2];
        const int32_t nonZero =
            kernels.quantizeInterBlocks(sources + i, n, quantizer, levels + i, last);
        for (int k = 0; k < n; ++k) {
            out.last[coded[i + k]] = last[k];
            if (nonZero & (1 << k)) pattern |= CodedBlockBit(coded[i + k]);
        }
    }
    return TransformInterChroma(input, reference, column, row, vx, vy, quantizer, pattern, out);
}

void ReconstructInterMacroblock(const PictureView& reference, const PictureView& reconstruction,
                                int32_t column, int32_t row, int32_t vx, int32_t vy,
                                const MotionState& motion, int32_t paramE,
                                const DequantParams& dequant, const MacroblockLevels& levels) {
    assert(MacroblockInside(reconstruction, column, row) && SameSize(reference, reconstruction));
    const int32_t lumaPitch = reconstruction.width;
    uint8_t* const lumaOrigin = reconstruction.y + 16 * row * lumaPitch + 16 * column;
    // Blocks not transformed keep the prediction, whatever the levels hold;
    // it is copied with the prediction kernels' whole-sample entries.
    const PredictionKernels& copies = GetPredictionKernels();
    bool residual[4];
    for (int block = 0; block < 4; ++block)
        residual[block] = motion.blockSad[block] > paramE && HasResidual(levels, block);
    if (!residual[0] && !residual[1] && !residual[2] && !residual[3]) {
        copies.predict16[0](motion.predictionPtr, motion.predictionStride, lumaOrigin, lumaPitch);
    } else {
        for (int block = 0; block < 4; ++block) {
            uint8_t* destination = lumaOrigin + LumaBlockOffset(block, lumaPitch);
            const uint8_t* prediction =
                motion.predictionPtr + LumaBlockOffset(block, motion.predictionStride);
            if (residual[block]) {
                ReconstructInterBlock(levels.levels[block], levels.last[block], prediction,
                                      motion.predictionStride, dequant, destination, lumaPitch);
            } else {
                copies.predict8[0](prediction, motion.predictionStride, destination, lumaPitch);
            }
        }
    }
    const int32_t chromaPitch = reconstruction.chromaWidth();
    const int32_t chromaOffset = 8 * row * chromaPitch + 8 * column;
    uint8_t* const chromaPlanes[2] = {reconstruction.cb + chromaOffset,
                                      reconstruction.cr + chromaOffset};
    if (!levels.chromaPredicted) {
        PredictChroma(reference, column, row, vx, vy, chromaPlanes[0], chromaPlanes[1],
                      chromaPitch);
        return;
    }
    for (int k = 0; k < 2; ++k) {
        if (HasResidual(levels, 4 + k)) {
            ReconstructInterBlock(levels.levels[4 + k], levels.last[4 + k],
                                  levels.chromaPrediction[k], 8, dequant, chromaPlanes[k],
                                  chromaPitch);
        } else {
            copies.predict8[0](levels.chromaPrediction[k], 8, chromaPlanes[k], chromaPitch);
        }
    }
}

}  // namespace kmqx
