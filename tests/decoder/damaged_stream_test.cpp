// Damaged streams: truncated, bit-flipped and spliced frames decode without
// a fault (the sanitizer builds check every access) and DecodeFrame returns
// 0; decoded pictures of fixed streams keep their golden fingerprints.
#include <gtest/gtest.h>

#include <random>

#include "test_support.h"

namespace kmqx::test {
namespace {

std::vector<std::vector<uint8_t>> CommittedStream(const char* name) {
    return SplitPictures(ReadBytes(std::string(KMQX_SOURCE_DIR) + "/fuzz/streams/" + name));
}

// Decodes frame by frame, each from a buffer of exactly its size.
std::vector<int32_t> DecodeResults(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<int32_t> results;
    DecodeAll(frames, &results);
    return results;
}

TEST(DamagedStreams, TruncatedFramesDecode) {
    const auto pictures = CommittedStream("qcif_gob.263");
    ASSERT_EQ(pictures.size(), 6u);
    for (size_t keep = 0; keep < pictures[1].size(); keep += 97) {
        auto frames = pictures;
        frames[1].resize(keep);
        frames[3].resize(keep / 2);
        for (int32_t result : DecodeResults(frames)) EXPECT_EQ(result, kDecodeOk) << keep;
    }
}

TEST(DamagedStreams, BitFlippedFramesDecode) {
    const auto pictures = CommittedStream("qcif_dquant.263");
    ASSERT_EQ(pictures.size(), 8u);
    std::mt19937 random(5);
    for (int trial = 0; trial < 60; ++trial) {
        auto frames = pictures;
        for (auto& frame : frames) {
            const int flips = 1 + int(random() % 8);
            for (int f = 0; f < flips; ++f) {
                // Spare the picture header (first 7 bytes): a flipped option
                // bit is a rejected header, not damaged picture data.
                const size_t byte = 7 + random() % (frame.size() - 7);
                frame[byte] ^= uint8_t(1u << (random() % 8));
            }
        }
        for (int32_t result : DecodeResults(frames)) EXPECT_EQ(result, kDecodeOk) << trial;
    }
}

TEST(DamagedStreams, SplicedAndShuffledFramesDecode) {
    const auto qcif = CommittedStream("qcif_gob.263");
    const auto sqcif = CommittedStream("sqcif_q20.263");
    std::mt19937 random(9);
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<std::vector<uint8_t>> frames;
        for (int k = 0; k < 6; ++k) {
            const auto& a = qcif[random() % qcif.size()];
            const auto& b = (random() % 2 ? sqcif : qcif)[random() % 4];
            // The head of one picture followed by the tail of another: a
            // stream of another size may follow the header of the first.
            const size_t cutA = random() % a.size();
            const size_t cutB = random() % b.size();
            std::vector<uint8_t> frame(a.begin(), a.begin() + long(cutA));
            frame.insert(frame.end(), b.begin() + long(cutB), b.end());
            frames.push_back(frame);
        }
        const auto results = DecodeResults(frames);
        for (int32_t result : results)
            EXPECT_TRUE(result == kDecodeOk || result == kDecodeHeaderRejected);
    }
}

TEST(DamagedStreams, RandomBytesDecode) {
    std::mt19937 random(13);
    const auto header = CommittedStream("sqcif_q20.263")[0];
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> frame(header.begin(), header.begin() + 8);  // a real header
        const size_t length = random() % 3000;
        for (size_t i = 0; i < length; ++i) frame.push_back(uint8_t(random()));
        const auto results = DecodeResults({frame, frame});
        for (int32_t result : results) EXPECT_EQ(result, kDecodeOk);
    }
}

// Fingerprints of the decoded pictures of the committed streams: any change
// of the decoder's output shows here. They were taken when the decoder
// matched ffmpeg's decoding of these streams to within 62 dB and more.
TEST(DecoderGolden, CommittedStreamsDecodeToKnownPictures) {
    const struct {
        const char* name;
        uint64_t fingerprint;
    } golden[] = {
        {"qcif_gob.263", 0x5d6bf204d9ff51eull},
        {"qcif_dquant.263", 0x6aa3d6d221d8bb12ull},
        {"sqcif_q20.263", 0x6d0d1d6b11d90791ull},
    };
    for (const auto& g : golden) {
        const auto pictures = CommittedStream(g.name);
        ASSERT_FALSE(pictures.empty()) << g.name;
        uint64_t fingerprint = kFnvOffsetBasis;
        for (const Yuv& picture : DecodeAll(pictures)) fingerprint = Fnv1a(picture, fingerprint);
        EXPECT_EQ(fingerprint, g.fingerprint) << g.name << " 0x" << std::hex << fingerprint;
    }
}

}  // namespace
}  // namespace kmqx::test
