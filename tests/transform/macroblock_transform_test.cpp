#include "encoder/macroblock_transform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "encoder/reconstruction.h"
#include "transform_test_support.h"

namespace kmqx {
namespace {

using test::TestPicture;

constexpr int kWidth = 48, kHeight = 32;  // 3 x 2 macroblocks

TEST(IntraMacroblock, FlatMacroblockIsDcOnly) {
    TestPicture input(kWidth, kHeight), reconstruction(kWidth, kHeight);
    input.Fill(1);
    for (int y = 16; y < 32; ++y) std::memset(&input.y[kWidth * y + 16], 100, 16);
    for (int y = 8; y < 16; ++y) {
        std::memset(&input.cb[24 * y + 8], 0, 8);
        std::memset(&input.cr[24 * y + 8], 255, 8);
    }
    MacroblockLevels levels;
    const int32_t pattern =
        TransformIntraMacroblock(input.View(), reconstruction.View(), 1, 1, BuildQuantizerTables(2),
                                 BuildDequantParams(2), levels);
    EXPECT_EQ(pattern, 0);
    for (int block = 0; block < 4; ++block) {
        EXPECT_EQ(levels.levels[block][0], 100);
        EXPECT_EQ(levels.last[block], 0);
    }
    EXPECT_EQ(static_cast<uint8_t>(levels.levels[4][0]), 1);
    EXPECT_EQ(static_cast<uint8_t>(levels.levels[5][0]), 254);
    for (int y = 16; y < 32; ++y) {
        for (int x = 16; x < 32; ++x) ASSERT_EQ(reconstruction.y[kWidth * y + x], 100);
    }
    EXPECT_EQ(reconstruction.cb[24 * 8 + 8], 1);
    EXPECT_EQ(reconstruction.cr[24 * 15 + 15], 254);
    // Only the macroblock's own area is written.
    EXPECT_EQ(reconstruction.y[kWidth * 16 + 15], 0);
    EXPECT_EQ(reconstruction.y[kWidth * 15 + 16], 0);
}

// A detailed macroblock at a fine quantiser is coded with AC levels in every
// block and reconstructed close to the source.
TEST(IntraMacroblock, DetailedMacroblockIsReconstructedClosely) {
    TestPicture input(kWidth, kHeight), reconstruction(kWidth, kHeight);
    input.Fill(2);
    MacroblockLevels levels;
    const int32_t pattern =
        TransformIntraMacroblock(input.View(), reconstruction.View(), 2, 0, BuildQuantizerTables(1),
                                 BuildDequantParams(1), levels);
    EXPECT_EQ(pattern, 63);
    int peak = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 32; x < 48; ++x) {
            peak = std::max(peak,
                            std::abs(input.y[kWidth * y + x] - reconstruction.y[kWidth * y + x]));
        }
    }
    EXPECT_LE(peak, 12);  // random samples clip at +-127 levels in places
    EXPECT_GT(peak, 0);
}

// An inter macroblock at (1, 0) predicted from the reference at vector
// (0, 0); the current luminance is the prediction plus a per-block offset.
struct InterFixture {
    TestPicture input{kWidth, kHeight}, reference{kWidth, kHeight}, reconstruction{kWidth, kHeight};
    MotionState motion{};
    MacroblockLevels levels{};
    InterFixture(const int lumaOffset[4], int chromaOffset) {
        reference.Fill(7);
        for (auto& s : reference.y) s = static_cast<uint8_t>(40 + s / 2);
        for (auto& s : reference.cb) s = static_cast<uint8_t>(40 + s / 2);
        for (size_t i = 0; i < input.cb.size(); ++i) {
            input.cb[i] = static_cast<uint8_t>(reference.cb[i] + chromaOffset);
            input.cr[i] = reference.cr[i];
        }
        motion.predictionPtr = reference.y.data() + 16;
        motion.predictionStride = kWidth;
        for (int block = 0; block < 4; ++block) {
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    const int py = 8 * (block >> 1) + y, px = 16 + 8 * (block & 1) + x;
                    const int value = reference.y[kWidth * py + px] + lumaOffset[block];
                    motion.CurrentLumaBlocks[block][8 * y + x] = static_cast<uint8_t>(value);
                    input.y[kWidth * py + px] = static_cast<uint8_t>(value);
                }
            }
            motion.blockSad[block] = 64 * std::abs(lumaOffset[block]);
        }
        reconstruction.Fill(9);
    }
    int32_t Transform(int32_t paramE, int quant) {
        return TransformInterMacroblock(input.View(), reference.View(), 1, 0, 0, 0, motion, paramE,
                                        BuildQuantizerTables(quant), levels);
    }
    void Reconstruct(int32_t paramE, int quant) {
        ReconstructInterMacroblock(reference.View(), reconstruction.View(), 1, 0, 0, 0, motion,
                                   paramE, BuildDequantParams(quant), levels);
    }
    int LumaAt(const TestPicture& picture, int block, int x, int y) const {
        return picture.y[kWidth * (8 * (block >> 1) + y) + 16 + 8 * (block & 1) + x];
    }
};

TEST(InterMacroblock, BlocksAtOrBelowEKeepTheirPrediction) {
    const int offsets[4] = {20, 0, -20, 2};
    InterFixture fixture(offsets, 30);
    // E = 1280 = 64 * 20: no block exceeds it, so nothing is coded, not even
    // the chroma with its residual of 30.
    EXPECT_EQ(fixture.Transform(1280, 2), 0);
    EXPECT_EQ(fixture.levels.last[4], 0);
    EXPECT_EQ(fixture.levels.levels[4][0], 0);
    fixture.Reconstruct(1280, 2);
    for (int block = 0; block < 4; ++block) {
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(fixture.LumaAt(fixture.reconstruction, block, i % 8, i / 8),
                      fixture.LumaAt(fixture.reference, block, i % 8, i / 8));
        }
    }
    EXPECT_EQ(fixture.reconstruction.cb[24 * 3 + 10], fixture.reference.cb[24 * 3 + 10]);
}

TEST(InterMacroblock, OneCodedLumaBlockBringsTheChroma) {
    const int offsets[4] = {0, 0, -20, 0};
    InterFixture fixture(offsets, 30);
    // Only Y2 exceeds E = 100; a flat residual is a DC alone.
    EXPECT_EQ(fixture.Transform(100, 2), 8 | 2);
    EXPECT_EQ(fixture.levels.last[2], 0);
    EXPECT_EQ(fixture.levels.levels[2][0], -39);  // F(0, 0) = -160; -160 + 1 = -159; 159 / 4
    EXPECT_NE(fixture.levels.levels[4][0], 0);
    fixture.Reconstruct(100, 2);
    // Y2: REC = -(4 * 39 + 1) = -157, (-157 + 4) >> 3 = -20; Y0 keeps its prediction.
    for (int i = 0; i < 64; ++i) {
        const int predicted = fixture.LumaAt(fixture.reference, 2, i % 8, i / 8);
        ASSERT_EQ(fixture.LumaAt(fixture.reconstruction, 2, i % 8, i / 8), predicted - 20);
        ASSERT_EQ(fixture.LumaAt(fixture.reconstruction, 0, i % 8, i / 8),
                  fixture.LumaAt(fixture.reference, 0, i % 8, i / 8));
    }
    EXPECT_EQ(fixture.reconstruction.cr[24 * 3 + 10], fixture.reference.cr[24 * 3 + 10]);
}

// The frame loops never ask for a macroblock outside the picture; the
// builds that check assumptions stop at once when something does.
TEST(MacroblocksDeathTest, PositionsOutsideThePictureStopTheCheckedBuild) {
#ifdef NDEBUG
    GTEST_SKIP() << "assumptions are checked in the sanitizer build";
#else
    TestPicture input(kWidth, kHeight), reconstruction(kWidth, kHeight);
    MacroblockLevels levels;
    EXPECT_DEATH(TransformIntraMacroblock(input.View(), reconstruction.View(), 3, 0,
                                          BuildQuantizerTables(2), BuildDequantParams(2), levels),
                 "MacroblockInside");
    EXPECT_DEATH(TransformIntraMacroblock(input.View(), reconstruction.View(), 0, -1,
                                          BuildQuantizerTables(2), BuildDequantParams(2), levels),
                 "MacroblockInside");
#endif
}

// Golden hash: levels, patterns and reconstructions of a fixed picture coded
// INTRA and then INTER against itself shifted, so that any change of output
// (even in the last bit of a coefficient) shows up here.
uint32_t Fnv1a(uint32_t hash, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

TEST(Macroblocks, GoldenHashOfAFixedPicture) {
    TestPicture input(kWidth, kHeight), reference(kWidth, kHeight), reconstruction(kWidth, kHeight);
    std::mt19937 random(99);  // the engine's sequence is fixed by the standard
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            input.y[kWidth * y + x] = static_cast<uint8_t>(4 * x + 3 * y + (random() & 31));
        }
    }
    for (size_t i = 0; i < input.cb.size(); ++i) {
        input.cb[i] = static_cast<uint8_t>(100 + (random() & 63));
        input.cr[i] = static_cast<uint8_t>(160 - (random() & 63));
    }
    uint32_t hash = 2166136261u;
    MacroblockLevels levels{};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            const int32_t pattern =
                TransformIntraMacroblock(input.View(), reference.View(), column, row,
                                         BuildQuantizerTables(3), BuildDequantParams(3), levels);
            hash = Fnv1a(hash, &pattern, sizeof(pattern));
            hash = Fnv1a(hash, levels.levels, sizeof(levels.levels));
        }
    }
    hash = Fnv1a(hash, reference.y.data(), reference.y.size());
    MotionState motion{};
    for (int column = 0; column < 3; ++column) {
        // Chroma with the vector (3, -1), which reaches past the right edge at
        // column 2; luminance predicted from the co-located reference.
        motion.predictionPtr = reference.y.data() + kWidth * 16 + 16 * column;
        motion.predictionStride = kWidth;
        for (int block = 0; block < 4; ++block) {
            motion.blockSad[block] = 1000;
            for (int i = 0; i < 64; ++i) {
                motion.CurrentLumaBlocks[block][i] =
                    input.y[kWidth * (16 + 8 * (block >> 1) + i / 8) + 16 * column +
                            8 * (block & 1) + i % 8];
            }
        }
        const int32_t pattern =
            TransformInterMacroblock(input.View(), reference.View(), column, 1, 3, -1, motion, 0,
                                     BuildQuantizerTables(5), levels);
        ReconstructInterMacroblock(reference.View(), reconstruction.View(), column, 1, 3, -1,
                                   motion, 0, BuildDequantParams(5), levels);
        hash = Fnv1a(hash, &pattern, sizeof(pattern));
        hash = Fnv1a(hash, levels.levels, sizeof(levels.levels));
    }
    hash = Fnv1a(hash, reconstruction.y.data(), reconstruction.y.size());
    hash = Fnv1a(hash, reconstruction.cb.data(), reconstruction.cb.size());
    EXPECT_EQ(hash, 1831404281u);
}

}  // namespace
}  // namespace kmqx
