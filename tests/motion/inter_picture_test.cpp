#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "encoder/encoder.h"
#include "sequence_support.h"

namespace kmqx {
namespace {

using testing::EncodePicture;
using testing::Placement;
using testing::RenderPicture;
using testing::StreamReader;
using testing::TestPicture;

constexpr int kPictureHeaderBits = 50;  // standard source formats

// Whether every macroblock bit after the picture header is COD = 1, and the
// picture ends right after them.
void ExpectAllSkipped(const std::vector<uint8_t>& picture, int macroblocks) {
    ASSERT_EQ(picture.size(), static_cast<size_t>((kPictureHeaderBits + macroblocks + 7) / 8));
    StreamReader reader(picture);
    reader.Read(38);  // PSC, TR, PTYPE up to the source format
    EXPECT_EQ(reader.Read(1), 1u) << "INTER picture type";
    reader.Read(kPictureHeaderBits - 39);
    for (int i = 0; i < macroblocks; ++i) ASSERT_EQ(reader.Read(1), 1u) << "macroblock " << i;
}

// Constant 8x8 tiles: the INTRA picture reconstructs them exactly, so an
// identical input picture matches the reference to the last sample.
TestPicture TiledPicture() {
    TestPicture picture(176, 144);
    std::mt19937 random(4);
    for (int y = 0; y < 144; y += 8)
        for (int x = 0; x < 176; x += 8) {
            const uint8_t value = static_cast<uint8_t>(20 + random() % 200);
            for (int i = 0; i < 8; ++i)
                for (int j = 0; j < 8; ++j) picture.y[(y + i) * 176 + x + j] = value;
        }
    std::fill(picture.cb.begin(), picture.cb.end(), 100);
    std::fill(picture.cr.begin(), picture.cr.end(), 160);
    return picture;
}

TEST(InterPicture, UnchangedPicturesAreOneCodBitPerMacroblock) {
    Encoder encoder;
    encoder.SetParamA(1);
    ASSERT_EQ(encoder.Init(176, 144), 0);
    TestPicture picture = TiledPicture();
    EncodePicture(encoder, picture);
    const std::vector<uint8_t> intraReconstruction = testing::ReconstructedFrame(encoder, 176, 144);
    // Three in a row: the reconstruction keeps the INTRA picture's samples,
    // though skipped macroblocks are copied only the first time.
    for (int i = 0; i < 3; ++i) {
        ExpectAllSkipped(EncodePicture(encoder, picture), 99);
        EXPECT_EQ(testing::ReconstructedFrame(encoder, 176, 144), intraReconstruction);
        EXPECT_EQ(encoder.Grid().At(10, 8).skipCount, i + 1);
    }
    // A changed picture restarts the count.
    TestPicture moved = RenderPicture(176, 144, {1, 0});
    EncodePicture(encoder, moved);
    EXPECT_EQ(encoder.Grid().At(10, 8).skipCount, 0);
}

TEST(InterPicture, ExactZeroVectorPredictionIsSentAsNotCoded) {
    // A flat picture reconstructs exactly; with A = 0 every macroblock is
    // changed, searched and refined, and still nothing is left to send.
    Encoder encoder;
    ASSERT_EQ(encoder.Init(176, 144), 0);
    TestPicture picture(176, 144);
    std::fill(picture.y.begin(), picture.y.end(), 90);
    std::fill(picture.cb.begin(), picture.cb.end(), 128);
    std::fill(picture.cr.begin(), picture.cr.end(), 128);
    EncodePicture(encoder, picture);
    ExpectAllSkipped(EncodePicture(encoder, picture), 99);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 11; ++x) EXPECT_EQ(encoder.Grid().At(x, y).skipCount, 0);
    EXPECT_EQ(testing::ReconstructedFrame(encoder, 176, 144)[5000], 90);
}

TEST(InterPicture, TemporalReferenceCountsInterPicturesOnly) {
    Encoder encoder;
    ASSERT_EQ(encoder.Init(176, 144), 0);
    const bool keys[] = {false, false, false, true, false};
    std::vector<uint32_t> references, types;
    for (int i = 0; i < 5; ++i) {
        TestPicture picture = RenderPicture(176, 144, {double(i), 0});
        const std::vector<uint8_t> stream = EncodePicture(encoder, picture, keys[i]);
        StreamReader reader(stream);
        reader.Read(22);
        references.push_back(reader.Read(8));
        reader.Read(8);
        types.push_back(reader.Read(1));
    }
    EXPECT_EQ(references, (std::vector<uint32_t>{0, 0, 1, 2, 2}));
    EXPECT_EQ(types, (std::vector<uint32_t>{0, 1, 1, 0, 1}));
}

TEST(InterPicture, GobHeadersFollowTheInterval) {
    Encoder encoder;
    encoder.SetGobHeaderInterval(2);
    ASSERT_EQ(encoder.Init(352, 288), 0);
    TestPicture first = RenderPicture(352, 288, {});
    TestPicture second = RenderPicture(352, 288, {1.5, -1});
    std::vector<int> intraRows, interRows;
    for (int row = 1; row <= 17; ++row) intraRows.push_back(row);
    for (int row = 2; row <= 16; row += 2) interRows.push_back(row);
    EXPECT_EQ(testing::GobNumbers(EncodePicture(encoder, first)), intraRows);
    EXPECT_EQ(testing::GobNumbers(EncodePicture(encoder, second)), interRows);
}

TEST(InterPicture, RowsBeyondThirtyCarryNoGobHeader) {
    // 34 macroblock rows; GN has 5 bits and 31 is reserved.
    Encoder encoder;
    encoder.SetGobHeaderInterval(1);
    ASSERT_EQ(encoder.Init(64, 544), 0);
    TestPicture first = RenderPicture(64, 544, {});
    TestPicture second = RenderPicture(64, 544, {-1, 2});
    EncodePicture(encoder, first);
    std::vector<int> rows;
    for (int row = 1; row <= 30; ++row) rows.push_back(row);
    EXPECT_EQ(testing::GobNumbers(EncodePicture(encoder, second)), rows);
}

// An INTER picture that does not fit the output is abandoned part-way and
// coded again as INTRA; the abandoned attempt must leave nothing behind that
// the following INTER pictures would predict from wrongly.
TEST(InterPicture, OverflowingInterPictureFallsBackWithinTheBuffer) {
    Encoder encoder;
    ASSERT_EQ(encoder.Init(176, 144), 0);
    for (int t = 0; t < 4; ++t) {
        TestPicture picture = RenderPicture(176, 144, {2.0 * t, 0, 1, 0, t == 1 ? 40 : 0});
        const int32_t capacity = t == 1 ? 3000 : 100000;
        std::vector<uint8_t> output(capacity + 64, 0xEE);
        encoder.SetOutputCapacity(capacity);
        encoder.SetPicture(picture.Frame());
        ASSERT_EQ(encoder.EncodeFrame(output.data(), 0), 0);
        for (size_t i = capacity; i < output.size(); ++i) ASSERT_EQ(output[i], 0xEE) << i;
        EXPECT_EQ(encoder.LastPictureWasIntra() != 0, t <= 1) << "picture " << t;
        EXPECT_LE(encoder.GetCompressedSize(), capacity);
        // Pictures after the fallback predict from a sound reference.
        if (t >= 2) {
            const std::vector<uint8_t> reconstruction =
                testing::ReconstructedFrame(encoder, 176, 144);
            EXPECT_GT(testing::Psnr(reconstruction.data(), picture.y.data(), 176 * 144), 35.0);
        }
    }
}

// Content moving steadily: once the neighbours' vector changes have carried
// the prediction there, the nine-point search finds the motion exactly.
// With half-pixel steps the rendered texture is not exactly the H.263
// interpolation and only four of eight half-pel directions are tried, so a
// neighbouring half-pel vector sometimes wins.
struct MotionCase {
    double stepX, stepY;  // pixels per picture
    int exactPercent;     // share of interior macroblocks with the exact vector
};

class MotionFollowing : public ::testing::TestWithParam<MotionCase> {};

TEST_P(MotionFollowing, VectorsFollowTheMotionAndInterPicturesAreSmall) {
    const MotionCase motion = GetParam();
    Encoder encoder;
    encoder.SetQuantNormal(6);
    encoder.SetQuantKey(6);
    ASSERT_EQ(encoder.Init(352, 288), 0);
    size_t intraSize = 0, largestInter = 0;
    for (int t = 0; t < 8; ++t) {
        TestPicture picture = RenderPicture(352, 288, {motion.stepX * t, motion.stepY * t});
        const size_t size = EncodePicture(encoder, picture).size();
        if (t == 0) intraSize = size;
        if (t >= 4) largestInter = std::max(largestInter, size);
    }
    // Content moved by +step: the prediction lies at -step, in half pixels.
    const int expectedX = static_cast<int>(-2 * motion.stepX);
    const int expectedY = static_cast<int>(-2 * motion.stepY);
    int exact = 0, inter = 0;
    const MacroblockGrid& grid = encoder.Grid();
    for (int y = 2; y < 16; ++y)
        for (int x = 2; x < 20; ++x) {
            const MacroblockInfo& info = grid.At(x, y);
            ++inter;
            exact +=
                2 * info.mvX + info.halfX == expectedX && 2 * info.mvY + info.halfY == expectedY;
        }
    EXPECT_GE(exact * 100, inter * motion.exactPercent)
        << "of " << inter << " interior macroblocks";
    EXPECT_LT(largestInter * 4, intraSize) << "INTRA " << intraSize << ", INTER " << largestInter;
    RecordProperty("intra_bytes", static_cast<int>(intraSize));
    RecordProperty("largest_inter_bytes", static_cast<int>(largestInter));
}

INSTANTIATE_TEST_SUITE_P(WholeAndHalfPixels, MotionFollowing,
                         ::testing::Values(MotionCase{1, 0, 90}, MotionCase{-2, 1, 90},
                                           MotionCase{3, -3, 90}, MotionCase{0.5, 0, 75},
                                           MotionCase{-1.5, 0.5, 75}, MotionCase{2.5, 2, 75}));

}  // namespace
}  // namespace kmqx
