// Streams from an encoder nobody here wrote (ffmpeg) decode to within
// inverse-transform differences of ffmpeg's own decoding of them.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace kmqx::test {
namespace {

struct InteropCase {
    const char* name;
    int width;
    int height;
    const char* options;  // encoder options after -c:v h263
    int frames;
};

// Moving, textured content so that INTER macroblocks and half-pel vectors
// occur.
std::string SourceFilter(int width, int height) {
    return "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25";
}

double LowestPsnr(const InteropCase& c, std::string* failure) {
    const std::string stream = ScratchPath(std::string("interop_") + c.name + ".263");
    const std::string reference = ScratchPath(std::string("interop_") + c.name + ".yuv");
    const std::string encode = "ffmpeg -y -v error -f lavfi -i " + SourceFilter(c.width, c.height) +
                               " -frames:v " + std::to_string(c.frames) + " -c:v h263 " +
                               c.options + " -f h263 " + stream;
    const std::string decode = "ffmpeg -y -v error -threads 1 -i " + stream +
                               " -fps_mode passthrough -f rawvideo -pix_fmt yuv420p " + reference;
    if (!RunQuiet(encode) || !RunQuiet(decode)) {
        *failure = "ffmpeg failed: " + encode;
        return 0;
    }
    const auto pictures = SplitPictures(ReadBytes(stream));
    const std::vector<uint8_t> expected = ReadBytes(reference);
    const size_t frameSize = size_t(c.width) * c.height * 3 / 2;
    if (pictures.size() != size_t(c.frames) || expected.size() != frameSize * c.frames) {
        *failure = "unexpected picture count in " + stream;
        return 0;
    }
    std::vector<int32_t> results;
    const std::vector<Yuv> decoded = DecodeAll(pictures, &results);
    double lowest = 99;
    for (int k = 0; k < c.frames; ++k) {
        if (results[k] != kDecodeOk || decoded[k].size() != frameSize) {
            *failure = "picture " + std::to_string(k) + " not decoded";
            return 0;
        }
        lowest =
            std::min(lowest, Psnr(decoded[k].data(), expected.data() + frameSize * k, frameSize));
    }
    return lowest;
}

TEST(Interop, FfmpegStreamsDecodeCloseToFfmpegsOwnDecoding) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const InteropCase cases[] = {
        {"sqcif_q2", 128, 96, "-q:v 2", 6},
        {"sqcif_q6", 128, 96, "-q:v 6", 6},
        {"sqcif_q20", 128, 96, "-q:v 20", 6},
        {"qcif_q2", 176, 144, "-q:v 2", 6},
        {"qcif_q6", 176, 144, "-q:v 6", 6},
        {"qcif_q20", 176, 144, "-q:v 20", 6},
        {"cif_q2", 352, 288, "-q:v 2", 4},
        {"cif_q6", 352, 288, "-q:v 6", 4},
        {"cif_q20", 352, 288, "-q:v 20", 4},
        {"4cif_q2", 704, 576, "-q:v 2", 3},
        {"4cif_q6", 704, 576, "-q:v 6", 3},
        {"4cif_q20", 704, 576, "-q:v 20", 3},
        // GOB headers; a GOB is one macroblock row up to CIF.
        {"sqcif_gob", 128, 96, "-q:v 6 -ps 300", 5},
        {"qcif_gob", 176, 144, "-q:v 6 -ps 300", 5},
        {"cif_gob", 352, 288, "-q:v 2 -ps 300", 3},
        // Rate control with adaptive quantisation: DQUANT in the macroblocks.
        {"qcif_dquant", 176, 144, "-b:v 100k -lumi_mask 0.3 -dark_mask 0.3", 8},
        {"cif_dquant", 352, 288, "-b:v 100k -lumi_mask 0.3 -dark_mask 0.3", 4},
    };
    double overall = 99;
    for (const InteropCase& c : cases) {
        std::string failure;
        const double lowest = LowestPsnr(c, &failure);
        EXPECT_TRUE(failure.empty()) << c.name << ": " << failure;
        EXPECT_GE(lowest, 40.0) << c.name;
        overall = std::min(overall, lowest);
        std::printf("interop %-12s lowest PSNR %.2f dB\n", c.name, lowest);
    }
    std::printf("interop lowest PSNR over all cases %.2f dB\n", overall);
}

}  // namespace
}  // namespace kmqx::test
