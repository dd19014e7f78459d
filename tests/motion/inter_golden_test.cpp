// Golden hashes of INTER sequences: the motion analysis's orders and stopping
// rules are part of the output, so any change to them (or to the transform
// and writers underneath) shows here. A change of these values must come with
// the reason in its commit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "encoder/encoder.h"
#include "sequence_support.h"
#include "tests/support/picture_metrics.h"

namespace kmqx {
namespace {

using testing::TestPicture;

using test::Fnv1a;
using test::kFnvOffsetBasis;

// Integer-only content (no floating point, so the same on every platform):
// triangle waves moving by 3/2 pixel a picture horizontally and 1 down, with
// a pseudo-random speckle that moves with them.
int Triangle(int v) {
    const int m = ((v % 128) + 128) % 128;
    return m < 64 ? m : 128 - m;
}

TestPicture IntegerPicture(int width, int height, int t) {
    TestPicture picture(width, height);
    auto luma2 = [&](int x2, int y2) {  // in half pixels
        const int tx = x2 - 3 * t, ty = y2 - 2 * t;
        const unsigned speckle = static_cast<unsigned>((tx / 2) * 7919 + (ty / 2) * 104729);
        return 40 + Triangle(tx / 2 + ty / 5) + Triangle(ty / 3 - tx / 7) + (speckle >> 7) % 23;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.y[y * width + x] =
                static_cast<uint8_t>((luma2(2 * x, 2 * y) + luma2(2 * x + 1, 2 * y) + 1) / 2);
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            picture.cb[y * (width / 2) + x] = static_cast<uint8_t>(64 + luma2(4 * x, 4 * y) / 2);
            picture.cr[y * (width / 2) + x] =
                static_cast<uint8_t>(200 - luma2(4 * x + 7, 4 * y) / 2);
        }
    return picture;
}

struct SequenceHashes {
    uint64_t stream = kFnvOffsetBasis;
    uint64_t reconstruction = kFnvOffsetBasis;
};

// GOB headers every 2 rows; a key frame requested at picture `keyPicture`
// (none when it is negative).
SequenceHashes EncodeSequence(int width, int height, int quant, int pictures = 12,
                              int keyPicture = 8) {
    Encoder encoder;
    encoder.SetQuantNormal(quant);
    encoder.SetQuantKey(quant);
    encoder.SetGobHeaderInterval(2);
    EXPECT_EQ(encoder.Init(width, height), 0);
    SequenceHashes hashes;
    for (int t = 0; t < pictures; ++t) {
        TestPicture picture = IntegerPicture(width, height, t);
        hashes.stream =
            Fnv1a(testing::EncodePicture(encoder, picture, t == keyPicture), hashes.stream);
        hashes.reconstruction =
            Fnv1a(testing::ReconstructedFrame(encoder, width, height), hashes.reconstruction);
    }
    return hashes;
}

TEST(InterGolden, MovingSequences) {
    struct Golden {
        int width, height, quant, pictures, keyPicture;
        uint64_t stream, reconstruction;
    };
    const Golden goldens[] = {
        {176, 144, 6, 12, 8, 0xa138904b507253cbull, 0x87f49c79ded72375ull},
        {352, 288, 2, 12, 8, 0xadf0d139a11700abull, 0xdb0c3a65b9e961eeull},
        {160, 112, 12, 12, 8, 0x2a123cdaf83ea5f3ull, 0x2799e6dd931620b9ull},  // custom size
        // Long enough for macroblocks to be refreshed by forced INTRA coding.
        {176, 144, 6, 150, -1, 0xca711f2cbe3c85eaull, 0x583f7072246175faull},
    };
    for (const Golden& golden : goldens) {
        const SequenceHashes hashes = EncodeSequence(golden.width, golden.height, golden.quant,
                                                     golden.pictures, golden.keyPicture);
        EXPECT_EQ(hashes.stream, golden.stream)
            << golden.width << "x" << golden.height << " QP " << golden.quant << ": stream 0x"
            << std::hex << hashes.stream;
        EXPECT_EQ(hashes.reconstruction, golden.reconstruction)
            << "reconstruction 0x" << std::hex << hashes.reconstruction;
    }
}

// Encoders keep all their state to themselves, the macroblocks' refresh
// counts included: two on two threads at once produce exactly what each
// produces alone, over runs long enough for forced INTRA refreshes.
TEST(InterGolden, ConcurrentEncodersProduceTheirSoloStreams) {
    const SequenceHashes qcifAlone = EncodeSequence(176, 144, 6, 150, -1);
    const SequenceHashes cifAlone = EncodeSequence(352, 288, 2, 150, 20);
    SequenceHashes qcif, cif;
    std::thread first([&] { qcif = EncodeSequence(176, 144, 6, 150, -1); });
    std::thread second([&] { cif = EncodeSequence(352, 288, 2, 150, 20); });
    first.join();
    second.join();
    EXPECT_EQ(qcif.stream, qcifAlone.stream);
    EXPECT_EQ(qcif.reconstruction, qcifAlone.reconstruction);
    EXPECT_EQ(cif.stream, cifAlone.stream);
    EXPECT_EQ(cif.reconstruction, cifAlone.reconstruction);
}

}  // namespace
}  // namespace kmqx
