// Hosts open codecs from worker threads (one per graph, one per file): many
// threads opening, using and closing instances at once must neither disturb
// each other's pictures nor lose track of an instance.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "driver/instance_registry.h"
#include "fake_codecs.h"
#include "platform/standin_record.h"

namespace kmqx::testing {
namespace {

constexpr int32_t kWidth = 48, kHeight = 32;
constexpr int kFrames = 3;

std::vector<uint8_t> Rgb24Frame(int seed, int frameNumber) {
    std::vector<uint8_t> frame(size_t(kWidth) * 3 * kHeight);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t((i * (seed + 3) + frameNumber * 5 + (i / 97) * 31) & 0xFF);
    return frame;
}

// One whole compression sequence through DriverProc; empty on any failure.
std::vector<std::vector<uint8_t>> CompressSequence(int seed) {
    std::vector<std::vector<uint8_t>> pictures;
    DWORD_PTR id = OpenBuiltIn(ICMODE_COMPRESS);
    if (!id) return pictures;
    BITMAPINFOHEADER source = BitmapFormat(kWidth, kHeight, 24);
    BITMAPINFOHEADER compressed = CompressedFormat(kWidth, kHeight);
    const LRESULT capacity = Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&source));
    bool ok =
        capacity > 0 && Send(id, ICM_COMPRESS_BEGIN, Ptr(&source), Ptr(&compressed)) == ICERR_OK;
    for (int f = 0; ok && f < kFrames; ++f) {
        std::vector<uint8_t> input = Rgb24Frame(seed, f);
        std::vector<uint8_t> output(static_cast<size_t>(capacity));
        ICCOMPRESS request{};
        request.lpbiInput = &source;
        request.lpInput = input.data();
        request.lpbiOutput = &compressed;
        request.lpOutput = output.data();
        request.dwQuality = DWORD(6000 + 500 * (seed % 5));
        ok = Send(id, ICM_COMPRESS, Ptr(&request), sizeof(request)) == ICERR_OK;
        output.resize(compressed.biSizeImage);
        pictures.push_back(output);
    }
    Send(id, ICM_COMPRESS_END);
    Send(id, DRV_CLOSE);
    if (!ok) pictures.clear();
    return pictures;
}

// Decodes the pictures through DriverProc; the DIBs, or empty on failure.
std::vector<std::vector<uint8_t>> DecompressSequence(
    const std::vector<std::vector<uint8_t>>& pictures) {
    std::vector<std::vector<uint8_t>> dibs;
    DWORD_PTR id = OpenBuiltIn(ICMODE_DECOMPRESS);
    if (!id) return dibs;
    BITMAPINFOHEADER compressed = CompressedFormat(kWidth, kHeight);
    BITMAPINFOHEADER destination = BitmapFormat(kWidth, kHeight, 24);
    for (std::vector<uint8_t> picture : pictures) {
        compressed.biSizeImage = DWORD(picture.size());
        std::vector<uint8_t> dib(size_t(kWidth) * 3 * kHeight);
        ICDECOMPRESS request{0, &compressed, picture.data(), &destination, dib.data(), 0};
        if (Send(id, ICM_DECOMPRESS, Ptr(&request), sizeof(request)) != ICERR_OK) break;
        dibs.push_back(dib);
    }
    Send(id, DRV_CLOSE);
    return dibs;
}

TEST(DriverThreads, ManyThreadsOpenCompressDecompressAndCloseAtOnce) {
    constexpr int kThreads = 8, kRounds = 4;
    // What each thread's sequence gives when it is the only one.
    std::vector<std::vector<std::vector<uint8_t>>> alone, decodedAlone;
    for (int t = 0; t < kThreads; ++t) {
        alone.push_back(CompressSequence(t));
        ASSERT_EQ(alone.back().size(), size_t(kFrames));
        decodedAlone.push_back(DecompressSequence(alone.back()));
        ASSERT_EQ(decodedAlone.back().size(), size_t(kFrames));
    }
    const int registered = RegistryList(nullptr, 0);
    const int liveBlocks = standin::LiveLocalBlocks();

    std::atomic<int> wrongPictures{0}, wrongDecodes{0}, failedOpens{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                // Short-lived query instances churn the registry meanwhile.
                DWORD_PTR query = OpenBuiltIn(ICMODE_QUERY);
                if (!query) ++failedOpens;
                if (CompressSequence(t) != alone[t]) ++wrongPictures;
                if (DecompressSequence(alone[t]) != decodedAlone[t]) ++wrongDecodes;
                Send(query, DRV_CLOSE);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(failedOpens, 0);
    EXPECT_EQ(wrongPictures, 0) << "an encoder was disturbed by another thread";
    EXPECT_EQ(wrongDecodes, 0) << "a decoder was disturbed by another thread";
    EXPECT_EQ(RegistryList(nullptr, 0), registered) << "the registry lost or kept an instance";
    EXPECT_EQ(standin::LiveLocalBlocks(), liveBlocks) << "instance records or nodes leaked";
}

}  // namespace
}  // namespace kmqx::testing
