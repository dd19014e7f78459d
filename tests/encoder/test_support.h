#pragma once
// Helpers shared by the encoder tests: a bit reader for checking streams,
// synthetic pictures, hashing, PSNR and the external decoder.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/planar_frame.h"
#include "encoder/picture_view.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/picture_metrics.h"
#include "tests/support/test_files.h"
#include "tests/support/test_picture.h"

namespace kmqx::test {

// Reads bits most significant first, as a decoder would.
class BitReader {
  public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Read(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            const size_t byte = position_ / 8;
            const uint32_t bit = byte < size_ ? (data_[byte] >> (7 - position_ % 8)) & 1 : 0;
            value = value << 1 | bit;
            ++position_;
        }
        return value;
    }
    size_t position() const { return position_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Renders bits as a string of '0' and '1', for readable expectations.
inline std::string BitsOf(const uint8_t* data, size_t bitCount) {
    std::string bits;
    BitReader reader(data, (bitCount + 7) / 8);
    for (size_t i = 0; i < bitCount; ++i) bits += reader.Read(1) ? '1' : '0';
    return bits;
}

// Counts start codes (16 zero bits then a one) at any bit position.
inline int CountStartCodes(const std::vector<uint8_t>& stream) {
    int count = 0;
    int zeros = 0;
    BitReader reader(stream.data(), stream.size());
    for (size_t i = 0; i < stream.size() * 8; ++i) {
        if (reader.Read(1)) {
            if (zeros >= 16) ++count;
            zeros = 0;
        } else {
            ++zeros;
        }
    }
    return count;
}

// Smooth gradients with a few edges and texture: typical camera content.
inline TestPicture SyntheticPicture(int width, int height, int phase = 0) {
    TestPicture picture(width, height);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            int value = (c * 3 + r * 2 + phase) % 256;
            if (((c + phase) / 24 + r / 24) % 2) value = 255 - value / 2;
            value += ((c * 7 + r * 13) % 17) - 8;
            picture.y[size_t(r) * width + c] = uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
        }
    }
    const int cw = width / 2;
    for (int r = 0; r < height / 2; ++r) {
        for (int c = 0; c < cw; ++c) {
            picture.cb[size_t(r) * cw + c] = uint8_t(128 + (c - r) % 60);
            picture.cr[size_t(r) * cw + c] = uint8_t(100 + (c * 2 + r) % 90);
        }
    }
    return picture;
}

// Uniform pseudo-random samples: the worst case for the coder.
inline TestPicture NoisePicture(int width, int height, uint32_t seed = 1) {
    TestPicture picture(width, height);
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return uint8_t(seed >> 24);
    };
    for (auto* plane : {&picture.y, &picture.cb, &picture.cr}) {
        for (auto& sample : *plane) sample = next();
    }
    return picture;
}

// Samples of 0 or 255 at random: the most coefficient energy a picture can
// have, and so the largest pictures at every quantiser.
inline TestPicture BinaryNoisePicture(int width, int height, uint32_t seed = 1) {
    TestPicture picture = NoisePicture(width, height, seed);
    for (auto* plane : {&picture.y, &picture.cb, &picture.cr}) {
        for (auto& sample : *plane) sample = (sample & 1) ? 255 : 0;
    }
    return picture;
}

// The visible part of a coded picture as tightly packed Y, Cb, Cr planes.
inline std::vector<uint8_t> CropPicture(const PictureView& view, int width, int height) {
    std::vector<uint8_t> planes;
    for (int r = 0; r < height; ++r) {
        planes.insert(planes.end(), view.y + size_t(r) * view.width,
                      view.y + size_t(r) * view.width + width);
    }
    for (const uint8_t* chroma : {view.cb, view.cr}) {
        for (int r = 0; r < height / 2; ++r) {
            const uint8_t* row = chroma + size_t(r) * view.chromaWidth();
            planes.insert(planes.end(), row, row + width / 2);
        }
    }
    return planes;
}

// Decodes a file of H.263 pictures with ffmpeg to packed yuv420p, one
// picture for each in the file; empty on error.
std::vector<uint8_t> DecodeWithFfmpeg(const std::string& streamPath);

}  // namespace kmqx::test
