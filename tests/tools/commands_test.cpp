#include "tools/commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "convert/source_conversion.h"
#include "tests/support/test_files.h"
#include "tools/avi_reader.h"
#include "tools/codec_host.h"
#include "tools/test_sequence.h"

namespace kmqx {
namespace {

using test::FileExists;
using test::ReadBytes;
using test::ScratchPath;
using test::WriteBytes;
using test::WriteText;

// A Y4M file of the built-in sequence.
void WriteSequenceY4m(const std::string& path, int32_t width, int32_t height, int32_t frames,
                      const std::string& extra = "") {
    std::string header = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                         " F25:1 Ip A1:1" + extra + "\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    TestSequence sequence(width, height);
    std::vector<uint8_t> planes;
    for (int32_t i = 0; i < frames; ++i) {
        sequence.Render(i, planes);
        const std::string frame = "FRAME\n";
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        bytes.insert(bytes.end(), planes.begin(), planes.end());
    }
    WriteBytes(path, bytes);
}

struct AviSummary {
    size_t frames = 0;
    size_t keyFrames = 0;
};

AviSummary Summarise(const std::string& path) {
    AviVideoStream stream;
    std::string error;
    AviSummary summary;
    const std::vector<uint8_t> file = ReadBytes(path);
    EXPECT_TRUE(ParseAvi(file, CodecFourCC(), stream, error)) << error;
    summary.frames = stream.frames.size();
    // Key frames from idx1, the last chunk.
    const size_t index = file.size() - 8 - 16 * summary.frames;
    for (size_t i = 0; i < summary.frames; ++i)
        summary.keyFrames += (file[index + 8 + 16 * i + 4] & 0x10) ? 1 : 0;
    return summary;
}

int RunCommand(int (*command)(const std::vector<std::string>&), std::vector<std::string> args) {
    return command(args);
}

bool HaveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Capture(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
        pclose(pipe);
    }
    return output;
}

TEST(EncodeCommand, Y4mBecomesAnAviWithKeyFramesAtTheInterval) {
    const std::string in = ScratchPath("seq.y4m"), out = ScratchPath("seq.avi");
    WriteSequenceY4m(in, 176, 144, 12, " C420jpeg");
    std::remove(out.c_str());
    ASSERT_EQ(RunCommand(RunEncodeCommand, {"--keyint", "5", "--quality", "7000", in, out}), 0);
    const AviSummary summary = Summarise(out);
    EXPECT_EQ(summary.frames, 12u);
    EXPECT_EQ(summary.keyFrames, 3u);  // frames 0, 5 and 10
    EXPECT_FALSE(FileExists(out + ".partial"));

    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    const std::string probe = Capture(
        "ffprobe -v error -select_streams v -show_entries stream=codec_tag_string,nb_frames "
        "-of default=nw=1 '" +
        out + "'");
    EXPECT_NE(probe.find("codec_tag_string=KMQX"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_frames=12"), std::string::npos) << probe;
    const std::string keys = Capture(
        "ffprobe -v error -select_streams v -show_entries packet=flags "
        "-of csv=p=0 '" +
        out + "' | grep -c K");
    EXPECT_EQ(keys, "3\n");
    // A decoder nobody here wrote reads every picture.
    const std::string decoded =
        Capture("ffmpeg -v error -c:v h263 -i '" + out + "' -f framecrc - | grep -c '^0,'");
    EXPECT_EQ(decoded, "12\n");
}

TEST(EncodeCommand, EachRawSourceFormatEncodes) {
    const int32_t width = 176, height = 144;
    const std::string out = ScratchPath("raw.263");
    std::map<std::string, std::vector<uint8_t>> streams;
    for (const char* name : {"rgb24", "yuyv", "yv12", "i420", "yvu9"}) {
        SourceFormat format;
        ASSERT_TRUE(FindSourceFormat(name, format));
        const size_t frameSize = SourceFrameSize(format.tag, format.bitCount, width, height);
        std::vector<uint8_t> frames(frameSize * 3);
        for (size_t i = 0; i < frames.size(); ++i) frames[i] = uint8_t((i * 7) ^ (i >> 9));
        const std::string in = ScratchPath(std::string("frames.") + name);
        WriteBytes(in, frames);
        std::remove(out.c_str());
        ASSERT_EQ(RunCommand(RunEncodeCommand, {"--size", "176x144", "--format", name, in, out}), 0)
            << name;
        const std::vector<uint8_t> stream = ReadBytes(out);
        EXPECT_EQ(SplitH263Pictures(stream).size(), 3u) << name;
        streams[name] = stream;
    }
    // The same bytes as I420 and as YV12 differ only in which chroma plane is
    // which; a Y4M file of the same frames (Y, U, V) codes as the I420 ones.
    EXPECT_NE(streams["i420"], streams["yv12"]);
    const std::string y4m = ScratchPath("frames.y4m");
    std::vector<uint8_t> file;
    const std::string header = "YUV4MPEG2 W176 H144 F25:1 C420jpeg\n";
    file.insert(file.end(), header.begin(), header.end());
    const std::vector<uint8_t> frames = ReadBytes(ScratchPath("frames.i420"));
    const size_t frameSize = frames.size() / 3;
    for (size_t i = 0; i < 3; ++i) {
        file.insert(file.end(), {'F', 'R', 'A', 'M', 'E', '\n'});
        file.insert(file.end(), frames.begin() + i * frameSize,
                    frames.begin() + (i + 1) * frameSize);
    }
    WriteBytes(y4m, file);
    std::remove(out.c_str());
    ASSERT_EQ(RunCommand(RunEncodeCommand, {y4m, out}), 0);
    EXPECT_EQ(ReadBytes(out), streams["i420"]);
}

// Bad input: a one-line error and a non-zero status, and no output file.
TEST(EncodeCommand, BadInputFailsWithoutLeavingAnOutput) {
    const std::string out = ScratchPath("bad.avi");
    const std::string in = ScratchPath("bad.y4m");
    struct Case {
        const char* what;
        std::function<void()> make;
        std::vector<std::string> options;
    } cases[] = {
        {"malformed header", [&] { WriteText(in, "YUV4MPEG2 W176 Hxyz\nFRAME\n"); }, {}},
        {"unsupported chroma", [&] { WriteSequenceY4m(in, 176, 144, 1, " C444"); }, {}},
        {"truncated frame",
         [&] {
             WriteSequenceY4m(in, 176, 144, 3);
             auto bytes = ReadBytes(in);
             bytes.resize(bytes.size() - 100);
             WriteBytes(in, bytes);
         },
         {}},
        {"empty file", [&] { WriteText(in, ""); }, {}},
        {"size the codec refuses", [&] { WriteSequenceY4m(in, 4112, 16, 1); }, {}},
        {"missing file", [&] { std::remove(in.c_str()); }, {}},
        {"raw without format", [&] { WriteText(in, "x"); }, {"--size", "16x16"}},
        {"short state blob",
         [&] {
             WriteSequenceY4m(in, 176, 144, 1);
             WriteText(ScratchPath("state.bin"), "0123456789");
         },
         {"--state", ScratchPath("state.bin")}},
        {"bad quality", [&] { WriteSequenceY4m(in, 176, 144, 1); }, {"--quality", "high"}},
    };
    for (Case& c : cases) {
        c.make();
        std::remove(out.c_str());
        std::vector<std::string> args = c.options;
        args.push_back(in);
        args.push_back(out);
        EXPECT_NE(RunCommand(RunEncodeCommand, args), 0) << c.what;
        EXPECT_FALSE(FileExists(out)) << c.what;
        EXPECT_FALSE(FileExists(out + ".partial")) << c.what;
    }
}

TEST(EncodeCommand, AStateBlobSetsTheSettings) {
    const std::string in = ScratchPath("state.y4m"), state = ScratchPath("state40.bin");
    const std::string fine = ScratchPath("fine.263"), coarse = ScratchPath("coarse.263");
    WriteSequenceY4m(in, 128, 96, 2);
    // codec version 1, A..G 0, quantisers 2 and 2; then the same with 30.
    std::vector<uint8_t> blob(40, 0);
    blob[0] = 1;
    blob[32] = blob[36] = 2;
    WriteBytes(state, blob);
    ASSERT_EQ(RunCommand(RunEncodeCommand, {"--state", state, in, fine}), 0);
    blob[32] = blob[36] = 30;
    WriteBytes(state, blob);
    ASSERT_EQ(RunCommand(RunEncodeCommand, {"--state", state, in, coarse}), 0);
    EXPECT_GT(ReadBytes(fine).size(), 2 * ReadBytes(coarse).size());
}

}  // namespace
}  // namespace kmqx
