#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "convert/output_conversion.h"
#include "convert/source_conversion.h"
#include "decoder/picture_split.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/picture_metrics.h"
#include "tests/support/test_files.h"
#include "tests/support/y4m_frames.h"
#include "tools/avi_reader.h"
#include "tools/commands.h"
#include "tools/test_sequence.h"
#include "tools/y4m.h"

namespace kmqx {
namespace {

using test::FileExists;
using test::ReadBytes;
using test::ScratchPath;
using test::WriteBytes;
using test::WriteText;

constexpr int32_t kWidth = 176, kHeight = 144, kFrames = 8;

// The built-in sequence as Y4M, encoded once into an AVI and a raw stream.
class DecodeCommand : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string y4m = ScratchPath("decode_in.y4m");
        std::string header = "YUV4MPEG2 W176 H144 F25:1 C420jpeg\n";
        std::vector<uint8_t> bytes(header.begin(), header.end());
        TestSequence sequence(kWidth, kHeight);
        std::vector<uint8_t> planes;
        for (int32_t i = 0; i < kFrames; ++i) {
            sequence.Render(i, planes);
            bytes.insert(bytes.end(), {'F', 'R', 'A', 'M', 'E', '\n'});
            bytes.insert(bytes.end(), planes.begin(), planes.end());
        }
        WriteBytes(y4m, bytes);
        ASSERT_EQ(RunEncodeCommand({"--keyint", "4", y4m, Avi()}), 0);
        ASSERT_EQ(RunEncodeCommand({y4m, Stream()}), 0);
    }
    static std::string Avi() { return ScratchPath("decode_in.avi"); }
    static std::string Stream() { return ScratchPath("decode_in.263"); }
};

using test::HaveFfmpeg;
using test::Psnr;
using test::ReadY4m;

TEST_F(DecodeCommand, AviAndRawStreamDecodeToTheSamePictures) {
    const std::string fromAvi = ScratchPath("from_avi.y4m"),
                      fromStream = ScratchPath("from_263.y4m");
    ASSERT_EQ(RunDecodeCommand({Avi(), fromAvi}), 0);
    ASSERT_EQ(RunDecodeCommand({Stream(), fromStream}), 0);
    const auto avi = ReadY4m(fromAvi), stream = ReadY4m(fromStream);
    ASSERT_EQ(avi.size(), size_t(kFrames));
    ASSERT_EQ(stream.size(), size_t(kFrames));
    // Key frames differ (every 4th in the AVI), so compare with the source.
    TestSequence sequence(kWidth, kHeight);
    std::vector<uint8_t> source;
    for (int32_t i = 0; i < kFrames; ++i) {
        sequence.Render(i, source);
        EXPECT_GT(Psnr(avi[i], source), 30.0) << i;
        EXPECT_GT(Psnr(stream[i], source), 30.0) << i;
    }
    if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
    // A decoder nobody here wrote agrees within inverse-transform differences.
    const std::string theirs = ScratchPath("ffmpeg.y4m");
    ASSERT_EQ(
        std::system(("ffmpeg -v error -y -c:v h263 -i '" + Avi() + "' '" + theirs + "'").c_str()),
        0);
    const auto reference = ReadY4m(theirs);
    ASSERT_EQ(reference.size(), avi.size());
    for (size_t i = 0; i < avi.size(); ++i) EXPECT_GT(Psnr(avi[i], reference[i]), 45.0) << i;
}

TEST_F(DecodeCommand, RgbThroughTheDriverMatchesTheConvertedPlanarPictures) {
    const std::string planar = ScratchPath("rgb_ref.y4m"), rgb = ScratchPath("out.rgb");
    ASSERT_EQ(RunDecodeCommand({Avi(), planar}), 0);
    ASSERT_EQ(RunDecodeCommand({"--rgb", Avi(), rgb}), 0);
    const auto pictures = ReadY4m(planar);
    const std::vector<uint8_t> dibs = ReadBytes(rgb);
    const size_t frameSize = Rgb24Stride(kWidth) * kHeight;
    ASSERT_EQ(dibs.size(), frameSize * kFrames);
    std::vector<uint8_t> expected(frameSize);
    for (int32_t i = 0; i < kFrames; ++i) {
        uint8_t* y = const_cast<uint8_t*>(pictures[i].data());
        ConvertPlanarToRgb24({y, y + kWidth * kHeight, y + kWidth * kHeight * 5 / 4},
                             expected.data(), kWidth, kHeight);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), dibs.begin() + i * frameSize))
            << i;
    }

    // Into a folder: one BMP per frame.
    const std::string folder = ScratchPath("bmp");
    std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
    ASSERT_EQ(RunDecodeCommand({"--rgb", Avi(), folder}), 0);
    const std::vector<uint8_t> bmp = ReadBytes(folder + "/frame_00007.bmp");
    ASSERT_EQ(bmp.size(), 54 + frameSize);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_TRUE(std::equal(bmp.begin() + 54, bmp.end(), dibs.begin() + 7 * frameSize));
    EXPECT_FALSE(FileExists(folder + "/frame_00008.bmp"));
}

TEST_F(DecodeCommand, BadInputFailsWithoutLeavingAnOutput) {
    const std::string out = ScratchPath("bad_out.y4m"), in = ScratchPath("bad_in.bin");
    const std::vector<uint8_t> avi = ReadBytes(Avi());
    std::vector<uint8_t> otherFourcc = avi;
    for (size_t i = 0; i + 4 <= otherFourcc.size(); ++i)
        if (std::equal(otherFourcc.begin() + i, otherFourcc.begin() + i + 4, "KMQX"))
            std::copy_n("XVID", 4, otherFourcc.begin() + i);
    // A stream format claiming a picture far beyond what H.263 can code.
    std::vector<uint8_t> hugeSize = avi;
    const size_t strfWidth = 12 + 12 + 64 + 12 + 64 + 8 + 4;
    ASSERT_EQ(hugeSize[strfWidth], 176);
    hugeSize[strfWidth] = 0x60;
    hugeSize[strfWidth + 1] = 0xEA;  // 60000
    const std::vector<std::vector<uint8_t>> inputs = {
        hugeSize,
        {},                                               // empty
        std::vector<uint8_t>(1000, 0x55),                 // no start code
        {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I'},  // truncated header
        otherFourcc,                                      // no KMQX stream
    };
    for (size_t i = 0; i < inputs.size(); ++i) {
        WriteBytes(in, inputs[i]);
        std::remove(out.c_str());
        EXPECT_NE(RunDecodeCommand({in, out}), 0) << i;
        EXPECT_FALSE(FileExists(out)) << i;
        EXPECT_FALSE(FileExists(out + ".partial")) << i;
    }
    EXPECT_NE(RunDecodeCommand({ScratchPath("missing.avi"), out}), 0);
    EXPECT_NE(RunDecodeCommand({Avi()}), 0);
}

// A cut or damaged stream still decodes to the end without faults.
TEST_F(DecodeCommand, DamagedStreamsStillDecode) {
    std::vector<uint8_t> stream = ReadBytes(Stream());
    stream.resize(stream.size() * 2 / 3);
    for (size_t i = 100; i < stream.size(); i += 997) stream[i] ^= 0x5A;
    const std::string in = ScratchPath("damaged.263"), out = ScratchPath("damaged.y4m");
    WriteBytes(in, stream);
    EXPECT_EQ(RunDecodeCommand({in, out}), 0);
    EXPECT_GT(ReadY4m(out).size(), 0u);
}

// Damage that makes the decoder reject a picture: the split-screen bit of
// PTYPE, which baseline streams never set.
void RejectPicture(std::vector<uint8_t>& bytes, size_t pictureStart) {
    bytes[pictureStart + 4] |= 0x80;
}

// Runs the decode command with standard error captured.
int DecodeCapturingErrors(const std::vector<std::string>& args, std::string& errors) {
    ::testing::internal::CaptureStderr();
    const int status = RunDecodeCommand(args);
    errors = ::testing::internal::GetCapturedStderr();
    return status;
}

TEST_F(DecodeCommand, RejectedPicturesAreReportedAndTheTimelineKept) {
    const std::vector<uint8_t> clean = ReadBytes(Stream());
    const std::vector<size_t> starts = FindPictureStarts(clean.data(), clean.size());
    ASSERT_EQ(starts.size(), size_t(kFrames));
    const std::string in = ScratchPath("rejected.263"), out = ScratchPath("rejected.y4m");
    std::string errors;

    // The first header breaks rules the decoder does not check (marker bit
    // 0, H.261 bit 1), and picture 3 is rejected.
    std::vector<uint8_t> stream = clean;
    stream[starts[0] + 3] ^= 0x03;
    RejectPicture(stream, starts[2]);
    WriteBytes(in, stream);
    ASSERT_EQ(DecodeCapturingErrors({in, out}, errors), 0) << errors;
    std::vector<std::vector<uint8_t>> pictures = ReadY4m(out);
    ASSERT_EQ(pictures.size(), size_t(kFrames)) << "one picture per input picture";
    EXPECT_EQ(pictures[2], pictures[1]) << "the rejected picture repeats the one before";
    EXPECT_NE(errors.find("picture 3: picture header rejected"), std::string::npos) << errors;
    EXPECT_NE(errors.find("8 pictures of 176x144 (1 damaged"), std::string::npos) << errors;
    // Any damage is an error when asked.
    std::remove(out.c_str());
    EXPECT_EQ(DecodeCapturingErrors({"--strict", in, out}, errors), 1);
    EXPECT_NE(errors.find("picture 3"), std::string::npos) << errors;
    EXPECT_FALSE(FileExists(out));

    // A rejected first picture has nothing to repeat: it is black, and the
    // size comes from the first picture the decoder accepts.
    stream = clean;
    RejectPicture(stream, starts[0]);
    WriteBytes(in, stream);
    ASSERT_EQ(DecodeCapturingErrors({in, out}, errors), 0) << errors;
    pictures = ReadY4m(out);
    ASSERT_EQ(pictures.size(), size_t(kFrames));
    std::vector<uint8_t> black(size_t(kWidth) * kHeight, 16);
    black.resize(black.size() * 3 / 2, 128);
    EXPECT_EQ(pictures[0], black);
    EXPECT_NE(pictures[1], black);

    // Nothing decodable: a failure, and no output.
    for (size_t start : starts) RejectPicture(stream, start);
    WriteBytes(in, stream);
    std::remove(out.c_str());
    EXPECT_EQ(DecodeCapturingErrors({in, out}, errors), 1);
    EXPECT_NE(errors.find("no picture could be decoded"), std::string::npos) << errors;
    EXPECT_FALSE(FileExists(out));
}

TEST_F(DecodeCommand, RejectedPicturesRepeatInRgbToo) {
    std::vector<uint8_t> avi = ReadBytes(Avi());
    AviVideoStream stream;
    std::string error;
    ASSERT_TRUE(ParseAvi(avi, MakeFourCC('K', 'M', 'Q', 'X'), stream, error)) << error;
    RejectPicture(avi, stream.frames[5].offset);
    const std::string in = ScratchPath("rejected.avi"), out = ScratchPath("rejected.rgb");
    WriteBytes(in, avi);
    std::string errors;
    ASSERT_EQ(DecodeCapturingErrors({"--rgb", in, out}, errors), 0) << errors;
    const std::vector<uint8_t> dibs = ReadBytes(out);
    const size_t frameSize = Rgb24Stride(kWidth) * kHeight;
    ASSERT_EQ(dibs.size(), frameSize * kFrames);
    EXPECT_TRUE(std::equal(dibs.begin() + 5 * frameSize, dibs.begin() + 6 * frameSize,
                           dibs.begin() + 4 * frameSize));
    EXPECT_NE(errors.find("picture 6"), std::string::npos) << errors;
}

TEST(DemoCommand, WritesTheAviAndTheDecodedPicturesOfTheBuiltInSequence) {
    const std::string folder = ScratchPath("demo");
    std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    const int status = RunDemoCommand({"--frames", "6"});
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_EQ(status, 0);
    AviVideoStream stream;
    std::string error;
    ASSERT_TRUE(
        ParseAvi(ReadBytes(folder + "/demo.avi"), MakeFourCC('K', 'M', 'Q', 'X'), stream, error));
    EXPECT_EQ(stream.frames.size(), 6u);
    EXPECT_EQ(stream.width, 352);
    Y4mReader reader;
    ASSERT_TRUE(reader.Open(folder + "/demo.y4m", error)) << error;
    TestSequence sequence(352, 288);
    std::vector<uint8_t> decoded, source;
    for (int32_t i = 0; i < 6; ++i) {
        ASSERT_EQ(reader.ReadFrame(decoded, error), ReadStatus::kFrame) << i;
        sequence.Render(i, source);
        EXPECT_GT(Psnr(decoded, source), 30.0) << i;
    }
    EXPECT_EQ(reader.ReadFrame(decoded, error), ReadStatus::kEnd);
}

}  // namespace
}  // namespace kmqx
