// The driver with the product's own encoder and decoder, end to end through
// DriverProc: independent instances, round trips, DIB strides and bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

using test::DibStride;

// A bottom-up 24-bit picture that moves a little with every frame.
std::vector<uint8_t> MovingRgbFrame(int32_t width, int32_t height, int frameNumber) {
    std::vector<uint8_t> frame(DibStride(width) * height, 0);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = frame.data() + DibStride(width) * (height - 1 - y);
        for (int32_t x = 0; x < width; ++x) {
            int phase = x + 2 * frameNumber;
            row[3 * x + 0] = static_cast<uint8_t>(64 + 48 * std::sin(phase * 0.2));
            row[3 * x + 1] = static_cast<uint8_t>((x + y) / 2 + frameNumber * 4);
            row[3 * x + 2] = static_cast<uint8_t>(128 + 96 * std::cos((y + frameNumber) * 0.15));
        }
    }
    return frame;
}

class Compressor {
  public:
    Compressor(int32_t width, int32_t height, WORD bits = 24)
        : source_(BitmapFormat(width, height, bits, PlainTag(bits))),
          compressed_(CompressedFormat(width, height)) {
        id_ = OpenBuiltIn(ICMODE_COMPRESS);
        EXPECT_NE(id_, 0u);
        capacity_ = static_cast<size_t>(Send(id_, ICM_COMPRESS_GET_SIZE, Ptr(&source_)));
        EXPECT_EQ(Send(id_, ICM_COMPRESS_BEGIN, Ptr(&source_), Ptr(&compressed_)), ICERR_OK);
    }
    ~Compressor() { Send(id_, DRV_CLOSE); }

    // The coded picture, empty if ICM_COMPRESS failed; guard bytes after the
    // host's buffer must survive.
    std::vector<uint8_t> Code(const std::vector<uint8_t>& input, bool key = false,
                              DWORD* flagsOut = nullptr, DWORD quality = 8000) {
        std::vector<uint8_t> output(capacity_ + kGuard, 0x5A);
        DWORD flags = 0;
        ICCOMPRESS frame{};
        frame.dwFlags = key ? ICCOMPRESS_KEYFRAME : 0;
        frame.lpbiInput = &source_;
        frame.lpInput = const_cast<uint8_t*>(input.data());
        frame.lpbiOutput = &compressed_;
        frame.lpOutput = output.data();
        frame.lpdwFlags = &flags;
        frame.dwQuality = quality;
        LRESULT result = Send(id_, ICM_COMPRESS, Ptr(&frame), sizeof(frame));
        for (size_t i = capacity_; i < output.size(); ++i)
            EXPECT_EQ(output[i], 0x5A) << "written beyond the host's buffer";
        if (flagsOut) *flagsOut = flags;
        if (result != ICERR_OK) return {};
        EXPECT_LE(compressed_.biSizeImage, capacity_);
        output.resize(compressed_.biSizeImage);
        return output;
    }
    DWORD_PTR Id() const { return id_; }

  private:
    static constexpr size_t kGuard = 64;
    BITMAPINFOHEADER source_, compressed_;
    DWORD_PTR id_ = 0;
    size_t capacity_ = 0;
};

class Decompressor {
  public:
    Decompressor() { id_ = OpenBuiltIn(ICMODE_DECOMPRESS); }
    ~Decompressor() { Send(id_, DRV_CLOSE); }
    LRESULT Decode(std::vector<uint8_t> picture, int32_t width, int32_t height,
                   std::vector<uint8_t>* rgb) {
        BITMAPINFOHEADER compressed = CompressedFormat(width, height);
        compressed.biSizeImage = static_cast<DWORD>(picture.size());
        BITMAPINFOHEADER destination = BitmapFormat(width, height, 24);
        rgb->assign(DibStride(width) * height + 32, 0x5A);
        ICDECOMPRESS request{0, &compressed, picture.data(), &destination, rgb->data(), 0};
        LRESULT result = Send(id_, ICM_DECOMPRESS, Ptr(&request), sizeof(request));
        for (size_t i = DibStride(width) * height; i < rgb->size(); ++i)
            EXPECT_EQ((*rgb)[i], 0x5A) << "written beyond the destination";
        rgb->resize(DibStride(width) * height);
        return result;
    }

  private:
    DWORD_PTR id_ = 0;
};

double MeanAbsoluteDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                              int32_t width, int32_t height) {
    double total = 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width * 3; ++x) {
            size_t at = DibStride(width) * y + x;
            total += std::abs(int(a[at]) - int(b[at]));
        }
    return total / (double(width) * height * 3);
}

TEST(RealCodec, TwoInstancesFedAlternatelyCodeAsAlone) {
    const int kFrames = 4;
    std::vector<std::vector<uint8_t>> alone[2];
    for (int which = 0; which < 2; ++which) {
        Compressor compressor(176, 144);
        for (int f = 0; f < kFrames; ++f)
            alone[which].push_back(compressor.Code(MovingRgbFrame(176, 144, f + which * 7)));
    }
    Compressor first(176, 144), second(176, 144);
    CodecSettings tuned{1, 20, 0, 0, 0, 0, 0, 0, 4, 4};
    // Different settings on the first must not leak into the second.
    Send(first.Id(), ICM_SETSTATE, Ptr(&tuned), sizeof(tuned));
    Send(first.Id(), ICM_SETQUALITY, 8000);
    for (int f = 0; f < kFrames; ++f) {
        EXPECT_EQ(first.Code(MovingRgbFrame(176, 144, f)), alone[0][f]) << f;
        EXPECT_EQ(second.Code(MovingRgbFrame(176, 144, f + 7)), alone[1][f]) << f;
    }
}

TEST(RealCodec, RoundTripWithKeyFrameFlags) {
    Compressor compressor(176, 144);
    Decompressor decompressor;
    for (int f = 0; f < 4; ++f) {
        std::vector<uint8_t> source = MovingRgbFrame(176, 144, f);
        DWORD flags = 0;
        std::vector<uint8_t> picture = compressor.Code(source, f == 3, &flags);
        ASSERT_FALSE(picture.empty()) << f;
        bool expectKey = f == 0 || f == 3;
        EXPECT_EQ((flags & AVIIF_KEYFRAME) != 0, expectKey) << f;
        std::vector<uint8_t> rgb;
        ASSERT_EQ(decompressor.Decode(picture, 176, 144, &rgb), ICERR_OK) << f;
        EXPECT_LT(MeanAbsoluteDifference(source, rgb, 176, 144), 6.0) << f;
    }
}

TEST(RealCodec, DibRowPaddingIsNeitherReadAsPixelsNorLeftUnbounded) {
    const int32_t width = 50, height = 32;  // rows of 150 bytes, padded to 152
    std::vector<uint8_t> clean = MovingRgbFrame(width, height, 0);
    std::vector<uint8_t> dirty = clean;
    for (int32_t y = 0; y < height; ++y) {
        dirty[DibStride(width) * y + 150] = 0xFF;
        dirty[DibStride(width) * y + 151] = 0x13;
    }
    std::vector<uint8_t> fromClean, fromDirty;
    {
        Compressor compressor(width, height);
        fromClean = compressor.Code(clean);
    }
    {
        Compressor compressor(width, height);
        fromDirty = compressor.Code(dirty);
    }
    ASSERT_FALSE(fromClean.empty());
    EXPECT_EQ(fromClean, fromDirty);

    Decompressor decompressor;
    std::vector<uint8_t> rgb;
    ASSERT_EQ(decompressor.Decode(fromClean, width, height, &rgb), ICERR_OK);
    EXPECT_LT(MeanAbsoluteDifference(clean, rgb, width, height), 8.0);
}

TEST(RealCodec, NoisyPictureIsKeptWithinTheHostsBuffer) {
    // 9-bit 32 x 32: the host's buffer is 1152 bytes; noise at the finest
    // quantizer codes far larger, so the encoder has to be told the limit.
    Compressor compressor(32, 32, 9);
    std::vector<uint8_t> noise(32 * 32 * 9 / 8);
    std::srand(7);
    for (auto& byte : noise) byte = static_cast<uint8_t>(std::rand());
    std::vector<uint8_t> picture = compressor.Code(noise, true, nullptr, 10000);
    EXPECT_FALSE(picture.empty());
    EXPECT_GT(picture.size(), 1000u) << "expected a picture near the limit";
}

TEST(RealCodec, DecodedSizeMustMatchTheDestination) {
    Compressor compressor(352, 288);
    std::vector<uint8_t> picture = compressor.Code(MovingRgbFrame(352, 288, 0));
    Decompressor decompressor;
    std::vector<uint8_t> rgb;
    EXPECT_EQ(decompressor.Decode(picture, 176, 144, &rgb), ICERR_ERROR);
    for (uint8_t byte : rgb) ASSERT_EQ(byte, 0x5A);
    EXPECT_EQ(decompressor.Decode(picture, 352, 288, &rgb), ICERR_OK);
}

}  // namespace
}  // namespace kmqx::testing
