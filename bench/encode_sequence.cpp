// Encodes a 300-picture CIF sequence with moving content at the driver's
// default settings (quality 8000: quantisers 6, codec version 1, A to F 0) and
// reports pictures per second and bytes per picture.
//
//   kmqx_bench_encode_sequence [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/moving_sequence.h"
#include "common/planar_frame.h"
#include "encoder/encoder.h"

namespace kmqx {
namespace {

using bench::kHeight;
using bench::kWidth;
using bench::MovingSequence;

void EncodeCifSequence(benchmark::State& state) {
    const bench::Sequence& sequence = MovingSequence();
    std::vector<uint8_t> output(kWidth * kHeight * 3);
    int64_t bytes = 0, intraBytes = 0, pictures = 0;
    for (auto _ : state) {
        Encoder encoder;
        // The driver's defaults for quality 8000.
        encoder.SetCodecVersion(1);
        for (auto set : {&Encoder::SetParamA, &Encoder::SetParamB, &Encoder::SetParamC,
                         &Encoder::SetParamD, &Encoder::SetParamE, &Encoder::SetParamF})
            (encoder.*set)(0);
        encoder.SetQuantNormal(6);
        encoder.SetQuantKey(6);
        encoder.Init(kWidth, kHeight);
        encoder.SetOutputCapacity(static_cast<int32_t>(output.size()));
        for (const auto& picture : sequence.pictures) {
            uint8_t* y = const_cast<uint8_t*>(picture.data());
            encoder.SetPicture(PlanarFrame{y, y + kWidth * kHeight,
                                           y + kWidth * kHeight + (kWidth / 2) * (kHeight / 2)});
            encoder.EncodeFrame(output.data(), 0);
            bytes += encoder.GetCompressedSize();
            if (encoder.LastPictureWasIntra()) intraBytes += encoder.GetCompressedSize();
            ++pictures;
            benchmark::DoNotOptimize(output.data());
        }
        encoder.Release();
    }
    state.SetItemsProcessed(pictures);
    state.counters["pictures_per_second"] =
        benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kIsRate);
    state.counters["bytes_per_picture"] = static_cast<double>(bytes) / pictures;
    state.counters["intra_bytes"] =
        static_cast<double>(intraBytes) / static_cast<double>(state.iterations());
}

BENCHMARK(EncodeCifSequence)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
}  // namespace kmqx

BENCHMARK_MAIN();
