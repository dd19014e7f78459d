// INTRA pictures checked against a decoder nobody here wrote.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "encoder/encoder.h"
#include "test_support.h"

namespace kmqx {
namespace {

struct Encoded {
    std::vector<uint8_t> stream;
    std::vector<uint8_t> reconstruction;
    std::vector<uint8_t> source;
};

Encoded EncodeIntra(int width, int height, int quant, int phase = 0) {
    Encoder encoder;
    encoder.SetQuantKey(quant);
    EXPECT_EQ(encoder.Init(width, height), kEncodeOk);
    test::TestPicture picture = test::SyntheticPicture(width, height, phase);
    std::vector<uint8_t> output(width * height * 4 + 1024);
    encoder.SetOutputCapacity(int32_t(output.size()));
    encoder.SetPicture(picture.Frame());
    EXPECT_EQ(encoder.EncodeFrame(output.data(), 1), kEncodeOk);
    EXPECT_EQ(encoder.CurrentQuant(), quant);
    output.resize(encoder.GetCompressedSize());
    return {output, test::CropPicture(encoder.ReconstructionPicture(), width, height),
            test::CropPicture(encoder.InputPicture(), width, height)};
}

TEST(EncoderStream, IntraPicturesDecodeWithFfmpegLikeTheReconstruction) {
    if (!test::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not on PATH";
    struct Size {
        int width, height;
    };
    for (const Size& size : {Size{128, 96}, Size{176, 144}, Size{352, 288}, Size{704, 576}}) {
        for (int quant : {1, 2, 6, 31}) {
            const Encoded encoded = EncodeIntra(size.width, size.height, quant);
            const std::string path = test::ScratchPath("intra_" + std::to_string(size.width) +
                                                       "_q" + std::to_string(quant) + ".263");
            ASSERT_TRUE(test::WriteBytes(path, encoded.stream));
            const std::vector<uint8_t> decoded = test::DecodeWithFfmpeg(path);
            ASSERT_EQ(decoded.size(), encoded.reconstruction.size()) << path;
            const double decoderPsnr = test::Psnr(decoded, encoded.reconstruction);
            const double sourcePsnr = test::Psnr(encoded.source, encoded.reconstruction);
            EXPECT_GE(decoderPsnr, 45.0) << path;
            // Close to the source. At QP 1 the strong edges of this content
            // need levels beyond +-127, which clamp, so QP 1 is below QP 2.
            const double minimumSourcePsnr = quant == 1   ? 30.0
                                             : quant == 2 ? 38.0
                                             : quant == 6 ? 35.0
                                                          : 26.0;
            EXPECT_GE(sourcePsnr, minimumSourcePsnr) << path;
            std::printf("%4dx%-4d QP %2d: %7zu bytes, decoder %.1f dB, source %.1f dB\n",
                        size.width, size.height, quant, encoded.stream.size(), decoderPsnr,
                        sourcePsnr);
        }
    }
}

}  // namespace
}  // namespace kmqx
