#include "encoder/encoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "test_support.h"

namespace kmqx {
namespace {

std::vector<uint8_t> EncodeOne(Encoder& encoder, test::TestPicture& picture, int keyFrame,
                               int capacity = 1 << 22) {
    std::vector<uint8_t> output(capacity);
    encoder.SetOutputCapacity(capacity);
    encoder.SetPicture(picture.Frame());
    EXPECT_EQ(encoder.EncodeFrame(output.data(), keyFrame), kEncodeOk);
    output.resize(encoder.GetCompressedSize());
    return output;
}

TEST(EncoderLifecycle, CallsOutOfOrderAreRefused) {
    Encoder encoder;
    std::vector<uint8_t> output(64, 0xA5);
    encoder.SetOutputCapacity(64);
    EXPECT_EQ(encoder.EncodeFrame(output.data(), 0), kEncodeNotInitialised);
    EXPECT_EQ(output, std::vector<uint8_t>(64, 0xA5));
    EXPECT_EQ(encoder.Release(), kEncodeNotInitialised);

    ASSERT_EQ(encoder.Init(176, 144), kEncodeOk);
    EXPECT_EQ(encoder.Init(352, 288), kEncodeAlreadyInitialised);
    EXPECT_EQ(encoder.InputPicture().width, 176);  // the first size stays
    EXPECT_EQ(encoder.SourceFormat(), 2);
    EXPECT_EQ(encoder.Release(), kEncodeOk);
    EXPECT_EQ(encoder.Release(), kEncodeNotInitialised);
    EXPECT_EQ(encoder.Init(352, 288), kEncodeOk);
    EXPECT_EQ(encoder.SourceFormat(), 3);
}

TEST(EncoderLifecycle, SizesOutsideTheCustomFieldsAreRefused) {
    Encoder encoder;
    for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-16, 16}, {4096, 16}, {16, 4096}}) {
        EXPECT_EQ(encoder.Init(w, h), kEncodeBadSize) << w << "x" << h;
        EXPECT_FALSE(encoder.IsInitialised());
    }
    std::vector<uint8_t> output(64);
    encoder.SetOutputCapacity(64);
    EXPECT_EQ(encoder.EncodeFrame(output.data(), 1), kEncodeNotInitialised);
    EXPECT_EQ(encoder.Init(4095, 4095), kEncodeOk);
}

TEST(EncoderLayout, CodedSizeGridAndAlignedPlanes) {
    struct Case {
        int width, height, codedWidth, codedHeight, format;
    };
    for (const Case& c :
         {Case{176, 144, 176, 144, 2}, Case{100, 100, 112, 112, 7}, Case{1408, 1152, 1408, 1152, 5},
          Case{1, 1, 16, 16, 7}, Case{4095, 16, 4096, 16, 7}}) {
        Encoder encoder;
        ASSERT_EQ(encoder.Init(c.width, c.height), kEncodeOk);
        const PictureView& view = encoder.InputPicture();
        EXPECT_EQ(view.width, c.codedWidth);
        EXPECT_EQ(view.height, c.codedHeight);
        EXPECT_EQ(encoder.Grid().cols(), c.codedWidth / 16);
        EXPECT_EQ(encoder.Grid().rows(), c.codedHeight / 16);
        EXPECT_EQ(encoder.SourceFormat(), c.format);
        for (const PictureView* v : {&view, &encoder.ReconstructionPicture()}) {
            for (const uint8_t* plane : {v->y, v->cb, v->cr}) {
                EXPECT_EQ(reinterpret_cast<uintptr_t>(plane) % 16, 0u);
            }
        }
        // The top border marks "outside" for the vector prediction.
        EXPECT_EQ(encoder.Grid().At(-1, -1).mvX, kOutsideVector);
        EXPECT_EQ(encoder.Grid().At(c.codedWidth / 16, -1).mvY, kOutsideVector);
        EXPECT_EQ(encoder.Grid().At(-1, 0).mvX, 0);
        EXPECT_EQ(encoder.Grid().At(0, c.codedHeight / 16).mvX, 0);
    }
}

TEST(EncoderSettings, QuantisersAreClampedAndBufferSizeTruncates) {
    Encoder encoder;
    EXPECT_EQ(encoder.QuantNormal(), 2);
    EXPECT_EQ(encoder.QuantKey(), 2);
    encoder.SetQuantNormal(0);
    encoder.SetQuantKey(40);
    EXPECT_EQ(encoder.QuantNormal(), 1);
    EXPECT_EQ(encoder.QuantKey(), 31);
    encoder.SetQuantKey(-5);
    EXPECT_EQ(encoder.QuantKey(), 1);
    encoder.SetQuantNormal(17);
    EXPECT_EQ(encoder.QuantNormal(), 17);

    EXPECT_EQ(encoder.GetPictureBufferSize(176, 144), 38016);
    EXPECT_EQ(encoder.GetPictureBufferSize(3, 3), 13);
    EXPECT_EQ(encoder.GetPictureBufferSize(-1, 100), 0);
    EXPECT_EQ(encoder.GetPictureBufferSize(65535, 65535), INT32_MAX);
}

TEST(EncoderInput, RoundingUpRepeatsTheLastColumnAndRow) {
    Encoder encoder;
    ASSERT_EQ(encoder.Init(100, 99), kEncodeOk);
    test::TestPicture picture = test::SyntheticPicture(100, 99);
    encoder.SetPicture(picture.Frame());
    const PictureView& view = encoder.InputPicture();
    for (int r = 0; r < 112; ++r) {
        for (int c = 0; c < 112; ++c) {
            const int sr = r < 99 ? r : 98;
            const int sc = c < 100 ? c : 99;
            ASSERT_EQ(view.y[r * 112 + c], picture.y[sr * 100 + sc]) << r << "," << c;
        }
    }
    for (int r = 0; r < 56; ++r) {
        for (int c = 0; c < 56; ++c) {
            const int sr = r < 49 ? r : 48;
            const int sc = c < 50 ? c : 49;
            ASSERT_EQ(view.cb[r * 56 + c], picture.cb[sr * 50 + sc]);
            ASSERT_EQ(view.cr[r * 56 + c], picture.cr[sr * 50 + sc]);
        }
    }
}

TEST(EncoderInput, PictureWithoutChromaSamplesGetsNeutralChroma) {
    Encoder encoder;
    ASSERT_EQ(encoder.Init(1, 1), kEncodeOk);
    uint8_t luma = 77;
    encoder.SetPicture({&luma, nullptr, nullptr});  // 0 x 0 chroma planes
    uint8_t none = 0;
    encoder.SetPicture({&luma, &none, &none});
    const PictureView& view = encoder.InputPicture();
    for (int i = 0; i < 256; ++i) ASSERT_EQ(view.y[i], 77);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(view.cb[i], 128);
        ASSERT_EQ(view.cr[i], 128);
    }
}

TEST(EncoderPictures, IntraFirstThenInterAndTemporalReference) {
    Encoder encoder;
    ASSERT_EQ(encoder.Init(176, 144), kEncodeOk);
    test::TestPicture picture = test::SyntheticPicture(176, 144);
    const int keys[] = {0, 0, 0, 1, 0};
    const int expectedTr[] = {0, 0, 1, 2, 2};
    const int expectedIntra[] = {1, 0, 0, 1, 0};
    for (int i = 0; i < 5; ++i) {
        const std::vector<uint8_t> stream = EncodeOne(encoder, picture, keys[i]);
        ASSERT_GE(stream.size(), 8u);
        test::BitReader reader(stream.data(), stream.size());
        EXPECT_EQ(reader.Read(22), 0x20u);  // picture start code
        EXPECT_EQ(int(reader.Read(8)), expectedTr[i]) << "picture " << i;
        reader.Read(8);  // PTYPE up to the source format
        EXPECT_EQ(int(reader.Read(1)), 1 - expectedIntra[i]) << "picture " << i;
        EXPECT_EQ(encoder.LastPictureWasIntra(), expectedIntra[i]);
    }
}

TEST(EncoderPictures, GobHeaderCadence) {
    Encoder encoder;
    encoder.SetGobHeaderInterval(2);
    ASSERT_EQ(encoder.Init(352, 288), kEncodeOk);
    test::TestPicture picture = test::SyntheticPicture(352, 288);
    // Start codes: the picture's own plus one per GOB header.
    EXPECT_EQ(test::CountStartCodes(EncodeOne(encoder, picture, 1)), 1 + 17);
    EXPECT_EQ(test::CountStartCodes(EncodeOne(encoder, picture, 0)), 1 + 8);

    // 16CIF has 72 rows; GN cannot number rows beyond 30.
    Encoder large;
    large.SetGobHeaderInterval(1);
    ASSERT_EQ(large.Init(1408, 1152), kEncodeOk);
    test::TestPicture big = test::SyntheticPicture(1408, 1152);
    EXPECT_EQ(test::CountStartCodes(EncodeOne(large, big, 1)), 1 + 30);

    Encoder none;
    ASSERT_EQ(none.Init(352, 288), kEncodeOk);
    EXPECT_EQ(test::CountStartCodes(EncodeOne(none, picture, 1)), 1);
}

TEST(EncoderPictures, FlatPictureReconstructsExactly) {
    Encoder encoder;
    ASSERT_EQ(encoder.Init(176, 144), kEncodeOk);
    test::TestPicture picture(176, 144);
    std::fill(picture.y.begin(), picture.y.end(), 100);
    std::fill(picture.cb.begin(), picture.cb.end(), 60);
    std::fill(picture.cr.begin(), picture.cr.end(), 200);
    const std::vector<uint8_t> stream = EncodeOne(encoder, picture, 1);
    EXPECT_EQ(test::CropPicture(encoder.ReconstructionPicture(), 176, 144),
              test::CropPicture(encoder.InputPicture(), 176, 144));
    // Header, then per macroblock MCBPC "1", CBPY "0011" and six 8-bit DCs.
    const int bits = 50 + 99 * (1 + 4 + 6 * 8);
    EXPECT_EQ(int(stream.size()), (bits + 7) / 8);
}

// Two encoders on two threads must each produce what they produce alone.
TEST(EncoderPictures, IndependentEncodersOnTwoThreads) {
    auto encodeSequence = [](int width, int height, int quant) {
        Encoder encoder;
        encoder.SetQuantKey(quant);
        encoder.SetQuantNormal(quant);
        EXPECT_EQ(encoder.Init(width, height), kEncodeOk);
        std::vector<uint8_t> all;
        for (int i = 0; i < 3; ++i) {
            test::TestPicture picture = test::SyntheticPicture(width, height, 5 * i);
            const std::vector<uint8_t> stream = EncodeOne(encoder, picture, 0);
            all.insert(all.end(), stream.begin(), stream.end());
        }
        return all;
    };
    const std::vector<uint8_t> aloneA = encodeSequence(176, 144, 3);
    const std::vector<uint8_t> aloneB = encodeSequence(320, 240, 9);
    std::vector<uint8_t> threadA, threadB;
    std::thread a([&] { threadA = encodeSequence(176, 144, 3); });
    std::thread b([&] { threadB = encodeSequence(320, 240, 9); });
    a.join();
    b.join();
    EXPECT_EQ(threadA, aloneA);
    EXPECT_EQ(threadB, aloneB);
}

}  // namespace
}  // namespace kmqx
