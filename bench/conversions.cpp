// Source and output conversions of one CIF frame per iteration.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "convert/output_conversion.h"
#include "convert/source_conversion.h"

namespace {

constexpr int32_t kWidth = 352, kHeight = 288;

std::vector<uint8_t> RandomBytes(size_t size) {
    std::mt19937 random(1);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

void ConvertSource(benchmark::State& state, uint32_t tag, int32_t bits) {
    const auto source = RandomBytes(kmqx::SourceFrameSize(tag, bits, kWidth, kHeight));
    std::vector<uint8_t> planes(kWidth * kHeight * 3 / 2);
    const kmqx::PlanarFrame frame{planes.data(), planes.data() + kWidth * kHeight * 5 / 4,
                                  planes.data() + kWidth * kHeight};
    for (auto _ : state) {
        kmqx::ConvertToPlanar(source.data(), frame, tag, bits, kWidth, kHeight);
        benchmark::DoNotOptimize(planes.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SourceRgb24(benchmark::State& state) {
    ConvertSource(state, kmqx::kTagRgb, 24);
}
void BM_SourceYuyv(benchmark::State& state) {
    ConvertSource(state, kmqx::kTagYuyv, 16);
}
void BM_SourceYv12(benchmark::State& state) {
    ConvertSource(state, kmqx::kTagYv12, 12);
}
void BM_SourceYvu9(benchmark::State& state) {
    ConvertSource(state, kmqx::kTagYvu9, 9);
}
void BM_SourceRgb32(benchmark::State& state) {
    ConvertSource(state, kmqx::kTagRgb, 32);
}
void BM_SourceRgb555(benchmark::State& state) {
    ConvertSource(state, kmqx::kTagRgb, 16);
}

void ConvertOutput(benchmark::State& state, kmqx::FrameLayout layout) {
    auto planes = RandomBytes(kWidth * kHeight * 3 / 2);
    std::vector<uint8_t> out(kmqx::FrameBytes(layout, kWidth, kHeight));
    const kmqx::PlanarFrame frame{planes.data(), planes.data() + kWidth * kHeight,
                                  planes.data() + kWidth * kHeight * 5 / 4};
    for (auto _ : state) {
        kmqx::ConvertFromPlanar(frame, {layout, kWidth, kHeight, false}, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_OutputRgb24(benchmark::State& state) {
    ConvertOutput(state, kmqx::FrameLayout::kRgb24);
}
void BM_OutputRgb32(benchmark::State& state) {
    ConvertOutput(state, kmqx::FrameLayout::kRgb32);
}
void BM_OutputYuy2(benchmark::State& state) {
    ConvertOutput(state, kmqx::FrameLayout::kYuyv);
}
void BM_OutputYv12(benchmark::State& state) {
    ConvertOutput(state, kmqx::FrameLayout::kYv12);
}

}  // namespace

BENCHMARK(BM_SourceRgb24);
BENCHMARK(BM_SourceYuyv);
BENCHMARK(BM_SourceYv12);
BENCHMARK(BM_SourceYvu9);
BENCHMARK(BM_SourceRgb32);
BENCHMARK(BM_SourceRgb555);
BENCHMARK(BM_OutputRgb24);
BENCHMARK(BM_OutputRgb32);
BENCHMARK(BM_OutputYuy2);
BENCHMARK(BM_OutputYv12);
BENCHMARK_MAIN();
