#include "encoder/bit_writer.h"

namespace kmqx {

void BitWriter::Begin(uint8_t* output, int32_t capacity) {
    output_ = output;
    capacity_ = output != nullptr && capacity > 0 ? capacity : 0;
    accumulator_ = 0;
    pendingBits_ = 0;
    byteCount_ = 0;
    overflowed_ = false;
}

void BitWriter::FinishPicture() {
    const int32_t used = pendingBits_ % 8;
    if (used != 0) PutBits(8 - used, 0);
    if (pendingBits_ == 0) return;
    const int32_t counted = pendingBits_ / 8;
    // The pending bits at the top of the word, zeros below.
    const uint32_t word = static_cast<uint32_t>(accumulator_ << (32 - pendingBits_));
    const int32_t room = overflowed_ ? 0 : capacity_ - byteCount_;
    if (room < counted) {
        overflowed_ = true;
    } else {
        const int32_t stored = room >= 4 ? 4 : counted;
        for (int32_t i = 0; i < stored; ++i) {
            output_[byteCount_ + i] = static_cast<uint8_t>(word >> (24 - 8 * i));
        }
    }
    byteCount_ += counted;
    pendingBits_ = 0;
}

}  // namespace kmqx
