#include "decoder/bit_reader.h"

#include <cstring>

namespace kmqx {

void BitReader::Init(const uint8_t* data, int32_t size) {
    data_ = data;
    size_ = (data != nullptr && size > 0) ? size : 0;
    consumed_ = 0;
    stagingPos_ = kStagingSize;
    fetchedChunks_ = 0;
    cursor_ = BitCursor{};
    NextChunk();
    LoadWord(cursor_);
}

void BitReader::NextChunk() {
    int32_t count = size_ - consumed_;
    if (count > kStagingSize) count = kStagingSize;
    if (count < 0) count = 0;
    if (count > 0) std::memcpy(staging_, data_ + consumed_, size_t(count));
    consumed_ += count;
    // 00 00 FC from the first uncopied byte; the last repetition may run
    // into the slack.
    for (int i = count; i < kStagingSize; i += 3) {
        staging_[i] = 0x00;
        staging_[i + 1] = 0x00;
        staging_[i + 2] = 0xFC;
    }
    stagingPos_ = 0;
    ++fetchedChunks_;
}

void BitReader::SyncToStartCode() {
    while (Peek(17) != 1) Skip(1);
}

int64_t BitReader::BitPosition() const {
    const int64_t fetchedBytes = int64_t(fetchedChunks_ - 1) * kStagingSize + stagingPos_;
    return fetchedBytes * 8 - cursor_.bitsLeft;
}

}  // namespace kmqx
