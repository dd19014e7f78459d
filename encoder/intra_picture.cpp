#include "encoder/encoder.h"
#include "encoder/macroblock_writer.h"
#include "encoder/stream_headers.h"

namespace kmqx {

void Encoder::CodeIntraMacroblock(int32_t column, int32_t row) {
    MacroblockInfo& record = grid_.At(column, row);
    record.skipCount = 0;
    record.mvX = record.mvY = 0;
    record.halfX = record.halfY = 0;
    record.mvChangeX = record.mvChangeY = 0;
    record.interCodingsSinceIntra = 0;
    record.reconstructionMatchesReference = false;
    const int32_t pattern = TransformIntraMacroblock(input_.view, reconstruction_.view, column, row,
                                                     quantizer_, dequant_, levels_);
    WriteIntraMacroblockHeader(writer_, pictureCodingType_, pattern);
    WriteBlocks(writer_, true, pattern, levels_);
}

// Uses the quantiser the caller set (the key quantiser, or a coarser one when
// a picture is coded again to fit the output).
void Encoder::CodeIntraPicture() {
    WritePictureHeader();
    WriteStuffing();
    for (int32_t row = 0; row < macroblockRows_; ++row) {
        // Every row after the first gets a GOB header when any are asked for.
        if (gobHeaderInterval_ != 0 && RowCanCarryGobHeader(row)) WriteGobHeader(row);
        for (int32_t column = 0; column < macroblockColumns_; ++column) {
            CodeIntraMacroblock(column, row);
        }
        // The caller codes an overflowing picture again; no need to finish it.
        if (StopAfterOverflow(row)) break;
    }
}

}  // namespace kmqx
