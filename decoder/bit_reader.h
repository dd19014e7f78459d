#pragma once
#include <cstdint>

namespace kmqx {

// The unread bits a BitReader holds: at least 32 after every step, the
// first in the top bit and zeros below the last. Tight loops keep a copy in
// locals (BitReader::Cursor, PeekAt, SkipAt, Resume) so that it stays in
// registers.
struct BitCursor {
    uint64_t cache = 0;
    int bitsLeft = 0;
};

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
    uint32_t Peek(int n) const { return PeekAt(cursor_, n); }
    void Skip(int n) { SkipAt(cursor_, n); }

    // The same on a copy of the unread bits: take it with Cursor, step it
    // with PeekAt and SkipAt (which refill it from this reader), and hand it
    // back with Resume before the reader itself is used again.
    BitCursor Cursor() const { return cursor_; }
    void Resume(const BitCursor& cursor) { cursor_ = cursor; }
    static uint32_t PeekAt(const BitCursor& cursor, int n) {
        return uint32_t((cursor.cache >> (63 - n)) >> 1);
    }
    void SkipAt(BitCursor& cursor, int n) {
        cursor.cache <<= n;
        cursor.bitsLeft -= n;
        if (cursor.bitsLeft < kRefillBelow) {
            if (stagingPos_ >= kStagingSize) NextChunk();
            LoadWord(cursor);
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
    // With at least 32 unread bits a peek is one shift, and a refill one
    // 32-bit load from the staging area.
    static constexpr int kRefillBelow = 32;

    // Copies the next chunk of the data (or the padding) into the staging
    // area.
    void NextChunk();
    // Appends the 32 bits at stagingPos_ below the unread bits.
    void LoadWord(BitCursor& cursor) {
        const uint8_t* next = staging_ + stagingPos_;
        const uint32_t word = (uint32_t(next[0]) << 24) | (uint32_t(next[1]) << 16) |
                              (uint32_t(next[2]) << 8) | uint32_t(next[3]);
        cursor.cache |= uint64_t(word) << (32 - cursor.bitsLeft);
        stagingPos_ += 4;
        cursor.bitsLeft += 32;
    }

    const uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t consumed_ = 0;
    int32_t stagingPos_ = kStagingSize;
    int32_t fetchedChunks_ = 0;
    BitCursor cursor_;
    uint8_t staging_[kStagingSize + 4] = {};
};

}  // namespace kmqx
