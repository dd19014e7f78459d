// Our own encoder's streams: the decoder's pictures equal the encoder's
// reconstruction except where the two inverse transforms differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "encoder/encoder.h"
#include "test_support.h"

namespace kmqx::test {
namespace {

// Textured content drifting by fractional amounts per frame, so that the
// encoder finds INTER macroblocks with half-pel vectors.
Yuv MovingPicture(int width, int height, int frame) {
    Yuv planes(size_t(width) * height * 3 / 2);
    const double dx = 1.5 * frame;
    const double dy = 0.5 * frame;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = x - dx;
            const double v = y - dy;
            const double value =
                128 + 60 * std::sin(u * 0.21) * std::cos(v * 0.17) + 40 * std::sin((u + v) * 0.05);
            planes[size_t(y) * width + x] = uint8_t(std::clamp(int(value), 0, 255));
        }
    }
    const size_t luma = size_t(width) * height;
    const size_t chroma = size_t(width / 2) * (height / 2);
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            planes[luma + size_t(y) * (width / 2) + x] =
                uint8_t(128 + 30 * std::sin((x - dx / 2) * 0.3));
            planes[luma + chroma + size_t(y) * (width / 2) + x] =
                uint8_t(128 + 30 * std::cos((y - dy / 2) * 0.25));
        }
    }
    return planes;
}

// Flat 8x8 blocks: INTRA pictures of this content carry no AC coefficients.
Yuv BlockyPicture(int width, int height) {
    Yuv planes(size_t(width) * height * 3 / 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            planes[size_t(y) * width + x] = uint8_t(16 + ((x / 8) * 37 + (y / 8) * 53) % 220);
    }
    const size_t luma = size_t(width) * height;
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    for (int plane = 0; plane < 2; ++plane) {
        for (int y = 0; y < chromaHeight; ++y) {
            for (int x = 0; x < chromaWidth; ++x) {
                planes[luma + size_t(plane * chromaHeight + y) * chromaWidth + x] =
                    uint8_t(60 + ((x / 8) * 29 + (y / 8) * 11 + plane * 50) % 140);
            }
        }
    }
    return planes;
}

Yuv Crop(const PictureView& view, int width, int height) {
    Yuv out;
    for (int r = 0; r < height; ++r)
        out.insert(out.end(), view.y + size_t(r) * view.width,
                   view.y + size_t(r) * view.width + width);
    for (const uint8_t* plane : {view.cb, view.cr}) {
        for (int r = 0; r < height / 2; ++r) {
            const uint8_t* row = plane + size_t(r) * view.chromaWidth();
            out.insert(out.end(), row, row + width / 2);
        }
    }
    return out;
}

struct RoundTrip {
    std::vector<std::vector<uint8_t>> frames;
    std::vector<Yuv> reconstructions;
    std::vector<bool> intra;
};

RoundTrip Encode(int width, int height, const std::vector<Yuv>& pictures, int quant, int paramA = 0,
                 int paramB = 0, int paramC = 0, int paramE = 0, int gobInterval = 0) {
    Encoder encoder;
    encoder.SetParamA(paramA);
    encoder.SetParamB(paramB);
    encoder.SetParamC(paramC);
    encoder.SetParamE(paramE);
    encoder.SetQuantNormal(quant);
    encoder.SetQuantKey(quant);
    encoder.SetGobHeaderInterval(gobInterval);
    EXPECT_EQ(encoder.Init(width, height), kEncodeOk);
    std::vector<uint8_t> output(size_t(width) * height * 4 + 4096);
    encoder.SetOutputCapacity(int32_t(output.size()));
    RoundTrip result;
    for (size_t k = 0; k < pictures.size(); ++k) {
        Yuv copy = pictures[k];
        const size_t luma = size_t(width) * height;
        const size_t chroma = size_t(width / 2) * (height / 2);
        encoder.SetPicture({copy.data(), copy.data() + luma, copy.data() + luma + chroma});
        EXPECT_EQ(encoder.EncodeFrame(output.data(), k == 0 ? 1 : 0), kEncodeOk);
        result.frames.emplace_back(output.begin(), output.begin() + encoder.GetCompressedSize());
        result.reconstructions.push_back(Crop(encoder.ReconstructionPicture(), width, height));
        result.intra.push_back(encoder.LastPictureWasIntra() != 0);
    }
    encoder.Release();
    return result;
}

TEST(RoundTrip, DcOnlyIntraPicturesDecodeExactly) {
    for (const auto& size : {std::pair{176, 144}, std::pair{100, 100}, std::pair{352, 288}}) {
        const Yuv picture = BlockyPicture(size.first, size.second);
        for (int quant : {1, 4, 13, 31}) {
            const RoundTrip encoded = Encode(size.first, size.second, {picture}, quant);
            const std::vector<Yuv> decoded = DecodeAll(encoded.frames);
            ASSERT_TRUE(encoded.intra[0]);
            ASSERT_EQ(decoded[0].size(), encoded.reconstructions[0].size());
            size_t differing = 0;
            for (size_t i = 0; i < decoded[0].size(); ++i) {
                differing += decoded[0][i] != encoded.reconstructions[0][i];
            }
            EXPECT_EQ(differing, 0u) << size.first << " q" << quant;
        }
    }
}

TEST(RoundTrip, MovingSequencesMatchTheEncodersReconstruction) {
    struct Case {
        int width, height, quant, paramA, paramB, paramC, paramE, gob;
    };
    const Case cases[] = {
        {176, 144, 2, 0, 0, 0, 0, 0},           {176, 144, 8, 50, 1000, 1000, 200, 1},
        {352, 288, 6, 0, 0, 0, 0, 2},           {128, 96, 31, 0, 0, 0, 0, 0},
        {200, 120, 10, 50, 1000, 1000, 150, 0},  // custom size, partial macroblocks
    };
    double lowest = 99;
    for (const Case& c : cases) {
        std::vector<Yuv> pictures;
        for (int k = 0; k < 8; ++k) pictures.push_back(MovingPicture(c.width, c.height, k));
        const RoundTrip encoded = Encode(c.width, c.height, pictures, c.quant, c.paramA, c.paramB,
                                         c.paramC, c.paramE, c.gob);
        std::vector<int32_t> results;
        const std::vector<Yuv> decoded = DecodeAll(encoded.frames, &results);
        int interPictures = 0;
        for (size_t k = 0; k < pictures.size(); ++k) {
            ASSERT_EQ(results[k], kDecodeOk);
            ASSERT_EQ(decoded[k].size(), encoded.reconstructions[k].size());
            int maxDifference = 0;
            for (size_t i = 0; i < decoded[k].size(); ++i) {
                maxDifference = std::max(maxDifference,
                                         std::abs(decoded[k][i] - encoded.reconstructions[k][i]));
            }
            const double psnr =
                Psnr(decoded[k].data(), encoded.reconstructions[k].data(), decoded[k].size());
            // Transform differences are a sample or two; a parsing or
            // prediction fault shows as large differences at once.
            EXPECT_LE(maxDifference, 8) << c.width << "x" << c.height << " picture " << k;
            EXPECT_GE(psnr, 45.0) << c.width << "x" << c.height << " picture " << k;
            lowest = std::min(lowest, psnr);
            if (!encoded.intra[k]) ++interPictures;
        }
        EXPECT_GT(interPictures, 0);
    }
    std::printf("round trip lowest PSNR against the encoder's reconstruction %.2f dB\n", lowest);
}

}  // namespace
}  // namespace kmqx::test
