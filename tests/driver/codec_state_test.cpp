// The settings record, the state blob and the quality mapping.
#include "driver/codec_state.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

class CodecStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeCodecs::Reset();
        id = OpenWithFakes(ICMODE_COMPRESS);
    }
    void TearDown() override { Send(id, DRV_CLOSE); }
    int32_t Quality() {
        int32_t quality = 0;
        EXPECT_EQ(Send(id, ICM_GETQUALITY, Ptr(&quality)), ICERR_OK);
        return quality;
    }
    DWORD_PTR id = 0;
};

TEST(QualityMapping, QuantizerFollowsQuality) {
    const std::pair<int32_t, int32_t> table[] = {{10000, 2},    {9999, 2},   {9500, 3}, {8000, 6},
                                                 {5000, 12},    {500, 21},   {0, 22},   {10500, 1},
                                                 {65535, -109}, {65536, 22}, {-2, -109}};
    for (auto [quality, quantizer] : table)
        EXPECT_EQ(QuantizerForQuality(quality), quantizer) << quality;
    // The default quality request maps like the default quality itself.
    EXPECT_EQ(QuantizerForQuality(ICQUALITY_DEFAULT), 6);
}

TEST_F(CodecStateTest, SetQualityRebuildsTheRecordAndKeepsTheValue) {
    CodecSettings custom{3, 50, 60, 70, 80, 90, 100, 110, 9, 9};
    ASSERT_EQ(Send(id, ICM_SETSTATE, Ptr(&custom), sizeof(custom)), 0);
    EXPECT_EQ(Send(id, ICM_SETQUALITY, 10000), ICERR_OK);
    CodecSettings s = StateOf(id);
    EXPECT_EQ(s.codecVersion, 1);
    EXPECT_EQ(s.paramA | s.paramB | s.paramC | s.paramD | s.paramE | s.paramF | s.paramG, 0);
    EXPECT_EQ(s.quantNormal, 2);
    EXPECT_EQ(s.quantKey, 2);
    EXPECT_EQ(Quality(), 10000);

    Send(id, ICM_SETQUALITY, 0);
    EXPECT_EQ(StateOf(id).quantKey, 22);
    Send(id, ICM_SETQUALITY, 12345);
    EXPECT_EQ(Quality(), 12345);
    EXPECT_EQ(StateOf(id).quantNormal, -2) << "passed on unclamped";

    Send(id, ICM_SETQUALITY, ICQUALITY_DEFAULT);
    EXPECT_EQ(Quality(), -1);
    EXPECT_EQ(StateOf(id).quantNormal, 6);
    EXPECT_EQ(StateOf(id).quantKey, 6);

    int32_t defaultQuality = 0;
    EXPECT_EQ(Send(id, ICM_GETDEFAULTQUALITY, Ptr(&defaultQuality)), ICERR_OK);
    EXPECT_EQ(defaultQuality, 8000);
    EXPECT_EQ(Send(id, ICM_GETDEFAULTQUALITY, 0), ICERR_ERROR);
    EXPECT_EQ(Send(id, ICM_GETQUALITY, 0), ICERR_ERROR);
}

TEST_F(CodecStateTest, GetStateSizesAndLittleEndianLayout) {
    EXPECT_EQ(Send(id, ICM_GETSTATE, 0, 0), 40);
    uint8_t buffer[100];
    std::memset(buffer, 0xEE, sizeof(buffer));
    EXPECT_EQ(Send(id, ICM_GETSTATE, Ptr(buffer), 0), 40);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(Send(id, ICM_GETSTATE, Ptr(buffer), 10), 0);
    EXPECT_EQ(Send(id, ICM_GETSTATE, Ptr(buffer), 39), 0);
    EXPECT_EQ(buffer[0], 0xEE) << "a short buffer is not written";

    CodecSettings custom{0x01020304, -2, 0, 0, 0, 0, 0, 0, 6, 7};
    Send(id, ICM_SETSTATE, Ptr(&custom), sizeof(custom));
    EXPECT_EQ(Send(id, ICM_GETSTATE, Ptr(buffer), sizeof(buffer)), 40);
    const uint8_t head[8] = {0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(buffer, head, 8), 0);
    EXPECT_EQ(buffer[36], 7);
    EXPECT_EQ(buffer[40], 0xEE) << "only 40 bytes are written";
}

TEST_F(CodecStateTest, SetStateSizesAndStoringWithoutAnEncoder) {
    CodecSettings custom{1, 50, 0, 0, 0, 0, 0, 77, 4, 5};
    EXPECT_EQ(Send(id, ICM_SETSTATE, Ptr(&custom), 39), 0);
    EXPECT_EQ(StateOf(id).paramA, 0);
    EXPECT_EQ(Send(id, ICM_SETSTATE, 0, 40), 40);
    EXPECT_EQ(Send(id, ICM_SETSTATE, Ptr(&custom), 0), 40);
    EXPECT_EQ(StateOf(id).paramA, 0);

    uint8_t longer[64] = {};
    std::memcpy(longer, &custom, sizeof(custom));
    EXPECT_EQ(Send(id, ICM_SETSTATE, Ptr(longer), sizeof(longer)), 0) << "no live encoder";
    CodecSettings stored = StateOf(id);
    EXPECT_EQ(stored.paramA, 50);
    EXPECT_EQ(stored.paramG, 77);
    EXPECT_EQ(stored.quantKey, 5);

    // The next begin pushes the stored record, in the encoder's order, then
    // initialises; G is never passed on.
    BITMAPINFOHEADER source = BitmapFormat(176, 144, 24);
    ASSERT_EQ(Send(id, ICM_COMPRESS_BEGIN, Ptr(&source)), ICERR_OK);
    ASSERT_EQ(FakeCodecs::encoders.size(), 1u);
    EXPECT_EQ(FakeCodecs::encoders[0]->calls,
              (std::vector<std::string>{"CodecVersion1", "A50", "B0", "C0", "D0", "E0", "F0",
                                        "QuantNormal4", "QuantKey5", "Init176"}));

    // A live encoder receives new settings at once.
    custom.paramB = 9;
    FakeCodecs::encoders[0]->calls.clear();
    EXPECT_EQ(Send(id, ICM_SETSTATE, Ptr(&custom), sizeof(custom)), 40);
    EXPECT_EQ(FakeCodecs::encoders[0]->calls.size(), 9u);
    EXPECT_EQ(FakeCodecs::encoders[0]->calls[2], "B9");

    Send(id, ICM_COMPRESS_END);
    EXPECT_EQ(Send(id, ICM_SETSTATE, Ptr(&custom), sizeof(custom)), 0) << "sequence ended";
}

TEST_F(CodecStateTest, FrameQualityResetsSettingsOnlyWhenItChanges) {
    CodecSettings custom{1, 50, 0, 0, 0, 0, 0, 0, 6, 6};
    Send(id, ICM_SETSTATE, Ptr(&custom), sizeof(custom));
    BITMAPINFOHEADER source = BitmapFormat(16, 16, 24);
    BITMAPINFOHEADER compressed = CompressedFormat(16, 16);
    std::vector<uint8_t> input(16 * 16 * 3), output(16 * 16 * 3);
    ICCOMPRESS frame{};
    frame.lpbiInput = &source;
    frame.lpInput = input.data();
    frame.lpbiOutput = &compressed;
    frame.lpOutput = output.data();
    frame.dwQuality = 8000;
    ASSERT_EQ(Send(id, ICM_COMPRESS_BEGIN, Ptr(&source), Ptr(&compressed)), ICERR_OK);
    ASSERT_EQ(Send(id, ICM_COMPRESS, Ptr(&frame), sizeof(frame)), ICERR_OK);
    ASSERT_EQ(Send(id, ICM_COMPRESS, Ptr(&frame), sizeof(frame)), ICERR_OK);
    EXPECT_EQ(StateOf(id).paramA, 50);

    frame.dwQuality = 5000;
    ASSERT_EQ(Send(id, ICM_COMPRESS, Ptr(&frame), sizeof(frame)), ICERR_OK);
    EXPECT_EQ(StateOf(id).paramA, 0);
    EXPECT_EQ(StateOf(id).quantNormal, 12);
    EXPECT_EQ(Quality(), 5000);

    // A frame carrying the default-quality request after ICM_SETQUALITY(-1)
    // is no change either.
    Send(id, ICM_SETQUALITY, ICQUALITY_DEFAULT);
    Send(id, ICM_SETSTATE, Ptr(&custom), sizeof(custom));
    frame.dwQuality = static_cast<DWORD>(ICQUALITY_DEFAULT);
    ASSERT_EQ(Send(id, ICM_COMPRESS, Ptr(&frame), sizeof(frame)), ICERR_OK);
    EXPECT_EQ(StateOf(id).paramA, 50);
}

}  // namespace
}  // namespace kmqx::testing
