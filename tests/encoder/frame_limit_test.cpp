// A picture over its limit is undone and coded again coarser: the stream
// then goes on exactly as if only the last coding had happened. Rate control
// keeps its bounds with stuffing that independent decoders read past.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/encoder.h"
#include "encoder/rate_control.h"
#include "test_support.h"

namespace kmqx {
namespace {

constexpr int kWidth = 176, kHeight = 144;

struct Coded {
    std::vector<uint8_t> bytes;
    int32_t quant = 0;
    int32_t codings = 0;
};

// Smooth texture with edges, panning unevenly by 1.5 to 2.5 pixels a
// picture across and 0 to 1.5 down, so that vectors change from picture to
// picture and the motion search settles on half-pixel ones.
test::TestPicture Moving(int t) {
    test::TestPicture picture(kWidth, kHeight);
    auto sample = [&](double x, double y) {
        x += 1.5 * t + 0.5 * (t % 3);
        y += 0.5 * t + (t % 2);
        double value =
            128 + 60 * std::sin(0.21 * x) * std::cos(0.17 * y) + 25 * std::sin(0.05 * (x + 2 * y));
        if ((int(x) / 20 + int(y) / 20) % 3 == 0) value = 40 + 0.5 * value;
        return uint8_t(std::lround(std::fmin(255, std::fmax(0, value))));
    };
    for (int r = 0; r < kHeight; ++r)
        for (int c = 0; c < kWidth; ++c) picture.y[size_t(r) * kWidth + c] = sample(c, r);
    for (int r = 0; r < kHeight / 2; ++r)
        for (int c = 0; c < kWidth / 2; ++c) {
            picture.cb[size_t(r) * kWidth / 2 + c] = sample(2 * c + 7, 2 * r);
            picture.cr[size_t(r) * kWidth / 2 + c] = uint8_t(255 - sample(2 * c, 2 * r + 5));
        }
    return picture;
}

Coded Encode(Encoder& encoder, int t, int32_t keyFrame = 0) {
    std::vector<uint8_t> output(1 << 20);
    encoder.SetOutputCapacity(int32_t(output.size()));
    test::TestPicture picture = Moving(t);
    encoder.SetPicture(picture.Frame());
    EXPECT_EQ(encoder.EncodeFrame(output.data(), keyFrame), kEncodeOk) << "picture " << t;
    output.resize(encoder.GetCompressedSize());
    return {output, encoder.CurrentQuant(), encoder.CodingsOfLastPicture()};
}

std::vector<uint8_t> Reconstruction(const Encoder& encoder) {
    return test::CropPicture(encoder.ReconstructionPicture(), kWidth, kHeight);
}

// ffmpeg decodes every picture of the stream, and its last one is the
// encoder's reconstruction (within the rounding of its own inverse transform).
void ExpectFfmpegDecodesToTheReconstruction(const std::vector<uint8_t>& stream, size_t pictures,
                                            const Encoder& encoder, const std::string& name) {
    if (!test::HaveFfmpeg()) return;
    const std::string path = test::ScratchPath(name);
    ASSERT_TRUE(test::WriteBytes(path, stream));
    const std::vector<uint8_t> decoded = test::DecodeWithFfmpeg(path);
    const size_t pictureBytes = size_t(kWidth) * kHeight * 3 / 2;
    ASSERT_EQ(decoded.size(), pictures * pictureBytes);
    EXPECT_GE(test::Psnr({decoded.end() - pictureBytes, decoded.end()}, Reconstruction(encoder)),
              40.0);
}

// Encoder `limited` codes picture 3 within half the size it would take; a
// second encoder codes it directly at the quantiser the first one ended on.
// Both must then agree byte for byte, on that picture and the ones after.
void ExpectRecodingLeavesNoTrace(bool intra) {
    const int32_t keyFrame = intra ? 1 : 0;
    Encoder unlimited, limited, direct;
    for (Encoder* encoder : {&unlimited, &limited, &direct})
        ASSERT_EQ(encoder->Init(kWidth, kHeight), kEncodeOk);
    for (int t = 0; t < 3; ++t) {
        Encode(unlimited, t);
        Encode(limited, t);
        Encode(direct, t);
    }
    const Coded full = Encode(unlimited, 3, keyFrame);
    limited.SetFrameSizeLimit(int32_t(full.bytes.size() / 2));
    const Coded recoded = Encode(limited, 3, keyFrame);
    limited.SetFrameSizeLimit(0);
    ASSERT_GE(recoded.codings, 2);
    EXPECT_LE(recoded.bytes.size(), full.bytes.size() / 2);
    ASSERT_GT(recoded.quant, full.quant);

    if (intra)
        direct.SetQuantKey(recoded.quant);
    else
        direct.SetQuantNormal(recoded.quant);
    EXPECT_EQ(Encode(direct, 3, keyFrame).bytes, recoded.bytes);
    direct.SetQuantKey(2);
    direct.SetQuantNormal(2);
    EXPECT_EQ(Reconstruction(direct), Reconstruction(limited));
    for (int t = 4; t < 8; ++t) EXPECT_EQ(Encode(direct, t).bytes, Encode(limited, t).bytes) << t;
}

TEST(FrameLimit, RecodedInterPictureLeavesTheEncoderAsIfCodedOnce) {
    ExpectRecodingLeavesNoTrace(false);
}

TEST(FrameLimit, RecodedIntraPictureLeavesTheEncoderAsIfCodedOnce) {
    ExpectRecodingLeavesNoTrace(true);
}

TEST(FrameLimit, WhatFitsNoQuantiserIsSkippedOrSentAsTheCoarsestIntraPicture) {
    Encoder encoder;
    // A coarse change threshold: the repeated picture leaves every
    // macroblock unchanged, so that the codings of the moved one below
    // rewrite macroblocks that a skipped picture must not touch.
    encoder.SetParamA(200);
    ASSERT_EQ(encoder.Init(kWidth, kHeight), kEncodeOk);
    Encode(encoder, 0);
    Encode(encoder, 0);
    const std::vector<uint8_t> before = Reconstruction(encoder);

    // 19 bytes: the header and one skipped-macroblock bit for each of 99.
    encoder.SetFrameSizeLimit(19);
    const Coded skipped = Encode(encoder, 8);
    EXPECT_GE(skipped.codings, 2);
    EXPECT_TRUE(encoder.LastPictureSkipped());
    EXPECT_EQ(skipped.bytes.size(), 19u);
    EXPECT_EQ(Reconstruction(encoder), before);
    EXPECT_EQ(encoder.TemporalCounter(), 2);

    // No INTRA picture is that small: the coarsest one goes out.
    const Coded intra = Encode(encoder, 3, 1);
    EXPECT_EQ(encoder.LastPictureWasIntra(), 1);
    EXPECT_EQ(intra.quant, 31);
    EXPECT_GT(intra.bytes.size(), 19u);

    // Pictures after both still decode like the encoder's reconstruction.
    encoder.SetFrameSizeLimit(0);
    std::vector<uint8_t> stream = skipped.bytes;
    stream.insert(stream.end(), intra.bytes.begin(), intra.bytes.end());
    const Coded next = Encode(encoder, 4);
    stream.insert(stream.end(), next.bytes.begin(), next.bytes.end());
    ExpectFfmpegDecodesToTheReconstruction(stream, 3, encoder, "limited_qcif.263");
}

TEST(RateControl, RefusesRatesItCannotUseAndKeepsTheLastOne) {
    Encoder encoder;
    EXPECT_EQ(encoder.SetRateControl(64000, 25, 1), kEncodeOk);
    EXPECT_EQ(encoder.SetRateControl(-1, 25, 1), kEncodeBadRate);
    EXPECT_EQ(encoder.SetRateControl(64000, 0, 1), kEncodeBadRate);
    EXPECT_EQ(encoder.SetRateControl(64000, 25, -1), kEncodeBadRate);
    EXPECT_EQ(encoder.SetRateControl(int64_t{1} << 41, 25, 1), kEncodeBadRate);
    EXPECT_EQ(encoder.SetRateControl(64000, 1, 2000000), kEncodeBadRate);
    EXPECT_TRUE(encoder.Rate().Active());
    EXPECT_DOUBLE_EQ(encoder.Rate().BitsPerPicture(), 2560.0);
    EXPECT_EQ(encoder.SetRateControl(0, 0, 0), kEncodeOk);
    EXPECT_FALSE(encoder.Rate().Active());
}

// A still picture cannot use 256 kbit/s at any quantiser: the bits it
// leaves go out as stuffing, which an independent decoder reads past.
TEST(RateControl, StillPicturesAreStuffedUpToTheRate) {
    Encoder encoder;
    ASSERT_EQ(encoder.SetRateControl(256000, 25, 1), kEncodeOk);
    ASSERT_EQ(encoder.Init(kWidth, kHeight), kEncodeOk);
    std::vector<uint8_t> stream;
    std::vector<size_t> sizes;
    for (int t = 0; t < 50; ++t) {
        const Coded coded = Encode(encoder, 0);
        stream.insert(stream.end(), coded.bytes.begin(), coded.bytes.end());
        sizes.push_back(coded.bytes.size());
    }
    // Every second after the first within 18 % of 32000 bytes.
    for (size_t first = 25; first + 25 <= sizes.size(); ++first) {
        size_t bytes = 0;
        for (size_t i = first; i < first + 25; ++i) bytes += sizes[i];
        EXPECT_GE(bytes, 32000 * 82 / 100) << "second from picture " << first;
        EXPECT_LE(bytes, 32000 * 118 / 100) << "second from picture " << first;
    }
    ExpectFfmpegDecodesToTheReconstruction(stream, 50, encoder, "stuffed_qcif.263");
}

// A new scene that needs more than a window kept full by stuffing leaves is
// skipped for a while, but not for good: the stuffing stops, the window
// drains, and the picture goes out within the rate's bounds.
TEST(RateControl, APictureTooLargeForAStuffedWindowIsNotSkippedForGood) {
    RateControl rate;
    ASSERT_TRUE(rate.Configure(64000, 25, 1));
    rate.StartSequence(396, 352 * 288);
    for (int t = 0; t < 25; ++t) rate.PictureSent(t == 0, 31, 2560, 0, false);
    constexpr int64_t kSceneBits = 30000, kSkippedPictureBits = 448;
    int waited = 0;
    for (; waited < 75; ++waited) {
        const PicturePlan plan = rate.Plan(false, 0);
        if (plan.maxBits >= kSceneBits) break;
        const int64_t bits = std::max(plan.minBits, kSkippedPictureBits);
        rate.PictureSent(false, 31, bits, bits - kSkippedPictureBits, true);
    }
    EXPECT_LT(waited, 75) << "the scene never found room";
    EXPECT_LE(rate.Plan(false, 0).maxBits, int64_t{64000 * 118 / 100});
}

}  // namespace
}  // namespace kmqx
