// Encodes the 300-picture CIF sequence of the encode benchmark at 25
// pictures a second under rate control at 64 kbit/s, 256 kbit/s and
// 1 Mbit/s, decodes it, and reports the target and achieved rates, the
// largest deviation of any second after the first, the pictures skipped and
// the luminance PSNR against the source.
//
//   kmqx_bench_rate_control [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/moving_sequence.h"
#include "decoder/decoder.h"
#include "encoder/encoder.h"

namespace kmqx {
namespace {

using bench::kHeight;
using bench::kWidth;
using bench::MovingSequence;

constexpr int kPicturesPerSecond = 25;

void EncodeCifSequenceAtRate(benchmark::State& state) {
    const int64_t bitsPerSecond = state.range(0);
    const bench::Sequence& sequence = MovingSequence();
    const size_t luma = size_t(kWidth) * kHeight;
    std::vector<uint8_t> output(luma * 4);
    std::vector<double> bits;
    double squaredError = 0;
    int64_t skipped = 0;
    for (auto _ : state) {
        bits.clear();
        squaredError = 0;
        skipped = 0;
        Encoder encoder;
        encoder.SetRateControl(bitsPerSecond, kPicturesPerSecond, 1);
        encoder.Init(kWidth, kHeight);
        encoder.SetOutputCapacity(int32_t(output.size()));
        Decoder decoder;
        decoder.BeginDecompress();
        for (const auto& picture : sequence.pictures) {
            uint8_t* y = const_cast<uint8_t*>(picture.data());
            encoder.SetPicture(PlanarFrame{y, y + luma, y + luma + luma / 4});
            encoder.EncodeFrame(output.data(), 0);
            bits.push_back(8.0 * encoder.GetCompressedSize());
            skipped += encoder.LastPictureSkipped() ? 1 : 0;
            decoder.DecodeFrame(output.data(), encoder.GetCompressedSize());
            const uint8_t* decoded = decoder.GetPicture().y;
            for (size_t i = 0; i < luma; ++i) {
                const double d = double(decoded[i]) - double(picture[i]);
                squaredError += d * d;
            }
        }
        decoder.EndDecompress();
        encoder.Release();
    }
    double total = 0, worstSecond = 0;
    for (double b : bits) total += b;
    for (size_t first = kPicturesPerSecond; first + kPicturesPerSecond <= bits.size(); ++first) {
        double second = 0;
        for (size_t i = first; i < first + kPicturesPerSecond; ++i) second += bits[i];
        worstSecond = std::max(worstSecond, std::fabs(second / double(bitsPerSecond) - 1));
    }
    const double pictures = double(bits.size());
    state.SetItemsProcessed(state.iterations() * int64_t(bits.size()));
    state.counters["target_kbps"] = double(bitsPerSecond) / 1000;
    state.counters["achieved_kbps"] = total * kPicturesPerSecond / pictures / 1000;
    state.counters["worst_second_pct"] = 100 * worstSecond;
    state.counters["skipped"] = double(skipped);
    state.counters["psnr_y"] = 10 * std::log10(255.0 * 255.0 * pictures * luma / squaredError);
}

BENCHMARK(EncodeCifSequenceAtRate)
    ->Arg(64000)
    ->Arg(256000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace
}  // namespace kmqx

BENCHMARK_MAIN();
