// Message table, opening and closing instances, and the instance registry.
#include <gtest/gtest.h>

#include "driver/instance_registry.h"
#include "fake_codecs.h"
#include "platform/standin_record.h"

namespace kmqx::testing {
namespace {

class DriverEntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeCodecs::Reset();
        standin::ResetRecord();
        standin::FailLocalAllocAt(0);
        ASSERT_EQ(Send(0, DRV_LOAD), 1);
        blocksBefore = standin::LiveLocalBlocks();
    }
    void TearDown() override {
        standin::FailLocalAllocAt(0);
        Send(0, DRV_FREE);
        EXPECT_EQ(standin::LiveLocalBlocks(), blocksBefore) << "instance records or nodes leaked";
    }
    int blocksBefore = 0;
};

TEST_F(DriverEntryTest, DriverMessagesAnswerAsTheTableSays) {
    EXPECT_EQ(Send(0, DRV_ENABLE), 1);
    EXPECT_EQ(Send(0, DRV_DISABLE), 1);
    EXPECT_EQ(Send(0, DRV_INSTALL), 1);
    EXPECT_EQ(Send(0, DRV_REMOVE), 1);
    EXPECT_EQ(Send(0, DRV_QUERYCONFIGURE), 0);
    EXPECT_EQ(Send(0, DRV_FREE), 1);
    EXPECT_EQ(Send(0, DRV_LOAD), 1);
}

TEST_F(DriverEntryTest, OpenWithoutParametersGivesTheConfigurationIdentifier) {
    LRESULT id = Send(0, DRV_OPEN, 0, 0);
    EXPECT_EQ(static_cast<DWORD_PTR>(id), 0xFFFF0000u);
    DriverInstance* listed[4];
    EXPECT_EQ(RegistryList(listed, 4), 0);
    EXPECT_EQ(Send(static_cast<DWORD_PTR>(id), DRV_CLOSE), 1);
    EXPECT_EQ(Send(0, DRV_CLOSE), 1);
}

TEST_F(DriverEntryTest, OpenRefusesOtherTypesAndModes) {
    ICOPEN open{};
    open.fccType = mmioFOURCC('a', 'u', 'd', 'c');
    open.dwFlags = ICMODE_COMPRESS;
    open.dwError = 777;
    EXPECT_EQ(Send(0, DRV_OPEN, 0, Ptr(&open)), 0);
    EXPECT_EQ(open.dwError, 777) << "dwError must stay as the caller set it";

    open.fccType = ICTYPE_VIDEO;
    for (DWORD mode : {0u, 6u, static_cast<DWORD>(ICMODE_DRAW)}) {
        open.dwFlags = mode;
        open.dwError = 777;
        EXPECT_EQ(Send(0, DRV_OPEN, 0, Ptr(&open)), 0) << mode;
        EXPECT_EQ(open.dwError, ICERR_MEMORY) << mode;
    }
    EXPECT_EQ(standin::LiveLocalBlocks(), blocksBefore);
}

TEST_F(DriverEntryTest, EachOpenModeGetsItsShape) {
    for (DWORD mode : {ICMODE_COMPRESS, ICMODE_FASTCOMPRESS}) {
        ICOPEN open{};
        open.fccType = ICTYPE_VIDEO;
        open.dwFlags = mode;
        open.dwError = 777;
        DWORD_PTR id = static_cast<DWORD_PTR>(Send(0, DRV_OPEN, 0, Ptr(&open)));
        ASSERT_NE(id, 0u);
        EXPECT_EQ(open.dwError, ICERR_OK);
        auto* instance = reinterpret_cast<DriverInstance*>(id);
        EXPECT_EQ(instance->compressState, 0);
        EXPECT_EQ(instance->decompressState, 3);
        EXPECT_EQ(instance->compressorKind, 2);
        EXPECT_EQ(instance->encoder, nullptr);
        EXPECT_EQ(instance->decoder, nullptr);
        int32_t quality = 0;
        EXPECT_EQ(Send(id, ICM_GETQUALITY, Ptr(&quality)), ICERR_OK);
        EXPECT_EQ(quality, 8000);
        CodecSettings s = StateOf(id);
        EXPECT_EQ((std::vector<int32_t>{s.codecVersion, s.paramA, s.paramB, s.paramC, s.paramD,
                                        s.paramE, s.paramF, s.paramG, s.quantNormal, s.quantKey}),
                  (std::vector<int32_t>{1, 0, 0, 0, 0, 0, 0, 0, 6, 6}));
        EXPECT_EQ(Send(id, DRV_CLOSE), 1);
    }
    for (DWORD mode : {ICMODE_DECOMPRESS, ICMODE_FASTDECOMPRESS, ICMODE_QUERY}) {
        DWORD_PTR id = OpenWithFakes(mode);
        ASSERT_NE(id, 0u);
        auto* instance = reinterpret_cast<DriverInstance*>(id);
        bool decompress = mode != ICMODE_QUERY;
        EXPECT_EQ(instance->decoder != nullptr, decompress);
        EXPECT_EQ(instance->compressState, 3);
        EXPECT_EQ(instance->decompressState, decompress ? 0 : 3);
        EXPECT_EQ(instance->compressorKind, 0);
        int32_t quality = -5;
        Send(id, ICM_GETQUALITY, Ptr(&quality));
        EXPECT_EQ(quality, 0);
        CodecSettings s = StateOf(id);
        EXPECT_EQ(s.codecVersion | s.paramA | s.quantNormal | s.quantKey, 0);
        EXPECT_EQ(Send(id, DRV_CLOSE), 1);
    }
    EXPECT_TRUE(FakeCodecs::decoders.empty()) << "closing destroys the decoder";
}

TEST_F(DriverEntryTest, AllocationFailuresAtOpen) {
    ICOPEN open{};
    open.fccType = ICTYPE_VIDEO;
    open.dwFlags = ICMODE_QUERY;
    standin::FailLocalAllocAt(1);  // the instance record
    EXPECT_EQ(Send(0, DRV_OPEN, 0, Ptr(&open)), 0);
    EXPECT_EQ(open.dwError, ICERR_MEMORY);

    FakeCodecs::failDecoderCreation = true;
    open.dwError = 0;
    EXPECT_EQ(OpenWithFakes(ICMODE_DECOMPRESS, &open), 0u);
    EXPECT_EQ(open.dwError, ICERR_MEMORY);
    EXPECT_EQ(standin::LiveLocalBlocks(), blocksBefore) << "the record must be freed";
    FakeCodecs::failDecoderCreation = false;

    // No registry node: the open still succeeds, DRV_FREE cannot see the
    // instance, and DRV_CLOSE still releases it.
    standin::FailLocalAllocAt(2);
    DWORD_PTR unregistered = OpenWithFakes(ICMODE_DECOMPRESS, &open);
    ASSERT_NE(unregistered, 0u);
    EXPECT_EQ(open.dwError, ICERR_OK);
    DriverInstance* listed[4];
    EXPECT_EQ(RegistryList(listed, 4), 0);
    Send(0, DRV_FREE);
    EXPECT_EQ(FakeCodecs::decoders.size(), 1u);
    EXPECT_EQ(Send(unregistered, DRV_CLOSE), 1);
    EXPECT_TRUE(FakeCodecs::decoders.empty());
}

TEST_F(DriverEntryTest, RegistryKeepsOpeningOrderAndUnlinksAnyNode) {
    DWORD_PTR ids[4];
    for (auto& id : ids) id = OpenWithFakes(ICMODE_QUERY);
    DriverInstance* listed[8];
    ASSERT_EQ(RegistryList(listed, 8), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reinterpret_cast<DWORD_PTR>(listed[i]), ids[i]);

    Send(ids[1], DRV_CLOSE);  // middle
    Send(ids[3], DRV_CLOSE);  // tail: the next add must link after the new tail
    DWORD_PTR later = OpenWithFakes(ICMODE_QUERY);
    ASSERT_EQ(RegistryList(listed, 8), 3);
    EXPECT_EQ(reinterpret_cast<DWORD_PTR>(listed[0]), ids[0]);
    EXPECT_EQ(reinterpret_cast<DWORD_PTR>(listed[1]), ids[2]);
    EXPECT_EQ(reinterpret_cast<DWORD_PTR>(listed[2]), later);
    Send(ids[0], DRV_CLOSE);  // head
    ASSERT_EQ(RegistryList(listed, 8), 2);
    EXPECT_EQ(reinterpret_cast<DWORD_PTR>(listed[0]), ids[2]);
}

TEST_F(DriverEntryTest, FreeReleasesEveryInstanceNewestFirst) {
    DWORD_PTR first = OpenWithFakes(ICMODE_DECOMPRESS);
    OpenWithFakes(ICMODE_DECOMPRESS);
    OpenWithFakes(ICMODE_DECOMPRESS);
    std::vector<int> created;
    for (FakeDecoder* decoder : FakeCodecs::decoders) created.push_back(decoder->id);
    // A running sequence is ended before its decoder goes.
    BITMAPINFOHEADER compressed = CompressedFormat();
    ASSERT_EQ(Send(first, ICM_DECOMPRESS_BEGIN, Ptr(&compressed)), ICERR_OK);
    FakeDecoder* firstDecoder = FakeCodecs::decoders[0];
    EXPECT_EQ(firstDecoder->ends, 0);

    EXPECT_EQ(Send(0, DRV_FREE), 1);
    EXPECT_EQ(FakeCodecs::destroyedDecoders,
              (std::vector<int>{created[2], created[1], created[0]}));
    DriverInstance* listed[4];
    EXPECT_EQ(RegistryList(listed, 4), 0);
    EXPECT_EQ(standin::LiveLocalBlocks(), blocksBefore);
}

TEST_F(DriverEntryTest, ReleasingAnInstanceEndsItsCompressionSequence) {
    DWORD_PTR id = OpenWithFakes(ICMODE_COMPRESS);
    BITMAPINFOHEADER source = BitmapFormat(176, 144, 24);
    ASSERT_EQ(Send(id, ICM_COMPRESS_BEGIN, Ptr(&source)), ICERR_OK);
    ASSERT_EQ(FakeCodecs::encoders.size(), 1u);
    EXPECT_EQ(Send(id, DRV_CLOSE), 1);
    EXPECT_EQ(FakeCodecs::encodersDestroyed, 1);
}

TEST_F(DriverEntryTest, UnlistedMessagesAreRefusedOrPassedOn) {
    DWORD_PTR id = OpenWithFakes(ICMODE_QUERY);
    EXPECT_EQ(Send(id, ICM_DRAW_BEGIN), ICERR_UNSUPPORTED);
    EXPECT_EQ(Send(id, 16400), ICERR_UNSUPPORTED);
    EXPECT_EQ(Send(id, ICM_COMPRESS_FRAMES_INFO), ICERR_UNSUPPORTED);
    EXPECT_EQ(Send(id, ICM_DECOMPRESS_GET_PALETTE), ICERR_BADFORMAT);
    EXPECT_TRUE(standin::GetRecord().defDriverProcCalls.empty());
    EXPECT_EQ(Send(id, 11, 5, 6), 0);
    ASSERT_EQ(standin::GetRecord().defDriverProcCalls.size(), 1u);
    const auto& call = standin::GetRecord().defDriverProcCalls[0];
    EXPECT_EQ(call.driverId, id);
    EXPECT_EQ(call.message, 11u);
    EXPECT_EQ(call.lParam1, 5);
    EXPECT_EQ(call.lParam2, 6);
}

TEST_F(DriverEntryTest, InstanceMessagesWithoutAnInstanceTouchNothing) {
    BITMAPINFOHEADER source = BitmapFormat(176, 144, 24);
    int32_t quality = 42;
    CodecSettings state{};
    ICCOMPRESS compress{};
    ICDECOMPRESS decompress{};
    for (DWORD_PTR id : {DWORD_PTR{0}, DWORD_PTR{0xFFFF0000u}}) {
        EXPECT_LT(Send(id, ICM_GETQUALITY, Ptr(&quality)), 0);
        EXPECT_EQ(quality, 42);
        EXPECT_LT(Send(id, ICM_SETQUALITY, 5000), 0);
        EXPECT_LT(Send(id, ICM_GETSTATE, Ptr(&state), sizeof(state)), 0);
        EXPECT_LT(Send(id, ICM_SETSTATE, Ptr(&state), sizeof(state)), 0);
        EXPECT_LT(Send(id, ICM_COMPRESS_BEGIN, Ptr(&source)), 0);
        EXPECT_LT(Send(id, ICM_COMPRESS, Ptr(&compress), sizeof(compress)), 0);
        EXPECT_LT(Send(id, ICM_COMPRESS_END), 0);
        EXPECT_LT(Send(id, ICM_DECOMPRESS_BEGIN), 0);
        EXPECT_LT(Send(id, ICM_DECOMPRESS, Ptr(&decompress), sizeof(decompress)), 0);
        EXPECT_LT(Send(id, ICM_DECOMPRESS_END), 0);
    }
    EXPECT_EQ(FakeCodecs::encodersCreated, 0);
}

TEST_F(DriverEntryTest, AskOnlyFormsOfStateConfigureAndAbout) {
    DWORD_PTR id = OpenWithFakes(ICMODE_COMPRESS);
    EXPECT_EQ(Send(id, ICM_GETSTATE, -1, 0), 0);
    EXPECT_EQ(Send(id, ICM_SETSTATE, -1, 40), 0);
    EXPECT_EQ(StateOf(id).quantKey, 6);
    EXPECT_EQ(Send(id, ICM_CONFIGURE, -1), ICERR_OK);
    EXPECT_EQ(Send(id, ICM_ABOUT, -1), ICERR_OK);
    EXPECT_TRUE(standin::GetRecord().dialogs.empty());
    EXPECT_TRUE(standin::GetRecord().messageBoxes.empty());
}

}  // namespace
}  // namespace kmqx::testing
