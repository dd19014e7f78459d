#include "convert/output_conversion.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "convert/source_conversion.h"

namespace kmqx {
namespace {

struct Bgr {
    uint8_t b, g, r;
    bool operator==(const Bgr& o) const { return b == o.b && g == o.g && r == o.r; }
};

std::ostream& operator<<(std::ostream& os, const Bgr& p) {
    return os << "(B " << int(p.b) << ", G " << int(p.g) << ", R " << int(p.r) << ")";
}

// Converts one 2 x 2 block of a single colour and returns its pixel.
Bgr ConvertSolid(uint8_t y, uint8_t cb, uint8_t cr) {
    std::vector<uint8_t> luma(4, y), u(1, cb), v(1, cr), out(Rgb24Stride(2) * 2);
    ConvertPlanarToRgb24({luma.data(), u.data(), v.data()}, out.data(), 2, 2);
    return {out[0], out[1], out[2]};
}

TEST(OutputConversion, ColoursComeOutExactly) {
    EXPECT_EQ(ConvertSolid(255, 128, 128), (Bgr{255, 255, 255}));
    EXPECT_EQ(ConvertSolid(0, 128, 128), (Bgr{0, 0, 0}));
    for (uint8_t grey : {128, 16, 235})
        EXPECT_EQ(ConvertSolid(grey, 128, 128), (Bgr{grey, grey, grey}));
    EXPECT_EQ(ConvertSolid(76, 86, 255), (Bgr{2, 0, 255}));
    EXPECT_EQ(ConvertSolid(0, 255, 255), (Bgr{226, 0, 179}));
    EXPECT_EQ(ConvertSolid(255, 0, 0), (Bgr{28, 255, 75}));
}

TEST(OutputConversion, RowsAreBottomUpAndBlocksShareTheirChroma) {
    const int32_t width = 176, height = 144;
    std::vector<uint8_t> luma(width * height, 50), cb(88 * 72, 128), cr(88 * 72, 128);
    std::fill(luma.begin(), luma.begin() + width, 200);  // top row
    luma[0] = 10, luma[1] = 20, luma[width] = 30, luma[width + 1] = 40;
    std::vector<uint8_t> out(size_t(width) * 3 * height);
    ConvertPlanarToRgb24({luma.data(), cb.data(), cr.data()}, out.data(), width, height);
    // The top row is the last in memory: bytes 75504 .. 76031.
    EXPECT_EQ(out[75504], 10);
    EXPECT_EQ(out[75507], 20);
    EXPECT_EQ(out[75504 + 3 * 2], 200);
    EXPECT_EQ(out[76031], 200);
    // The second picture row is the one before it.
    EXPECT_EQ(out[75504 - 528], 30);
    EXPECT_EQ(out[75504 - 528 + 3], 40);
    EXPECT_EQ(out[0], 50);
    EXPECT_EQ(out[527], 50);
}

TEST(OutputConversion, RowsOfWidthsNotAMultipleOfFourAreWrittenAtTheDibStride) {
    // Width 6: rows 20 bytes apart, the two padding bytes zeroed.
    const int32_t width = 6, height = 2;
    std::vector<uint8_t> luma(12), cb(3, 128), cr(3, 128);
    for (int i = 0; i < 12; ++i) luma[i] = uint8_t(10 * (i + 1));
    std::vector<uint8_t> out(Rgb24Stride(width) * height, 0xEE);
    ASSERT_EQ(out.size(), 40u);
    ConvertPlanarToRgb24({luma.data(), cb.data(), cr.data()}, out.data(), width, height);
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* dst = &out[(height - 1 - row) * 20];
        for (int32_t col = 0; col < width; ++col) EXPECT_EQ(dst[col * 3 + 1], luma[row * 6 + col]);
        EXPECT_EQ(dst[18], 0);
        EXPECT_EQ(dst[19], 0);
    }
}

TEST(OutputConversion, NonPositiveSizesWriteNothing) {
    std::vector<uint8_t> plane(16, 100), out(64, 0xEE);
    ConvertPlanarToRgb24({plane.data(), plane.data(), plane.data()}, out.data(), 4, 0);
    ConvertPlanarToRgb24({plane.data(), plane.data(), plane.data()}, out.data(), 4, -4);
    ConvertPlanarToRgb24({plane.data(), plane.data(), plane.data()}, out.data(), -4, 4);
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0xEE));
}

// Odd sizes, with planes and destination allocated to exactly their size.
// With neutral chroma every pixel, the last odd row and column included, is
// the grey of its luma.
TEST(OutputConversion, OddSizesWriteEveryPixelWithinTheDestination) {
    std::mt19937 random(3);
    for (int32_t width : {1, 2, 3, 5, 7, 9})
        for (int32_t height : {1, 2, 3, 5}) {
            std::vector<uint8_t> luma(size_t(width) * height);
            std::vector<uint8_t> cb(size_t(width / 2) * (height / 2), 128), cr(cb);
            for (auto& b : luma) b = uint8_t(random());
            std::vector<uint8_t> out(Rgb24Stride(width) * height);
            ConvertPlanarToRgb24({luma.data(), cb.data(), cr.data()}, out.data(), width, height);
            for (int32_t row = 0; row < height; ++row)
                for (int32_t col = 0; col < width; ++col) {
                    const uint8_t* px = &out[(height - 1 - row) * Rgb24Stride(width) + col * 3];
                    const uint8_t y = luma[row * width + col];
                    ASSERT_EQ((Bgr{px[0], px[1], px[2]}), (Bgr{y, y, y}))
                        << width << "x" << height << " at " << row << "," << col;
                }
        }
}

// Every destination at even and odd sizes, written into a buffer of exactly
// FrameBytes with guard bytes after it: RGB24 top-down is the bottom-up
// picture with its rows reversed, RGB32 the same samples with a fourth byte
// 0, YUYV packs each chroma row into both of its picture rows, YV12 and I420
// are the planes.
TEST(OutputConversion, EveryDestinationLayoutHoldsTheSamePicture) {
    std::mt19937 random(9);
    for (int32_t width : {2, 5, 18, 40})
        for (int32_t height : {2, 3, 6}) {
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
            const int32_t cw = width / 2, ch = height / 2;
            std::vector<uint8_t> luma(size_t(width) * height), cb(size_t(cw) * ch), cr(cb.size());
            for (auto* plane : {&luma, &cb, &cr})
                for (auto& b : *plane) b = uint8_t(random());
            const PlanarFrame frame{luma.data(), cb.data(), cr.data()};
            std::vector<uint8_t> bottomUp(Rgb24Stride(width) * height);
            ConvertPlanarToRgb24(frame, bottomUp.data(), width, height);
            auto write = [&](FrameLayout layout, bool topDown) {
                const size_t bytes = FrameBytes(layout, width, height);
                std::vector<uint8_t> out(bytes + 16, 0xEE);
                ConvertFromPlanar(frame, {layout, width, height, topDown}, out.data());
                for (size_t i = bytes; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << "beyond";
                out.resize(bytes);
                return out;
            };
            const auto topDown = write(FrameLayout::kRgb24, true);
            const auto rgb32Up = write(FrameLayout::kRgb32, false);
            const auto rgb32Down = write(FrameLayout::kRgb32, true);
            const auto yuyv = write(FrameLayout::kYuyv, true);
            const size_t stride = Rgb24Stride(width);
            for (int32_t row = 0; row < height; ++row)
                for (int32_t col = 0; col < width; ++col) {
                    const uint8_t* px = &bottomUp[(height - 1 - row) * stride + col * 3];
                    const uint8_t* down = &topDown[row * stride + col * 3];
                    const uint8_t* up32 = &rgb32Up[((height - 1 - row) * width + col) * 4];
                    const uint8_t* down32 = &rgb32Down[(row * width + col) * 4];
                    for (int k = 0; k < 3; ++k) {
                        ASSERT_EQ(down[k], px[k]);
                        ASSERT_EQ(up32[k], px[k]);
                        ASSERT_EQ(down32[k], px[k]);
                    }
                    ASSERT_EQ(up32[3] | down32[3], 0);
                    const uint8_t* pair = &yuyv[(row * width + col) * 2];
                    ASSERT_EQ(pair[0], luma[row * width + col]);
                    if (col / 2 < cw) {
                        const size_t c = size_t(std::min(row / 2, ch - 1)) * cw + col / 2;
                        ASSERT_EQ(pair[1], col % 2 ? cr[c] : cb[c]);
                    }
                }
            const auto yv12 = write(FrameLayout::kYv12, true);
            const auto i420 = write(FrameLayout::kI420, true);
            std::vector<uint8_t> planes = luma;
            planes.insert(planes.end(), cr.begin(), cr.end());
            planes.insert(planes.end(), cb.begin(), cb.end());
            EXPECT_EQ(yv12, planes);
            planes.resize(luma.size());
            planes.insert(planes.end(), cb.begin(), cb.end());
            planes.insert(planes.end(), cr.begin(), cr.end());
            EXPECT_EQ(i420, planes);
        }
}

// The two conversions are each other's inverse up to rounding: grey survives
// exactly and colours come back close.
TEST(OutputConversion, SourceConversionRoundTripsCloseToTheOriginal) {
    const int32_t width = 16, height = 16;
    std::mt19937 random(11);
    std::vector<uint8_t> dib(Rgb24Stride(width) * height);
    // Solid 2 x 2 blocks, so that the lower right pixel's chroma is the block's.
    for (int32_t by = 0; by < height; by += 2)
        for (int32_t bx = 0; bx < width; bx += 2) {
            const uint8_t b = uint8_t(random()), g = uint8_t(random()), r = uint8_t(random());
            for (int32_t dy = 0; dy < 2; ++dy)
                for (int32_t dx = 0; dx < 2; ++dx) {
                    uint8_t* px = &dib[(by + dy) * Rgb24Stride(width) + (bx + dx) * 3];
                    px[0] = b, px[1] = g, px[2] = r;
                }
        }
    std::vector<uint8_t> luma(width * height), cb(64), cr(64), back(dib.size());
    const PlanarFrame frame{luma.data(), cb.data(), cr.data()};
    ConvertToPlanar(dib.data(), frame, kTagRgb, 24, width, height);
    ConvertPlanarToRgb24(frame, back.data(), width, height);
    for (size_t i = 0; i < dib.size(); ++i) EXPECT_NEAR(back[i], dib[i], 6) << i;
}

}  // namespace
}  // namespace kmqx
