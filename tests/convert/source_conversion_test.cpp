#include "convert/source_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace kmqx {
namespace {

// Planes allocated to exactly their size, so that AddressSanitizer sees any
// write past them.
struct Planes {
    Planes(int32_t width, int32_t height)
        : width(width),
          height(height),
          y(size_t(width) * height, 0xEE),
          cb(size_t(width / 2) * (height / 2), 0xEE),
          cr(size_t(width / 2) * (height / 2), 0xEE) {}
    PlanarFrame Frame() { return {y.data(), cb.data(), cr.data()}; }
    uint8_t Y(int32_t row, int32_t col) const { return y[size_t(row) * width + col]; }
    uint8_t Cb(int32_t row, int32_t col) const { return cb[size_t(row) * (width / 2) + col]; }
    uint8_t Cr(int32_t row, int32_t col) const { return cr[size_t(row) * (width / 2) + col]; }
    int32_t width;
    int32_t height;
    std::vector<uint8_t> y, cb, cr;
};

struct Rgb {
    uint8_t r, g, b;
};

// A bottom-up 24-bit DIB of one colour, rows at the DIB stride.
std::vector<uint8_t> SolidDib(int32_t width, int32_t height, Rgb colour) {
    const size_t stride = Rgb24Stride(width);
    std::vector<uint8_t> dib(stride * height, 0);
    for (int32_t row = 0; row < height; ++row)
        for (int32_t col = 0; col < width; ++col) {
            uint8_t* px = &dib[row * stride + col * 3];
            px[0] = colour.b;
            px[1] = colour.g;
            px[2] = colour.r;
        }
    return dib;
}

void SetDibPixel(std::vector<uint8_t>& dib, int32_t width, int32_t height, int32_t row, int32_t col,
                 Rgb colour) {
    uint8_t* px = &dib[(height - 1 - row) * Rgb24Stride(width) + col * 3];
    px[0] = colour.b;
    px[1] = colour.g;
    px[2] = colour.r;
}

TEST(SourceConversion, RgbColoursGiveTheExactLumaAndChroma) {
    struct Case {
        Rgb rgb;
        uint8_t y, cb, cr;
    } cases[] = {
        {{255, 255, 255}, 255, 128, 128}, {{0, 0, 0}, 0, 128, 128},
        {{128, 128, 128}, 128, 128, 128}, {{255, 0, 0}, 76, 86, 255},
        {{0, 255, 0}, 149, 45, 23},       {{0, 0, 255}, 29, 255, 108},
    };
    for (const Case& c : cases) {
        auto dib = SolidDib(2, 2, c.rgb);
        Planes planes(2, 2);
        ConvertToPlanar(dib.data(), planes.Frame(), kTagRgb, 24, 2, 2);
        EXPECT_EQ(planes.Y(0, 0), c.y);
        EXPECT_EQ(planes.Y(1, 1), c.y);
        EXPECT_EQ(planes.Cb(0, 0), c.cb);
        EXPECT_EQ(planes.Cr(0, 0), c.cr);
    }
}

TEST(SourceConversion, RgbChromaComesFromTheLowerRightPixelAndRowsAreBottomUp) {
    auto dib = SolidDib(2, 2, {255, 255, 255});
    SetDibPixel(dib, 2, 2, 1, 1, {255, 0, 0});
    Planes planes(2, 2);
    ConvertToPlanar(dib.data(), planes.Frame(), kTagRgb, 24, 2, 2);
    EXPECT_EQ(planes.y, (std::vector<uint8_t>{255, 255, 255, 76}));
    EXPECT_EQ(planes.Cb(0, 0), 86);
    EXPECT_EQ(planes.Cr(0, 0), 255);

    // The first row in memory is the bottom of the picture.
    auto tall = SolidDib(2, 4, {0, 0, 0});
    tall[0] = tall[1] = tall[2] = 255;
    Planes tallPlanes(2, 4);
    ConvertToPlanar(tall.data(), tallPlanes.Frame(), kTagRgb, 24, 2, 4);
    EXPECT_EQ(tallPlanes.Y(3, 0), 255);
    EXPECT_EQ(tallPlanes.Y(0, 0), 0);
}

TEST(SourceConversion, RgbRowsOfWidthsNotAMultipleOfFourAreReadAtTheDibStride) {
    // Width 6: 18 bytes of pixels, rows 20 bytes apart. A vertical stripe in
    // column 5 must stay in column 5 on every row (no shear).
    const int32_t width = 6, height = 4;
    auto dib = SolidDib(width, height, {0, 0, 0});
    for (int32_t row = 0; row < height; ++row)
        SetDibPixel(dib, width, height, row, 5, {255, 255, 255});
    Planes planes(width, height);
    ConvertToPlanar(dib.data(), planes.Frame(), kTagRgb, 24, width, height);
    for (int32_t row = 0; row < height; ++row)
        for (int32_t col = 0; col < width; ++col)
            EXPECT_EQ(planes.Y(row, col), col == 5 ? 255 : 0) << row << "," << col;
}

TEST(SourceConversion, YuyvTakesChromaFromTheUpperRowOfEachPair) {
    const int32_t width = 8, height = 2;
    std::vector<uint8_t> source(32);
    for (int i = 0; i < 32; ++i) source[i] = uint8_t(i);
    Planes planes(width, height);
    ConvertToPlanar(source.data(), planes.Frame(), kTagYuyv, 16, width, height);
    EXPECT_EQ(planes.y,
              (std::vector<uint8_t>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30}));
    EXPECT_EQ(planes.cb, (std::vector<uint8_t>{1, 5, 9, 13}));
    EXPECT_EQ(planes.cr, (std::vector<uint8_t>{3, 7, 11, 15}));
}

TEST(SourceConversion, YuyvWidthsNotAMultipleOfEightKeepTheirRowsApart) {
    // Width 6: rows are 12 bytes apart; a group-of-8 reader would shear.
    const int32_t width = 6, height = 4;
    std::vector<uint8_t> source(size_t(width) * height * 2);
    for (int32_t row = 0; row < height; ++row)
        for (int32_t col = 0; col < width; ++col)
            source[row * 12 + col * 2] = uint8_t(row * 10 + col);
    Planes planes(width, height);
    ConvertToPlanar(source.data(), planes.Frame(), kTagYuyv, 16, width, height);
    for (int32_t row = 0; row < height; ++row)
        for (int32_t col = 0; col < width; ++col) EXPECT_EQ(planes.Y(row, col), row * 10 + col);
}

TEST(SourceConversion, Yvu9ReplicatesEachChromaSampleAndSwapsThePlanes) {
    const int32_t width = 8, height = 8;
    std::vector<uint8_t> source(SourceFrameSize(kTagYvu9, 9, width, height));
    ASSERT_EQ(source.size(), 64u + 4 + 4);
    for (int i = 0; i < 64; ++i) source[i] = uint8_t(i);
    const uint8_t v[4] = {10, 20, 30, 40}, u[4] = {50, 60, 70, 80};
    std::copy(v, v + 4, source.begin() + 64);
    std::copy(u, u + 4, source.begin() + 68);
    Planes planes(width, height);
    ConvertToPlanar(source.data(), planes.Frame(), kTagYvu9, 9, width, height);
    EXPECT_TRUE(std::equal(planes.y.begin(), planes.y.end(), source.begin()));
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t c = 0; c < 4; ++c) {
            EXPECT_EQ(planes.Cr(r, c), v[(r / 2) * 2 + c / 2]);
            EXPECT_EQ(planes.Cb(r, c), u[(r / 2) * 2 + c / 2]);
        }
}

TEST(SourceConversion, Yv12IsCopiedWithTheVPlaneIntoCr) {
    const int32_t width = 4, height = 4;
    std::vector<uint8_t> source(24);
    for (int i = 0; i < 24; ++i) source[i] = uint8_t(i + 1);
    Planes planes(width, height);
    ConvertToPlanar(source.data(), planes.Frame(), kTagYv12, 12, width, height);
    EXPECT_TRUE(std::equal(planes.y.begin(), planes.y.end(), source.begin()));
    EXPECT_TRUE(std::equal(planes.cr.begin(), planes.cr.end(), source.begin() + 16));
    EXPECT_TRUE(std::equal(planes.cb.begin(), planes.cb.end(), source.begin() + 20));
}

TEST(SourceConversion, UnknownFormatsAndEmptySizesConvertNothing) {
    Planes planes(4, 4);
    std::vector<uint8_t> source(64, 7);
    ConvertToPlanar(source.data(), planes.Frame(), kTagRgb, 8, 4, 4);
    ConvertToPlanar(source.data(), planes.Frame(), kTagYv12, 16, 4, 4);
    ConvertToPlanar(source.data(), planes.Frame(), kCompressionBitfields, 16, 4, 4);  // no masks
    ConvertToPlanar(source.data(), planes.Frame(), kTagYuyv, 16, 0, 4);
    ConvertToPlanar(source.data(), planes.Frame(), kTagRgb, 24, 4, INT32_MIN);
    EXPECT_EQ(planes.y, std::vector<uint8_t>(16, 0xEE));
    EXPECT_EQ(SourceFrameSize(kTagRgb, 8, 4, 4), 0u);
    EXPECT_EQ(SourceFrameSize(kTagRgb, 24, 4, INT32_MIN), 0u);
    // A top-down frame is as large as a bottom-up one.
    EXPECT_EQ(SourceFrameSize(kTagRgb, 24, 5, -4), 64u);
    EXPECT_EQ(SourceFrameSize(kTagRgb, 32, 5, 4), 80u);
    EXPECT_EQ(SourceFrameSize(kTagRgb, 16, 5, 4), 48u);
}

// 16- and 32-bit RGB, and either orientation, are read as the bottom-up
// 24-bit picture they expand to: 5- and 6-bit components widened by
// repeating their high bits (31 -> 255, 16 -> 132, 63 -> 255, 32 -> 130).
TEST(SourceConversion, EveryRgbLayoutGivesThePlanesOfItsRgb24Equivalent) {
    const int32_t width = 13, height = 6;  // odd width: every layout pads its rows
    std::mt19937 random(17);
    auto widen = [](uint32_t c, int bits) {
        return uint8_t(c << (8 - bits) | c >> (2 * bits - 8));
    };
    for (FrameLayout sixteen : {FrameLayout::kRgb565, FrameLayout::kRgb555})
        for (bool topDown : {false, true}) {
            const int green = sixteen == FrameLayout::kRgb565 ? 6 : 5;
            // The bottom-up 24-bit reference, then the same picture in the others.
            const FrameFormat formats[4] = {{FrameLayout::kRgb24, width, height, false},
                                            {sixteen, width, height, topDown},
                                            {FrameLayout::kRgb32, width, height, topDown},
                                            {FrameLayout::kRgb24, width, height, topDown}};
            const size_t pixelBytes[4] = {3, 2, 4, 3};
            std::vector<uint8_t> frames[4];
            for (int k = 0; k < 4; ++k)
                frames[k].assign(FrameBytes(formats[k].layout, width, height), 0x77);
            auto at = [&](int k, int32_t row, int32_t col) {
                const int32_t memoryRow = formats[k].topDown ? row : height - 1 - row;
                return &frames[k][memoryRow * RowStride(formats[k].layout, width) +
                                  col * pixelBytes[k]];
            };
            for (int32_t row = 0; row < height; ++row)
                for (int32_t col = 0; col < width; ++col) {
                    const uint32_t w = uint16_t(random());
                    const uint8_t bgr[3] = {widen(w & 31, 5),
                                            widen(w >> 5 & ((1 << green) - 1), green),
                                            widen(w >> (5 + green) & 31, 5)};
                    for (int k : {0, 2, 3}) std::copy(bgr, bgr + 3, at(k, row, col));
                    at(2, row, col)[3] = uint8_t(random());  // not read
                    at(1, row, col)[0] = uint8_t(w), at(1, row, col)[1] = uint8_t(w >> 8);
                }
            Planes expected(width, height);
            ConvertToPlanar(frames[0].data(), expected.Frame(), formats[0]);
            for (int k = 1; k < 4; ++k) {
                Planes planes(width, height);
                ConvertToPlanar(frames[k].data(), planes.Frame(), formats[k]);
                EXPECT_EQ(planes.y, expected.y) << k << " " << green << " " << topDown;
                EXPECT_EQ(planes.cb, expected.cb) << k << " " << green << " " << topDown;
                EXPECT_EQ(planes.cr, expected.cr) << k << " " << green << " " << topDown;
            }
        }
    // Pure red in RGB555 has the 24-bit red's planes.
    const uint8_t twoRows[8] = {0x00, 0x7C, 0x00, 0x7C, 0x00, 0x7C, 0x00, 0x7C};
    Planes red(2, 2);
    ConvertToPlanar(twoRows, red.Frame(), kTagRgb, 16, 2, 2);
    EXPECT_EQ(red.y, (std::vector<uint8_t>{76, 76, 76, 76}));
    EXPECT_EQ(red.Cb(0, 0), 86);
    EXPECT_EQ(red.Cr(0, 0), 255);
}

TEST(SourceConversion, I420IsYv12WithTheChromaPlanesSwapped) {
    std::vector<uint8_t> source(24);
    for (int i = 0; i < 24; ++i) source[i] = uint8_t(i + 1);
    Planes planes(4, 4);
    for (uint32_t tag : {kTagI420, kFourCcIyuv}) {
        ConvertToPlanar(source.data(), planes.Frame(), tag, 12, 4, 4);
        EXPECT_TRUE(std::equal(planes.y.begin(), planes.y.end(), source.begin()));
        EXPECT_TRUE(std::equal(planes.cb.begin(), planes.cb.end(), source.begin() + 16));
        EXPECT_TRUE(std::equal(planes.cr.begin(), planes.cr.end(), source.begin() + 20));
    }
}

// Every format at awkward sizes, with the source and the planes allocated to
// exactly their size: any read or write beyond them is an ASan report. Every
// luma sample is written, whatever the size.
TEST(SourceConversion, AwkwardSizesStayWithinTheSourceAndThePlanes) {
    const struct {
        uint32_t tag;
        int32_t bits;
    } formats[] = {{kTagRgb, 24},     {kTagRgb, 32},  {kTagRgb, 16},  {kTagYuyv, 16},
                   {kFourCcYuy2, 16}, {kTagYv12, 12}, {kTagI420, 12}, {kTagYvu9, 9}};
    std::mt19937 random(5);
    for (const auto& format : formats)
        for (int32_t width : {1, 2, 3, 5, 6, 7, 9, 10, 13, 17})
            for (int32_t height : {1, 2, 3, 5, 6, 7, -1, -6}) {
                const size_t size = SourceFrameSize(format.tag, format.bits, width, height);
                ASSERT_GT(size, 0u);
                std::vector<uint8_t> source(size);
                for (auto& b : source) b = uint8_t(random() % 200);
                Planes planes(width, height < 0 ? -height : height);
                ConvertToPlanar(source.data(), planes.Frame(), format.tag, format.bits, width,
                                height);
                for (uint8_t sample : planes.y) ASSERT_NE(sample, 0xEE) << width << "x" << height;
                for (uint8_t sample : planes.cb) ASSERT_NE(sample, 0xEE) << width << "x" << height;
                for (uint8_t sample : planes.cr) ASSERT_NE(sample, 0xEE) << width << "x" << height;
            }
}

}  // namespace
}  // namespace kmqx
