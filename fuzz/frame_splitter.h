#pragma once
// Splits a fuzzer input into a sequence of compressed frames: each frame is
// a 16-bit big-endian length followed by that many bytes (cut short at the
// end of the input). The seed corpus is written in the same form.
#include <cstddef>
#include <cstdint>

namespace kmqx::fuzz {

struct FrameSlice {
    const uint8_t* data;
    int32_t size;
};

class FrameSplitter {
  public:
    FrameSplitter(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Next(FrameSlice* frame) {
        if (position_ + 2 > size_) return false;
        size_t length = size_t(data_[position_]) << 8 | data_[position_ + 1];
        position_ += 2;
        if (length > size_ - position_) length = size_ - position_;
        frame->data = data_ + position_;
        frame->size = int32_t(length);
        position_ += length;
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace kmqx::fuzz
