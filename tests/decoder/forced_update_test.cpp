// Forced updating: a macroblock is coded INTRA at the latest at its next
// coding after 131 INTER codings with coefficients, seen through the types
// our decoder reads from the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "encoder/encoder.h"
#include "test_support.h"

namespace kmqx::test {
namespace {

constexpr int kWidth = 48;  // three macroblocks in one row
constexpr int kHeight = 16;
constexpr int kChromaWidth = kWidth / 2;

// High-contrast texture: coding any of these macroblocks INTRA costs far more
// than the brightness steps below cost INTER, so the encoder's own decision
// is always INTER.
uint8_t Texture(int x, int y) {
    return uint8_t(30 + (x * 37 + y * 61 + (x * y) % 7 * 23) % 180);
}

// Writes macroblock `column` of `picture`: the texture raised by `step` in
// luminance, neutral chroma.
void PaintMacroblock(Yuv& picture, int column, int step) {
    for (int y = 0; y < 16; ++y) {
        for (int x = 16 * column; x < 16 * column + 16; ++x)
            picture[size_t(y) * kWidth + x] = uint8_t(Texture(x, y) + step);
    }
    const size_t luma = size_t(kWidth) * kHeight;
    for (size_t plane = 0; plane < 2; ++plane) {
        for (int y = 0; y < 8; ++y) {
            for (int x = 8 * column; x < 8 * column + 8; ++x)
                picture[luma + plane * 8 * kChromaWidth + size_t(y) * kChromaWidth + x] = 128;
        }
    }
}

// Copies macroblock `column` of the encoder's reconstruction into `picture`.
void CopyReconstruction(const Encoder& encoder, Yuv& picture, int column) {
    const PictureView& view = encoder.ReconstructionPicture();
    for (int y = 0; y < 16; ++y) {
        std::copy_n(view.y + size_t(y) * view.width + 16 * column, 16,
                    picture.begin() + size_t(y) * kWidth + 16 * column);
    }
    const size_t luma = size_t(kWidth) * kHeight;
    const uint8_t* chroma[2] = {view.cb, view.cr};
    for (size_t plane = 0; plane < 2; ++plane) {
        for (int y = 0; y < 8; ++y) {
            std::copy_n(chroma[plane] + size_t(y) * view.chromaWidth() + 8 * column, 8,
                        picture.begin() + luma + plane * 8 * kChromaWidth +
                            size_t(y) * kChromaWidth + 8 * column);
        }
    }
}

// Macroblock 0 changes brightness in every picture, so it is coded with
// coefficients every time. Macroblocks 1 and 2 do so in odd pictures only;
// in even pictures macroblock 1 repeats the reconstruction exactly (not
// coded: unchanged) and macroblock 2 repeats it with one sample raised by 1
// (changed, but nothing survives quantisation: coded without coefficients).
// Returns, per macroblock, the pictures in which it came out INTRA.
std::vector<std::set<int>> IntraPictures(int pictures) {
    Encoder encoder;
    encoder.SetParamA(1);  // unchanged means equal 4x4 sums
    encoder.SetQuantNormal(4);
    encoder.SetQuantKey(4);
    EXPECT_EQ(encoder.Init(kWidth, kHeight), kEncodeOk);
    std::vector<uint8_t> output(8192);
    encoder.SetOutputCapacity(int32_t(output.size()));
    Decoder decoder;
    decoder.BeginDecompress();
    std::vector<std::set<int>> intra(3);
    Yuv picture(size_t(kWidth) * kHeight * 3 / 2);
    for (int t = 0; t < pictures; ++t) {
        PaintMacroblock(picture, 0, t % 2 ? 12 : 0);
        for (int column : {1, 2}) {
            if (t % 2 || t == 0) {
                PaintMacroblock(picture, column, t % 4 == 1 ? 12 : 0);
            } else {
                CopyReconstruction(encoder, picture, column);
                if (column == 2) picture[16 * column] ^= 1;
            }
        }
        const size_t luma = size_t(kWidth) * kHeight;
        encoder.SetPicture({picture.data(), picture.data() + luma, picture.data() + luma * 5 / 4});
        EXPECT_EQ(encoder.EncodeFrame(output.data(), 0), kEncodeOk);
        EXPECT_EQ(decoder.DecodeFrame(output.data(), encoder.GetCompressedSize()), kDecodeOk);
        for (int column = 0; column < 3; ++column) {
            if (t > 0 && decoder.StoredType(0, column) == kMacroblockIntra) intra[column].insert(t);
        }
    }
    decoder.EndDecompress();
    return intra;
}

TEST(ForcedUpdate, IntraAtTheCodingAfter131InterCodingsWithCoefficients) {
    const std::vector<std::set<int>> intra = IntraPictures(265);
    // Coded with coefficients in pictures 1..131, refreshed at the next.
    EXPECT_EQ(intra[0], (std::set<int>{132, 264}));
    // Coefficients in the odd pictures 1..261; the even pictures between do
    // not count, whether the macroblock is skipped or sent without
    // coefficients. The refresh comes at the next coding of a changed
    // macroblock: picture 263 for the one that is unchanged in between,
    // picture 262 for the one that changes without coefficients.
    EXPECT_EQ(intra[1], (std::set<int>{263}));
    EXPECT_EQ(intra[2], (std::set<int>{262}));
}

}  // namespace
}  // namespace kmqx::test
