// The encoder never writes beyond the output capacity it was given, and a
// picture that does not fit is sent as a coarser INTRA picture.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "encoder/encoder.h"
#include "encoder/picture_size_bound.h"
#include "encoder/recode_quantizer.h"
#include "test_support.h"

namespace kmqx {
namespace {

constexpr uint8_t kGuard = 0xA5;

// Encodes into a heap block of exactly `capacity` bytes, so that the
// sanitizers see any store beyond it.
struct ExactOutput {
    int32_t result = -1;
    std::vector<uint8_t> bytes;
};

ExactOutput EncodeExact(Encoder& encoder, test::TestPicture& picture, int32_t capacity,
                        int32_t keyFrame) {
    std::unique_ptr<uint8_t[]> output(new uint8_t[capacity]);
    encoder.SetOutputCapacity(capacity);
    encoder.SetPicture(picture.Frame());
    ExactOutput out;
    out.result = encoder.EncodeFrame(output.get(), keyFrame);
    out.bytes.assign(output.get(), output.get() + encoder.GetCompressedSize());
    return out;
}

TEST(EncoderOutput, NoisePictureFitsANineBitFrameAndMatchesItsDecoding) {
    const int width = 176, height = 144;
    Encoder encoder;
    encoder.SetQuantKey(1);
    encoder.SetQuantNormal(1);
    ASSERT_EQ(encoder.Init(width, height), kEncodeOk);
    test::TestPicture noise = test::NoisePicture(width, height);
    const int32_t capacity = width * height * 9 / 8;
    const ExactOutput first = EncodeExact(encoder, noise, capacity, 0);
    ASSERT_EQ(first.result, kEncodeOk);
    EXPECT_LE(int(first.bytes.size()), capacity);
    EXPECT_GT(encoder.CurrentQuant(), 1);  // QP 1 cannot fit
    EXPECT_EQ(encoder.LastPictureWasIntra(), 1);

    // The reconstruction is that of the picture actually sent.
    if (test::HaveFfmpeg()) {
        const std::string path = test::ScratchPath("noise_qcif.263");
        ASSERT_TRUE(test::WriteBytes(path, first.bytes));
        const std::vector<uint8_t> decoded = test::DecodeWithFfmpeg(path);
        ASSERT_EQ(decoded.size(), size_t(width * height * 3 / 2));
        EXPECT_GE(
            test::Psnr(decoded, test::CropPicture(encoder.ReconstructionPicture(), width, height)),
            45.0);
    }

    // An INTER picture that overflows becomes an INTRA one and keeps TR.
    test::TestPicture other = test::NoisePicture(width, height, 7);
    const ExactOutput second = EncodeExact(encoder, other, capacity, 0);
    ASSERT_EQ(second.result, kEncodeOk);
    EXPECT_EQ(encoder.LastPictureWasIntra(), 1);
    EXPECT_EQ(encoder.TemporalCounter(), 0);
    test::BitReader reader(second.bytes.data(), second.bytes.size());
    reader.Read(22);
    EXPECT_EQ(reader.Read(8), 0u);
}

TEST(EncoderOutput, PicturesThatFitAreUnchangedBitForBit) {
    test::TestPicture picture = test::SyntheticPicture(176, 144);
    Encoder roomy;
    ASSERT_EQ(roomy.Init(176, 144), kEncodeOk);
    const ExactOutput reference = EncodeExact(roomy, picture, 1 << 20, 1);
    ASSERT_EQ(reference.result, kEncodeOk);
    const int32_t size = int32_t(reference.bytes.size());

    Encoder exact;
    ASSERT_EQ(exact.Init(176, 144), kEncodeOk);
    const ExactOutput same = EncodeExact(exact, picture, size, 1);
    ASSERT_EQ(same.result, kEncodeOk);
    EXPECT_EQ(same.bytes, reference.bytes);
    EXPECT_EQ(exact.CurrentQuant(), 2);

    Encoder tight;
    ASSERT_EQ(tight.Init(176, 144), kEncodeOk);
    const ExactOutput smaller = EncodeExact(tight, picture, size - 1, 1);
    ASSERT_EQ(smaller.result, kEncodeOk);
    EXPECT_LT(int(smaller.bytes.size()), size);
    EXPECT_EQ(tight.CurrentQuant(), 3);
}

TEST(EncoderOutput, TooSmallBufferFailsAndForcesTheNextPictureIntra) {
    Encoder encoder;
    ASSERT_EQ(encoder.Init(176, 144), kEncodeOk);
    test::TestPicture picture = test::SyntheticPicture(176, 144);
    ASSERT_EQ(EncodeExact(encoder, picture, 1 << 20, 0).result, kEncodeOk);

    for (int32_t capacity : {1, 7, 64}) {
        std::vector<uint8_t> output(capacity + 16, kGuard);
        encoder.SetOutputCapacity(capacity);
        EXPECT_EQ(encoder.EncodeFrame(output.data(), 0), kEncodeOutputTooSmall);
        EXPECT_EQ(encoder.GetCompressedSize(), 0);
        EXPECT_EQ(encoder.LastPictureWasIntra(), 0);
        for (size_t i = capacity; i < output.size(); ++i) ASSERT_EQ(output[i], kGuard);
    }
    // No capacity set, or no buffer: nothing is written.
    std::vector<uint8_t> untouched(32, kGuard);
    encoder.SetOutputCapacity(0);
    EXPECT_EQ(encoder.EncodeFrame(untouched.data(), 0), kEncodeOutputTooSmall);
    EXPECT_EQ(untouched, std::vector<uint8_t>(32, kGuard));
    encoder.SetOutputCapacity(1000);
    EXPECT_EQ(encoder.EncodeFrame(nullptr, 0), kEncodeOutputTooSmall);

    // The failed pictures left the reconstruction unlike the decoder's
    // picture, so the next one is INTRA although no key frame is asked for.
    const ExactOutput next = EncodeExact(encoder, picture, 1 << 20, 0);
    ASSERT_EQ(next.result, kEncodeOk);
    EXPECT_EQ(encoder.LastPictureWasIntra(), 1);
}

// The bound that ICM_COMPRESS_GET_SIZE answers holds every picture at its
// first coding: key and INTER pictures of the largest content, at the finest
// and the coarsest quantisers.
TEST(EncoderOutput, LargestContentFitsTheBoundAtTheFirstCoding) {
    struct Size {
        int width, height;
    };
    for (const Size& size : {Size{1, 1}, Size{17, 9}, Size{16, 16}, Size{176, 144}}) {
        const int32_t bound = int32_t(MaxPictureBytes(size.width, size.height));
        for (int32_t quantizer : {1, 2, 31}) {
            Encoder encoder;
            encoder.SetQuantKey(quantizer);
            encoder.SetQuantNormal(quantizer);
            ASSERT_EQ(encoder.Init(size.width, size.height), kEncodeOk);
            for (uint32_t seed : {1u, 2u, 1u, 3u}) {
                test::TestPicture noise = test::BinaryNoisePicture(size.width, size.height, seed);
                ASSERT_EQ(EncodeExact(encoder, noise, bound, seed == 1 ? 1 : 0).result, kEncodeOk);
                EXPECT_EQ(encoder.CodingsOfLastPicture(), 1)
                    << size.width << "x" << size.height << " at " << quantizer;
            }
        }
    }
}

// An overflowing picture is coded at most four times, always fits when its
// coarsest coding does, and otherwise fails without writing past the buffer.
TEST(EncoderOutput, OverflowRecodesAtMostFourTimes) {
    const int width = 48, height = 32;
    using Make = test::TestPicture (*)(int, int, uint32_t);
    const Make contents[] = {
        test::NoisePicture, test::BinaryNoisePicture,
        [](int w, int h, uint32_t seed) { return test::SyntheticPicture(w, h, int(seed) * 3); }};
    auto sizeAt = [&](Make make, int32_t quantizer) {
        Encoder encoder;
        encoder.SetQuantKey(quantizer);
        EXPECT_EQ(encoder.Init(width, height), kEncodeOk);
        test::TestPicture picture = make(width, height, 1);
        return int32_t(EncodeExact(encoder, picture, 1 << 20, 1).bytes.size());
    };
    for (Make make : contents) {
        for (int32_t quantizer : {1, 6}) {
            const int32_t coarsest = sizeAt(make, 31), finest = sizeAt(make, quantizer);
            for (int step = 0; step <= 16; ++step) {
                const int32_t capacity = coarsest * 9 / 10 + (finest - coarsest) * step / 16 - 1;
                for (bool inter : {false, true}) {
                    Encoder encoder;
                    encoder.SetQuantKey(quantizer);
                    encoder.SetQuantNormal(quantizer);
                    ASSERT_EQ(encoder.Init(width, height), kEncodeOk);
                    test::TestPicture other = make(width, height, 2),
                                      picture = make(width, height, 1);
                    if (inter) {
                        ASSERT_EQ(EncodeExact(encoder, other, 1 << 20, 1).result, kEncodeOk);
                    }
                    const ExactOutput out = EncodeExact(encoder, picture, capacity, 0);
                    EXPECT_LE(encoder.CodingsOfLastPicture(), kMaxCodingsPerPicture)
                        << "capacity " << capacity << (inter ? " after a key picture" : "");
                    EXPECT_EQ(out.result == kEncodeOk, capacity >= coarsest) << capacity;
                    EXPECT_LE(int32_t(out.bytes.size()), capacity);
                }
            }
        }
    }
}

TEST(EncoderOutput, OddAndExtremeSizesEncode) {
    struct Size {
        int width, height;
    };
    for (const Size& size : {Size{1, 1}, Size{17, 9}, Size{100, 100}, Size{4095, 16}, Size{2, 4095},
                             Size{1408, 1152}}) {
        Encoder encoder;
        ASSERT_EQ(encoder.Init(size.width, size.height), kEncodeOk);
        test::TestPicture picture = test::SyntheticPicture(size.width, size.height);
        const int32_t capacity = 1 << 23;
        const ExactOutput intra = EncodeExact(encoder, picture, capacity, 1);
        ASSERT_EQ(intra.result, kEncodeOk) << size.width << "x" << size.height;
        ASSERT_GT(intra.bytes.size(), 6u);
        test::BitReader reader(intra.bytes.data(), intra.bytes.size());
        EXPECT_EQ(reader.Read(22), 0x20u);
        reader.Read(8 + 5);
        const uint32_t format = reader.Read(3);
        if (format == 7) {
            EXPECT_EQ(int(reader.Read(12)), size.width);
            EXPECT_EQ(int(reader.Read(12)), size.height);
        }
        // The visible part of the reconstruction is close to the source.
        const std::vector<uint8_t> source =
            test::CropPicture(encoder.InputPicture(), size.width, size.height);
        EXPECT_GT(test::Psnr(source, test::CropPicture(encoder.ReconstructionPicture(), size.width,
                                                       size.height)),
                  30.0)
            << size.width << "x" << size.height;
        ASSERT_EQ(EncodeExact(encoder, picture, capacity, 0).result, kEncodeOk);
    }
}

}  // namespace
}  // namespace kmqx
