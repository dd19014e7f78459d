// ICM_COMPRESS_GET_SIZE sizes the host's output buffer: every picture of
// every size, in every source format, must fit it, key and delta frames
// alike, with the content that codes largest, at the finest quantisers.
#include <gtest/gtest.h>

#include "convert/frame_layout.h"
#include "fake_codecs.h"

namespace kmqx::testing {
namespace {

enum class Content { kNoise, kBinaryNoise, kFlat, kEdges };

// Raw source bytes in the format's layout; the seed varies the content from
// frame to frame, so that delta frames have all to code.
std::vector<uint8_t> SourceBytes(const HostSourceFormat& format, int32_t width, int32_t height,
                                 Content content, uint32_t seed) {
    std::vector<uint8_t> bytes(FrameBytes(format.layout, width, height));
    uint32_t state = seed;
    for (size_t i = 0; i < bytes.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        switch (content) {
            case Content::kNoise:
                bytes[i] = uint8_t(state >> 24);
                break;
            case Content::kBinaryNoise:
                bytes[i] = (state >> 31) ? 255 : 0;
                break;
            case Content::kFlat:
                bytes[i] = uint8_t(40 + 70 * seed);
                break;
            case Content::kEdges:  // sharp steps every few samples and rows
                bytes[i] = ((i / 3 + i / (3 * size_t(width)) + seed) & 1) ? 255 : 0;
                break;
        }
    }
    return bytes;
}

class OutputSize : public ::testing::TestWithParam<HostSourceFormat> {};

TEST_P(OutputSize, EveryPictureFitsWhatGetSizeAnswers) {
    const HostSourceFormat& format = GetParam();
    constexpr size_t kGuard = 16;
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1},     {2, 2},    {3, 3},   {1, 175},
                                                 {175, 1},   {17, 9},   {16, 16}, {176, 144},
                                                 {4095, 16}, {16, 4095}};
    for (auto [width, height] : sizes) {
        MaskedFormat record = HostFormat(format, width, height);
        BITMAPINFOHEADER& source = record.header;
        BITMAPINFOHEADER compressed = CompressedFormat(width, height);
        for (Content content :
             {Content::kNoise, Content::kBinaryNoise, Content::kFlat, Content::kEdges}) {
            // Quantisers 1, 2 and 22.
            for (DWORD quality : {10500u, 10000u, 0u}) {
                DWORD_PTR id = OpenBuiltIn(ICMODE_COMPRESS);
                const LRESULT capacity = Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&source));
                ASSERT_GT(capacity, 0);
                ASSERT_EQ(Send(id, ICM_COMPRESS_BEGIN, Ptr(&source), Ptr(&compressed)), ICERR_OK);
                for (uint32_t seed = 1; seed <= 3; ++seed) {
                    std::vector<uint8_t> input = SourceBytes(format, width, height, content, seed);
                    std::vector<uint8_t> output(size_t(capacity) + kGuard, 0x5A);
                    ICCOMPRESS request{};
                    request.dwFlags = seed == 1 ? ICCOMPRESS_KEYFRAME : 0;
                    request.lpbiInput = &source;
                    request.lpInput = input.data();
                    request.lpbiOutput = &compressed;
                    request.lpOutput = output.data();
                    request.dwQuality = quality;
                    const std::string what = std::to_string(width) + "x" + std::to_string(height) +
                                             " content " + std::to_string(int(content)) +
                                             " quality " + std::to_string(quality) + " frame " +
                                             std::to_string(seed);
                    ASSERT_EQ(Send(id, ICM_COMPRESS, Ptr(&request), sizeof(request)), ICERR_OK)
                        << what << ", GET_SIZE " << capacity;
                    EXPECT_GT(compressed.biSizeImage, 0u) << what;
                    EXPECT_LE(LRESULT(compressed.biSizeImage), capacity) << what;
                    EXPECT_EQ(output[0] | output[1] | (output[2] & 0xFC), 0x80) << what;
                    for (size_t i = size_t(capacity); i < output.size(); ++i)
                        ASSERT_EQ(output[i], 0x5A) << what << ": written beyond GET_SIZE";
                }
                Send(id, DRV_CLOSE);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SourceFormats, OutputSize, ::testing::ValuesIn(kHostSourceFormats),
                         [](const ::testing::TestParamInfo<HostSourceFormat>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kmqx::testing
