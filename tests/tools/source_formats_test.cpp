#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "convert/source_conversion.h"
#include "encoder/encoder.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/picture_metrics.h"
#include "tests/support/test_files.h"
#include "tests/support/y4m_frames.h"
#include "tools/avi_reader.h"
#include "tools/codec_host.h"
#include "tools/commands.h"
#include "tools/raw_frames.h"
#include "tools/y4m.h"

namespace kmqx {
namespace {

using test::ReadBytes;
using test::ScratchPath;

constexpr int32_t kWidth = 176, kHeight = 144, kFrames = 10;

using test::HaveFfmpeg;
using test::Psnr;

using test::ReadY4m;

// Each source format made by ffmpeg from the same moving pattern, encoded by
// kmqx through the driver, decoded by ffmpeg's H.263 decoder. An encoder fed
// the converted pictures directly makes the same stream, and ffmpeg's
// pictures are its reconstruction within inverse-transform differences;
// they also match what the conversion made of the source, and our decoder
// agrees with ffmpeg's.
TEST(SourceFormats, EachFormatFromFfmpegEncodesAndDecodesElsewhere) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
    const std::string pattern = "-f lavfi -i testsrc2=size=176x144:rate=25 -frames:v 10";
    const struct {
        const char* name;
        const char* ffmpegOutput;
    } formats[] = {
        {"rgb24", "-vf vflip -pix_fmt bgr24"},  // bottom-up B, G, R
        {"yuyv", "-pix_fmt yuyv422"},
        {"yv12", "-vf format=yuv420p,shuffleplanes=0:2:1,format=yuv420p -pix_fmt yuv420p"},
        {"yvu9", "-vf format=yuv410p,shuffleplanes=0:2:1,format=yuv410p -pix_fmt yuv410p"},
    };
    for (const auto& format : formats) {
        SCOPED_TRACE(format.name);
        const std::string raw = ScratchPath(std::string("ff.") + format.name);
        const std::string avi = ScratchPath(std::string("ff_") + format.name + ".avi");
        const std::string theirs = ScratchPath(std::string("ff_") + format.name + "_ffmpeg.y4m");
        const std::string ours = ScratchPath(std::string("ff_") + format.name + "_ours.y4m");
        ASSERT_EQ(std::system(("ffmpeg -v error -y " + pattern + " " + format.ffmpegOutput +
                               " -f rawvideo '" + raw + "'")
                                  .c_str()),
                  0);
        ASSERT_EQ(RunEncodeCommand({"--size", "176x144", "--format", format.name, "--quality",
                                    "9000", raw, avi}),
                  0);
        ASSERT_EQ(
            std::system(("ffmpeg -v error -y -c:v h263 -i '" + avi + "' '" + theirs + "'").c_str()),
            0);
        ASSERT_EQ(RunDecodeCommand({avi, ours}), 0);
        const auto ffmpegPictures = ReadY4m(theirs), ourPictures = ReadY4m(ours);
        ASSERT_EQ(ffmpegPictures.size(), size_t(kFrames));
        ASSERT_EQ(ourPictures.size(), size_t(kFrames));

        SourceFormat source;
        ASSERT_TRUE(FindSourceFormat(format.name, source));
        const std::vector<uint8_t> bytes = ReadBytes(raw);
        const size_t frameSize = SourceFrameSize(source.tag, source.bitCount, kWidth, kHeight);
        ASSERT_EQ(bytes.size(), frameSize * kFrames);
        AviVideoStream stream;
        std::string error;
        const std::vector<uint8_t> aviBytes = ReadBytes(avi);
        ASSERT_TRUE(ParseAvi(aviBytes, CodecFourCC(), stream, error)) << error;
        ASSERT_EQ(stream.frames.size(), size_t(kFrames));
        // Quality 9000: codec version 1, parameters 0, both quantisers 4.
        Encoder encoder;
        encoder.SetCodecVersion(1);
        for (auto set : {&Encoder::SetParamA, &Encoder::SetParamB, &Encoder::SetParamC,
                         &Encoder::SetParamD, &Encoder::SetParamE, &Encoder::SetParamF})
            (encoder.*set)(0);
        encoder.SetQuantNormal(4);
        encoder.SetQuantKey(4);
        ASSERT_EQ(encoder.Init(kWidth, kHeight), kEncodeOk);
        encoder.SetOutputCapacity(int32_t(frameSize));
        std::vector<uint8_t> coded(frameSize);

        const size_t luma = size_t(kWidth) * kHeight;
        std::vector<uint8_t> planes(luma * 3 / 2);
        for (int32_t i = 0; i < kFrames; ++i) {
            // The Y4M order (Y, U, V) is also a PlanarFrame's (Y, Cb, Cr).
            const PlanarFrame frame{planes.data(), planes.data() + luma,
                                    planes.data() + luma * 5 / 4};
            ConvertToPlanar(&bytes[i * frameSize], frame, source.tag, source.bitCount, kWidth,
                            kHeight);
            encoder.SetPicture(frame);
            ASSERT_EQ(encoder.EncodeFrame(coded.data(), 0), kEncodeOk);
            const AviFrame& written = stream.frames[i];
            ASSERT_EQ(uint32_t(encoder.GetCompressedSize()), written.size) << i;
            EXPECT_TRUE(std::equal(coded.begin(), coded.begin() + written.size,
                                   aviBytes.begin() + written.offset))
                << i;
            const PictureView& reconstruction = encoder.ReconstructionPicture();
            std::vector<uint8_t> reconstructed(reconstruction.y, reconstruction.y + luma);
            reconstructed.insert(reconstructed.end(), reconstruction.cb,
                                 reconstruction.cb + luma / 4);
            reconstructed.insert(reconstructed.end(), reconstruction.cr,
                                 reconstruction.cr + luma / 4);
            EXPECT_GT(Psnr(ffmpegPictures[i].data(), reconstructed.data(), planes.size()), 45.0)
                << i;
            EXPECT_GT(Psnr(ffmpegPictures[i].data(), planes.data(), planes.size()), 32.0) << i;
            EXPECT_GT(Psnr(ffmpegPictures[i].data(), ourPictures[i].data(), planes.size()), 45.0)
                << i;
        }
    }
}

}  // namespace
}  // namespace kmqx
