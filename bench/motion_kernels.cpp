// Scalar against SSE2 and AVX2 for each motion kernel, one call per
// iteration on random samples (limits high enough that nothing stops early).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench/kernel_level.h"
#include "common/kernel_selection.h"
#include "encoder/sad_kernels.h"

namespace kmqx {
namespace {

constexpr int32_t kStride = 64;

struct Inputs {
    std::vector<uint8_t> area = std::vector<uint8_t>(kStride * 20);
    alignas(32) uint8_t blocks[256];
    alignas(32) uint8_t out[17 * 17];
    Inputs() {
        std::mt19937 random(3);
        for (auto& v : area) v = static_cast<uint8_t>(random());
        for (auto& v : blocks) v = static_cast<uint8_t>(random());
    }
};

Inputs& TestInputs() {
    static Inputs inputs;
    return inputs;
}

MotionKernels KernelsOf(benchmark::State& state) {
    return KernelsFor(bench::BenchmarkLevel(state), ScalarMotionKernels(), UpgradeMotionKernelsSse2,
                      UpgradeMotionKernelsAvx2);
}

void BM_LoadMacroblockWithSads(benchmark::State& state) {
    const MotionKernels kernels = KernelsOf(state);
    Inputs& in = TestInputs();
    int32_t sads[4];
    for (auto _ : state) {
        kernels.loadMacroblockWithSads(in.area.data() + 3, kStride, in.area.data() + 1, kStride,
                                       in.blocks, sads);
        benchmark::DoNotOptimize(sads);
        benchmark::ClobberMemory();
    }
}

void BM_Sad16x8Blocks(benchmark::State& state) {
    const MotionKernels kernels = KernelsOf(state);
    Inputs& in = TestInputs();
    int32_t sads[2];
    for (auto _ : state) {
        kernels.sad16x8Blocks(in.blocks, in.area.data() + 1, kStride, sads);
        benchmark::DoNotOptimize(sads);
    }
}

void BM_Sad16x16Neighbourhood(benchmark::State& state) {
    const MotionKernels kernels = KernelsOf(state);
    Inputs& in = TestInputs();
    int32_t sads[9][4];
    for (auto _ : state) {
        kernels.sad16x16Neighbourhood(in.blocks, in.area.data() + 1, kStride, sads);
        benchmark::DoNotOptimize(sads);
    }
}

void BM_MeanDeviation(benchmark::State& state) {
    const MotionKernels kernels = KernelsOf(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kernels.meanDeviation(TestInputs().blocks, 128, INT32_MAX));
    }
}

void BM_BandSums(benchmark::State& state) {
    const MotionKernels kernels = KernelsOf(state);
    int32_t sums[4];
    for (auto _ : state) {
        kernels.bandSums(TestInputs().area.data() + 3, kStride, sums);
        benchmark::DoNotOptimize(sums);
    }
}

void BM_InterpolateDiagonalPlaneWithSads(benchmark::State& state) {
    const MotionKernels kernels = KernelsOf(state);
    Inputs& in = TestInputs();
    int32_t sads[4][4];
    for (auto _ : state) {
        kernels.interpolateDiagonalPlaneWithSads(in.area.data() + 5, kStride, in.blocks, in.out,
                                                 sads);
        benchmark::DoNotOptimize(in.out);
        benchmark::DoNotOptimize(sads);
    }
}

void BM_WindowRowSadSums(benchmark::State& state) {
    const MotionKernels kernels = KernelsOf(state);
    Inputs& in = TestInputs();
    uint16_t sums[4][8];
    for (auto _ : state) {
        kernels.windowRowSadSums(in.area.data() + 5, in.blocks, sums);
        benchmark::DoNotOptimize(sums);
    }
}

BENCHMARK(BM_LoadMacroblockWithSads)->DenseRange(0, 2);
BENCHMARK(BM_Sad16x8Blocks)->DenseRange(0, 2);
BENCHMARK(BM_Sad16x16Neighbourhood)->DenseRange(0, 2);
BENCHMARK(BM_MeanDeviation)->DenseRange(0, 2);
BENCHMARK(BM_BandSums)->DenseRange(0, 2);
BENCHMARK(BM_InterpolateDiagonalPlaneWithSads)->DenseRange(0, 2);
BENCHMARK(BM_WindowRowSadSums)->DenseRange(0, 2);

}  // namespace
}  // namespace kmqx

BENCHMARK_MAIN();
