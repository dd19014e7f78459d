#pragma once
#include <cstdint>

namespace kmqx {

// Reads one compressed frame most significant bit first. The input is copied
// in 2048-byte chunks into a staging area, so no read ever touches the
// caller's buffer beyond its size; past the end of the data the staging area
// holds the pattern 00 00 FC repeated, which reads as end-of-sequence start
// codes and so stops every parse and every start code search.
class BitReader {
  public:
    static constexpr int kStagingSize = 2048;
    static constexpr int kMaxBits = 24;

    void Init(const uint8_t* data, int32_t size);

    // The next n (0..24) bits, first bit most significant; consumes nothing.
    uint32_t Peek(int n) const { return uint32_t((cache_ >> (63 - n)) >> 1); }
    void Skip(int n) {
        cache_ <<= n;
        bitsLeft_ -= n;
        if (bitsLeft_ < kRefillBelow) {
            // The next staging word, or a new chunk first.
            if (stagingPos_ < kStagingSize) {
                LoadWord();
            } else {
                Fetch();
            }
        }
    }
    uint32_t Read(int n) {
        const uint32_t value = Peek(n);
        Skip(n);
        return value;
    }
    uint32_t ReadBit() { return Read(1); }

    // Consumes single bits until the next 17 bits are sixteen zeros and a one
    // (a picture, GOB or end-of-sequence start code), which stays unread.
    void SyncToStartCode();

    // Bits consumed since Init; lets callers tell how far a parse went.
    int64_t BitPosition() const;

  private:
    // The cache keeps at least 32 unread bits, first bit in its top bit and
    // zeros below the last, so a peek is one shift and a refill one 32-bit
    // load from the staging area.
    static constexpr int kRefillBelow = 32;

    void Fetch();
    // Appends the 32 bits at stagingPos_ below the unread bits.
    void LoadWord() {
        const uint8_t* next = staging_ + stagingPos_;
        const uint32_t word = (uint32_t(next[0]) << 24) | (uint32_t(next[1]) << 16) |
                              (uint32_t(next[2]) << 8) | uint32_t(next[3]);
        cache_ |= uint64_t(word) << (32 - bitsLeft_);
        stagingPos_ += 4;
        bitsLeft_ += 32;
    }

    const uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t consumed_ = 0;
    int32_t stagingPos_ = kStagingSize;
    int32_t fetchedChunks_ = 0;
    int bitsLeft_ = 0;  // unread bits in cache_
    uint64_t cache_ = 0;
    uint8_t staging_[kStagingSize + 4] = {};
};

}  // namespace kmqx
