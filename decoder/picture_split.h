#pragma once
// A raw H.263 file is pictures one after the other; each begins with a
// picture start code (0000 0000 0000 0000 1000 00), byte-aligned in the
// streams that encoders write.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kmqx {

// Offsets of the byte-aligned picture start codes, in order.
std::vector<size_t> FindPictureStarts(const uint8_t* data, size_t size);

// The pictures themselves, each from its start code to the next (or the end).
std::vector<std::vector<uint8_t>> SplitPictures(const std::vector<uint8_t>& stream);

}  // namespace kmqx
