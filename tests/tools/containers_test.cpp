#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "tests/support/test_files.h"
#include "tools/avi_reader.h"
#include "tools/avi_writer.h"
#include "tools/compressed_input.h"
#include "tools/file_io.h"
#include "tools/raw_frames.h"
#include "tools/y4m.h"

namespace kmqx {
namespace {

using test::FileExists;
using test::ReadBytes;
using test::ScratchPath;
using test::WriteBytes;
using test::WriteText;

TEST(Y4m, HeaderAcceptsOnly420ChromaAndNeedsASize) {
    Y4mHeader header;
    std::string error;
    for (const char* tag : {"", " C420", " C420jpeg", " C420paldv", " C420mpeg2"}) {
        EXPECT_TRUE(ParseY4mHeader(std::string("YUV4MPEG2 W352 H288 F30000:1001 Ip A1:1") + tag,
                                   header, error))
            << tag << ": " << error;
        EXPECT_EQ(header.width, 352);
        EXPECT_EQ(header.height, 288);
        EXPECT_EQ(header.rate.numerator, 30000u);
        EXPECT_EQ(header.rate.denominator, 1001u);
    }
    for (const char* tag : {"C422", "C444", "Cmono", "C420p10"}) {
        EXPECT_FALSE(ParseY4mHeader(std::string("YUV4MPEG2 W16 H16 ") + tag, header, error));
        EXPECT_NE(error.find("unsupported chroma"), std::string::npos) << error;
    }
    for (const char* line :
         {"YUV4MPEG W16 H16", "YUV4MPEG2 W16", "YUV4MPEG2 W0 H16", "YUV4MPEG2 W-5 H16",
          "YUV4MPEG2 W16 H99999999999", "YUV4MPEG2 W16 H16 F25", "YUV4MPEG2 W16 H16 F25:0"})
        EXPECT_FALSE(ParseY4mHeader(line, header, error)) << line;
}

TEST(Y4m, FramesRoundTripAndATruncatedFrameIsAnError) {
    const std::string path = ScratchPath("round.y4m");
    Y4mHeader header;
    header.width = 5;  // odd: chroma planes of 3 x 2 in the file
    header.height = 3;
    header.rate = {24, 1};
    uint8_t y[15], cb[2] = {100, 110}, cr[2] = {200, 210};
    for (int i = 0; i < 15; ++i) y[i] = uint8_t(i * 3);
    std::string error;
    {
        Y4mWriter writer;
        ASSERT_TRUE(writer.Open(path, header, error)) << error;
        ASSERT_TRUE(writer.WriteFrame({y, cb, cr}, error));
        ASSERT_TRUE(writer.WriteFrame({y, cb, cr}, error));
        ASSERT_TRUE(writer.Commit(error)) << error;
    }
    Y4mReader reader;
    ASSERT_TRUE(reader.Open(path, error)) << error;
    EXPECT_EQ(reader.Header().width, 5);
    EXPECT_EQ(reader.Header().rate.numerator, 24u);
    std::vector<uint8_t> planes;
    for (int frame = 0; frame < 2; ++frame) {
        ASSERT_EQ(reader.ReadFrame(planes, error), ReadStatus::kFrame) << error;
        ASSERT_EQ(planes.size(), 15u + 6 + 6);
        EXPECT_TRUE(std::equal(y, y + 15, planes.begin()));
        // The missing chroma column and row repeat the last ones.
        EXPECT_EQ(std::vector<uint8_t>(planes.begin() + 15, planes.begin() + 21),
                  (std::vector<uint8_t>{100, 110, 110, 100, 110, 110}));
        EXPECT_EQ(planes[21], 200);
    }
    EXPECT_EQ(reader.ReadFrame(planes, error), ReadStatus::kEnd);

    std::vector<uint8_t> bytes = ReadBytes(path);
    bytes.resize(bytes.size() - 1);
    WriteBytes(path, bytes);
    Y4mReader truncated;
    ASSERT_TRUE(truncated.Open(path, error));
    EXPECT_EQ(truncated.ReadFrame(planes, error), ReadStatus::kFrame);
    EXPECT_EQ(truncated.ReadFrame(planes, error), ReadStatus::kError);
    EXPECT_NE(error.find("truncated frame 2"), std::string::npos) << error;

    WriteText(path, "YUV4MPEG2 W2 H2\nFRAMX\n1234567");
    Y4mReader malformed;
    ASSERT_TRUE(malformed.Open(path, error));
    EXPECT_EQ(malformed.ReadFrame(planes, error), ReadStatus::kError);
}

TEST(RawFrames, FrameSizesFollowTheFormatAndAShortLastFrameIsAnError) {
    const struct {
        const char* name;
        size_t size;  // for 6 x 4
    } cases[] = {{"rgb24", 20 * 4}, {"yuyv", 48}, {"yv12", 24 + 6 + 6}, {"yvu9", 24 + 1 + 1}};
    const std::string path = ScratchPath("raw.bin");
    for (const auto& c : cases) {
        SourceFormat format;
        ASSERT_TRUE(FindSourceFormat(c.name, format));
        WriteBytes(path, std::vector<uint8_t>(c.size * 2 + 1, 9));
        RawFrameReader reader;
        std::string error;
        ASSERT_TRUE(reader.Open(path, format, 6, 4, error));
        EXPECT_EQ(reader.FrameSize(), c.size) << c.name;
        std::vector<uint8_t> frame;
        EXPECT_EQ(reader.ReadFrame(frame, error), ReadStatus::kFrame);
        EXPECT_EQ(reader.ReadFrame(frame, error), ReadStatus::kFrame);
        EXPECT_EQ(reader.ReadFrame(frame, error), ReadStatus::kError) << c.name;
    }
    int32_t width = 0, height = 0;
    EXPECT_TRUE(ParseFrameSize("352x288", width, height));
    EXPECT_EQ(width * 1000 + height, 352288);
    for (const char* bad : {"352", "x288", "352x", "0x16", "16x-16", "99999999x16", "3a2x288"})
        EXPECT_FALSE(ParseFrameSize(bad, width, height)) << bad;
}

std::vector<uint8_t> WriteSampleAvi(const std::string& path,
                                    const std::vector<std::vector<uint8_t>>& frames) {
    AviStreamInfo info;
    info.width = 176;
    info.height = 144;
    info.rate = {25, 1};
    info.fourcc = 0x58514D4B;  // "KMQX"
    std::remove(path.c_str());
    AviWriter writer;
    std::string error;
    EXPECT_TRUE(writer.Open(path, info, error)) << error;
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(writer.WriteFrame(frames[i].data(), frames[i].size(), i % 3 == 0, error));
    EXPECT_FALSE(FileExists(path)) << "the file appears only when complete";
    EXPECT_TRUE(writer.Finish(error)) << error;
    return ReadBytes(path);
}

TEST(Avi, WrittenFramesAreFoundAgainWithTheirSizesAndKeyFlags) {
    const std::string path = ScratchPath("sample.avi");
    std::vector<std::vector<uint8_t>> frames = {{1, 2, 3}, {4, 5, 6, 7}, {}, {8}, {9, 9, 9, 9, 9}};
    const std::vector<uint8_t> file = WriteSampleAvi(path, frames);
    AviVideoStream stream;
    std::string error;
    ASSERT_TRUE(ParseAvi(file, 0x58514D4B, stream, error)) << error;
    EXPECT_EQ(stream.width, 176);
    EXPECT_EQ(stream.height, 144);
    EXPECT_EQ(stream.rate.numerator, 25u);
    ASSERT_EQ(stream.frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(stream.frames[i].size, frames[i].size());
        EXPECT_TRUE(
            std::equal(frames[i].begin(), frames[i].end(), file.begin() + stream.frames[i].offset));
    }
    // RIFF size covers the file; idx1 is last, with flags 0x10 on frames 0 and 3.
    EXPECT_EQ(file[4] | file[5] << 8 | file[6] << 16 | file[7] << 24, int(file.size() - 8));
    const size_t index = file.size() - 8 - 16 * frames.size();
    ASSERT_EQ(std::string(file.begin() + index, file.begin() + index + 4), "idx1");
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(file[index + 8 + 16 * i + 4], i % 3 == 0 ? 0x10 : 0) << i;
    EXPECT_FALSE(ParseAvi(file, 0x32315659, stream, error)) << "no YV12 stream in it";
    EXPECT_TRUE(ParseAvi(file, 0x78716D6B, stream, error)) << "lower case kmqx";
}

// Every truncation and random damage of a valid file parses without reading
// outside it (AddressSanitizer) and lists only frames inside it.
TEST(Avi, DamagedFilesStayWithinTheirBytes) {
    const std::vector<uint8_t> file =
        WriteSampleAvi(ScratchPath("damaged.avi"), {{1, 2, 3}, {4, 5}, {6, 7, 8, 9}});
    std::mt19937 random(17);
    for (size_t length = 0; length <= file.size(); ++length) {
        std::vector<uint8_t> cut(file.begin(), file.begin() + length);
        for (int round = 0; round < 4; ++round) {
            std::vector<uint8_t> damaged = cut;
            if (round > 0 && !damaged.empty())
                for (int k = 0; k < 3; ++k) damaged[random() % damaged.size()] = uint8_t(random());
            AviVideoStream stream;
            std::string error;
            if (!ParseAvi(damaged, 0x58514D4B, stream, error)) continue;
            for (const AviFrame& frame : stream.frames)
                ASSERT_LE(frame.offset + frame.size, damaged.size());
        }
    }
}

// Writing to /dev/null must never replace the device with a file: an output
// that is not a plain file is written in place, not renamed over.
TEST(OutputFile, APipeIsWrittenInPlaceAndStaysAPipe) {
    const std::string path = ScratchPath("pipe");
    std::remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    OutputFile out;
    std::string error;
    ASSERT_TRUE(out.Open(path, error)) << error;
    ASSERT_TRUE(out.Write("picture", 7, error)) << error;
    ASSERT_TRUE(out.Commit(error)) << error;
    char got[16] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 7);
    EXPECT_STREQ(got, "picture");
    close(reader);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_FALSE(FileExists(path + ".partial"));
}

TEST(H263Stream, SplitsAtPictureStartCodesAndTakesTheSizeTheDecoderAccepts) {
    // Two pictures: QCIF (format 2) with the split-screen bit, which the
    // decoder rejects; then a custom 100 x 60 (format 7) whose marker and
    // H.261 bits are wrong, which the decoder does not check.
    // PSC 0000 0000 0000 0000 1000 00, TR 8 bits, 1 0, three flags, format.
    const std::vector<uint8_t> stream = {
        0xFF, 0x00,                                           // junk before the first picture
        0x00, 0x00, 0x80, 0x02, 0x88, 0x00,                   // QCIF: TR 0, PTYPE 10 100 010
        0x00, 0x00, 0x82, 0x01, 0x1C, 0x19, 0x00, 0xF0, 0x00  // custom: 01 000 111, 100, 60
    };
    const std::vector<AviFrame> pictures = SplitH263Pictures(stream);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].offset, 2u);
    EXPECT_EQ(pictures[0].size, 6u);
    EXPECT_EQ(pictures[1].offset, 8u);
    const std::string path = ScratchPath("two_pictures.263");
    WriteBytes(path, stream);
    CompressedInput input;
    std::string error;
    ASSERT_TRUE(LoadCompressedInput(path, input, error)) << error;
    EXPECT_EQ(input.width, 100);
    EXPECT_EQ(input.height, 60);
    EXPECT_EQ(input.frames.size(), 2u);
}

}  // namespace
}  // namespace kmqx
