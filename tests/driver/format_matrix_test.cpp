// Every source and destination format through DriverProc with the product's
// own codec: each source codes exactly the stream of the picture it
// describes, and each destination holds the decoded picture.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "convert/frame_layout.h"
#include "decoder/decoder.h"
#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

constexpr int32_t kWidth = 50, kHeight = 32;  // rows of every RGB layout are padded
constexpr int kFrames = 3;
const DWORD kBitfields = 3;

using Stream = std::vector<std::vector<uint8_t>>;

// Codes kFrames frames of one source format; frame(f) gives each frame.
Stream Code(const MaskedFormat& format, const std::function<std::vector<uint8_t>(int)>& frame) {
    const DWORD_PTR id = OpenBuiltIn(ICMODE_COMPRESS);
    BITMAPINFOHEADER compressed{};
    EXPECT_EQ(Send(id, ICM_COMPRESS_GET_FORMAT, Ptr(&format), Ptr(&compressed)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_COMPRESS_BEGIN, Ptr(&format), Ptr(&compressed)), ICERR_OK);
    Stream stream;
    for (int f = 0; f < kFrames; ++f) {
        std::vector<uint8_t> input = frame(f);
        std::vector<uint8_t> output(compressed.biSizeImage);
        ICCOMPRESS request{};
        request.lpbiInput = const_cast<BITMAPINFOHEADER*>(&format.header);
        request.lpInput = input.data();
        request.lpbiOutput = &compressed;
        request.lpOutput = output.data();
        request.dwQuality = 8000;
        EXPECT_EQ(Send(id, ICM_COMPRESS, Ptr(&request), sizeof(request)), ICERR_OK);
        output.resize(compressed.biSizeImage);
        stream.push_back(output);
    }
    Send(id, DRV_CLOSE);
    return stream;
}

// A moving picture as B, G, R samples, top row first; quantise(v, channel)
// keeps each sample representable in the layout under test.
std::vector<uint8_t> Picture(int f, const std::function<uint8_t(int, int)>& quantise) {
    std::vector<uint8_t> bgr(size_t(kWidth) * kHeight * 3);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[(size_t(y) * kWidth + x) * 3 + c] =
                    quantise((x * (c + 1) * 5 + y * (3 - c) * 7 + f * 9) & 255, c);
    return bgr;
}

// The picture in an RGB layout: pixel(bgr, out) writes one pixel's bytes.
std::vector<uint8_t> Lay(const std::vector<uint8_t>& bgr, FrameLayout layout, bool topDown,
                         const std::function<void(const uint8_t*, uint8_t*)>& pixel) {
    std::vector<uint8_t> frame(FrameBytes(layout, kWidth, kHeight), 0x5A);
    const size_t pixelBytes = RowStride(layout, kWidth) / kWidth;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            pixel(&bgr[(size_t(y) * kWidth + x) * 3],
                  &frame[size_t(topDown ? y : kHeight - 1 - y) * RowStride(layout, kWidth) +
                         x * pixelBytes]);
    return frame;
}

void Copy24(const uint8_t* bgr, uint8_t* out) {
    std::memcpy(out, bgr, 3);
}

TEST(FormatMatrix, RgbSourcesCodeTheStreamOfTheirRgb24Picture) {
    const auto exact = [](int v, int) { return uint8_t(v); };
    const auto reference = Code(MaskedFormat{SourceFormat(kWidth, kHeight, 24), {}}, [&](int f) {
        return Lay(Picture(f, exact), FrameLayout::kRgb24, false, Copy24);
    });
    for (bool topDown : {false, true}) {
        const int32_t height = topDown ? -kHeight : kHeight;
        EXPECT_EQ(Code(MaskedFormat{SourceFormat(kWidth, height, 24), {}},
                       [&](int f) {
                           return Lay(Picture(f, exact), FrameLayout::kRgb24, topDown, Copy24);
                       }),
                  reference)
            << "24-bit, top-down " << topDown;
        EXPECT_EQ(Code(MaskedFormat{SourceFormat(kWidth, height, 32), {}},
                       [&](int f) {
                           return Lay(Picture(f, exact), FrameLayout::kRgb32, topDown,
                                      [](const uint8_t* bgr, uint8_t* out) {
                                          Copy24(bgr, out);
                                          out[3] = 0x99;  // not read
                                      });
                       }),
                  reference)
            << "32-bit, top-down " << topDown;
    }
    // 16-bit pictures keep 5 (or 6) bits per component, widened by repeating
    // their high bits; the 24-bit picture of those values codes the same.
    const struct {
        DWORD compression;
        DWORD masks[3];
        int greenBits;
    } sixteen[] = {{BI_RGB, {}, 5},
                   {kBitfields, {0x7C00, 0x03E0, 0x001F}, 5},
                   {kBitfields, {0xF800, 0x07E0, 0x001F}, 6}};
    for (const auto& s : sixteen) {
        const auto bits = [&](int c) { return c == 1 ? s.greenBits : 5; };
        const auto widened = [&](int v, int c) {
            const int b = bits(c), top = v >> (8 - b);
            return uint8_t(top << (8 - b) | top >> (2 * b - 8));
        };
        const auto rgb24 = Code(MaskedFormat{SourceFormat(kWidth, kHeight, 24), {}}, [&](int f) {
            return Lay(Picture(f, widened), FrameLayout::kRgb24, false, Copy24);
        });
        MaskedFormat format{SourceFormat(kWidth, kHeight, 16, s.compression),
                            {s.masks[0], s.masks[1], s.masks[2]}};
        EXPECT_EQ(Code(format,
                       [&](int f) {
                           return Lay(Picture(f, widened), FrameLayout::kRgb555, false,
                                      [&](const uint8_t* bgr, uint8_t* out) {
                                          const int g = bits(1);
                                          const int word = (bgr[2] >> 3) << (5 + g) |
                                                           (bgr[1] >> (8 - g)) << 5 | bgr[0] >> 3;
                                          out[0] = uint8_t(word), out[1] = uint8_t(word >> 8);
                                      });
                       }),
                  rgb24)
            << "16-bit with " << s.greenBits << " green bits";
    }
}

// YUV sources: YUY2 is YUYV, I420 and IYUV are YV12 with U before V, and a
// negative height changes nothing (YUV frames are top-down).
TEST(FormatMatrix, YuvSourcesCodeTheStreamOfTheirPlanes) {
    const size_t area = size_t(kWidth) * kHeight, chroma = area / 4;
    const auto yv12 = [&](int f) {
        std::vector<uint8_t> frame(area + 2 * chroma);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 3 + f * 11 + (i >> 6));
        return frame;
    };
    const auto i420 = [&](int f) {
        std::vector<uint8_t> frame = yv12(f);
        std::swap_ranges(frame.begin() + area, frame.begin() + area + chroma,
                         frame.begin() + area + chroma);
        return frame;
    };
    const auto reference =
        Code(MaskedFormat{SourceFormat(kWidth, kHeight, 12, PlainTag(12)), {}}, yv12);
    for (DWORD tag : {mmioFOURCC('I', '4', '2', '0'), mmioFOURCC('I', 'Y', 'U', 'V')})
        EXPECT_EQ(Code(MaskedFormat{SourceFormat(kWidth, kHeight, 12, tag), {}}, i420), reference);
    EXPECT_EQ(Code(MaskedFormat{SourceFormat(kWidth, -kHeight, 12, PlainTag(12)), {}}, yv12),
              reference);
    const auto yuyv = [&](int f) {
        std::vector<uint8_t> frame(area * 2);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 5 + f * 7);
        return frame;
    };
    EXPECT_EQ(
        Code(MaskedFormat{SourceFormat(kWidth, kHeight, 16, mmioFOURCC('Y', 'U', 'Y', '2')), {}},
             yuyv),
        Code(MaskedFormat{SourceFormat(kWidth, kHeight, 16, PlainTag(16)), {}}, yuyv));
}

class Decompressor {
  public:
    Decompressor() : id_(OpenBuiltIn(ICMODE_DECOMPRESS)) {}
    ~Decompressor() { Send(id_, DRV_CLOSE); }
    // Decodes one picture into a destination of exactly its stated size.
    std::vector<uint8_t> Decode(std::vector<uint8_t> picture, BITMAPINFOHEADER destination) {
        BITMAPINFOHEADER compressed = CompressedFormat(kWidth, kHeight);
        compressed.biSizeImage = DWORD(picture.size());
        const size_t bytes = FrameBytes(
            DestinationLayout(destination.biCompression, destination.biBitCount), kWidth, kHeight);
        destination.biSizeImage = DWORD(bytes);
        std::vector<uint8_t> output(bytes);
        ICDECOMPRESS request{0, &compressed, picture.data(), &destination, output.data(), 0};
        EXPECT_EQ(Send(id_, ICM_DECOMPRESS, Ptr(&request), sizeof(request)), ICERR_OK);
        return output;
    }
    DWORD_PTR Id() const { return id_; }

  private:
    DWORD_PTR id_;
};

TEST(FormatMatrix, EachDestinationHoldsTheDecodedPicture) {
    const auto picture = [](int f) {
        return Lay(Picture(f, [](int v, int) { return uint8_t(v); }), FrameLayout::kRgb24, false,
                   Copy24);
    };
    const Stream stream = Code(MaskedFormat{SourceFormat(kWidth, kHeight, 24), {}}, picture);
    Decoder decoder;
    decoder.BeginDecompress();
    // One decompressor per destination: each decodes every picture once.
    Decompressor toYv12, toI420, toYuy2, toBottomUp, toTopDown, toRgb32;
    for (const auto& coded : stream) {
        ASSERT_EQ(decoder.DecodeFrame(coded.data(), int32_t(coded.size())), kDecodeOk);
        const PlanarFrame planes = decoder.GetPicture();
        const size_t area = size_t(kWidth) * kHeight, chroma = area / 4;
        std::vector<uint8_t> yv12(planes.y, planes.y + area);
        yv12.insert(yv12.end(), planes.cr, planes.cr + chroma);
        yv12.insert(yv12.end(), planes.cb, planes.cb + chroma);
        std::vector<uint8_t> i420(planes.y, planes.y + area);
        i420.insert(i420.end(), planes.cb, planes.cb + chroma);
        i420.insert(i420.end(), planes.cr, planes.cr + chroma);
        EXPECT_EQ(toYv12.Decode(coded, SourceFormat(kWidth, kHeight, 12, PlainTag(12))), yv12);
        EXPECT_EQ(
            toI420.Decode(coded, SourceFormat(kWidth, kHeight, 12, mmioFOURCC('I', '4', '2', '0'))),
            i420);
        const auto yuy2 =
            toYuy2.Decode(coded, SourceFormat(kWidth, kHeight, 16, mmioFOURCC('Y', 'U', 'Y', '2')));
        for (size_t i = 0; i < area; ++i) ASSERT_EQ(yuy2[2 * i], planes.y[i]);

        const auto bottomUp = toBottomUp.Decode(coded, SourceFormat(kWidth, kHeight, 24));
        const auto topDown = toTopDown.Decode(coded, SourceFormat(kWidth, -kHeight, 24));
        const auto rgb32 = toRgb32.Decode(coded, SourceFormat(kWidth, -kHeight, 32));
        const size_t stride = RowStride(FrameLayout::kRgb24, kWidth);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                const uint8_t* px = &bottomUp[size_t(kHeight - 1 - y) * stride + x * 3];
                const uint8_t* down = &topDown[size_t(y) * stride + x * 3];
                const uint8_t* px32 = &rgb32[(size_t(y) * kWidth + x) * 4];
                ASSERT_EQ(std::memcmp(px, down, 3), 0);
                ASSERT_EQ(std::memcmp(px, px32, 3), 0);
                ASSERT_EQ(px32[3], 0);
            }
    }
}

// DrawDib without DDF_SAME_DRAW ends and begins around every frame: delta
// frames still decode against the previous picture.
TEST(FormatMatrix, EndAndBeginAroundEveryFrameDecodeAsOneSequence) {
    const auto picture = [](int f) {
        return Lay(Picture(f, [](int v, int) { return uint8_t(v); }), FrameLayout::kRgb24, false,
                   Copy24);
    };
    const Stream stream = Code(MaskedFormat{SourceFormat(kWidth, kHeight, 24), {}}, picture);
    const BITMAPINFOHEADER destination = SourceFormat(kWidth, kHeight, 24);
    Decompressor continuous, restarted;
    BITMAPINFOHEADER compressed = CompressedFormat(kWidth, kHeight);
    for (const auto& coded : stream) {
        ASSERT_EQ(Send(restarted.Id(), ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)),
                  ICERR_OK);
        EXPECT_EQ(restarted.Decode(coded, destination), continuous.Decode(coded, destination));
        ASSERT_EQ(Send(restarted.Id(), ICM_DECOMPRESS_END), ICERR_OK);
    }
}

}  // namespace
}  // namespace kmqx::testing
