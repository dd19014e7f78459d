// The output buffer hosts get from ICM_COMPRESS_GET_SIZE against the largest
// pictures: for every source format and a set of small, thin and wide sizes,
// key and delta frames of uniform and binary (0/255) noise at quality 10500
// (quantiser 1, the largest pictures) and 8000 (the default), through
// DriverProc. Counters: get_size, the largest key and delta frame in bytes,
// and the slowest single frame in milliseconds. 4095 x 4095 runs once, the
// others three times.
//
//   kmqx_bench_output_sizes [--benchmark_filter=yv12]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/frame_layout.h"
#include "driver/driver_proc.h"
#include "tests/support/driver_messages.h"  // how a host talks to DriverProc
#include "tests/support/host_formats.h"

namespace kmqx {
namespace {

using test::BitmapFormat;
using test::HostFormat;
using test::HostSourceFormat;
using test::kHostSourceFormats;
using test::OpenBuiltIn;
using test::Ptr;
using test::Send;

const std::pair<int32_t, int32_t> kSizes[] = {{1, 1},     {1, 175},   {3, 3},     {17, 9},
                                              {4095, 16}, {16, 4095}, {176, 144}, {4095, 4095}};

std::vector<uint8_t> Noise(size_t bytes, uint32_t seed, bool binary) {
    std::vector<uint8_t> samples(bytes);
    for (uint8_t& sample : samples) {
        seed = seed * 1664525u + 1013904223u;
        sample = binary ? ((seed >> 31) ? 255 : 0) : uint8_t(seed >> 24);
    }
    return samples;
}

void OutputSizes(benchmark::State& state, HostSourceFormat format, int32_t width, int32_t height) {
    test::MaskedFormat record = HostFormat(format, width, height);
    BITMAPINFOHEADER& source = record.header;
    BITMAPINFOHEADER compressed = BitmapFormat(width, height, 24, test::kKmqxFourCC);
    const size_t sourceBytes = FrameBytes(format.layout, width, height);
    DWORD maxKey = 0, maxDelta = 0;
    double slowest = 0;
    LRESULT capacity = 0;
    for (auto _ : state) {
        for (bool binary : {false, true}) {
            for (DWORD quality : {10500u, 8000u}) {
                const DWORD_PTR id = OpenBuiltIn(ICMODE_COMPRESS);
                if (id == 0) {
                    state.SkipWithError("DRV_OPEN refused");
                    return;
                }
                capacity = Send(id, ICM_COMPRESS_GET_SIZE, Ptr(&source));
                std::vector<uint8_t> output(size_t(capacity > 0 ? capacity : 1));
                Send(id, ICM_COMPRESS_BEGIN, Ptr(&source), Ptr(&compressed));
                for (uint32_t frame = 0; frame < 3; ++frame) {
                    std::vector<uint8_t> input = Noise(sourceBytes, frame + 1, binary);
                    ICCOMPRESS request{};
                    request.dwFlags = frame == 0 ? ICCOMPRESS_KEYFRAME : 0;
                    request.lpbiInput = &source;
                    request.lpInput = input.data();
                    request.lpbiOutput = &compressed;
                    request.lpOutput = output.data();
                    request.dwQuality = quality;
                    const auto start = std::chrono::steady_clock::now();
                    const LRESULT result = Send(id, ICM_COMPRESS, Ptr(&request), sizeof(request));
                    const std::chrono::duration<double, std::milli> took =
                        std::chrono::steady_clock::now() - start;
                    if (result != ICERR_OK) state.SkipWithError("ICM_COMPRESS failed");
                    slowest = std::max(slowest, took.count());
                    DWORD& largest = frame == 0 ? maxKey : maxDelta;
                    largest = std::max(largest, compressed.biSizeImage);
                }
                Send(id, ICM_COMPRESS_END);
                Send(id, DRV_CLOSE);
            }
        }
    }
    state.counters["get_size"] = double(capacity);
    state.counters["key_bytes"] = maxKey;
    state.counters["delta_bytes"] = maxDelta;
    state.counters["slowest_ms"] = slowest;
}

const bool kRegistered = [] {
    for (const HostSourceFormat& format : kHostSourceFormats) {
        for (auto [width, height] : kSizes) {
            const std::string name = std::string("OutputSizes/") + format.name + "/" +
                                     std::to_string(width) + "x" + std::to_string(height);
            benchmark::RegisterBenchmark(name.c_str(), OutputSizes, format, width, height)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(width * height > 1 << 20 ? 1 : 3);
        }
    }
    return true;
}();

}  // namespace
}  // namespace kmqx

BENCHMARK_MAIN();
