// The decompression sequence against a recording decoder.
#include <gtest/gtest.h>

#include "convert/output_conversion.h"
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
    void TearDown() override {
        if (id) Send(id, DRV_CLOSE);
    }
    void UseDestination(int32_t width, int32_t height) {
        compressed = CompressedFormat(width, height);
        compressed.biSizeImage = static_cast<DWORD>(data.size());
        destination = BitmapFormat(width, height, 24);
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

TEST_F(DecompressSequenceTest, FrameRefusedBeforeDecodingBeginsNothing) {
    for (bool missingInput : {true, false}) {
        ICDECOMPRESS bad = request;
        (missingInput ? bad.lpInput : bad.lpOutput) = nullptr;
        EXPECT_EQ(Send(id, ICM_DECOMPRESS, Ptr(&bad), sizeof(bad)), ICERR_ERROR);
        EXPECT_EQ(reinterpret_cast<DriverInstance*>(id)->decompressState, 0) << missingInput;
        EXPECT_EQ(decoder->begins + decoder->frames, 0) << missingInput;
    }
}

// A frame the decoder refuses takes nothing from the stream, so the sequence
// it began by itself is undone: a fresh one ended, a kept one kept again.
TEST_F(DecompressSequenceTest, FrameRefusedByTheDecoderUndoesItsImplicitBegin) {
    DriverInstance* instance = reinterpret_cast<DriverInstance*>(id);
    decoder->decodeResult = kDecodeHeaderRejected;
    EXPECT_EQ(Decompress(), ICERR_ERROR);
    EXPECT_EQ(instance->decompressState, 0);
    EXPECT_EQ(decoder->begins, 1);
    EXPECT_EQ(decoder->ends, 1);

    decoder->decodeResult = kDecodeOk;
    ASSERT_EQ(Decompress(), ICERR_OK);
    Send(id, ICM_DECOMPRESS_END);
    decoder->decodeResult = kDecodeHeaderRejected;
    EXPECT_EQ(Decompress(), ICERR_ERROR);
    EXPECT_EQ(instance->decompressState, 2);
    EXPECT_TRUE(instance->decoderSequenceKept);
    decoder->decodeResult = kDecodeOk;
    ASSERT_EQ(Decompress(), ICERR_OK);
    EXPECT_EQ(decoder->begins, 2) << "the kept picture carries on";
    EXPECT_EQ(decoder->ends, 1);
}

TEST_F(DecompressSequenceTest, BeginAndEndAreIdempotent) {
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_END), ICERR_OK);
    EXPECT_EQ(decoder->ends, 0);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_OK);
    EXPECT_EQ(decoder->begins, 1);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_END), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_END), ICERR_OK);
    EXPECT_EQ(reinterpret_cast<DriverInstance*>(id)->decompressState, 2);
}

// Hosts that end and begin around every frame keep the decoder's reference
// picture; a begin for another picture size starts the decoder afresh.
TEST_F(DecompressSequenceTest, EndThenBeginOfTheSameSizeCarriesOn) {
    ASSERT_EQ(Decompress(), ICERR_OK);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(Send(id, ICM_DECOMPRESS_END), ICERR_OK);
        EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_OK);
        ASSERT_EQ(Decompress(), ICERR_OK);
    }
    Send(id, ICM_DECOMPRESS_END);
    ASSERT_EQ(Decompress(), ICERR_OK) << "an implicit begin carries on alike";
    EXPECT_EQ(decoder->begins, 1);
    EXPECT_EQ(decoder->ends, 0);

    Send(id, ICM_DECOMPRESS_END);
    UseDestination(352, 288);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_OK);
    EXPECT_EQ(decoder->ends, 1);
    EXPECT_EQ(decoder->begins, 2);
    Send(id, ICM_DECOMPRESS_END);
    Send(id, DRV_CLOSE);
    id = 0;
    EXPECT_EQ(FakeCodecs::destroyedDecoders.size(), 1u);
}

// Wine's DirectShow decompressor begins with its compressed input format as
// the destination; the real destination comes with each frame.
TEST_F(DecompressSequenceTest, BeginWithTheCompressedFormatAsDestination) {
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&compressed)), ICERR_OK);
    EXPECT_EQ(decoder->begins, 1);
    request.lpbiOutput = &compressed;
    EXPECT_EQ(Decompress(), ICERR_BADFORMAT);
    EXPECT_TRUE(OutputUntouched());
    request.lpbiOutput = &destination;
    EXPECT_EQ(Decompress(), ICERR_OK);
}

// Each destination the query accepts is written as its layout and
// orientation, within exactly its frame size; others are refused before
// anything is decoded.
TEST_F(DecompressSequenceTest, EveryAcceptedDestinationIsWrittenAsItsLayout) {
    const struct {
        WORD bits;
        DWORD compression;
        int32_t height;
        FrameLayout layout;
        bool topDown;
    } accepted[] = {{24, BI_RGB, 144, FrameLayout::kRgb24, false},
                    {24, BI_RGB, -144, FrameLayout::kRgb24, true},
                    {32, BI_RGB, 144, FrameLayout::kRgb32, false},
                    {32, BI_RGB, -144, FrameLayout::kRgb32, true},
                    {16, mmioFOURCC('Y', 'U', 'Y', '2'), -144, FrameLayout::kYuyv, true},
                    {12, mmioFOURCC('Y', 'V', '1', '2'), 144, FrameLayout::kYv12, true},
                    {12, mmioFOURCC('I', 'Y', 'U', 'V'), 144, FrameLayout::kI420, true}};
    for (const auto& a : accepted) {
        const size_t bytes = FrameBytes(a.layout, 176, 144);
        destination = BitmapFormat(176, a.height, a.bits, a.compression);
        destination.biSizeImage = DWORD(bytes);
        output.assign(bytes + kGuard, 0xEE);
        request.lpOutput = output.data();
        ASSERT_EQ(Decompress(), ICERR_OK) << a.bits;
        std::vector<uint8_t> expected(bytes + kGuard, 0xEE);
        ConvertFromPlanar(decoder->GetPicture(), {a.layout, 176, 144, a.topDown}, expected.data());
        EXPECT_EQ(output, expected) << a.bits << " " << a.height;
    }
    const int framesBefore = decoder->frames;
    output.assign(output.size(), 0xEE);
    BITMAPINFOHEADER refused[] = {BitmapFormat(176, 144, 16), BitmapFormat(176, 144, 8),
                                  BitmapFormat(176, 144, 9, mmioFOURCC('Y', 'V', 'U', '9'))};
    for (BITMAPINFOHEADER& format : refused) {
        request.lpbiOutput = &format;
        EXPECT_EQ(Decompress(), ICERR_BADFORMAT);
    }
    request.lpbiOutput = nullptr;
    EXPECT_EQ(Decompress(), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS, 0, 0), ICERR_ERROR);
    EXPECT_EQ(decoder->frames, framesBefore);
    EXPECT_TRUE(OutputUntouched());
}

// A destination that states a buffer smaller than its frame is refused at
// the query, the begin and the frame, and nothing is written.
TEST_F(DecompressSequenceTest, DestinationStatingTooSmallABufferIsRefused) {
    destination.biSizeImage = 1;
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_QUERY, Ptr(&compressed), Ptr(&destination)), ICERR_BADFORMAT);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&destination)), ICERR_BADFORMAT);
    EXPECT_EQ(Decompress(), ICERR_BADFORMAT);
    EXPECT_EQ(decoder->frames, 0);
    EXPECT_TRUE(OutputUntouched());
}

TEST_F(DecompressSequenceTest, DestinationMustMatchTheDecodedPicture) {
    decoder->width = 352;
    decoder->height = 288;
    EXPECT_EQ(Decompress(), ICERR_ERROR);  // destination is 176 x 144
    EXPECT_TRUE(OutputUntouched());
    EXPECT_EQ(decoder->frames, 1) << "the frame is decoded all the same";
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
