#include "decoder/picture_split.h"

#include <cstring>

namespace kmqx {

std::vector<size_t> FindPictureStarts(const uint8_t* data, size_t size) {
    std::vector<size_t> starts;
    // memchr skips to the next zero byte far faster than a byte loop.
    for (size_t i = 0; i + 2 < size; ++i) {
        const void* zero = std::memchr(data + i, 0, size - 2 - i);
        if (!zero) break;
        i = size_t(static_cast<const uint8_t*>(zero) - data);
        if (data[i + 1] == 0 && (data[i + 2] & 0xFC) == 0x80) starts.push_back(i);
    }
    return starts;
}

std::vector<std::vector<uint8_t>> SplitPictures(const std::vector<uint8_t>& stream) {
    const std::vector<size_t> starts = FindPictureStarts(stream.data(), stream.size());
    std::vector<std::vector<uint8_t>> pictures;
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : stream.size();
        pictures.emplace_back(stream.begin() + long(starts[k]), stream.begin() + long(end));
    }
    return pictures;
}

}  // namespace kmqx
