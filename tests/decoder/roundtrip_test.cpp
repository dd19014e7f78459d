// Our own encoder's streams: the decoder's pictures equal the encoder's
// reconstruction byte for byte, in every picture of a sequence, since both
// directions use the same inverse transform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "encoder/encoder.h"
#include "test_support.h"

namespace kmqx::test {
namespace {

// Textured content drifting by fractional amounts per frame, so that the
// encoder finds INTER macroblocks with half-pel vectors; `noise` adds fresh
// uniform noise of that amplitude to every sample of every picture, which
// gives most macroblocks coefficients in every picture.
Yuv MovingPicture(int width, int height, int frame, int noise = 0) {
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
    uint32_t seed = 12345u + uint32_t(frame);
    for (uint8_t& sample : planes) {
        if (noise == 0) break;
        seed = seed * 1664525u + 1013904223u;
        sample = uint8_t(std::clamp(sample + int(seed >> 24) % (2 * noise + 1) - noise, 0, 255));
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

struct CodingSettings {
    int quant = 2;
    int paramA = 0, paramB = 0, paramC = 0, paramE = 0;
    int gobInterval = 0;
    int keyInterval = 0;  // 0: only the first picture is requested as key
    int capacity = 0;     // output bytes; 0 for ample
};

struct RoundTrip {
    std::vector<std::vector<uint8_t>> frames;  // the pictures sent
    std::vector<Yuv> reconstructions;          // the encoder's, one per picture sent
    std::vector<bool> intra;
    int unrequestedIntra = 0;  // INTRA pictures made to fit the output
};

// Encodes the pictures; a picture the output cannot hold is not sent.
RoundTrip Encode(int width, int height, int count, const std::function<Yuv(int)>& picture,
                 const CodingSettings& settings) {
    Encoder encoder;
    encoder.SetParamA(settings.paramA);
    encoder.SetParamB(settings.paramB);
    encoder.SetParamC(settings.paramC);
    encoder.SetParamE(settings.paramE);
    encoder.SetQuantNormal(settings.quant);
    encoder.SetQuantKey(settings.quant);
    encoder.SetGobHeaderInterval(settings.gobInterval);
    EXPECT_EQ(encoder.Init(width, height), kEncodeOk);
    const int capacity = settings.capacity ? settings.capacity : width * height * 4 + 4096;
    std::vector<uint8_t> output(capacity);
    encoder.SetOutputCapacity(capacity);
    RoundTrip result;
    for (int k = 0; k < count; ++k) {
        Yuv copy = picture(k);
        const size_t luma = size_t(width) * height;
        const size_t chroma = size_t(width / 2) * (height / 2);
        encoder.SetPicture({copy.data(), copy.data() + luma, copy.data() + luma + chroma});
        const bool key = k == 0 || (settings.keyInterval > 0 && k % settings.keyInterval == 0);
        if (encoder.EncodeFrame(output.data(), key ? 1 : 0) != kEncodeOk) continue;
        const bool intra = encoder.LastPictureWasIntra() != 0;
        result.frames.emplace_back(output.begin(), output.begin() + encoder.GetCompressedSize());
        result.reconstructions.push_back(Crop(encoder.ReconstructionPicture(), width, height));
        result.intra.push_back(intra);
        result.unrequestedIntra += intra && !key;
    }
    encoder.Release();
    return result;
}

RoundTrip Encode(int width, int height, const std::vector<Yuv>& pictures,
                 const CodingSettings& settings) {
    return Encode(
        width, height, int(pictures.size()), [&](int k) { return pictures[k]; }, settings);
}

TEST(RoundTrip, DcOnlyIntraPicturesDecodeExactly) {
    for (const auto& size : {std::pair{176, 144}, std::pair{100, 100}, std::pair{352, 288}}) {
        const Yuv picture = BlockyPicture(size.first, size.second);
        for (int quant : {1, 4, 13, 31}) {
            CodingSettings settings;
            settings.quant = quant;
            const RoundTrip encoded = Encode(size.first, size.second, {picture}, settings);
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

struct SequenceCase {
    const char* name;
    int width, height, pictures;
    int noise;
    CodingSettings settings;
};

class DecoderEqualsReconstruction : public ::testing::TestWithParam<SequenceCase> {};

// Every picture, from the first to the last of a long run without key
// frames (where forced INTRA refreshes come in), decodes to exactly the
// encoder's reconstruction: any difference would grow from picture to picture.
TEST_P(DecoderEqualsReconstruction, InEveryPicture) {
    const SequenceCase& c = GetParam();
    const RoundTrip encoded = Encode(
        c.width, c.height, c.pictures,
        [&](int k) { return MovingPicture(c.width, c.height, k, c.noise); }, c.settings);
    std::vector<int32_t> results;
    const std::vector<Yuv> decoded = DecodeAll(encoded.frames, &results);
    ASSERT_EQ(decoded.size(), encoded.reconstructions.size());
    int interPictures = 0;
    for (size_t k = 0; k < decoded.size(); ++k) {
        ASSERT_EQ(results[k], kDecodeOk) << "picture " << k;
        ASSERT_EQ(decoded[k].size(), encoded.reconstructions[k].size());
        size_t differing = 0;
        for (size_t i = 0; i < decoded[k].size(); ++i)
            differing += decoded[k][i] != encoded.reconstructions[k][i];
        ASSERT_EQ(differing, 0u) << "picture " << k << " of " << decoded.size();
        interPictures += !encoded.intra[k];
    }
    EXPECT_GT(interPictures, int(decoded.size()) / 2);
    if (c.settings.capacity != 0) {
        EXPECT_GT(encoded.unrequestedIntra, 0) << "no picture re-coded";
    }
}

CodingSettings Quant(int quant) {
    CodingSettings settings;
    settings.quant = quant;
    return settings;
}

CodingSettings With(CodingSettings settings, int CodingSettings::*field, int value) {
    settings.*field = value;
    return settings;
}

INSTANTIATE_TEST_SUITE_P(
    LongSequences, DecoderEqualsReconstruction,
    ::testing::Values(SequenceCase{"qcif_q1", 176, 144, 300, 6, Quant(1)},
                      SequenceCase{"qcif_q2", 176, 144, 300, 6, Quant(2)},
                      SequenceCase{"qcif_q6", 176, 144, 300, 6, Quant(6)},
                      SequenceCase{"qcif_q31", 176, 144, 300, 6, Quant(31)},
                      SequenceCase{"qcif_q2_key_frames", 176, 144, 300, 6,
                                   With(Quant(2), &CodingSettings::keyInterval, 40)},
                      SequenceCase{"qcif_q6_gob_headers", 176, 144, 300, 6,
                                   With(Quant(6), &CodingSettings::gobInterval, 1)},
                      SequenceCase{"odd_custom_size_q2", 99, 75, 300, 6, Quant(2)},
                      // Skips, no search, no refinement and untransformed luminance blocks.
                      SequenceCase{"thresholds_q8", 200, 120, 300, 2,
                                   CodingSettings{8, 50, 1000, 1000, 150, 2, 0, 0}},
                      // Pictures that do not fit are coded again as INTRA at coarser
                      // quantisers, or not sent at all.
                      SequenceCase{"overflow_recodes_q1", 176, 144, 300, 6,
                                   With(Quant(1), &CodingSettings::capacity, 20300)}),
    [](const ::testing::TestParamInfo<SequenceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kmqx::test
