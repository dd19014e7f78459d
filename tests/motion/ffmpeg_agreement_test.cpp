// An independent decoder (ffmpeg) must see what the encoder's reconstruction
// holds: every picture of moving sequences, at fine and coarse quantisers.
// The two differ only by their inverse transforms.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "encoder/encoder.h"
#include "sequence_support.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_files.h"

namespace kmqx {
namespace {

using testing::Placement;
using testing::TestPicture;

constexpr int kPictures = 60;

// Whole-pixel translation (1 to 3 pixels a picture), half-pixel translation,
// a zoom, a scene cut, then the new scene with noise; key frames forced at
// 20 and 50.
Placement PlacementAt(int t) {
    Placement p;
    double x = 0, y = 0;
    for (int i = 1; i <= std::min(t, 14); ++i) {
        x += 1 + i % 3;
        y -= i % 2;
    }
    for (int i = 15; i <= std::min(t, 29); ++i) {
        x += 0.5 + (i % 2);
        y += 0.5;
    }
    p.shiftX = x;
    p.shiftY = y;
    if (t >= 30 && t < 40) p.zoom = 1.0 + 0.02 * (t - 29);
    if (t >= 40) {
        p.scene = 1;
        p.shiftX = 1.5 * (t - 40);
        p.shiftY = -(t - 40);
        p.noise = t > 40 ? 6 : 0;
        p.seed = static_cast<uint32_t>(t);
    }
    return p;
}

bool ForcedKey(int t) {
    return t == 20 || t == 50;
}

// The motion analysis settings; other values than the defaults take other
// paths (no search, no refinement, uncoded luminance blocks, skipped
// macroblocks), all of which the decoder must follow.
struct Thresholds {
    int32_t a = 0, b = 0, c = 0, e = 0;
    int32_t searchRange = 1;
    bool expectMotion = true;  // most macroblocks get vectors
};

struct AgreementCase {
    const char* label;
    int width, height, quant;
    int gobInterval = 0;  // GOB headers change the motion vector prediction
    Thresholds thresholds = {};
};

class FfmpegAgreement : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(FfmpegAgreement, EveryDecodedPictureMatchesTheReconstruction) {
    if (!test::HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
    const AgreementCase c = GetParam();
    Encoder encoder;
    encoder.SetQuantNormal(c.quant);
    encoder.SetQuantKey(c.quant);
    encoder.SetGobHeaderInterval(c.gobInterval);
    encoder.SetParamA(c.thresholds.a);
    encoder.SetParamB(c.thresholds.b);
    encoder.SetParamC(c.thresholds.c);
    encoder.SetParamE(c.thresholds.e);
    encoder.SetCodecVersion(c.thresholds.searchRange);
    ASSERT_EQ(encoder.Init(c.width, c.height), 0);

    std::vector<uint8_t> stream;
    std::vector<std::vector<uint8_t>> reconstructions;
    int interPictures = 0, movingMacroblocks = 0, halfPelMacroblocks = 0;
    for (int t = 0; t < kPictures; ++t) {
        TestPicture picture = testing::RenderPicture(c.width, c.height, PlacementAt(t));
        const std::vector<uint8_t> bytes = testing::EncodePicture(encoder, picture, ForcedKey(t));
        ASSERT_FALSE(bytes.empty());
        stream.insert(stream.end(), bytes.begin(), bytes.end());
        reconstructions.push_back(testing::ReconstructedFrame(encoder, c.width, c.height));
        if (encoder.LastPictureWasIntra()) continue;
        ++interPictures;
        const MacroblockGrid& grid = encoder.Grid();
        for (int y = 0; y < grid.rows(); ++y)
            for (int x = 0; x < grid.cols(); ++x) {
                const MacroblockInfo& info = grid.At(x, y);
                movingMacroblocks += info.mvX != 0 || info.mvY != 0;
                halfPelMacroblocks += info.halfX != 0 || info.halfY != 0;
            }
    }
    // The stream really exercises motion compensation, not only INTRA
    // macroblocks and zero vectors.
    EXPECT_EQ(interPictures, kPictures - 3);
    const int interMacroblocks = interPictures * (c.width / 16) * (c.height / 16);
    if (c.thresholds.expectMotion) {
        EXPECT_GT(movingMacroblocks * 2, interMacroblocks);
        EXPECT_GT(halfPelMacroblocks * 4, interMacroblocks);
    }

    const std::string name = std::string("agreement_") + c.label;
    const std::string streamPath = test::ScratchPath(name + ".263");
    const std::string decodedPath = test::ScratchPath(name + ".yuv");
    std::ofstream(streamPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), stream.size());
    const std::string command = "ffmpeg -v error -y -f h263 -i '" + streamPath +
                                "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" +
                                decodedPath + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream decodedFile(decodedPath, std::ios::binary);
    const std::vector<uint8_t> decoded((std::istreambuf_iterator<char>(decodedFile)),
                                       std::istreambuf_iterator<char>());
    const size_t frameSize = static_cast<size_t>(c.width) * c.height * 3 / 2;
    ASSERT_EQ(decoded.size(), frameSize * kPictures);

    double lowest = 99;
    for (int t = 0; t < kPictures; ++t) {
        const double psnr =
            testing::Psnr(decoded.data() + t * frameSize, reconstructions[t].data(), frameSize);
        EXPECT_GE(psnr, 40.0) << "picture " << t;
        lowest = std::min(lowest, psnr);
    }
    RecordProperty("lowest_psnr_centi_db", static_cast<int>(lowest * 100));
    std::printf("%s: %zu bytes, lowest PSNR decoder vs reconstruction %.2f dB\n", c.label,
                stream.size(), lowest);
    std::remove(streamPath.c_str());
    std::remove(decodedPath.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    QcifAndCif, FfmpegAgreement,
    ::testing::Values(AgreementCase{"qcif_q2", 176, 144, 2}, AgreementCase{"qcif_q6", 176, 144, 6},
                      AgreementCase{"qcif_q15", 176, 144, 15}, AgreementCase{"cif_q2", 352, 288, 2},
                      AgreementCase{"cif_q6", 352, 288, 6}, AgreementCase{"cif_q15", 352, 288, 15},
                      AgreementCase{"qcif_q6_gob1", 176, 144, 6, 1},
                      AgreementCase{"cif_q6_gob3", 352, 288, 6, 3}));

INSTANTIATE_TEST_SUITE_P(
    Thresholds, FfmpegAgreement,
    ::testing::Values(
        AgreementCase{"skips_a200", 176, 144, 6, 0, {200, 0, 0, 0, 1, false}},
        AgreementCase{"no_search_b_max", 176, 144, 6, 0, {0, INT32_MAX, 0, 0, 1, false}},
        AgreementCase{"no_refinement_c_max", 176, 144, 6, 0, {0, 0, INT32_MAX, 0, 1, false}},
        AgreementCase{"uncoded_luma_e300", 176, 144, 6, 2, {0, 0, 0, 300, 1, true}},
        AgreementCase{"range0_b_negative", 176, 144, 10, 0, {0, INT32_MIN, 0, 0, 0, false}},
        AgreementCase{"range_max", 176, 144, 10, 0, {0, 0, 0, 0, INT32_MAX, true}},
        AgreementCase{"never_changed_a_min", 176, 144, 10, 0, {-32768, 0, 0, 0, 1, false}}));

}  // namespace
}  // namespace kmqx
