#include "encoder/encoder.h"
#include "encoder/stream_headers.h"

namespace kmqx {

// First INTER loop: every macroblock of the P picture is coded INTRA, so the
// stream is valid before motion analysis exists.
int32_t Encoder::CodeInterPicture() {
    SetPictureQuantizer(quantNormal_);
    for (int32_t row = 0; row < macroblockRows_; ++row) {
        if (row == 0) {
            WritePictureHeader();
        } else if (gobHeaderInterval_ != 0 && row % gobHeaderInterval_ == 0 &&
                   RowCanCarryGobHeader(row)) {
            WriteGobHeader(row);
        }
        for (int32_t column = 0; column < macroblockColumns_; ++column) {
            CodeIntraMacroblock(column, row);
        }
    }
    return 0;
}

}  // namespace kmqx
