#pragma once
#include <cstdint>

namespace kmqx {

// Writes bits most significant first into a caller's buffer, storing whole
// big-endian 32-bit words as they fill. The writer never
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
        PutCode(count, count >= 32 ? value : value & ((uint32_t{1} << count) - 1));
    }
    // PutBits for a value with no bits set above the count.
    void PutCode(int32_t count, uint32_t value) {
        Append(accumulator_, pendingBits_, count, value);
    }

    // Appends codes with the pending bits held in locals, so that a loop that
    // writes one code per coefficient keeps them in registers; they go back
    // to the writer when the batch ends. The writer itself is not used while
    // a batch on it is alive.
    class Batch {
      public:
        explicit Batch(BitWriter& writer)
            : writer_(writer),
              accumulator_(writer.accumulator_),
              pendingBits_(writer.pendingBits_) {}
        ~Batch() {
            writer_.accumulator_ = accumulator_;
            writer_.pendingBits_ = pendingBits_;
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

        // As BitWriter::PutCode.
        void PutCode(int32_t count, uint32_t value) {
            writer_.Append(accumulator_, pendingBits_, count, value);
        }

      private:
        BitWriter& writer_;
        uint64_t accumulator_;
        int32_t pendingBits_;
    };

    // Pads with zero bits to a byte boundary and stores what is left. The
    // final word is stored whole when it fits (up to three zero bytes beyond
    // the count), otherwise only its counted bytes; afterwards ByteCount is
    // the picture's exact length.
    void FinishPicture();

    // Bytes stored so far: a multiple of 4 while a picture is being written,
    // the exact length after FinishPicture.
    int32_t ByteCount() const { return byteCount_; }
    // Bits written since Begin (including those still in the accumulator).
    int64_t BitCount() const { return int64_t{byteCount_} * 8 + pendingBits_; }
    // True when some byte of the picture fell beyond the capacity.
    bool Overflowed() const { return overflowed_; }

  private:
    // Shifts a code into an accumulator and stores the word it fills. At most
    // 31 bits wait in the accumulator, so 63 fit after the shift.
    void Append(uint64_t& accumulator, int32_t& pendingBits, int32_t count, uint32_t value) {
        accumulator = accumulator << count | value;
        pendingBits += count;
        if (pendingBits >= 32) {
            pendingBits -= 32;
            StoreWord(static_cast<uint32_t>(accumulator >> pendingBits));
        }
    }

    // Counted even when dropped, so that the length of an overflowing picture
    // is still known.
    void StoreWord(uint32_t word) {
        if (!overflowed_ && capacity_ - byteCount_ >= 4) {
            uint8_t* p = output_ + byteCount_;
            p[0] = static_cast<uint8_t>(word >> 24);
            p[1] = static_cast<uint8_t>(word >> 16);
            p[2] = static_cast<uint8_t>(word >> 8);
            p[3] = static_cast<uint8_t>(word);
        } else {
            overflowed_ = true;
        }
        if (byteCount_ <= INT32_MAX - 4) byteCount_ += 4;
    }

    uint8_t* output_ = nullptr;
    int32_t capacity_ = 0;
    uint64_t accumulator_ = 0;  // the low pendingBits_ bits are not stored yet
    int32_t pendingBits_ = 0;
    int32_t byteCount_ = 0;
    bool overflowed_ = false;
};

}  // namespace kmqx
