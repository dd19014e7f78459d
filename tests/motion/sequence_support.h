#pragma once
// Whole-encoder helpers for the INTER loop tests: synthetic moving sequences,
// a bit reader for the stream and a PSNR.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "common/planar_frame.h"
#include "encoder/encoder.h"
#include "encoder/picture_view.h"
#include "motion_test_pictures.h"
#include "tests/support/picture_metrics.h"
#include "tests/support/test_picture.h"

namespace kmqx::testing {

using test::Psnr;
using test::TestPicture;

// How the content at picture time t is placed: texture position =
// (x - shiftX) / zoom + 0 around the picture centre, plus noise.
struct Placement {
    double shiftX = 0, shiftY = 0;
    double zoom = 1;
    int scene = 0;      // selects a different texture
    int noise = 0;      // amplitude of uniform noise added to every sample
    uint32_t seed = 1;  // noise seed
};

inline double SceneTexture(int scene, double x, double y) {
    if (scene == 0) return Texture(x, y);
    return 128.0 + 50.0 * std::sin(0.19 * x - 0.29 * y) + 35.0 * std::cos(0.37 * x + 0.13 * y);
}

inline TestPicture RenderPicture(int width, int height, const Placement& p) {
    TestPicture picture(width, height);
    std::mt19937 random(p.seed);
    auto noise = [&] {
        return p.noise == 0 ? 0 : static_cast<int>(random() % (2 * p.noise + 1)) - p.noise;
    };
    const double cx = width / 2.0, cy = height / 2.0;
    auto position = [&](double x, double y, double& tx, double& ty) {
        tx = (x - cx) / p.zoom + cx - p.shiftX;
        ty = (y - cy) / p.zoom + cy - p.shiftY;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double tx, ty;
            position(x, y, tx, ty);
            picture.y[y * width + x] = Sample(SceneTexture(p.scene, tx, ty) + noise());
        }
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            double tx, ty;
            position(2 * x + 0.5, 2 * y + 0.5, tx, ty);
            const size_t i = static_cast<size_t>(y) * (width / 2) + x;
            picture.cb[i] = Sample(128 + 0.4 * (SceneTexture(p.scene, ty, tx) - 128) + noise());
            picture.cr[i] = Sample(128 - 0.3 * (SceneTexture(p.scene, tx * 0.7, ty) - 128));
        }
    return picture;
}

// Reads bits most significant first.
class StreamReader {
  public:
    explicit StreamReader(const std::vector<uint8_t>& data) : data_(data) {}
    uint32_t Read(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++position_) {
            const size_t byte = position_ / 8;
            const uint32_t bit = byte < data_.size() ? (data_[byte] >> (7 - position_ % 8)) & 1 : 0;
            value = value << 1 | bit;
        }
        return value;
    }
    size_t position() const { return position_; }

  private:
    const std::vector<uint8_t>& data_;
    size_t position_ = 0;
};

// Row numbers of the GOB headers (16 zero bits, a one, then GN) after the
// picture start code.
inline std::vector<int> GobNumbers(const std::vector<uint8_t>& stream) {
    std::vector<int> numbers;
    StreamReader reader(stream);
    int zeros = 0;
    bool first = true;
    while (reader.position() + 5 < stream.size() * 8) {
        if (reader.Read(1) == 0) {
            ++zeros;
            continue;
        }
        if (zeros >= 16) {
            const int number = static_cast<int>(reader.Read(5));
            if (!first) numbers.push_back(number);
            first = false;
        }
        zeros = 0;
    }
    return numbers;
}

// Encodes one picture and returns its bytes.
inline std::vector<uint8_t> EncodePicture(Encoder& encoder, TestPicture& picture,
                                          bool key = false) {
    std::vector<uint8_t> output(picture.width * picture.height * 4 + 1024);
    encoder.SetOutputCapacity(static_cast<int32_t>(output.size()));
    encoder.SetPicture(picture.Frame());
    EXPECT_EQ(encoder.EncodeFrame(output.data(), key ? 1 : 0), 0);
    output.resize(encoder.GetCompressedSize());
    return output;
}

// The reconstruction's visible area (width x height luma, then chroma) as one
// 4:2:0 frame, in the layout a decoder writes.
inline std::vector<uint8_t> ReconstructedFrame(const Encoder& encoder, int width, int height) {
    const PictureView& view = encoder.ReconstructionPicture();
    std::vector<uint8_t> frame;
    for (int y = 0; y < height; ++y)
        frame.insert(frame.end(), view.y + y * view.width, view.y + y * view.width + width);
    for (const uint8_t* plane : {view.cb, view.cr})
        for (int y = 0; y < height / 2; ++y)
            frame.insert(frame.end(), plane + y * view.chromaWidth(),
                         plane + y * view.chromaWidth() + width / 2);
    return frame;
}

}  // namespace kmqx::testing
