#pragma once
#include <cstdint>

namespace kmqx {

// Writes bits most significant first into a caller's buffer through a 32-bit
// accumulator that is stored as whole big-endian words. The writer never
// touches a byte at or beyond the capacity given to Begin: a word that does not
// fit is dropped and the writer records the overflow, so the caller can code
// the picture again more coarsely.
class BitWriter {
  public:
    // Starts a new picture at output[0]; capacity is the number of bytes the
    // caller's buffer holds.
    void Begin(uint8_t* output, int32_t capacity);

    // Appends the count (0..32) low bits of value; higher bits are ignored.
    void PutBits(int32_t count, uint32_t value) {
        const uint32_t v = count >= 32 ? value : value & ((uint32_t{1} << count) - 1);
        int32_t f = free_ - count;
        if (f <= 0) {
            // -f is 0..31 here, the number of bits of v still to place.
            accumulator_ |= v >> -f;
            StoreWord();
            accumulator_ = 0;
            f += 32;
        }
        if (f != 32) accumulator_ |= v << f;
        free_ = f;
    }

    // Pads with zero bits to a byte boundary and stores what is left. The
    // final word is stored whole when it fits (up to three zero bytes beyond
    // the count), otherwise only its counted bytes; afterwards ByteCount is
    // the picture's exact length.
    void FinishPicture();

    // Bytes stored so far: a multiple of 4 while a picture is being written,
    // the exact length after FinishPicture.
    int32_t ByteCount() const { return byteCount_; }
    // Bits written since Begin (including those still in the accumulator).
    int64_t BitCount() const { return int64_t{byteCount_} * 8 + (32 - free_); }
    // True when some byte of the picture fell beyond the capacity.
    bool Overflowed() const { return overflowed_; }

  private:
    void StoreWord();

    uint8_t* output_ = nullptr;
    int32_t capacity_ = 0;
    uint32_t accumulator_ = 0;
    int32_t free_ = 32;
    int32_t byteCount_ = 0;
    bool overflowed_ = false;
};

}  // namespace kmqx
