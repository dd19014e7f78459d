// Every combination of bit count, biCompression, width and height a host
// could send, through the format messages of the product's own codec: no
// sanitizer report, no negative size, and no yes that a later message of
// the same format turns into a refusal.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "convert/frame_layout.h"
#include "encoder/encoder.h"
#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

const int32_t kSides[] = {-4097, -1, 0, 1, 2, 3, 17, 4095, 4096, INT_MIN, INT_MAX};
const WORD kBitCounts[] = {0, 1, 8, 9, 12, 15, 16, 24, 32, 48, 0xFFFF};
const DWORD kBitfields = 3;

struct Compression {
    DWORD value;
    DWORD masks[3];
};
const Compression kCompressions[] = {
    {BI_RGB, {}},
    {1, {}},  // BI_RLE8
    {kBitfields, {0xF800, 0x07E0, 0x001F}},
    {kBitfields, {0x7C00, 0x03E0, 0x001F}},
    {kBitfields, {0xFF0000, 0xFF00, 0xFF}},
    {mmioFOURCC('Y', 'U', 'Y', '2'), {}},
    {mmioFOURCC('Y', 'U', 'Y', 'V'), {}},
    {mmioFOURCC('U', 'Y', 'V', 'Y'), {}},
    {mmioFOURCC('Y', 'V', '1', '2'), {}},
    {mmioFOURCC('I', '4', '2', '0'), {}},
    {mmioFOURCC('I', 'Y', 'U', 'V'), {}},
    {mmioFOURCC('Y', 'V', 'U', '9'), {}},
    {kKmqxFourCC, {}},
    {0xFFFFFFFF, {}},
};

bool Small(int32_t side) {
    return side >= -17 && side <= 17;
}

// |side|, with INT_MIN's taken as INT_MAX (too large either way).
int32_t Magnitude(int32_t side) {
    return side == INT_MIN ? INT_MAX : side < 0 ? -side : side;
}

// A grey picture of any size, coded by an encoder of its own with room to
// spare, for decoding into the destinations of that size.
std::vector<uint8_t> GreyPicture(int32_t width, int32_t height) {
    const size_t area = size_t(width) * height, chroma = size_t(width / 2) * (height / 2);
    std::vector<uint8_t> planes(area + 2 * chroma, 128);
    Encoder encoder;
    encoder.Init(width, height);
    encoder.SetPicture({planes.data(), planes.data() + area, planes.data() + area + chroma});
    std::vector<uint8_t> picture(1 << 16);
    encoder.SetOutputCapacity(int32_t(picture.size()));
    EXPECT_EQ(encoder.EncodeFrame(picture.data(), 1), kEncodeOk);
    picture.resize(size_t(encoder.GetCompressedSize()));
    encoder.Release();
    return picture;
}

class HostileFormats : public ::testing::Test {
  protected:
    void SetUp() override {
        compressor = OpenBuiltIn(ICMODE_COMPRESS);
        decompressor = OpenBuiltIn(ICMODE_DECOMPRESS);
    }
    void TearDown() override {
        Send(compressor, DRV_CLOSE);
        Send(decompressor, DRV_CLOSE);
    }

    // As a source: query, GET_SIZE, GET_FORMAT and BEGIN agree, and a small
    // frame of exactly its size is taken.
    void AsSource(const MaskedFormat& format) {
        const BITMAPINFOHEADER* source = &format.header;
        const LRESULT query = Send(compressor, ICM_COMPRESS_QUERY, Ptr(source));
        const LRESULT size = Send(compressor, ICM_COMPRESS_GET_SIZE, Ptr(source));
        BITMAPINFOHEADER compressed{};
        const LRESULT got =
            Send(compressor, ICM_COMPRESS_GET_FORMAT, Ptr(source), Ptr(&compressed));
        ASSERT_GE(size, 0);
        ASSERT_EQ(got, query);
        ASSERT_EQ(size > 0, query == ICERR_OK);
        if (query != ICERR_OK) return;
        ++accepted;
        ASSERT_EQ(compressed.biSizeImage, DWORD(size));
        ASSERT_GT(compressed.biHeight, 0);
        ASSERT_EQ(Send(compressor, ICM_COMPRESS_BEGIN, Ptr(source), Ptr(&compressed)), ICERR_OK);
        if (Small(source->biWidth) && Small(source->biHeight)) {
            const FrameLayout layout =
                SourceLayout(source->biCompression, source->biBitCount, format.masks);
            std::vector<uint8_t> frame(
                FrameBytes(layout, source->biWidth, Magnitude(source->biHeight)), 0x40);
            std::vector<uint8_t> output(static_cast<size_t>(size));
            ICCOMPRESS request{};
            request.lpbiInput = const_cast<BITMAPINFOHEADER*>(source);
            request.lpInput = frame.data();
            request.lpbiOutput = &compressed;
            request.lpOutput = output.data();
            request.dwQuality = 8000;
            const LRESULT coded = Send(compressor, ICM_COMPRESS, Ptr(&request), sizeof(request));
            // Pictures too small for their own header are a matter of the
            // output size; the format itself is never refused here.
            ASSERT_NE(coded, ICERR_BADFORMAT);
            if (size >= 256) {
                ASSERT_EQ(coded, ICERR_OK);
            }
        }
        ASSERT_EQ(Send(compressor, ICM_COMPRESS_END), ICERR_OK);
    }

    // As a compressed format: query, GET_FORMAT and BEGIN agree, and the
    // proposed destination is accepted.
    void AsCompressed(const MaskedFormat& format) {
        const BITMAPINFOHEADER* compressed = &format.header;
        const LRESULT query = Send(decompressor, ICM_DECOMPRESS_QUERY, Ptr(compressed));
        BITMAPINFOHEADER destination{};
        ASSERT_EQ(Send(decompressor, ICM_DECOMPRESS_GET_FORMAT, Ptr(compressed), Ptr(&destination)),
                  query);
        if (query != ICERR_OK) return;
        ++accepted;
        ASSERT_EQ(Send(decompressor, ICM_DECOMPRESS_QUERY, Ptr(compressed), Ptr(&destination)),
                  ICERR_OK);
        ASSERT_EQ(Send(decompressor, ICM_DECOMPRESS_BEGIN, Ptr(compressed), Ptr(&destination)),
                  ICERR_OK);
        ASSERT_EQ(Send(decompressor, ICM_DECOMPRESS_END), ICERR_OK);
    }

    // As a destination of a picture of its own size: an accepted one is
    // begun and written within the frame size it states.
    void AsDestination(const MaskedFormat& format) {
        const BITMAPINFOHEADER* destination = &format.header;
        const int32_t width = destination->biWidth;
        const int32_t height = Magnitude(destination->biHeight);
        const bool smallPicture = width >= 1 && width <= 17 && height >= 1 && height <= 17;
        BITMAPINFOHEADER compressed =
            CompressedFormat(smallPicture ? width : 176, smallPicture ? height : 144);
        const LRESULT query =
            Send(decompressor, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(destination));
        if (query != ICERR_OK) return;
        ++accepted;
        ASSERT_EQ(Send(decompressor, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(destination)),
                  ICERR_OK);
        if (smallPicture) {
            std::vector<uint8_t> picture = GreyPicture(width, height);
            compressed.biSizeImage = DWORD(picture.size());
            const size_t bytes =
                FrameBytes(DestinationLayout(destination->biCompression, destination->biBitCount),
                           width, height);
            std::vector<uint8_t> output(bytes + 16, 0xEE);
            ICDECOMPRESS request{0,
                                 &compressed,
                                 picture.data(),
                                 const_cast<BITMAPINFOHEADER*>(destination),
                                 output.data(),
                                 0};
            ASSERT_EQ(Send(decompressor, ICM_DECOMPRESS, Ptr(&request), sizeof(request)), ICERR_OK);
            for (size_t i = bytes; i < output.size(); ++i) ASSERT_EQ(output[i], 0xEE);
        }
        ASSERT_EQ(Send(decompressor, ICM_DECOMPRESS_END), ICERR_OK);
    }

    DWORD_PTR compressor = 0, decompressor = 0;
    int accepted = 0;
};

TEST_F(HostileFormats, EveryYesHoldsAndNoSizeIsNegative) {
    int combinations = 0;
    for (WORD bits : kBitCounts)
        for (const Compression& compression : kCompressions)
            for (int32_t width : kSides)
                for (int32_t height : kSides) {
                    MaskedFormat format{
                        BitmapFormat(width, height, bits, compression.value),
                        {compression.masks[0], compression.masks[1], compression.masks[2]}};
                    SCOPED_TRACE(std::to_string(bits) + " " + std::to_string(compression.value) +
                                 " " + std::to_string(width) + "x" + std::to_string(height));
                    AsSource(format);
                    AsCompressed(format);
                    AsDestination(format);
                    if (HasFatalFailure()) return;
                    ++combinations;
                }
    EXPECT_EQ(combinations, 11 * 14 * 11 * 11);
    EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace kmqx::testing
