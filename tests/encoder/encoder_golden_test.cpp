// Golden hashes of the encoder's INTRA output.

#include <gtest/gtest.h>

#include <vector>

#include "encoder/encoder.h"
#include "test_support.h"

namespace kmqx {
namespace {

// Golden values: FNV-1a 64 of the stream bytes and of the visible
// reconstruction of fixed synthetic INTRA pictures (standard and custom size,
// fine and coarse quantiser, and one noise picture recoded to fit a 9-bit
// frame). The streams were checked with ffmpeg before the values were
// recorded. Any change of the bit writer, headers, macroblock writers,
// transform, quantiser, intra reconstruction or the recoding rule changes
// them: update them only for an intended change of output, after checking the
// new streams with an independent decoder.
TEST(EncoderGolden, IntraPictures) {
    struct Golden {
        int width, height, quant;
        bool noise;
        uint64_t stream, reconstruction;
    };
    const Golden goldens[] = {
        {176, 144, 2, false, 0x6308abc61c9d0007ull, 0x93144a557a29117cull},
        {176, 144, 31, false, 0x17e4b77065fbca39ull, 0x6e2211bb43652af9ull},
        {100, 60, 5, false, 0xe3f36eed7d722219ull, 0x51f1c31e1bb043f8ull},
        {176, 144, 1, true, 0x86bae7df1caa513eull, 0xdfd3bc6575bbf762ull},
    };
    for (const Golden& golden : goldens) {
        Encoder encoder;
        encoder.SetQuantKey(golden.quant);
        ASSERT_EQ(encoder.Init(golden.width, golden.height), kEncodeOk);
        test::TestPicture picture = golden.noise
                                        ? test::NoisePicture(golden.width, golden.height, 3)
                                        : test::SyntheticPicture(golden.width, golden.height, 3);
        const int capacity =
            golden.noise ? golden.width * golden.height * 9 / 8 : golden.width * golden.height * 4;
        std::vector<uint8_t> output(capacity);
        encoder.SetOutputCapacity(capacity);
        encoder.SetPicture(picture.Frame());
        ASSERT_EQ(encoder.EncodeFrame(output.data(), 1), kEncodeOk);
        output.resize(encoder.GetCompressedSize());
        const std::vector<uint8_t> reconstruction =
            test::CropPicture(encoder.ReconstructionPicture(), golden.width, golden.height);
        EXPECT_EQ(test::Fnv1a(output.data(), output.size()), golden.stream)
            << std::hex << golden.width << "x" << golden.height << " QP " << golden.quant;
        EXPECT_EQ(test::Fnv1a(reconstruction.data(), reconstruction.size()), golden.reconstruction)
            << std::hex << golden.width << "x" << golden.height << " QP " << golden.quant;
    }
}

}  // namespace
}  // namespace kmqx
