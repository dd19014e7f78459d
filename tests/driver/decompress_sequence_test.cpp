// The decompression sequence against a recording decoder.
#include <gtest/gtest.h>

#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

class DecompressSequenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeCodecs::Reset();
        id = OpenWithFakes(ICMODE_DECOMPRESS);
        decoder = FakeCodecs::decoders.at(0);
        UseDestination(176, 144);
    }
    void TearDown() override { Send(id, DRV_CLOSE); }
    void UseDestination(int32_t width, int32_t height) {
        compressed = CompressedFormat(width, height);
        compressed.biSizeImage = static_cast<DWORD>(data.size());
        destination = SourceFormat(width, height, 24);
        size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
        output.assign(stride * static_cast<size_t>(height < 0 ? -height : height) + kGuard, 0xEE);
        request = ICDECOMPRESS{0, &compressed, data.data(), &destination, output.data(), 0};
    }
    LRESULT Decompress() { return Send(id, ICM_DECOMPRESS, Ptr(&request), sizeof(request)); }
    bool OutputUntouched() const {
        for (uint8_t byte : output)
            if (byte != 0xEE) return false;
        return true;
    }

    static constexpr size_t kGuard = 16;
    DWORD_PTR id = 0;
    FakeDecoder* decoder = nullptr;
    std::vector<uint8_t> data = std::vector<uint8_t>(64, 0);
    BITMAPINFOHEADER compressed{}, destination{};
    std::vector<uint8_t> output;
    ICDECOMPRESS request{};
};

TEST_F(DecompressSequenceTest, FrameWithoutBeginBeginsImplicitly) {
    EXPECT_EQ(Decompress(), ICERR_OK);
    EXPECT_EQ(decoder->begins, 1);
    EXPECT_EQ(decoder->frames, 1);
    EXPECT_EQ(reinterpret_cast<DriverInstance*>(id)->decompressState, 1);
    EXPECT_EQ(Decompress(), ICERR_OK);
    EXPECT_EQ(decoder->begins, 1);
}

TEST_F(DecompressSequenceTest, BeginAndEndAreIdempotent) {
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_END), ICERR_OK);
    EXPECT_EQ(decoder->ends, 0);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_OK);
    EXPECT_EQ(decoder->begins, 1);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_END), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_END), ICERR_OK);
    EXPECT_EQ(decoder->ends, 1);
    EXPECT_EQ(reinterpret_cast<DriverInstance*>(id)->decompressState, 2);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_OK);
    EXPECT_EQ(decoder->begins, 2) << "the same decoder serves the next sequence";
}

TEST_F(DecompressSequenceTest, OnlyRgb24DestinationsAreProduced) {
    BITMAPINFOHEADER yv12 = SourceFormat(176, 144, 12, mmioFOURCC('Y', 'V', '1', '2'));
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&yv12)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&yv12)), ICERR_OK);
    request.lpbiOutput = &yv12;
    EXPECT_EQ(Decompress(), ICERR_ERROR);
    EXPECT_EQ(decoder->frames, 0);

    BITMAPINFOHEADER rgb32 = SourceFormat(176, 144, 32);
    request.lpbiOutput = &rgb32;
    EXPECT_EQ(Decompress(), ICERR_ERROR);
    request.lpbiOutput = nullptr;
    EXPECT_EQ(Decompress(), ICERR_ERROR);
    request.lpbiOutput = &destination;
    compressed.biCompression = mmioFOURCC('Y', 'V', '1', '2');
    EXPECT_EQ(Decompress(), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS, 0, 0), ICERR_ERROR);
    EXPECT_TRUE(OutputUntouched());
}

TEST_F(DecompressSequenceTest, DestinationMustMatchTheDecodedPicture) {
    decoder->width = 352;
    decoder->height = 288;
    EXPECT_EQ(Decompress(), ICERR_ERROR);  // destination is 176 x 144
    EXPECT_TRUE(OutputUntouched());
    EXPECT_EQ(decoder->frames, 1) << "the frame is decoded all the same";

    decoder->width = 176;
    decoder->height = 144;
    destination.biHeight = -144;
    EXPECT_EQ(Decompress(), ICERR_ERROR);
    EXPECT_TRUE(OutputUntouched());
}

TEST_F(DecompressSequenceTest, DecoderRefusalsBecomeErrors) {
    decoder->beginResult = kDecodeOutOfMemory;
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_ERROR);
    EXPECT_EQ(reinterpret_cast<DriverInstance*>(id)->decompressState, 0);
    EXPECT_EQ(Decompress(), ICERR_ERROR);
    decoder->beginResult = kDecodeOk;
    decoder->decodeResult = kDecodeHeaderRejected;
    EXPECT_EQ(Decompress(), ICERR_ERROR);
    EXPECT_TRUE(OutputUntouched());
    request.lpInput = nullptr;
    decoder->decodeResult = kDecodeOk;
    EXPECT_EQ(Decompress(), ICERR_ERROR);
}

TEST_F(DecompressSequenceTest, RowsAreWrittenAtTheDibStrideAndNoFurther) {
    // Width 18: rows of 54 pixel bytes padded to 56.
    decoder->width = 18;
    decoder->height = 4;
    UseDestination(18, 4);
    ASSERT_EQ(Decompress(), ICERR_OK);
    const size_t stride = 56;
    for (size_t i = stride * 4; i < output.size(); ++i)
        ASSERT_EQ(output[i], 0xEE) << "written beyond the destination at " << i;
    // Luma i at (row, col) = (i / 18, i % 18); grey chroma, so B = G = R.
    // The top row is the last row in memory.
    EXPECT_EQ(output[3 * stride + 0], output[3 * stride + 2]);
    const uint8_t topLeft = output[3 * stride];
    const uint8_t bottomLeft = output[0];
    EXPECT_GT(bottomLeft, topLeft) << "picture rows are bottom-up";
    EXPECT_EQ(output[3 * stride + 54], 0) << "row padding is zeroed";
    EXPECT_NE(output[2 * stride], output[3 * stride]);
}

}  // namespace
}  // namespace kmqx::testing
