#include <gtest/gtest.h>

#include "tools/codec_host.h"
#include "tools/raw_frames.h"
#include "tools/test_sequence.h"

namespace kmqx {
namespace {

struct Picture {
    std::vector<uint8_t> bytes;
    bool key;
};

std::vector<uint8_t> Yv12Frame(const TestSequence& sequence, int32_t index, int32_t width,
                               int32_t height) {
    std::vector<uint8_t> planes, frame;
    sequence.Render(index, planes);
    Y4mFrameToYv12(planes.data(), width, height, frame);
    return frame;
}

SourceFormat Yv12() {
    SourceFormat format;
    FindSourceFormat("yv12", format);
    return format;
}

TEST(CompressorHost, TwoInstancesFedAlternatelyProduceTheirStreamsAlone) {
    const int32_t width = 176, height = 144, frames = 6;
    TestSequence first(width, height), second(width, height);
    // The second instance codes another part of the sequence at another quality.
    auto alone = [&](const TestSequence& sequence, int32_t offset, int32_t quality) {
        CompressorHost host;
        CompressionSettings settings;
        settings.quality = quality;
        std::string error;
        EXPECT_TRUE(host.Begin(Yv12(), width, height, settings, error)) << error;
        std::vector<Picture> pictures;
        for (int32_t i = 0; i < frames; ++i) {
            auto frame = Yv12Frame(sequence, i + offset, width, height);
            EXPECT_TRUE(host.Compress(frame.data(), false, error)) << error;
            pictures.push_back({{host.Data(), host.Data() + host.Size()}, host.IsKeyFrame()});
        }
        return pictures;
    };
    const auto firstAlone = alone(first, 0, 8000);
    const auto secondAlone = alone(second, 40, 3000);

    CompressorHost a, b;
    CompressionSettings settingsA, settingsB;
    settingsA.quality = 8000;
    settingsB.quality = 3000;
    std::string error;
    ASSERT_TRUE(a.Begin(Yv12(), width, height, settingsA, error)) << error;
    ASSERT_TRUE(b.Begin(Yv12(), width, height, settingsB, error)) << error;
    for (int32_t i = 0; i < frames; ++i) {
        auto frameA = Yv12Frame(first, i, width, height);
        auto frameB = Yv12Frame(second, i + 40, width, height);
        ASSERT_TRUE(a.Compress(frameA.data(), false, error)) << error;
        ASSERT_TRUE(b.Compress(frameB.data(), false, error)) << error;
        EXPECT_EQ(std::vector<uint8_t>(a.Data(), a.Data() + a.Size()), firstAlone[i].bytes) << i;
        EXPECT_EQ(std::vector<uint8_t>(b.Data(), b.Data() + b.Size()), secondAlone[i].bytes) << i;
    }
}

TEST(CompressorHost, KeyFramesComeWhereTheyAreAskedForAndSettingsReachTheCodec) {
    const int32_t width = 128, height = 96;
    TestSequence sequence(width, height);
    CompressorHost host;
    CompressionSettings settings;
    settings.quality = 10000;                     // both quantisers 2
    settings.fieldOverrides = {{1, 50}, {9, 4}};  // paramA, quantKey
    std::string error;
    ASSERT_TRUE(host.Begin(Yv12(), width, height, settings, error)) << error;
    EXPECT_EQ(host.State().paramA, 50);
    EXPECT_EQ(host.State().quantNormal, 2);
    EXPECT_EQ(host.State().quantKey, 4);
    for (int32_t i = 0; i < 7; ++i) {
        auto frame = Yv12Frame(sequence, i, width, height);
        ASSERT_TRUE(host.Compress(frame.data(), i % 3 == 0, error)) << error;
        EXPECT_EQ(host.IsKeyFrame(), i % 3 == 0) << i;
        EXPECT_GT(host.Size(), 0u);
    }
}

TEST(CompressorHost, SizesTheCodecRefusesFailAtTheBegin) {
    CompressorHost host;
    std::string error;
    EXPECT_FALSE(host.Begin(Yv12(), 5000, 16, CompressionSettings{}, error));
    EXPECT_NE(error.find("5000x16"), std::string::npos) << error;
    SourceFormat odd{"rgb8", 0, 8};
    EXPECT_FALSE(host.Begin(odd, 16, 16, CompressionSettings{}, error));
    std::vector<uint8_t> frame(16 * 16);
    EXPECT_FALSE(host.Compress(frame.data(), false, error)) << "no sequence after a failed begin";
}

}  // namespace
}  // namespace kmqx
