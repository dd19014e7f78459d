// The compression sequence against a recording encoder: begin, frames, end,
// the work buffer, source tags, key-frame flags and refused frames.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "convert/source_conversion.h"
#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

class CompressSequenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeCodecs::Reset();
        id = OpenWithFakes(ICMODE_COMPRESS);
        instance = reinterpret_cast<DriverInstance*>(id);
        UseSource(176, 144, 24);
    }
    void TearDown() override {
        Send(id, DRV_CLOSE);
        EXPECT_TRUE(FakeCodecs::encoders.empty()) << "an encoder outlived its instance";
    }
    void UseSource(int32_t width, int32_t height, WORD bits) {
        source = BitmapFormat(width, height, bits, PlainTag(bits));
        compressed = CompressedFormat(width, height);
        size_t bytes = static_cast<size_t>(width) * std::abs(height) * bits / 8 + 64;
        input.assign(bytes, 0);
        for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7);
        output.assign(bytes, 0xEE);
        frame = ICCOMPRESS{};
        frame.lpbiInput = &source;
        frame.lpInput = input.data();
        frame.lpbiOutput = &compressed;
        frame.lpOutput = output.data();
        frame.dwQuality = 8000;
    }
    LRESULT Begin() { return Send(id, ICM_COMPRESS_BEGIN, Ptr(&source), Ptr(&compressed)); }
    LRESULT CompressFrame() { return Send(id, ICM_COMPRESS, Ptr(&frame), sizeof(frame)); }
    // ICM_COMPRESS_FRAMES_INFO as AVIFile sends it.
    LRESULT FramesInfo(LONG dataRate, DWORD rate, DWORD scale, LONG keyRate,
                       size_t size = sizeof(ICCOMPRESSFRAMES)) {
        ICCOMPRESSFRAMES info{};
        info.lpbiInput = &source;
        info.lpbiOutput = &compressed;
        info.lQuality = 8000;
        info.lDataRate = dataRate;
        info.lKeyRate = keyRate;
        info.dwRate = rate;
        info.dwScale = scale;
        return Send(id, ICM_COMPRESS_FRAMES_INFO, Ptr(&info), LPARAM(size));
    }
    FakeEncoder& OnlyEncoder() {
        EXPECT_EQ(FakeCodecs::encoders.size(), 1u);
        return *FakeCodecs::encoders.at(0);
    }

    DWORD_PTR id = 0;
    DriverInstance* instance = nullptr;
    BITMAPINFOHEADER source{}, compressed{};
    std::vector<uint8_t> input, output;
    ICCOMPRESS frame{};
};

TEST_F(CompressSequenceTest, FrameWithoutBeginIsRefused) {
    EXPECT_EQ(CompressFrame(), ICERR_ERROR);
    EXPECT_EQ(FakeCodecs::encodersCreated, 0);
    EXPECT_EQ(output[0], 0xEE);
    EXPECT_EQ(instance->compressState, 0);
}

TEST_F(CompressSequenceTest, SecondBeginKeepsTheEncoderAndItsBuffer) {
    ASSERT_EQ(Begin(), ICERR_OK);
    uint8_t* buffer = instance->workBuffer;
    ASSERT_EQ(Begin(), ICERR_OK);
    EXPECT_EQ(FakeCodecs::encodersCreated, 1);
    EXPECT_EQ(instance->workBuffer, buffer);
    EXPECT_EQ(instance->workBufferBytes, 176u * 144u * 2u);
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    EXPECT_EQ(OnlyEncoder().framesCoded, 1);
    // Another size while the sequence runs would disagree with the encoder.
    UseSource(352, 288, 24);
    EXPECT_EQ(Begin(), ICERR_BADFORMAT);
    EXPECT_EQ(instance->workBuffer, buffer);
}

TEST_F(CompressSequenceTest, FrameAfterEndBeginsAFreshSequence) {
    ASSERT_EQ(Begin(), ICERR_OK);
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_COMPRESS_END), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_COMPRESS_END), ICERR_OK);
    EXPECT_EQ(instance->compressState, 2);
    EXPECT_EQ(instance->workBuffer, nullptr);
    EXPECT_EQ(FakeCodecs::encodersDestroyed, 1);

    CodecSettings custom{1, 33, 0, 0, 0, 0, 0, 0, 6, 6};
    Send(id, ICM_SETSTATE, Ptr(&custom), sizeof(custom));
    UseSource(64, 48, 12);
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    EXPECT_EQ(instance->compressState, 1);
    FakeEncoder& fresh = OnlyEncoder();
    EXPECT_EQ(FakeCodecs::encodersCreated, 2);
    EXPECT_EQ(fresh.width, 64);
    EXPECT_EQ(fresh.height, 48);
    EXPECT_EQ(fresh.framesCoded, 1);
    EXPECT_EQ(fresh.calls[1], "A33") << "the instance's settings go to the new encoder";
}

TEST_F(CompressSequenceTest, EndOnAFreshInstanceAndInstancesNotForCompression) {
    EXPECT_EQ(Send(id, ICM_COMPRESS_END), ICERR_OK);
    EXPECT_EQ(instance->compressState, 0);

    DWORD_PTR query = OpenWithFakes(ICMODE_QUERY);
    DWORD_PTR decompress = OpenWithFakes(ICMODE_DECOMPRESS);
    for (DWORD_PTR other : {query, decompress}) {
        EXPECT_EQ(Send(other, ICM_COMPRESS_BEGIN, Ptr(&source), Ptr(&compressed)), ICERR_ERROR);
        EXPECT_EQ(Send(other, ICM_COMPRESS, Ptr(&frame), sizeof(frame)), ICERR_ERROR);
        EXPECT_EQ(Send(other, ICM_COMPRESS_END), ICERR_OK);
        EXPECT_EQ(reinterpret_cast<DriverInstance*>(other)->compressState, 3);
    }
    EXPECT_EQ(FakeCodecs::encodersCreated, 0);
    Send(query, DRV_CLOSE);
    Send(decompress, DRV_CLOSE);
}

// Each source record is read as its layout (bit count and compression
// together) and orientation, and the host's record is left as it was.
TEST_F(CompressSequenceTest, EachSourceIsReadAsItsLayoutAndOnlyRead) {
    const DWORD bitfields = 3;
    const struct {
        WORD bits;
        DWORD compression;
        DWORD masks[3];
        int32_t height;
        FrameLayout layout;
        bool topDown;
    } formats[] = {
        {24, BI_RGB, {}, 16, FrameLayout::kRgb24, false},
        {24, BI_RGB, {}, -16, FrameLayout::kRgb24, true},
        {32, BI_RGB, {}, -16, FrameLayout::kRgb32, true},
        {16, BI_RGB, {}, 16, FrameLayout::kRgb555, false},
        {16, bitfields, {0x7C00, 0x3E0, 0x1F}, 16, FrameLayout::kRgb555, false},
        {16, bitfields, {0xF800, 0x7E0, 0x1F}, -16, FrameLayout::kRgb565, true},
        {16, mmioFOURCC('Y', 'U', 'Y', '2'), {}, -16, FrameLayout::kYuyv, true},
        {12, mmioFOURCC('Y', 'V', '1', '2'), {}, 16, FrameLayout::kYv12, true},
        {12, mmioFOURCC('I', 'Y', 'U', 'V'), {}, 16, FrameLayout::kI420, true},
        {9, mmioFOURCC('Y', 'V', 'U', '9'), {}, 16, FrameLayout::kYvu9, true},
    };
    // 32 x 16 planar 4:2:0 frames are read in place, 30 x 16 ones copied.
    for (const int32_t width : {30, 32})
        for (const auto& f : formats) {
            UseSource(width, 16, 32);
            MaskedFormat record{BitmapFormat(width, f.height, f.bits, f.compression),
                                {f.masks[0], f.masks[1], f.masks[2]}};
            frame.lpbiInput = &record.header;
            const MaskedFormat before = record;
            const FrameFormat expected{f.layout, width, 16, f.topDown};
            // Exactly the frame's bytes, so that ASan sees any read beyond it.
            input.resize(FrameBytes(f.layout, width, 16));
            input.shrink_to_fit();
            frame.lpInput = input.data();
            for (size_t i = 0; i < input.size(); ++i) input[i] = uint8_t(i * 37 + (i >> 8));
            const size_t area = size_t(width) * 16, chroma = area / 4;
            std::vector<uint8_t> planes(area + 2 * chroma);
            ConvertToPlanar(input.data(), {planes.data(), &planes[area], &planes[area + chroma]},
                            expected);
            ASSERT_EQ(Send(id, ICM_COMPRESS_BEGIN, Ptr(&record), Ptr(&compressed)), ICERR_OK);
            ASSERT_EQ(CompressFrame(), ICERR_OK) << f.bits;
            EXPECT_EQ(OnlyEncoder().lastPicture, planes) << f.bits << " " << f.compression;
            EXPECT_EQ(std::memcmp(&record, &before, sizeof(record)), 0) << "the host's record";
            Send(id, ICM_COMPRESS_END);
        }
    UseSource(32, 32, 24);
    ASSERT_EQ(Begin(), ICERR_OK);
    for (auto [bits, compression] : {std::pair<WORD, DWORD>{8, BI_RGB}, {12, BI_RGB}}) {
        source.biBitCount = bits;
        source.biCompression = compression;
        EXPECT_EQ(CompressFrame(), ICERR_BADFORMAT);
    }
    EXPECT_EQ(OnlyEncoder().framesCoded, 0);
    EXPECT_EQ(output[0], 0xEE);
}

TEST_F(CompressSequenceTest, PlanesSitInTheWorkBufferAndFrameSizeIsReported) {
    UseSource(32, 16, 12);  // YV12: the luma plane is copied unchanged
    ASSERT_EQ(Begin(), ICERR_OK);
    compressed.biClrUsed = 9;
    compressed.biXPelsPerMeter = 77;
    compressed.biWidth = compressed.biHeight = 1;
    compressed.biPlanes = 3;
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    FakeEncoder& encoder = OnlyEncoder();
    EXPECT_TRUE(std::equal(input.begin(), input.begin() + 32 * 16, encoder.lastPicture.begin()));
    // Whole macroblocks of YV12 are read where the host put them, for that
    // frame only.
    EXPECT_EQ(encoder.framesReadInPlace, 1);
    EXPECT_EQ(encoder.inputPlanes[0], nullptr);
    EXPECT_EQ(encoder.capacity, Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&source)))
        << "capacity is ICM_COMPRESS_GET_SIZE's";
    EXPECT_EQ(compressed.biSizeImage, 100u);
    EXPECT_EQ(compressed.biWidth, 32);
    EXPECT_EQ(compressed.biHeight, 16);
    EXPECT_EQ(compressed.biPlanes, 1);
    EXPECT_EQ(compressed.biClrUsed, 0u);
    EXPECT_EQ(compressed.biXPelsPerMeter, 77) << "other fields keep the host's values";
    EXPECT_EQ(compressed.biCompression, kKmqxFourCC);
}

TEST_F(CompressSequenceTest, KeyFrameRequestAndFlagsForTheHost) {
    ASSERT_EQ(Begin(), ICERR_OK);
    DWORD flags = 0x100, ckid = 0xC0FFEE;
    frame.lpdwFlags = &flags;
    frame.lpckid = &ckid;
    ASSERT_EQ(CompressFrame(), ICERR_OK);  // first picture: INTRA
    EXPECT_EQ(flags, 0x100u | AVIIF_KEYFRAME);
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    EXPECT_EQ(flags, 0x100u);
    frame.dwFlags = ICCOMPRESS_KEYFRAME;
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    EXPECT_EQ(flags, 0x100u | AVIIF_KEYFRAME);
    EXPECT_EQ(ckid, 0xC0FFEEu);
    EXPECT_EQ(OnlyEncoder().keyFlags, (std::vector<int32_t>{0, 0, 1}));
    frame.lpdwFlags = nullptr;
    EXPECT_EQ(CompressFrame(), ICERR_OK);
}

TEST_F(CompressSequenceTest, TopDownSourcesAreCodedAndFramesOfAnotherSizeRefused) {
    source.biWidth = 0;
    EXPECT_EQ(Begin(), ICERR_BADFORMAT);
    EXPECT_EQ(FakeCodecs::encodersCreated, 0);

    source.biWidth = 176;
    source.biHeight = -144;
    ASSERT_EQ(Begin(), ICERR_OK);
    EXPECT_EQ(OnlyEncoder().height, 144);
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    EXPECT_EQ(compressed.biHeight, 144) << "a compressed picture has no orientation";
    source.biHeight = 144;
    ASSERT_EQ(CompressFrame(), ICERR_OK) << "either orientation of the begin's size";
    source.biWidth = 352;  // a larger frame would overrun the work buffer
    EXPECT_EQ(CompressFrame(), ICERR_BADFORMAT);
    EXPECT_EQ(OnlyEncoder().framesCoded, 2);
}

TEST_F(CompressSequenceTest, EncoderRefusalsAndFailures) {
    FakeCodecs::encoderInitResult = kEncodeBadSize;
    EXPECT_EQ(Begin(), ICERR_BADFORMAT);
    EXPECT_EQ(instance->compressState, 0);
    EXPECT_EQ(instance->workBuffer, nullptr);
    EXPECT_EQ(FakeCodecs::encodersDestroyed, 1);
    FakeCodecs::encoderInitResult = kEncodeOk;

    FakeCodecs::failEncoderCreation = true;
    EXPECT_EQ(Begin(), ICERR_ERROR);
    FakeCodecs::failEncoderCreation = false;
    EXPECT_EQ(CompressFrame(), ICERR_ERROR) << "the last creation failed: no implicit begin";
    EXPECT_EQ(FakeCodecs::encodersCreated, 1);

    ASSERT_EQ(Begin(), ICERR_OK);
    FakeCodecs::encodedFrameBytes = INT32_MAX;  // cannot fit the host's buffer
    compressed.biSizeImage = 5;
    EXPECT_EQ(CompressFrame(), ICERR_ERROR);
    EXPECT_EQ(compressed.biSizeImage, 5u);
    EXPECT_EQ(output[0], 0xEE);

    FakeCodecs::encodedFrameBytes = 100;
    frame.lpOutput = nullptr;
    EXPECT_EQ(CompressFrame(), ICERR_ERROR);
    frame.lpOutput = output.data();
    frame.lpbiOutput = nullptr;
    EXPECT_NE(CompressFrame(), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_COMPRESS, 0, 0), ICERR_ERROR);
}

// A refused message leaves every field of the instance as it was, so that
// the next good message behaves as it would have without the refusal.
TEST_F(CompressSequenceTest, RefusedMessagesLeaveTheInstanceAsItWas) {
    auto refuse = [&](const char* what, const std::function<LRESULT()>& message) {
        DriverInstance before;
        std::memcpy(&before, instance, sizeof before);
        EXPECT_NE(message(), ICERR_OK) << what;
        EXPECT_EQ(std::memcmp(&before, instance, sizeof before), 0) << what;
    };
    auto withFrame = [&](auto change) {
        return [&, change] {
            ICCOMPRESS saved = frame;
            BITMAPINFOHEADER savedSource = source;
            change();
            frame.dwQuality = 1234;  // a quality change must not stick either
            LRESULT result = CompressFrame();
            frame = saved;
            source = savedSource;
            return result;
        };
    };
    auto badBitCount = [&] { source.biBitCount = 7; };
    auto noInput = [&] { frame.lpInput = nullptr; };
    auto noOutput = [&] { frame.lpOutput = nullptr; };
    auto otherSize = [&] { source.biWidth = 352; };

    refuse("frame before any begin", [&] { return CompressFrame(); });
    ASSERT_EQ(Begin(), ICERR_OK);
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    refuse("running: bad bit count", withFrame(badBitCount));
    refuse("running: frame of another size", withFrame(otherSize));
    refuse("running: no input", withFrame(noInput));
    FakeCodecs::encodedFrameBytes = INT32_MAX;
    refuse("running: a picture that does not fit", withFrame([] {}));
    FakeCodecs::encodedFrameBytes = 100;
    refuse("running: begin of another size", [&] {
        BITMAPINFOHEADER other = BitmapFormat(352, 288, 24);
        return Send(id, ICM_COMPRESS_BEGIN, Ptr(&other), Ptr(&compressed));
    });
    refuse("short state blob", [&] {
        CodecSettings blob{};
        return Send(id, ICM_SETSTATE, Ptr(&blob), 39) == 0 ? ICERR_ERROR : ICERR_OK;
    });

    ASSERT_EQ(Send(id, ICM_COMPRESS_END), ICERR_OK);
    refuse("ended: bad bit count", withFrame(badBitCount));
    refuse("ended: no input", withFrame(noInput));
    refuse("ended: no output", withFrame(noOutput));
    FakeCodecs::encodedFrameBytes = INT32_MAX;
    refuse("ended: a picture that does not fit", withFrame([] {}));
    FakeCodecs::encodedFrameBytes = 100;
    FakeCodecs::encoderInitResult = kEncodeBadSize;
    refuse("ended: a size the encoder refuses", [&] { return Begin(); });
    refuse("ended: a frame the encoder refuses", [&] { return CompressFrame(); });
    FakeCodecs::encoderInitResult = kEncodeOk;
    FakeCodecs::failEncoderCreation = true;
    refuse("ended: no memory for an encoder", [&] { return Begin(); });
    FakeCodecs::failEncoderCreation = false;

    // Nothing above got in the way of an implicit begin.
    EXPECT_EQ(CompressFrame(), ICERR_OK);
    EXPECT_EQ(instance->compressState, kSequenceRunning);
    EXPECT_EQ(OnlyEncoder().framesCoded, 1);
}

TEST_F(CompressSequenceTest, DecompressionMessagesOnACompressionInstance) {
    BITMAPINFOHEADER rgb = BitmapFormat(176, 144, 24);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_BEGIN, Ptr(&compressed), Ptr(&rgb)), ICERR_ERROR);
    ICDECOMPRESS request{0, &compressed, input.data(), &rgb, output.data(), 0};
    EXPECT_EQ(Send(id, ICM_DECOMPRESS, Ptr(&request), sizeof(request)), ICERR_ERROR);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_END), ICERR_OK);
    EXPECT_EQ(output[0], 0xEE);
}

TEST_F(CompressSequenceTest, DataRateReachesTheEncoderUntilTheSequenceEnds) {
    // Before the begin, as AVIFile sends it; 20,000 bytes a second at 30000/1001.
    ASSERT_EQ(FramesInfo(20000, 30000, 1001, 0), ICERR_OK);
    ASSERT_EQ(Begin(), ICERR_OK);
    ASSERT_EQ(OnlyEncoder().rateCalls.size(), 1u);
    EXPECT_EQ(OnlyEncoder().rateCalls[0].bits, 160000);
    EXPECT_EQ(OnlyEncoder().rateCalls[0].numerator, 30000);
    EXPECT_EQ(OnlyEncoder().rateCalls[0].denominator, 1001);
    // A quality change and a settings record leave it on.
    frame.dwQuality = 2000;
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    CodecSettings custom{1, 0, 0, 0, 0, 0, 0, 0, 9, 9};
    Send(id, ICM_SETSTATE, Ptr(&custom), sizeof(custom));
    ASSERT_EQ(CompressFrame(), ICERR_OK);
    EXPECT_EQ(OnlyEncoder().rateCalls.size(), 1u);
    // During the sequence a new rate goes to the encoder at once.
    ASSERT_EQ(FramesInfo(5000, 25, 1, 0), ICERR_OK);
    ASSERT_EQ(OnlyEncoder().rateCalls.size(), 2u);
    EXPECT_EQ(OnlyEncoder().rateCalls[1].bits, 40000);
    // The end forgets it: the next sequence has none.
    ASSERT_EQ(Send(id, ICM_COMPRESS_END), ICERR_OK);
    ASSERT_EQ(Begin(), ICERR_OK);
    ASSERT_EQ(OnlyEncoder().rateCalls.size(), 1u);
    EXPECT_EQ(OnlyEncoder().rateCalls[0].bits, 0);
}

TEST_F(CompressSequenceTest, FramesInfoThatCannotBeUsedIsRefusedAndChangesNothing) {
    ASSERT_EQ(FramesInfo(20000, 25, 1, 12), ICERR_OK);
    DriverInstance before;
    std::memcpy(&before, instance, sizeof before);
    EXPECT_EQ(FramesInfo(20000, 0, 1, 0), ICERR_BADPARAM);  // no frame rate
    EXPECT_EQ(FramesInfo(20000, 25, 0, 0), ICERR_BADPARAM);
    EXPECT_EQ(FramesInfo(-1, 25, 1, 0), ICERR_BADPARAM);
    EXPECT_EQ(FramesInfo(20000, 25, 1, -5), ICERR_BADPARAM);
    EXPECT_EQ(FramesInfo(20000, 25, 1, 0, offsetof(ICCOMPRESSFRAMES, dwScale)), ICERR_BADPARAM);
    EXPECT_EQ(Send(id, ICM_COMPRESS_FRAMES_INFO, 0, sizeof(ICCOMPRESSFRAMES)), ICERR_BADPARAM);
    EXPECT_EQ(std::memcmp(&before, instance, sizeof before), 0);
    // A frame rate the encoder cannot use is refused before the begin, and
    // during the sequence by the encoder.
    EXPECT_EQ(FramesInfo(20000, 1, 4000000, 0), ICERR_BADPARAM);
    ASSERT_EQ(Begin(), ICERR_OK);
    std::memcpy(&before, instance, sizeof before);
    EXPECT_EQ(FramesInfo(20000, 25, 0, 0), ICERR_BADPARAM);
    EXPECT_EQ(std::memcmp(&before, instance, sizeof before), 0);
    // A host without a data rate may still give a key-frame rate.
    EXPECT_EQ(FramesInfo(0, 0, 0, 4), ICERR_OK);
    DWORD_PTR decompressor = OpenWithFakes(ICMODE_DECOMPRESS);
    ICCOMPRESSFRAMES info{};
    EXPECT_EQ(Send(decompressor, ICM_COMPRESS_FRAMES_INFO, Ptr(&info), sizeof info),
              ICERR_UNSUPPORTED);
    Send(decompressor, DRV_CLOSE);
}

TEST_F(CompressSequenceTest, FrameSizeBelowTheOutputSizeIsThatFramesLimit) {
    ASSERT_EQ(Begin(), ICERR_OK);
    const DWORD getSize = DWORD(Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&source), Ptr(&compressed)));
    for (DWORD size : {DWORD(0), DWORD(4000), getSize - 1, getSize, DWORD(0xFFFFFFFF)}) {
        frame.dwFrameSize = size;
        ASSERT_EQ(CompressFrame(), ICERR_OK);
    }
    const std::vector<int32_t> expected = {0, 4000, int32_t(getSize - 1), 0, 0};
    EXPECT_EQ(OnlyEncoder().frameLimits, expected);
}

TEST_F(CompressSequenceTest, KeyFrameRateAsksForKeyFramesTheHostDoesNot) {
    ASSERT_EQ(FramesInfo(0, 0, 0, 3), ICERR_OK);
    ASSERT_EQ(Begin(), ICERR_OK);
    for (int i = 0; i < 8; ++i) {
        frame.dwFlags = i == 4 ? ICCOMPRESS_KEYFRAME : 0;  // the host asks once itself
        ASSERT_EQ(CompressFrame(), ICERR_OK);
    }
    // Key frames at most 3 frames apart, counted from the last one sent.
    const std::vector<int32_t> expected = {0, 0, 0, 1, 1, 0, 0, 1};
    EXPECT_EQ(OnlyEncoder().keyFlags, expected);
}

}  // namespace
}  // namespace kmqx::testing
