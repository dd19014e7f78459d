#include <cstring>

#include "encoder/encoder.h"
#include "encoder/half_pel.h"
#include "encoder/macroblock_writer.h"
#include "encoder/motion_detection.h"
#include "encoder/motion_search.h"
#include "encoder/stream_headers.h"

namespace kmqx {

namespace {

void CopyArea(const uint8_t* source, uint8_t* destination, int32_t stride, int32_t size) {
    for (int32_t i = 0; i < size; ++i)
        std::memcpy(destination + static_cast<size_t>(i) * stride,
                    source + static_cast<size_t>(i) * stride, size);
}

// Copies macroblock (column, row), luma and both chroma blocks, between two
// pictures of the same size.
void CopyMacroblock(const PictureView& from, const PictureView& to, int32_t column, int32_t row) {
    const size_t lumaOffset = static_cast<size_t>(16 * row) * from.width + 16 * column;
    CopyArea(from.y + lumaOffset, to.y + lumaOffset, from.width, 16);
    const int32_t chromaStride = from.chromaWidth();
    const size_t chromaOffset = static_cast<size_t>(8 * row) * chromaStride + 8 * column;
    CopyArea(from.cb + chromaOffset, to.cb + chromaOffset, chromaStride, 8);
    CopyArea(from.cr + chromaOffset, to.cr + chromaOffset, chromaStride, 8);
}

}  // namespace

// The INTER loop. Unchanged macroblocks cost one bit; changed ones get a motion
// search and are coded INTER (possibly as COD = 1 when nothing is left to
// send) or INTRA. The reconstruction is kept in step with what a decoder
// builds, since the next picture predicts from it.
void Encoder::CodeInterPicture(bool skipAll) {
    const LumaPlane current{input_.view.y, codedWidth_, codedHeight_};
    const LumaPlane reference{reference_.view.y, codedWidth_, codedHeight_};
    for (int32_t row = 0; row < macroblockRows_; ++row) {
        // Each row is marked just before it is coded, while its samples are
        // still in the cache.
        if (skipAll) {
            for (int32_t column = 0; column < macroblockColumns_; ++column)
                grid_.At(column, row).changeMark = -1;
        } else {
            DetectChangesInRow(input_.view.y, reference_.view.y, codedWidth_, row, paramA_, grid_);
        }
        bool rowHasHeader = false;
        if (row == 0) {
            WritePictureHeader();
            WriteStuffing();
        } else if (gobHeaderInterval_ != 0 && row % gobHeaderInterval_ == 0 &&
                   RowCanCarryGobHeader(row)) {
            WriteGobHeader(row);
            rowHasHeader = true;
        }
        for (int32_t column = 0; column < macroblockColumns_; ++column) {
            MacroblockInfo& info = grid_.At(column, row);
            if (info.changeMark == -1) {
                ++info.skipCount;
                info.mvX = info.mvY = 0;
                info.halfX = info.halfY = 0;
                info.mvChangeX = info.mvChangeY = 0;
                // Later skips find the samples already there: the buffer
                // held them two pictures ago and nothing changed since.
                if (!info.reconstructionMatchesReference) {
                    CopyMacroblock(reference_.view, reconstruction_.view, column, row);
                    info.reconstructionMatchesReference = true;
                }
                WriteSkippedMacroblock(writer_);
                continue;
            }

            info.skipCount = 0;
            LoadCurrentWithZeroVectorSad(current, reference, column, row, motion_);
            if (motion_.zeroSad > paramB_) {
                SearchIntegerVector(reference, column, row, codecVersion_, grid_, motion_);
            } else {
                info.mvChangeX = -info.mvX;
                info.mvChangeY = -info.mvY;
                info.mvX = info.mvY = 0;
                motion_.bestCost = motion_.zeroSad;
            }

            // A macroblock due for its refresh is coded INTRA whatever the
            // decision would have been.
            if (info.interCodingsSinceIntra >= kForcedIntraCount ||
                ChooseIntra(motion_) == kMacroblockIntra) {
                CodeIntraMacroblock(column, row);
                continue;
            }

            if (motion_.bestCost >= paramC_ || info.mvX != 0 || info.mvY != 0) {
                RefineHalfPel(reference, column, row, info, motion_);
            } else {
                info.halfX = info.halfY = 0;
                motion_.predictionPtr = reference.At(16 * column, 16 * row);
                motion_.predictionStride = codedWidth_;
            }
            const int32_t vx = 2 * info.mvX + info.halfX;
            const int32_t vy = 2 * info.mvY + info.halfY;
            const int32_t pattern =
                TransformInterMacroblock(input_.view, reference_.view, column, row, vx, vy, motion_,
                                         paramE_, quantizer_, levels_);
            if (pattern != 0 || vx != 0 || vy != 0) {
                WriteInterMacroblockHeader(writer_, pattern);
                WriteMotionVector(writer_, grid_, column, row, rowHasHeader);
                if (pattern != 0) WriteBlocks(writer_, false, pattern, levels_);
            } else {
                WriteSkippedMacroblock(writer_);
            }
            // A plain copy finds nothing to do where the samples are there already.
            const bool plainCopy = pattern == 0 && vx == 0 && vy == 0;
            if (!plainCopy || !info.reconstructionMatchesReference) {
                ReconstructInterMacroblock(reference_.view, reconstruction_.view, column, row, vx,
                                           vy, motion_, paramE_, dequant_, levels_);
            }
            info.reconstructionMatchesReference = plainCopy;
            if (pattern != 0) ++info.interCodingsSinceIntra;
        }
        // The caller codes an overflowing picture again; no need to finish it.
        if (StopAfterOverflow(row)) break;
    }
}

}  // namespace kmqx
