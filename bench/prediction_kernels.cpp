// Scalar against SSE2 for each of the decoder's prediction and
// reconstruction kernels, one block per iteration on random samples.
// Argument: 0 scalar, 1 SSE2. AVX2 would not pay: the rows are 16 or 8
// samples wide.
#include "common/prediction_kernels.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench/kernel_level.h"
#include "common/kernel_selection.h"

namespace kmqx {
namespace {

constexpr int32_t kPitch = 64;

struct Inputs {
    std::vector<uint8_t> reference = std::vector<uint8_t>(kPitch * 20);
    std::vector<uint8_t> picture = std::vector<uint8_t>(kPitch * 20);
    int16_t residual[64];
    Inputs() {
        std::mt19937 random(5);
        for (auto& v : reference) v = uint8_t(random());
        for (auto& v : residual) v = int16_t(int32_t(random() % 512) - 256);
    }
};

Inputs& TestInputs() {
    static Inputs inputs;
    return inputs;
}

PredictionKernels KernelsOf(benchmark::State& state) {
    return KernelsFor(bench::BenchmarkLevel(state), ScalarPredictionKernels(),
                      UpgradePredictionKernelsSse2);
}

// Second argument: the half-sample case (0 copy, 1 horizontal, 2 vertical,
// 3 diagonal).
template <int kSize>
void BM_Predict(benchmark::State& state) {
    const PredictionKernels kernels = KernelsOf(state);
    const auto predict = (kSize == 16 ? kernels.predict16 : kernels.predict8)[state.range(1)];
    Inputs& in = TestInputs();
    for (auto _ : state) {
        predict(in.reference.data() + 1, kPitch, in.picture.data() + 2, kPitch);
        benchmark::DoNotOptimize(in.picture.data());
    }
}

void BM_AddBlock(benchmark::State& state) {
    const PredictionKernels kernels = KernelsOf(state);
    Inputs& in = TestInputs();
    for (auto _ : state) {
        kernels.addBlock(in.residual, in.picture.data() + 3, kPitch);
        benchmark::DoNotOptimize(in.picture.data());
    }
}

void BM_PutBlock(benchmark::State& state) {
    const PredictionKernels kernels = KernelsOf(state);
    Inputs& in = TestInputs();
    for (auto _ : state) {
        kernels.putBlock(in.residual, in.picture.data() + 3, kPitch);
        benchmark::DoNotOptimize(in.picture.data());
    }
}

BENCHMARK(BM_Predict<16>)->ArgsProduct({{0, 1}, {0, 1, 2, 3}});
BENCHMARK(BM_Predict<8>)->ArgsProduct({{0, 1}, {0, 1, 2, 3}});
BENCHMARK(BM_AddBlock)->DenseRange(0, 1);
BENCHMARK(BM_PutBlock)->DenseRange(0, 1);

}  // namespace
}  // namespace kmqx

BENCHMARK_MAIN();
